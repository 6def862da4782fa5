#pragma once
// Texts of the configuration records. Stored strings are UTF-16 with a
// count that includes the NUL (ByteReader::string16); a count of 0 is an
// absent string, so a text is optional. Records keep the UTF-16 form; the
// code that hands a text to the system converts it at that boundary.
//
// Some texts live in fixed fields of the running program (260 bytes unless
// a record says otherwise) and must fit there in the ANSI code page, NUL
// included. A reader cuts a longer text to the field; the packager refuses
// to write one.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace paloma {

using Text = std::optional<std::u16string>;

constexpr size_t kPathField = 260;

// Bytes the text takes in the ANSI code page, without the NUL.
size_t ansiLength(std::u16string_view text);

// The longest prefix whose ANSI form fits a field of `fieldBytes` bytes
// with its NUL. A surrogate pair is never split.
std::u16string fitToField(std::u16string_view text, size_t fieldBytes);
Text fitToField(const Text& text, size_t fieldBytes);

// A local path for a text. Unlike the library's own conversion this never
// throws: on POSIX systems invalid UTF-16 becomes U+FFFD in the UTF-8 name.
std::filesystem::path pathOf(std::u16string_view text);

// Text for display: the absent string as the empty text.
inline std::u16string textOr(const Text& text) { return text ? *text : std::u16string(); }

} // namespace paloma
