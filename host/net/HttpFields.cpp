#include "host/net/HttpFields.h"

namespace paloma::host::net {

std::optional<int64_t> parseContentLength(std::u16string_view text) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    int64_t n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        int digit = c - u'0';
        if (n > (INT64_MAX - digit) / 10)
            return std::nullopt;
        n = n * 10 + digit;
    }
    return n;
}

} // namespace paloma::host::net
