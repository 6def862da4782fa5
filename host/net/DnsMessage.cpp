#include "host/net/DnsMessage.h"

namespace paloma::host::net {

namespace {

constexpr uint16_t kTypeMx = 15;
constexpr uint16_t kClassIn = 1;
constexpr size_t kMaxName = 255;
constexpr int kMaxPointers = 64;

void putShort(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v & 0xFF));
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool has(size_t n) const { return pos_ <= bytes_.size() && bytes_.size() - pos_ >= n; }
    std::optional<uint16_t> u16() { return u16At(pos_, true); }
    bool skip(size_t n) {
        if (!has(n))
            return false;
        pos_ += n;
        return true;
    }
    size_t pos() const { return pos_; }

    // A possibly compressed name starting at the current position; the
    // position moves past its bytes in place (not the ones pointed to).
    std::optional<std::string> name() {
        std::string out;
        size_t at = pos_;
        bool jumped = false;
        int pointers = 0;
        for (;;) {
            if (at >= bytes_.size())
                return std::nullopt;
            uint8_t length = static_cast<uint8_t>(bytes_[at]);
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= bytes_.size() || ++pointers > kMaxPointers)
                    return std::nullopt;
                size_t target = (static_cast<size_t>(length & 0x3F) << 8) | static_cast<uint8_t>(bytes_[at + 1]);
                if (!jumped)
                    pos_ = at + 2;
                jumped = true;
                at = target;
                continue;
            }
            if (length & 0xC0)
                return std::nullopt; // reserved label kinds
            if (length == 0) {
                if (!jumped)
                    pos_ = at + 1;
                return out;
            }
            if (at + 1 + length > bytes_.size() || out.size() + length + 1 > kMaxName)
                return std::nullopt;
            if (!out.empty())
                out.push_back('.');
            out.append(bytes_.substr(at + 1, length));
            at += 1 + length;
        }
    }

private:
    std::optional<uint16_t> u16At(size_t at, bool advance) {
        if (at > bytes_.size() || bytes_.size() - at < 2)
            return std::nullopt;
        uint16_t v = static_cast<uint16_t>((static_cast<uint8_t>(bytes_[at]) << 8) | static_cast<uint8_t>(bytes_[at + 1]));
        if (advance)
            pos_ = at + 2;
        return v;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
};

} // namespace

std::string mxQuery(std::string_view domain, uint16_t id) {
    if (!domain.empty() && domain.back() == '.')
        domain.remove_suffix(1);
    if (domain.empty() || domain.size() + 2 > kMaxName)
        return {};
    std::string out;
    putShort(out, id);
    putShort(out, 0x0100); // a standard query, recursion desired
    putShort(out, 1);      // one question
    putShort(out, 0);
    putShort(out, 0);
    putShort(out, 0);
    size_t start = 0;
    while (start <= domain.size()) {
        size_t dot = domain.find('.', start);
        if (dot == std::string_view::npos)
            dot = domain.size();
        size_t length = dot - start;
        if (length == 0 || length > 63)
            return {};
        out.push_back(static_cast<char>(length));
        out.append(domain.substr(start, length));
        start = dot + 1;
    }
    out.push_back('\0');
    putShort(out, kTypeMx);
    putShort(out, kClassIn);
    return out;
}

std::optional<std::vector<MxRecord>> readMxReply(std::string_view reply, uint16_t id) {
    Reader r(reply);
    auto replyId = r.u16(), flags = r.u16(), questions = r.u16(), answers = r.u16();
    if (!replyId || !flags || !questions || !answers || !r.skip(4))
        return std::nullopt;
    // Our id, a response, no error code.
    if (*replyId != id || !(*flags & 0x8000) || (*flags & 0x000F) != 0)
        return std::nullopt;
    for (uint16_t i = 0; i < *questions; ++i)
        if (!r.name() || !r.skip(4))
            return std::nullopt;
    std::vector<MxRecord> records;
    for (uint16_t i = 0; i < *answers; ++i) {
        auto owner = r.name();
        auto type = r.u16(), cls = r.u16();
        if (!owner || !type || !cls || !r.skip(4))
            return std::nullopt;
        auto length = r.u16();
        if (!length || !r.has(*length))
            return std::nullopt;
        size_t end = r.pos() + *length;
        if (*type == kTypeMx && *cls == kClassIn) {
            auto preference = r.u16();
            auto exchanger = preference ? r.name() : std::nullopt;
            if (!exchanger || r.pos() > end)
                return std::nullopt;
            records.push_back({std::move(*exchanger), *preference});
        }
        if (r.pos() > end)
            return std::nullopt;
        r.skip(end - r.pos());
    }
    return records;
}

} // namespace paloma::host::net
