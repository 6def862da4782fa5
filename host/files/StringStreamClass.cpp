// StringStream: an in-memory binary buffer for scripts, with independent read
// and write positions, typed reads and writes, zlib compression and a CRC
// (the buffer itself is MemoryStream).
#include "host/files/StringStreamClass.h"

#include <memory>

#include "base/HostPath.h"
#include "base/TextCodec.h"
#include "host/files/MemoryStream.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

constexpr int kDefaultMode = MemoryStream::kIn | MemoryStream::kOut;

// A new StringStream object holding `stream`, of the same class.
Value newStream(MemberCall& c, MemoryStream stream) {
    Value result = nullResult();
    c.engine.noteNativeBytes(stream.length());
    bindHandle(c.engine, c.cls, std::make_unique<MemoryStream>(std::move(stream)), result);
    return result;
}

std::filesystem::path pathFromAnsi(const std::string& ansi) { return hostPath(ansiToUtf16(ansi)); }

// The stream inside a script value that is a live StringStream, or null.
MemoryStream* streamOf(Engine& engine, const Value& v) {
    return liveObject<MemoryStream>(instanceData(v, engine, "StringStream"));
}

// ---- construction --------------------------------------------------------------------

void construct(Engine& engine, NativeClass* cls, quill::ArgList args, Value& result) {
    int mode = kDefaultMode;
    if (auto given = numberArg(args, 1))
        mode = int(*given & kDefaultMode);
    bindHandle(engine, cls, std::make_unique<MemoryStream>(mode), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

// ---- properties ----------------------------------------------------------------------

void length(MemoryStream& s, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(int64_t(s.length()));
    else if (auto n = numberFrom(c.value))
        s.extendTo(*n);
}

void getPos(MemoryStream& s, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(int64_t(s.getPos()));
    else if (auto n = numberFrom(c.value))
        s.setGetPos(*n);
}

void putPos(MemoryStream& s, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(int64_t(s.putPos()));
    else if (auto n = numberFrom(c.value))
        s.setPutPos(*n);
}

void eof(MemoryStream& s, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(s.eof());
}

void crc(MemoryStream& s, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(int64_t(s.crc()));
}

// ---- reads ---------------------------------------------------------------------------

void get(MemoryStream& s, MemberCall& c) { c.result = integerResult(s.get()); }
void getShort(MemoryStream& s, MemberCall& c) { c.result = integerResult(s.getShort()); }
void getLong(MemoryStream& s, MemberCall& c) { c.result = integerResult(s.getLong()); }
void getFloat(MemoryStream& s, MemberCall& c) { c.result = quill::floatResult(s.getFloat()); }
void getDouble(MemoryStream& s, MemberCall& c) { c.result = quill::floatResult(s.getDouble()); }

void read(MemoryStream& s, MemberCall& c) {
    auto n = c.number(1);
    if (n && *n > 0)
        c.result = newStream(c, MemoryStream(s.read(size_t(*n))));
}

void readLine(MemoryStream& s, MemberCall& c) { c.result = ansiTextResult(c.engine, s.readLine()); }
void readString(MemoryStream& s, MemberCall& c) { c.result = ansiTextResult(c.engine, s.readString()); }
void readUnicodeString(MemoryStream& s, MemberCall& c) {
    c.result = wideTextResult(c.engine, s.readUnicodeString());
}

// ---- writes --------------------------------------------------------------------------

// A byte given as an Integer, or as a non-empty String (its first ANSI byte).
std::optional<uint8_t> byteArg(MemberCall& c, int64_t i) {
    if (auto n = c.number(i))
        return uint8_t(*n);
    if (auto text = c.string(i); text && !text->empty())
        return uint8_t((*text)[0]);
    return std::nullopt;
}

void put(MemoryStream& s, MemberCall& c) {
    if (auto byte = byteArg(c, 1))
        s.put(*byte);
}

void putShort(MemoryStream& s, MemberCall& c) {
    if (auto n = c.number(1))
        s.putShort(*n);
}

void putFloat(MemoryStream& s, MemberCall& c) {
    Value v = c.arg(1);
    if (v.isInteger())
        s.putFloat(double(v.asInteger()));
    else if (v.isFloat())
        s.putFloat(v.asFloat());
}

// write and writeLine: Booleans and Integers as 4 bytes, Strings as their
// ANSI bytes, Floats as 8 bytes, StringStreams as their whole content.
void writeValues(MemoryStream& s, MemberCall& c) {
    for (int64_t i = 1; i <= c.count(); ++i) {
        Value v = c.arg(i);
        if (v.isBoolean())
            s.writeLong(v.asBoolean() ? 1 : 0);
        else if (v.isInteger())
            s.writeLong(uint32_t(v.asInteger()));
        else if (v.isFloat())
            s.writeDouble(v.asFloat());
        else if (v.isString()) {
            std::string text = *stringFrom(v);
            s.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        } else if (MemoryStream* other = streamOf(c.engine, v)) {
            std::vector<uint8_t> content = other->content(); // the stream may be this one
            s.write(content);
        }
    }
    if (c.member.tag)
        s.write(std::vector<uint8_t>{'\r', '\n'});
}

void writeString(MemoryStream& s, MemberCall& c) {
    for (int64_t i = 1; i <= c.count(); ++i) {
        std::string text = quill::valueToText(c.engine, c.arg(i));
        text.push_back('\0');
        s.write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }
}

void writeUnicodeString(MemoryStream& s, MemberCall& c) {
    for (int64_t i = 1; i <= c.count(); ++i) {
        Value v = c.arg(i);
        std::u16string text = v.isString() ? quill::stringToWide(v.asString())
                                            : ansiToUtf16(quill::valueToText(c.engine, v));
        text.push_back(u'\0');
        s.writeUnicode(text);
    }
}

void unget(MemoryStream& s, MemberCall& c) {
    if (!c.has(1))
        s.unget();
    else if (auto byte = byteArg(c, 1))
        s.unget(*byte);
}

void flush(MemoryStream&, MemberCall&) {}

void close(MemoryStream&, MemberCall& c) { closeHandle<MemoryStream>(c.self); }

// ---- whole content -------------------------------------------------------------------

void compress(MemoryStream& s, MemberCall& c) {
    int64_t level = 6;
    if (c.has(1)) {
        auto given = c.number(1);
        if (!given)
            return;
        level = *given;
    }
    auto packed = level >= -1 && level <= 9 ? s.compress(int(level)) : std::nullopt;
    c.result = packed ? newStream(c, std::move(*packed)) : nullResult();
}

void uncompress(MemoryStream& s, MemberCall& c) {
    auto unpacked = s.uncompress();
    c.result = unpacked ? newStream(c, std::move(*unpacked)) : nullResult();
}

void saveToFile(MemoryStream& s, MemberCall& c) {
    if (auto path = c.string(1))
        c.result = booleanResult(s.saveToFile(pathFromAnsi(*path)));
}

// Also on the class object: StringStream.readFromFile(path).
void readFromFile(MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    if (auto stream = MemoryStream::readFromFile(pathFromAnsi(*path)))
        c.result = newStream(c, std::move(*stream));
}

template <auto F>
constexpr Member tagged(const char* name, int tag) {
    Member m = method<F>(name);
    m.tag = tag;
    return m;
}

constexpr Member kMembers[] = {
    property<length>("length"),
    property<getPos>("getPos"),
    property<putPos>("putPos"),
    property<eof>("eof"),
    property<crc>("crc"),
    method<get>("get", Fallback::MinusOne, Fallback::MinusOne),
    method<getShort>("getShort"),
    method<getLong>("getLong"),
    method<getFloat>("getFloat"),
    method<getDouble>("getDouble"),
    method<read>("read"),
    method<readLine>("readLine", Fallback::EmptyText),
    method<readString>("readString", Fallback::EmptyText),
    method<readUnicodeString>("readUnicodeString", Fallback::EmptyText),
    method<put>("put"),
    method<putShort>("putShort"),
    method<putFloat>("putFloat"),
    tagged<writeValues>("write", 0),
    tagged<writeValues>("writeLine", 1),
    method<writeString>("writeString"),
    method<writeUnicodeString>("writeUnicodeString"),
    method<unget>("unget"),
    method<flush>("flush"),
    method<close>("close"),
    method<compress>("compress"),
    method<uncompress>("uncompress"),
    method<saveToFile>("saveToFile", Fallback::False),
    classMethod<readFromFile>("readFromFile"),
};

constexpr IntegerConstant kConstants[] = {
    {"$STREAM_IN", MemoryStream::kIn},
    {"$STREAM_OUT", MemoryStream::kOut},
    {"$STREAM_EOF", -1},
};

} // namespace

void registerStringStreamClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "StringStream",
                               .members = kMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<MemoryStream>,
                               .constants = kConstants});
}

} // namespace paloma::host
