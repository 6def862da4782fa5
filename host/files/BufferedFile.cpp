// The file behind FileStream.
#include "host/files/BufferedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/files/StreamLayout.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace paloma::host {

namespace {

#ifdef _WIN32
int64_t tellFile(std::FILE* f) { return _ftelli64(f); }
int seekFile(std::FILE* f, int64_t pos, int whence) { return _fseeki64(f, pos, whence); }
int getByte(std::FILE* f) { return _fgetc_nolock(f); }
int putByte(int c, std::FILE* f) { return _fputc_nolock(c, f); }
size_t readBlock(void* out, size_t n, std::FILE* f) { return std::fread(out, 1, n, f); }
size_t writeBlock(const void* in, size_t n, std::FILE* f) { return std::fwrite(in, 1, n, f); }
#else
int64_t tellFile(std::FILE* f) { return ftello(f); }
int seekFile(std::FILE* f, int64_t pos, int whence) { return fseeko(f, off_t(pos), whence); }
int getByte(std::FILE* f) { return getc_unlocked(f); }
int putByte(int c, std::FILE* f) { return putc_unlocked(c, f); }
size_t readBlock(void* out, size_t n, std::FILE* f) { return fread_unlocked(out, 1, n, f); }
size_t writeBlock(const void* in, size_t n, std::FILE* f) { return fwrite_unlocked(in, 1, n, f); }
#endif

// The typed members move a few bytes at a time: byte by byte through the
// stream's buffer is cheaper than a block call for those. (One thread uses a
// stream, so the stream's lock is not taken.)
constexpr size_t kSmall = 8;

std::string temporaryFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    DWORD n = GetTempPathA(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH)
        return {};
    return std::string(buffer, n);
#else
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
#endif
}

// Creates the file only when it does not exist yet, open for update.
std::FILE* createExclusive(const std::string& path) {
#ifdef _WIN32
    int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* f = _fdopen(fd, "w+b");
    if (!f)
        _close(fd);
#else
    int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f)
        ::close(fd);
#endif
    return f;
}

} // namespace

BufferedFile::BufferedFile(std::FILE* file, std::string path, bool temporary)
    : file_(file), path_(std::move(path)), temporary_(temporary) {}

BufferedFile::~BufferedFile() {
    std::fclose(file_);
    if (temporary_)
        std::remove(path_.c_str());
}

std::optional<std::string> BufferedFile::binaryMode(std::string_view mode) {
    std::string text(mode);
    bool binary = false;
    for (char& ch : text) {
        if (ch == 't')
            ch = 'b';
        binary = binary || ch == 'b';
    }
    if (!binary)
        text += 'b';
    // r, w or a, then at most one '+' and the 'b's, in any order.
    if (text.empty() || (text[0] != 'r' && text[0] != 'w' && text[0] != 'a'))
        return std::nullopt;
    int plus = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '+')
            ++plus;
        else if (text[i] != 'b')
            return std::nullopt;
    }
    if (plus > 1)
        return std::nullopt;
    return text;
}

std::unique_ptr<BufferedFile> BufferedFile::openExisting(const std::string& path) {
    return openWithMode(path, "r+b");
}

std::unique_ptr<BufferedFile> BufferedFile::openWithMode(const std::string& path, std::string_view mode) {
    auto binary = binaryMode(mode);
    if (!binary || path.empty() || path.find('\0') != std::string::npos)
        return nullptr;
    // A folder opens on some systems; it is no stream.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR)
        return nullptr;
    std::FILE* f = std::fopen(path.c_str(), binary->c_str());
    if (!f)
        return nullptr;
    return std::unique_ptr<BufferedFile>(new BufferedFile(f, path, false));
}

