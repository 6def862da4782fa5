// Fuzz target: the MIME parser and the decoders. Every range the parser gives
// lies inside the message, and a parsed body composes and parses again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/mail/MimeMessage.h"

using namespace paloma::host::mail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    ParsedMail parsed = parseMail(raw);
    auto inside = [&](long begin, long end) {
        if (begin >= 0 && (end < begin || static_cast<size_t>(end) > size))
            std::abort();
    };
    inside(parsed.textBegin, parsed.textEnd);
    inside(parsed.htmlBegin, parsed.htmlEnd);
    for (const auto* rows : {&parsed.attachments, &parsed.items})
        for (const PartRow& row : *rows)
            if (row.begin > row.end || row.end > size || row.contentType.size() > 260 || row.name.size() > 268)
                std::abort();
    MailBody body = bodyOf(raw, parsed);
    std::string again = composeHeaders(parsed.headers, "iso-8859-1") + composeBody(body, "iso-8859-1", {1, 2});
    MailBody back = bodyOf(again, parseMail(again));
    if (back.attachments.size() != body.attachments.size())
        std::abort();
    decodeQuotedPrintable(raw);
    encodeQuotedPrintable(raw);
    return 0;
}
