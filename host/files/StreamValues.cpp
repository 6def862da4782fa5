// Values written to streams, and StringStream objects seen from the other stream classes.
#include "host/files/StreamValues.h"

#include <bit>
#include <memory>

#include "host/files/StreamLayout.h"
#include "host/framework/Arguments.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

void appendLittle(std::string& out, uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out += char(uint8_t(v >> (8 * i)));
}

} // namespace

void appendWriteBytes(quill::Engine& engine, const quill::Value& v, std::string& out) {
    if (v.isBoolean())
        appendLittle(out, v.asBoolean() ? 1 : 0, 4);
    else if (v.isInteger())
        appendLittle(out, uint64_t(v.asInteger()), 4);
    else if (v.isFloat())
        appendLittle(out, std::bit_cast<uint64_t>(v.asFloat()), 8);
    else if (v.isString())
        out += stringFrom(v).value_or(std::string());
    else if (MemoryStream* s = stringStreamOf(engine, v))
        out.append(reinterpret_cast<const char*>(s->content().data()), s->content().size());
}

void appendStringBytes(quill::Engine& engine, const quill::Value& v, std::string& out) {
    out += quill::valueToText(engine, v);
    out += '\0';
}

void appendUnicodeBytes(quill::Engine& engine, const quill::Value& v, std::string& out) {
    for (char16_t unit : quill::toText(engine, v))
        appendLittle(out, unit, 2);
    appendLittle(out, 0, 2);
}

quill::Value newStringStream(quill::Engine& engine, MemoryStream content) {
    auto handle = std::make_unique<NativeHandle<MemoryStream>>();
    engine.noteNativeBytes(content.length());
    handle->object = std::make_unique<MemoryStream>(std::move(content));
    quill::Value out = quill::Value::null();
    if (quill::newHostObject(engine, "StringStream", handle.get(), out))
        handle.release(); // the new object owns it
    return out;
}

MemoryStream* stringStreamOf(quill::Engine& engine, const quill::Value& v) {
    return liveObject<MemoryStream>(quill::instanceData(v, engine, "StringStream"));
}

} // namespace paloma::host
