#include "host/mail/MimeMessage.h"

#include <cctype>
#include <cstdio>
#include <span>

#include "base/Base64.h"

namespace paloma::host::mail {

namespace {

constexpr size_t kTypeLimit = 260;
constexpr size_t kNameLimit = 268;
constexpr int kDepthLimit = 16;

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool startsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The header block of an entity: up to the first empty line. `bodyStart` is
// the offset after it (the end when there is none).
std::string_view headerBlock(std::string_view entity, size_t& bodyStart) {
    if (entity.starts_with("\r\n")) {
        bodyStart = 2;
        return {};
    }
    size_t end = entity.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        bodyStart = entity.size();
        return entity;
    }
    bodyStart = end + 4;
    return entity.substr(0, end + 2);
}

// The value of header `name` (given with its ": "), continuation lines joined.
bool findHeader(std::string_view block, std::string_view name, std::string& value) {
    size_t pos = 0;
    while (pos < block.size()) {
        size_t end = block.find("\r\n", pos);
        if (end == std::string_view::npos)
            end = block.size();
        std::string_view line = block.substr(pos, end - pos);
        pos = end + 2;
        if (!startsNoCase(line, name))
            continue;
        value.assign(line.substr(name.size()));
        while (pos < block.size() && (block[pos] == ' ' || block[pos] == '\t')) {
            size_t next = block.find("\r\n", pos);
            if (next == std::string_view::npos)
                next = block.size();
            value += ' ';
            value += trim(block.substr(pos, next - pos));
            pos = next + 2;
        }
        value = std::string(trim(value));
        return true;
    }
    return false;
}

// A parameter of a header value (`boundary`, `name`, `filename`), quotes removed.
std::string parameter(std::string_view value, std::string_view name) {
    size_t pos = 0;
    while ((pos = value.find(';', pos)) != std::string_view::npos) {
        ++pos;
        std::string_view rest = trim(value.substr(pos));
        if (!startsNoCase(rest, name))
            continue;
        rest.remove_prefix(name.size());
        rest = trim(rest);
        if (!rest.starts_with('='))
            continue;
        rest = trim(rest.substr(1));
        if (rest.starts_with('"')) {
            rest.remove_prefix(1);
            return std::string(rest.substr(0, rest.find('"')));
        }
        return std::string(trim(rest.substr(0, rest.find(';'))));
    }
    return {};
}

std::string mediaType(std::string_view value) {
    std::string type(trim(value.substr(0, value.find(';'))));
    for (char& c : type)
        c = lower(c);
    return type;
}

int encodingOf(std::string_view block) {
    std::string value;
    if (!findHeader(block, "Content-Transfer-Encoding: ", value))
        return EncodingBinary;
    if (startsNoCase(value, "base64"))
        return EncodingBase64;
    if (startsNoCase(value, "quoted-printable"))
        return EncodingQuotedPrintable;
    return EncodingBinary;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

struct Walker {
    std::string_view raw;
    ParsedMail& out;

    void entity(size_t begin, size_t end, int depth) {
        std::string_view text = raw.substr(begin, end - begin);
        size_t bodyStart = 0;
        std::string_view block = headerBlock(text, bodyStart);
        size_t bodyBegin = begin + bodyStart, bodyEnd = end;
        std::string type, disposition, contentId;
        bool hasType = findHeader(block, "Content-Type: ", type);
        std::string media = hasType ? mediaType(type) : "text/plain";
        if (media.starts_with("multipart/") && depth < kDepthLimit) {
            std::string boundary = parameter(type, "boundary");
            if (!boundary.empty()) {
                multipart(bodyBegin, bodyEnd, "--" + boundary, depth + 1);
                return;
            }
        }
        bool hasDisposition = findHeader(block, "Content-Disposition: ", disposition);
        std::string name = parameter(type, "name");
        std::string filename = hasDisposition ? parameter(disposition, "filename") : std::string();
        PartRow row;
        row.encoding = encodingOf(block);
        row.begin = bodyBegin;
        row.end = bodyEnd;
        row.contentType = hasType ? std::string(trim(std::string_view(type).substr(0, type.find(';'))))
                                  : std::string("application/octet-stream");
        if (row.contentType.size() > kTypeLimit)
            row.contentType.resize(kTypeLimit);
        bool attachment = (hasDisposition && startsNoCase(disposition, "attachment"));
        bool hasId = findHeader(block, "Content-ID: ", contentId);
        if (hasId && !attachment) {
            std::string_view id = trim(contentId);
            if (id.starts_with('<'))
                id.remove_prefix(1);
            if (id.ends_with('>'))
                id.remove_suffix(1);
            row.contentId = std::string(id.substr(0, kNameLimit));
            row.name = decodeEncodedWords(!name.empty() ? name : filename).substr(0, kNameLimit);
            out.items.push_back(std::move(row));
            return;
        }
        if (attachment || !name.empty() || !filename.empty()) {
            std::string n = !filename.empty() ? filename : name;
            row.name = n.empty() ? "attachment " + std::to_string(out.attachments.size() + 1)
                                 : decodeEncodedWords(n).substr(0, kNameLimit);
            out.attachments.push_back(std::move(row));
            return;
        }
        if (media == "text/plain" && out.textBegin < 0) {
            out.textBegin = static_cast<long>(bodyBegin);
            out.textEnd = static_cast<long>(bodyEnd);
            out.textEncoding = row.encoding;
        } else if (media == "text/html" && out.htmlBegin < 0) {
            out.htmlBegin = static_cast<long>(bodyBegin);
            out.htmlEnd = static_cast<long>(bodyEnd);
            out.htmlEncoding = row.encoding;
        }
    }

    // The parts between the delimiter lines; each part ends before the CR LF
    // that precedes the next delimiter.
    void multipart(size_t begin, size_t end, const std::string& delimiter, int depth) {
        size_t partStart = std::string_view::npos;
        size_t pos = begin;
        while (pos < end) {
            size_t lineEnd = raw.find("\r\n", pos);
            if (lineEnd == std::string_view::npos || lineEnd > end)
                lineEnd = end;
            std::string_view line = raw.substr(pos, lineEnd - pos);
            if (line.starts_with(delimiter)) {
                std::string_view rest = line.substr(delimiter.size());
                if (partStart != std::string_view::npos) {
                    size_t partEnd = pos >= partStart + 2 && raw.substr(pos - 2, 2) == "\r\n" ? pos - 2 : pos;
                    if (partEnd < partStart)
                        partEnd = partStart;
                    entity(partStart, partEnd, depth);
                }
                if (rest.starts_with("--"))
                    return;
                partStart = std::min(lineEnd + 2, end);
            }
            pos = lineEnd + 2;
        }
        if (partStart != std::string_view::npos && partStart < end)
            entity(partStart, end, depth); // no closing delimiter: the rest is the last part
    }
};

void appendWrapped(std::string& out, std::string_view encoded) {
    for (size_t i = 0; i < encoded.size(); i += 76) {
        out += encoded.substr(i, 76);
        out += "\r\n";
    }
}

std::string hexBoundary(BoundarySeed seed, unsigned third) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "====_PALOMA_MAIL_PART_%X.%X.%X_====", seed.process, seed.ticks, third);
    return buffer;
}

