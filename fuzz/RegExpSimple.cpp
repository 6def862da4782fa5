// Fuzz target: the simple matcher against the library. A pattern of
// single-unit items with repeats (built from the input, or taken as it
// stands) is compiled as it is and with an empty group appended, which the
// simple matcher leaves to the library and which changes no overall match;
// both must find the same match from every position, and give the same
// replace, split and match results.
#include "script/builtins/RegExpPattern.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Units that tell the library's folding and classes apart: ASCII letters,
// digits and separators, Latin-1 and other cased letters, line separators,
// surrogates and NUL.
const char16_t kUnits[] = {u'a',    u'b',    u'A',    u'B',    u'z',    u'0',    u'9',    u'_',
                           u' ',    u'-',    u'\n',   u'\r',   u'\t',   u'.',    u'k',    u's',
                           0x00E9,  0x00C9,  0x017F,  0x212A,  0x0130,  0x03A3,  0x03C3,  0x03C2,
                           0x2028,  0x0085,  0xD800,  0xDC00,  0x0000,  0xFF21,  0x0660,  0x00A0};
constexpr unsigned kUnitCount = sizeof(kUnits) / sizeof(kUnits[0]);

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool done() const { return at >= size; }
    uint8_t next() { return at < size ? data[at++] : 0; }
};

// A literal unit for a pattern: escaped when it would be special.
void appendLiteral(std::u16string& p, char16_t c) {
    if (c < 0x20)
        c = u'x';
    if (std::u16string_view(u".[]{}()*+?^$|\\-").find(c) != std::u16string_view::npos)
        p += u'\\';
    p += c;
}

std::u16string makePattern(Reader& in, unsigned& variable) {
    static const char16_t* kClasses[] = {u"\\d", u"\\D", u"\\w", u"\\W", u"\\s", u"\\S", u"\\t", u"\\n"};
    std::u16string p;
    unsigned items = 1 + in.next() % 6;
    for (unsigned i = 0; i < items && !in.done(); ++i) {
        uint8_t b = in.next();
        switch (b % 6) {
        case 0: p += u'.'; break;
        case 1: p += kClasses[(b >> 3) % 8]; break;
        case 2: {
            p += u'[';
            if (b & 0x80)
                p += u'^';
            unsigned parts = 1 + (b >> 3) % 3;
            for (unsigned j = 0; j < parts; ++j) {
                uint8_t e = in.next();
                if (e % 4 == 0) {
                    p += kClasses[(e >> 2) % 6];
                } else {
                    char16_t lo = kUnits[(e >> 2) % kUnitCount];
                    appendLiteral(p, lo == u']' || lo == u'[' || lo == u'^' ? u'y' : lo);
                    if (e % 4 == 1) {
                        p += u'-';
                        char16_t hi = kUnits[in.next() % kUnitCount];
                        appendLiteral(p, hi < lo ? lo : hi);
                    }
                }
            }
            p += u']';
            break;
        }
        default: appendLiteral(p, kUnits[(b >> 3) % kUnitCount]); break;
        }
        uint8_t q = in.next();
        switch (q % 8) {
        case 1: p += u'*'; ++variable; break;
        case 2: p += u'+'; ++variable; break;
        case 3: p += u'?'; ++variable; break;
        case 4: p += u'{' + std::u16string(1, char16_t(u'0' + (q >> 3) % 4)) + u'}'; break;
        case 5: p += u'{' + std::u16string(1, char16_t(u'0' + (q >> 3) % 3)) + u",}"; ++variable; break;
        case 6:
            p += u'{' + std::u16string(1, char16_t(u'0' + (q >> 3) % 3)) + u',' +
                 std::u16string(1, char16_t(u'2' + (q >> 5) % 3)) + u'}';
            ++variable;
            break;
        default: break;
        }
    }
    return p;
}

