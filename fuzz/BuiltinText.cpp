// Fuzz target: the text a script hands the built-ins (and regular-expression
// literals from images): date parsing, number formats, patterns and replace
// texts.
#include "script/builtins/DateMath.h"
#include "script/builtins/NumberFormat.h"
#include "script/builtins/RegExpPattern.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // One code unit per byte; byte 0 picks the flags, a 0xFF byte splits
    // pattern from text.
    std::u16string units(data + 1, data + size);
    std::uint32_t flags = data[0] & 7;

    if (auto t = quill::datemath::parseDate(units, 3600000.0)) {
        if (!quill::datemath::isValidTime(*t))
            std::abort(); // an accepted text gives a valid time value or 0
        (void)quill::datemath::formatGmt(*t);
        (void)quill::datemath::formatLocal(*t, -3600000.0);
    }

    quill::numberformat::FormatNumber n{(data[0] & 8) != 0, std::int64_t(size) * 7919 - 40000, double(size) / 3};
    if (quill::numberformat::format(units, n).size() > quill::numberformat::kFormatMaxLength)
        std::abort();

    size_t split = units.find(u'\xFF');
    std::u16string pattern = units.substr(0, split == std::u16string::npos ? units.size() : split);
    std::u16string text = split == std::u16string::npos ? units : units.substr(split + 1);
    if (pattern.size() > 64 || text.size() > 512)
        return 0;
    quill::RegExpPattern re;
    if (re.compile(pattern, flags, (data[0] & 16) ? quill::RegExpSyntax::CompileMethod : quill::RegExpSyntax::Standard))
        return 0;
    quill::MatchTable table;
    std::uint32_t lastIndex = 0;
    auto replaced = quill::regExpReplace(re, true, lastIndex, text, u"<$&$1$`$'$+$$>", table);
    auto pieces = quill::regExpSplit(re, text, 100, table);
    auto matches = quill::regExpMatchAll(re, text, lastIndex, table);
    if (lastIndex != 0 || pieces.size() > 100)
        std::abort();
    // A series of searches finds what fresh searches from the same starts find.
    quill::RegExpSubject subject(text);
    quill::RegExpCursor cursor(re, subject);
    quill::MatchTable viaCursor, fresh;
    for (std::size_t d = 0; d <= text.size();) {
        bool found = cursor.search(d, viaCursor);
        if (found != re.search(subject, d, fresh))
            std::abort();
        if (!found)
            break;
        for (std::size_t g = 0; g < quill::kMatchPairs; ++g) {
            if (viaCursor.start(g) != fresh.start(g) || viaCursor.end(g) != fresh.end(g))
                std::abort();
        }
        d = std::size_t(viaCursor.end(0)) + (viaCursor.start(0) == viaCursor.end(0) ? 1 : 0);
    }
    return 0;
}