void appendTextPart(std::string& out, std::string_view type, std::string_view charset, std::string_view text,
                    bool lastInMessage = false) {
    out += "Content-Type: ";
    out += type;
    out += "; charset=\"";
    out += charset;
    out += "\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    out += encodeQuotedPrintable(text);
    if (!lastInMessage)
        out += "\r\n"; // belongs to the delimiter line that follows
}

void appendAlternative(std::string& out, const MailBody& body, std::string_view charset, const std::string& b) {
    out += "Content-Type: multipart/alternative;\r\n\tboundary=\"" + b + "\"\r\n\r\n";
    out += "--" + b + "\r\n";
    appendTextPart(out, "text/plain", charset, body.text);
    out += "--" + b + "\r\n";
    appendTextPart(out, "text/html", charset, body.html);
    out += "--" + b + "--\r\n\r\n";
}

void appendAttachment(std::string& out, const ComposePart& part, const std::string& b) {
    out += "--" + b + "\r\n";
    out += "Content-Type: " + part.contentType + "; name=\"" + part.name + "\"\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Disposition: attachment; filename=\"" + part.name + "\"\r\n\r\n";
    out += encodeBase64Lines(part.data);
}

void appendItem(std::string& out, const ComposePart& part, const std::string& b) {
    out += "--" + b + "\r\n";
    out += "Content-Type: " + part.contentType + "; name=\"" + part.name + "\"\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-ID: <" + part.contentId + ">\r\n\r\n";
    out += encodeBase64Lines(part.data);
}

constexpr std::string_view kPreamble = "This is a multi-part message in MIME format.\r\n\r\n";

} // namespace

const char* transferEncodingName(int encoding) {
    switch (encoding) {
    case EncodingQuotedPrintable:
        return "quoted-printable";
    case EncodingBase64:
        return "base64";
    default:
        return "binary";
    }
}

