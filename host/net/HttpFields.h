#pragma once
// Header values of HTTP answers as the Internet library hands them over
// (UTF-16 text from the server's bytes, so untrusted).

#include <cstdint>
#include <optional>
#include <string_view>

namespace paloma::host::net {

// A Content-Length value: decimal digits, with spaces or tabs around them;
// nullopt for anything else or a value beyond 2^63 - 1.
std::optional<int64_t> parseContentLength(std::u16string_view text);

} // namespace paloma::host::net
