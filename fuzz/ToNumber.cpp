// Fuzz target: string-to-number conversion of arbitrary text (ToNumber, the
// integer scanner in every radix, the decimal conversion).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "script/values/Convert.h"
#include "script/values/String.h"

using namespace quill;

namespace {
Engine& engine() {
    static Engine e;
    return e;
}

void check(std::u16string_view text) {
    Engine& e = engine();
    Value s = newString(e, text);
    Value n = toNumber(e, s);
    if (!n.isInteger() && !n.isFloat() && !n.isNaN())
        std::abort();
    for (int radix = 0; radix <= 36; radix = radix == 0 ? 2 : radix + 1) {
        ScanResult r = scanInteger(text, radix);
        if (r.end > text.size() || (r.type == ScanResult::None) != (r.end == 0))
            std::abort();
    }
    double d;
    if (parseDecimal(text, d) > text.size())
        std::abort();
    // Plain decimal text of up to 18 digits without a leading zero is an
    // exact Integer.
    if (!text.empty() && text.size() <= 18 && text[0] >= u'1' && text[0] <= u'9') {
        bool digits = true;
        int64_t want = 0;
        for (char16_t c : text) {
            if (c < u'0' || c > u'9') {
                digits = false;
                break;
            }
            want = want * 10 + (c - u'0');
        }
        if (digits && (!n.isInteger() || n.asInteger() != want))
            std::abort();
    }
    e.resetStack();
    e.collectGarbage();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string bytes;
    for (size_t i = 0; i < size; ++i)
        bytes += static_cast<char16_t>(data[i]);
    check(bytes);
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    check(units);
    return 0;
}