void expectSame(bool same) {
    if (!same)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // Byte 0: bits 0-2 the flags; bit 7 takes the pattern as it stands (up
    // to a 0xFF byte), otherwise it is built from the next bytes. The rest
    // picks the text's units.
    Reader in{data + 1, size - 1};
    std::uint32_t flags = data[0] & 7;
    std::u16string pattern;
    unsigned variable = 0;
    if (data[0] & 0x80) {
        while (!in.done() && in.data[in.at] != 0xFF) {
            uint8_t b = in.next();
            pattern += b < 0x80 ? char16_t(b) : kUnits[b % kUnitCount];
            if (b == '*' || b == '+' || b == '?' || b == '{')
                ++variable;
        }
        in.next();
    } else {
        pattern = makePattern(in, variable);
    }
    // Keep the library within its backtracking budget.
    if (pattern.size() > 40 || variable > 3)
        return 0;
    // The library gives up (and finds nothing) once a search takes more
    // than about 100,000 steps; three repeats can backtrack some n^3 times
    // over a text of n units, so their texts stay within 32 units.
    std::size_t longest = variable >= 3 ? 32 : 48;
    std::u16string text;
    while (!in.done() && text.size() < longest)
        text += kUnits[in.next() % kUnitCount];

    quill::RegExpPattern simple, library;
    if (simple.compile(pattern, flags, quill::RegExpSyntax::Standard))
        return 0;
    if (!simple.isSimple())
        return 0;
    expectSame(!library.compile(pattern + u"()", flags, quill::RegExpSyntax::Standard) && !library.isSimple());

    // Every search position.
    quill::RegExpSubject subject(text);
    quill::MatchTable a, b;
    for (std::size_t d = 0; d <= text.size(); ++d) {
        bool found = simple.search(subject, d, a);
        expectSame(found == library.search(subject, d, b));
        expectSame(!found || (a.start(0) == b.start(0) && a.end(0) == b.end(0) && a.used == 1));
    }
    // The String forms.
    std::uint32_t lastA = data[size - 1] % 50, lastB = lastA;
    bool global = (flags & quill::kRegExpFlagGlobal) != 0;
    const std::u16string_view with = u"<$&$`$'$$$+$1$x>";
    expectSame(quill::regExpReplace(simple, global, lastA, text, with, a) ==
               quill::regExpReplace(library, global, lastB, text, with, b));
    expectSame(lastA == lastB && a.start(0) == b.start(0) && a.end(0) == b.end(0));
    std::int64_t limit = data[size - 1] % 7;
    expectSame(quill::regExpSplit(simple, text, limit, a) == quill::regExpSplit(library, text, limit, b));
    expectSame(quill::regExpMatchAll(simple, text, lastA, a) == quill::regExpMatchAll(library, text, lastB, b));

    // Text kept one byte a unit, where every unit fits: the same matches
    // and the same replace as the library gives for the UTF-16 text.
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; })) {
        std::vector<unsigned char> bytes(text.begin(), text.end());
        quill::RegExpSubject narrow(quill::ByteText{bytes.data(), bytes.size()});
        for (std::size_t d = 0; d <= text.size(); ++d) {
            bool found = simple.search(narrow, d, a);
            expectSame(found == library.search(subject, d, b));
            expectSame(!found || (a.start(0) == b.start(0) && a.end(0) == b.end(0)));
        }
        const std::vector<unsigned char> narrowWith(with.begin(), with.end());
        lastA = lastB = data[size - 1] % 50;
        std::vector<unsigned char> replaced;
        quill::regExpReplace(simple, global, lastA, quill::ByteText{bytes.data(), bytes.size()},
                             quill::ByteText{narrowWith.data(), narrowWith.size()}, a, [&](std::size_t n) {
                                 replaced.resize(n);
                                 return replaced.data();
                             });
        auto expected = quill::regExpReplace(library, global, lastB, text, with, b);
        expectSame(std::equal(replaced.begin(), replaced.end(), expected.begin(), expected.end()));
        expectSame(lastA == lastB);
    }
    return 0;
}