ParsedMail parseMail(std::string_view raw) {
    ParsedMail out;
    size_t bodyStart = 0;
    std::string_view block = headerBlock(raw, bodyStart);
    MailHeaders& h = out.headers;
    std::string value;
    struct {
        const char* name;
        std::string* field;
    } fields[] = {{"From: ", &h.from}, {"Reply-To: ", &h.replyTo}, {"To: ", &h.to}, {"Subject: ", &h.subject},
                  {"Cc: ", &h.cc},     {"Bcc: ", &h.bcc},         {"Date: ", &h.date}};
    for (auto& f : fields)
        if (findHeader(block, f.name, value))
            *f.field = decodeEncodedWords(value);
    if (findHeader(block, "X-Priority: ", value)) {
        int priority = 0;
        size_t i = 0;
        for (; i < value.size() && i < 6 && value[i] >= '0' && value[i] <= '9'; ++i)
            priority = priority * 10 + (value[i] - '0');
        if (i > 0)
            h.priority = priority;
    }
    Walker{raw, out}.entity(0, raw.size(), 0);
    return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 2 < text.size() + 0 && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2; // soft line break
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            i += 1;
            continue;
        }
        if (i + 2 < text.size()) {
            int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += c; // a bad escape stays as it is
    }
    return out;
}

std::string encodeQuotedPrintable(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    auto put = [&](std::string_view piece) {
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        bool beforeBreak = i + 1 == bytes.size() || bytes[i + 1] == '\r';
        bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !beforeBreak);
        // A "." at a line start is escaped too, so no line of the text can
        // be read as the end of the data.
        if (plain && !(c == '.' && column == 0)) {
            char one[1] = {static_cast<char>(c)};
            put(std::string_view(one, 1));
        } else {
            char three[3] = {'=', hex[c >> 4], hex[c & 15]};
            put(std::string_view(three, 3));
        }
    }
    return out;
}

std::string encodeBase64Lines(std::string_view bytes) {
    std::string encoded = base64Encode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    std::string out;
    out.reserve(encoded.size() + encoded.size() / 38 + 2);
    appendWrapped(out, encoded);
    return out;
}

std::string decodeTransfer(std::string_view content, int encoding) {
    if (encoding == EncodingQuotedPrintable)
        return decodeQuotedPrintable(content);
    if (encoding == EncodingBase64) {
        std::string clean;
        clean.reserve(content.size());
        for (char c : content)
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=')
                clean += c;
        std::vector<uint8_t> bytes = base64Decode(clean);
        return std::string(bytes.begin(), bytes.end());
    }
    return std::string(content);
}

std::string decodeEncodedWords(std::string_view text) {
    std::string out;
    size_t pos = 0;
    bool lastWasWord = false;
    while (pos < text.size()) {
        size_t start = text.find("=?", pos);
        if (start == std::string_view::npos) {
            out += text.substr(pos);
            break;
        }
        std::string_view between = text.substr(pos, start - pos);
        size_t q1 = text.find('?', start + 2);
        size_t q2 = q1 == std::string_view::npos ? q1 : text.find('?', q1 + 1);
        size_t close = q2 == std::string_view::npos ? q2 : text.find("?=", q2 + 1);
        if (close == std::string_view::npos || q2 != q1 + 2) {
            out += text.substr(pos, start + 2 - pos);
            pos = start + 2;
            lastWasWord = false;
            continue;
        }
        // Only white space between two encoded words disappears.
        if (!(lastWasWord && trim(between).empty()))
            out += between;
        char kind = lower(text[q1 + 1]);
        std::string_view payload = text.substr(q2 + 1, close - q2 - 1);
        if (kind == 'b') {
            out += decodeTransfer(payload, EncodingBase64);
        } else if (kind == 'q') {
            std::string spaced(payload);
            for (char& c : spaced)
                if (c == '_')
                    c = ' ';
            out += decodeQuotedPrintable(spaced);
        } else {
            out += text.substr(start, close + 2 - start);
        }
        pos = close + 2;
        lastWasWord = true;
    }
    return out;
}

MailBody bodyOf(std::string_view raw, const ParsedMail& parsed) {
    MailBody body;
    auto range = [&](long begin, long end) {
        if (begin < 0 || end < begin || static_cast<size_t>(end) > raw.size())
            return std::string_view();
        return raw.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
    };
    body.text = decodeTransfer(range(parsed.textBegin, parsed.textEnd), parsed.textEncoding);
    body.html = decodeTransfer(range(parsed.htmlBegin, parsed.htmlEnd), parsed.htmlEncoding);
    auto copy = [&](const std::vector<PartRow>& rows, std::vector<ComposePart>& parts) {
        for (const PartRow& row : rows) {
            ComposePart part;
            part.contentType = row.contentType;
            part.name = row.name;
            part.contentId = row.contentId;
            part.data = decodeTransfer(range(static_cast<long>(row.begin), static_cast<long>(row.end)), row.encoding);
            parts.push_back(std::move(part));
        }
    };
    copy(parsed.items, body.items);
    copy(parsed.attachments, body.attachments);
    return body;
}

