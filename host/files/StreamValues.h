#pragma once
// What the stream classes share at the script level: the bytes that `write`
// and `writeLine` produce for each kind of value, and StringStream objects
// made or read by the other stream classes (`read` returns one, `write`
// takes one).

#include <string>

#include "host/files/MemoryStream.h"
#include "script/Quill.h"

namespace paloma::host {

// Appends the bytes of one `write` argument: Boolean or Integer, its low 32
// bits little-endian; String, its ANSI bytes; Float, 8 bytes IEEE; a
// StringStream, its whole content. Other kinds append nothing.
void appendWriteBytes(quill::Engine& engine, const quill::Value& v, std::string& out);

// `writeString`: each value's text in ANSI and a NUL.
void appendStringBytes(quill::Engine& engine, const quill::Value& v, std::string& out);
// `writeUnicodeString`: each value's text as UTF-16LE units and a 0 unit.
void appendUnicodeBytes(quill::Engine& engine, const quill::Value& v, std::string& out);

// A new StringStream object holding `content`; null when no StringStream
// class is bound.
quill::Value newStringStream(quill::Engine& engine, MemoryStream content);

// The stream of a live StringStream object, else null.
MemoryStream* stringStreamOf(quill::Engine& engine, const quill::Value& v);

} // namespace paloma::host
