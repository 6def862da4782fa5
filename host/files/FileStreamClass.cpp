// FileStream (also bound as Stream): a binary file opened through the
// runtime library's buffered streams.
#include <memory>
#include <string>

#include "host/files/BufferedFile.h"
#include "host/files/FilesClasses.h"
#include "host/files/StreamValues.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

// Members of a closed stream are not handled (the engine then warns about
// an unknown method); an open stream always handles them.
template <void (*F)(BufferedFile&, MemberCall&)>
int streamMember(MemberCall& c) {
    BufferedFile* file = liveObject<BufferedFile>(c.self);
    if (!file)
        return 0;
    F(*file, c);
    return 1;
}

template <void (*F)(BufferedFile&, MemberCall&)>
constexpr Member streamMethod(const char* name) {
    return Member::method(name, streamMember<F>);
}
template <void (*F)(BufferedFile&, MemberCall&)>
constexpr Member streamProperty(const char* name) {
    return Member::property(name, streamMember<F>);
}

void construct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    std::unique_ptr<BufferedFile> file;
    if (!hasArgs(args, 1)) {
        file = BufferedFile::openTemporary();
    } else {
        auto path = stringArg(args, 1);
        if (!path)
            return;
        if (hasArgs(args, 2)) {
            auto mode = stringArg(args, 2);
            if (!mode)
                return;
            file = BufferedFile::openWithMode(*path, *mode);
        } else {
            file = BufferedFile::openExisting(*path);
        }
    }
    if (file)
        bindHandle(engine, cls, std::move(file), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) { construct(engine, cls, args, result); }

void get(BufferedFile& f, MemberCall& c) { c.result = integerResult(f.get()); }
void getShort(BufferedFile& f, MemberCall& c) { c.result = integerResult(f.getShort()); }
void getLong(BufferedFile& f, MemberCall& c) { c.result = integerResult(f.getLong()); }
void getFloat(BufferedFile& f, MemberCall& c) { c.result = quill::floatResult(f.getFloat()); }
void getDouble(BufferedFile& f, MemberCall& c) { c.result = quill::floatResult(f.getDouble()); }

void read(BufferedFile& f, MemberCall& c) {
    auto n = c.number(1);
    if (!n || *n <= 0)
        return;
    uint64_t count = std::min<uint64_t>(uint64_t(*n), MemoryStream::kMaxLength);
    c.result = newStringStream(c.engine, MemoryStream(f.read(count)));
}

void readLine(BufferedFile& f, MemberCall& c) { c.result = ansiTextResult(c.engine, f.readLine()); }
void readString(BufferedFile& f, MemberCall& c) { c.result = ansiTextResult(c.engine, f.readString()); }
void readUnicodeString(BufferedFile& f, MemberCall& c) { c.result = wideTextResult(c.engine, f.readUnicodeString()); }

// The byte of a `put` or `unget` argument: an Integer, or a String's first character.
std::optional<uint8_t> byteArgument(MemberCall& c) {
    Value v = c.arg(1);
    if (auto n = numberFrom(v))
        return uint8_t(*n);
    if (auto text = stringFrom(v); text && !text->empty())
        return uint8_t((*text)[0]);
    return std::nullopt;
}

void put(BufferedFile& f, MemberCall& c) {
    if (auto byte = byteArgument(c))
        c.result = booleanResult(f.put(*byte));
}

void putShort(BufferedFile& f, MemberCall& c) {
    if (auto n = c.number(1))
        f.putShort(*n);
}

void putFloat(BufferedFile& f, MemberCall& c) {
    Value v = c.arg(1);
    if (v.isInteger())
        f.putFloat(double(v.asInteger()));
    else if (v.isFloat())
        f.putFloat(v.asFloat());
}

template <void (*Append)(Engine&, const Value&, std::string&), bool LineEnd>
void writeValues(BufferedFile& f, MemberCall& c) {
    std::string bytes;
    for (int64_t i = 1; i <= c.count(); ++i) {
        // A StringStream's content goes to the file from where it lies: a
        // block is not copied on its way.
        if (Append == &appendWriteBytes) {
            if (MemoryStream* s = stringStreamOf(c.engine, c.arg(i))) {
                f.write(bytes);
                bytes.clear();
                f.write(std::span<const uint8_t>(s->content()));
                continue;
            }
        }
        Append(c.engine, c.arg(i), bytes);
    }
    if (LineEnd)
        bytes += "\r\n";
    f.write(bytes);
}

void unget(BufferedFile& f, MemberCall& c) {
    if (!c.has(1)) {
        c.result = booleanResult(f.stepBack());
        return;
    }
    if (auto byte = byteArgument(c))
        c.result = booleanResult(f.unget(*byte));
}

void flush(BufferedFile& f, MemberCall& c) { c.result = booleanResult(f.flush()); }

void close(BufferedFile&, MemberCall& c) { c.result = booleanResult(closeHandle<BufferedFile>(c.self)); }

void pos(BufferedFile& f, MemberCall& c) {
    if (!c.put) {
        if (auto p = f.position())
            c.value = integerResult(*p);
    } else if (auto n = numberFrom(c.value); n && *n >= 0) {
        f.seek(*n);
    }
}

void length(BufferedFile& f, MemberCall& c) {
    if (!c.put) {
        if (auto n = f.length())
            c.value = integerResult(*n);
    } else if (auto n = numberFrom(c.value); n && *n >= 0) {
        if (auto current = f.length(); current && *n < *current)
            f.truncate(*n);
    }
}

void eof(BufferedFile& f, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(f.eof());
}

constexpr Member kMembers[] = {
    streamMethod<get>("get"),
    streamMethod<getShort>("getShort"),
    streamMethod<getLong>("getLong"),
    streamMethod<getFloat>("getFloat"),
    streamMethod<getDouble>("getDouble"),
    streamMethod<read>("read"),
    streamMethod<readLine>("readLine"),
    streamMethod<readString>("readString"),
    streamMethod<readUnicodeString>("readUnicodeString"),
    streamMethod<put>("put"),
    streamMethod<putShort>("putShort"),
    streamMethod<putFloat>("putFloat"),
    streamMethod<writeValues<appendWriteBytes, false>>("write"),
    streamMethod<writeValues<appendWriteBytes, true>>("writeLine"),
    streamMethod<writeValues<appendStringBytes, false>>("writeString"),
    streamMethod<writeValues<appendUnicodeBytes, false>>("writeUnicodeString"),
    streamMethod<unget>("unget"),
    streamMethod<flush>("flush"),
    streamMethod<close>("close"),
    streamProperty<pos>("pos"),
    streamProperty<length>("length"),
    streamProperty<eof>("eof"),
};

constexpr IntegerConstant kConstants[] = {
    {"$STREAM_IN", MemoryStream::kIn},
    {"$STREAM_OUT", MemoryStream::kOut},
    {"$STREAM_EOF", -1},
};

} // namespace

void registerFileStreamClass(Engine& engine) {
    registerHostClass(engine, {.className = "FileStream",
                               .globalNames = {"Stream", "FileStream"},
                               .members = kMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<BufferedFile>,
                               .constants = kConstants});
}

} // namespace paloma::host