const char* charsetForCodePage(unsigned codePage) {
    switch (codePage) {
    case 932:
        return "iso-2022-jp";
    case 936:
        return "gb2312";
    case 949:
        return "iso-2022-kr";
    case 950:
        return "big5";
    case 1250:
        return "iso-8859-2";
    case 1251:
        return "iso-8859-5";
    default:
        return "iso-8859-1";
    }
}

std::string composeHeaders(const MailHeaders& h, std::string_view charset) {
    std::string out;
    out += "From: " + (h.from.empty() ? std::string(" ") : h.from) + "\r\n";
    out += "To: " + (h.to.empty() ? std::string(" ") : h.to) + "\r\n";
    if (!h.replyTo.empty())
        out += "Reply-To: " + h.replyTo + "\r\n";
    if (!h.cc.empty())
        out += "Cc: " + h.cc + "\r\n";
    if (!h.bcc.empty())
        out += "Bcc: " + h.bcc + "\r\n";
    if (h.subject.empty()) {
        out += "Subject: \r\n";
    } else {
        out += "Subject: =?";
        out += charset;
        out += "?B?";
        out += base64Encode(std::span(reinterpret_cast<const uint8_t*>(h.subject.data()), h.subject.size()));
        out += "?=\r\n";
    }
    if (!h.date.empty())
        out += "Date: " + h.date + "\r\n";
    out += "MIME-Version: 1.0\r\nX-Mailer: Paloma.Quill\r\n";
    out += "X-Priority: " + std::to_string(h.priority) + "\r\n";
    return out;
}

std::string composeBody(const MailBody& body, std::string_view charset, BoundarySeed seed) {
    std::string out;
    bool hasHtml = !body.html.empty(), hasItems = !body.items.empty(), hasAttachments = !body.attachments.empty();
    std::string outer = hexBoundary(seed, 1), inner = hexBoundary(seed, 2), alternative = hexBoundary(seed, 3);
    if (!hasAttachments && !hasHtml) {
        appendTextPart(out, "text/plain", charset, body.text, true);
        return out;
    }
    if (hasAttachments && !hasHtml && !hasItems) {
        out += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + outer + "\"\r\n\r\n";
        out += kPreamble;
        out += "--" + outer + "\r\n";
        appendTextPart(out, "text/plain", charset, body.text);
        for (const ComposePart& part : body.attachments)
            appendAttachment(out, part, outer);
        out += "--" + outer + "--\r\n\r\n";
        return out;
    }
    auto related = [&](const std::string& b) {
        out += "Content-Type: multipart/related;\r\n\ttype=\"multipart/alternative\";\r\n\tboundary=\"" + b +
               "\"\r\n\r\n";
    };
    auto relatedBody = [&](const std::string& b) {
        out += "--" + b + "\r\n";
        appendAlternative(out, body, charset, alternative);
        for (const ComposePart& part : body.items)
            appendItem(out, part, b);
        out += "--" + b + "--\r\n\r\n";
    };
    if (hasHtml && hasItems && !hasAttachments) {
        related(outer);
        out += kPreamble;
        relatedBody(outer);
        return out;
    }
    out += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + outer + "\"\r\n\r\n";
    out += kPreamble;
    out += "--" + outer + "\r\n";
    related(inner);
    relatedBody(inner);
    for (const ComposePart& part : body.attachments)
        appendAttachment(out, part, outer);
    out += "--" + outer + "--\r\n\r\n";
    return out;
}

std::string contentTypeForName(std::string_view name) {
    std::string ext;
    if (size_t dot = name.rfind('.'); dot != std::string_view::npos)
        for (char c : name.substr(dot + 1))
            ext += lower(c);
    struct {
        const char* ext;
        const char* type;
    } static const kTypes[] = {{"txt", "text/plain"}, {"htm", "text/html"},  {"html", "text/html"},
                               {"gif", "image/gif"},  {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
                               {"png", "image/png"},  {"bmp", "image/bmp"},  {"zip", "application/zip"},
                               {"pdf", "application/pdf"}};
    for (const auto& t : kTypes)
        if (ext == t.ext)
            return t.type;
    return "application/octet-stream";
}

} // namespace paloma::host::mail
