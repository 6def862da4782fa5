#pragma once
// A mail message as raw RFC 822 text: composing the header block and the MIME
// body (plain text, HTML, related items, attachments) and parsing a message
// back into its headers and the byte ranges of its parts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host::mail {

enum TransferEncoding { EncodingBinary = 0, EncodingQuotedPrintable = 1, EncodingBase64 = 2 };
const char* transferEncodingName(int encoding);

struct MailHeaders {
    std::string from, replyTo, to, subject, cc, bcc, date;
    int priority = 3;
};

// One attachment or related item of a parsed message: its place in the raw text.
struct PartRow {
    int encoding = EncodingBinary;
    std::string contentType; // at most 260 bytes
    std::string name;        // at most 268 bytes
    std::string contentId;   // related items only
    size_t begin = 0, end = 0;
};

struct ParsedMail {
    MailHeaders headers;
    long textBegin = -1, textEnd = -1, htmlBegin = -1, htmlEnd = -1;
    int textEncoding = EncodingBinary, htmlEncoding = EncodingBinary;
    std::vector<PartRow> attachments, items;
};

// Parses headers (encoded words decoded) and the MIME tree. Never fails:
// what cannot be read is left out.
ParsedMail parseMail(std::string_view raw);

// Decodes a part's content by its transfer encoding.
std::string decodeTransfer(std::string_view content, int encoding);
std::string decodeQuotedPrintable(std::string_view text);
std::string encodeQuotedPrintable(std::string_view bytes);
std::string encodeBase64Lines(std::string_view bytes);
// "=?charset?B?...?=" and "=?charset?Q?...?=" words replaced by their bytes.
std::string decodeEncodedWords(std::string_view text);

// A part to compose: its decoded bytes.
struct ComposePart {
    std::string contentType = "application/octet-stream";
    std::string name;
    std::string contentId; // related items
    std::string data;
};

struct MailBody {
    std::string text, html;
    std::vector<ComposePart> items, attachments;
};

// The body of a parsed message, decoded, ready to be changed and composed.
MailBody bodyOf(std::string_view raw, const ParsedMail& parsed);

// The numbers that make the two boundaries of a message unique.
struct BoundarySeed {
    uint32_t process = 0, ticks = 0;
};

// The charset named for an ANSI code page.
const char* charsetForCodePage(unsigned codePage);

std::string composeHeaders(const MailHeaders& headers, std::string_view charset);
std::string composeBody(const MailBody& body, std::string_view charset, BoundarySeed seed);

// The content type to give a file attached by path.
std::string contentTypeForName(std::string_view name);

} // namespace paloma::host::mail