std::unique_ptr<BufferedFile> BufferedFile::openTemporary() {
    std::string folder = temporaryFolder();
    if (folder.empty())
        return nullptr;
    // The system's unique-name rule: prefix, the number in hex, ".tmp".
    for (unsigned n = 1; n <= 0xFFFF; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "~pl%X.tmp", n);
        std::string path = folder + name;
        if (std::FILE* f = createExclusive(path))
            return std::unique_ptr<BufferedFile>(new BufferedFile(f, path, true));
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

void BufferedFile::beforeRead() {
    if (last_ == Last::Write)
        seekFile(file_, 0, SEEK_CUR);
    last_ = Last::Read;
}

void BufferedFile::beforeWrite() {
    if (last_ == Last::Read)
        seekFile(file_, 0, SEEK_CUR);
    last_ = Last::Write;
}

size_t BufferedFile::readBytes(uint8_t* out, size_t count) {
    beforeRead();
    if (count > kSmall)
        return readBlock(out, count, file_);
    size_t n = 0;
    for (int c; n < count && (c = getByte(file_)) != EOF;)
        out[n++] = uint8_t(c);
    return n;
}

int BufferedFile::get() {
    beforeRead();
    int c = getByte(file_);
    return c == EOF ? -1 : c;
}

int16_t BufferedFile::getShort() {
    uint8_t b[2];
    return decodeShort(std::span<const uint8_t>(b, readBytes(b, 2)));
}

int32_t BufferedFile::getLong() {
    uint8_t b[4];
    return decodeLong(std::span<const uint8_t>(b, readBytes(b, 4)));
}

float BufferedFile::getFloat() {
    uint8_t b[4];
    return decodeFloat(std::span<const uint8_t>(b, readBytes(b, 4)));
}

double BufferedFile::getDouble() {
    uint8_t b[8];
    return decodeDouble(std::span<const uint8_t>(b, readBytes(b, 8)));
}

std::vector<uint8_t> BufferedFile::read(uint64_t count) {
    // Grown as bytes arrive, so a huge count costs only what the file holds.
    std::vector<uint8_t> bytes;
    constexpr size_t kPiece = 65536;
    while (bytes.size() < count) {
        size_t want = size_t(std::min<uint64_t>(kPiece, count - bytes.size()));
        size_t had = bytes.size();
        bytes.resize(had + want);
        size_t got = readBytes(bytes.data() + had, want);
        bytes.resize(had + got);
        if (got < want)
            break;
    }
    return bytes;
}

std::string BufferedFile::readLine() {
    beforeRead();
    std::string line;
    for (int c; (c = getByte(file_)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            break;
        }
        line += char(c);
    }
    return line;
}

std::string BufferedFile::readString() {
    beforeRead();
    std::string text;
    for (int c; (c = getByte(file_)) != EOF && c != 0;)
        text += char(c);
    return text;
}

std::u16string BufferedFile::readUnicodeString() {
    std::u16string text;
    for (;;) {
        uint8_t b[2];
        if (readBytes(b, 2) < 2)
            break;
        char16_t unit = char16_t(b[0] | b[1] << 8);
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

bool BufferedFile::unget(uint8_t byte) {
    beforeRead();
    return std::ungetc(byte, file_) != EOF;
}

bool BufferedFile::stepBack() {
    auto pos = position();
    return pos && *pos > 0 && seek(*pos - 1);
}

bool BufferedFile::put(uint8_t byte) {
    beforeWrite();
    return putByte(byte, file_) != EOF;
}

bool BufferedFile::putShort(int64_t value) {
    uint8_t b[2];
    storeLittle(b, uint64_t(value), 2);
    return write(b);
}

bool BufferedFile::putFloat(double value) {
    uint8_t b[4];
    storeLittle(b, std::bit_cast<uint32_t>(float(value)), 4);
    return write(b);
}

bool BufferedFile::writeLong(uint32_t value) {
    uint8_t b[4];
    storeLittle(b, value, 4);
    return write(b);
}

bool BufferedFile::writeDouble(double value) {
    uint8_t b[8];
    storeLittle(b, std::bit_cast<uint64_t>(value), 8);
    return write(b);
}

bool BufferedFile::write(std::span<const uint8_t> bytes) {
    beforeWrite();
    if (bytes.size() > kSmall)
        return writeBlock(bytes.data(), bytes.size(), file_) == bytes.size();
    for (uint8_t b : bytes)
        if (putByte(b, file_) == EOF)
            return false;
    return true;
}

bool BufferedFile::flush() { return std::fflush(file_) == 0; }

std::optional<int64_t> BufferedFile::position() {
    int64_t pos = tellFile(file_);
    if (pos < 0)
        return std::nullopt;
    return pos;
}

bool BufferedFile::seek(int64_t position) {
    if (position < 0)
        return false;
    last_ = Last::None;
    return seekFile(file_, position, SEEK_SET) == 0;
}

std::optional<int64_t> BufferedFile::length() {
    if (std::fflush(file_) != 0)
        return std::nullopt;
#ifdef _WIN32
    int64_t n = _filelengthi64(_fileno(file_));
#else
    struct stat st;
    int64_t n = ::fstat(fileno(file_), &st) == 0 ? int64_t(st.st_size) : -1;
#endif
    if (n < 0)
        return std::nullopt;
    return n;
}

bool BufferedFile::truncate(int64_t size) {
    if (size < 0 || !seek(0) || std::fflush(file_) != 0)
        return false;
#ifdef _WIN32
    return _chsize_s(_fileno(file_), size) == 0;
#else
    return ::ftruncate(fileno(file_), off_t(size)) == 0;
#endif
}

bool BufferedFile::eof() const { return std::feof(file_) != 0; }

} // namespace paloma::host
