#pragma once
// XmlValue: the XML form in which script Values cross between the movie and
// the scripts (ExternalInterface requests, answers and calls).
//
// Writing (Value -> XML, UTF-16):
//   Undefined "<undefined/>", Null "<null/>", Boolean "<true/>"/"<false/>",
//   Integer "<number>" signed decimal (all 64 bits) "</number>", Float
//   "<number>%g</number>", NaN "<number>NaN</number>", String
//   "<string>text</string>" with & < > " ' escaped in that order, Array
//   "<array><property id="i">..</property>..</array>" in bucket order, Object
//   "<object><property id="name">..</property>..</object>" in slot order,
//   Native "<number>handle</number>" after pinning it anew; any other kind
//   is written as its text form in a string element.
//
// Reading (XML -> Value): element names compare without regard to case;
// see readValueElement for the rules of each element. The parser is RapidXML
// on a private NUL-terminated UTF-8 copy of the text; documents nested deeper
// than kMaxXmlDepth are refused before parsing.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "script/Quill.h"

namespace paloma::bridge {

using XmlNode = rapidxml::xml_node<char>;

// Deepest element nesting accepted in a document from the movie, and the
// deepest Value nesting written to it (deeper parts are written as null).
inline constexpr int kMaxXmlDepth = 200;

// ---- writing -----------------------------------------------------------------

// Appends the XML form of v to out. Natives are pinned anew (each one
// becomes a fresh handle the movie must delete).
void appendXmlValue(quill::Engine& engine, const quill::Value& v, std::u16string& out);
std::u16string writeXmlValue(quill::Engine& engine, const quill::Value& v);

// Appends text with &, <, >, " and ' replaced by their entities.
void appendEscaped(std::u16string_view text, std::u16string& out);

// ---- reading -----------------------------------------------------------------

// A parsed document: owns the UTF-8 copy RapidXML parses in place.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // False (and no root) when the text is not well-formed XML or nests too
    // deeply. Never throws.
    bool parse(std::u16string_view text);
    // The first element of the document, or null.
    XmlNode* root() const;

private:
    struct Impl;
    Impl* impl_;
};

// Case-insensitive comparison of an element or attribute name.
bool nameIs(const XmlNode* node, std::string_view name);

// Reads one value element into out. False when the element is not a value
// (out is left alone). New Arrays, Objects and Strings are allocated in the
// engine; the caller roots out before the engine next runs a script.
bool readValueElement(quill::Engine& engine, const XmlNode* node, quill::Value& out);

// Reads a whole answer text that is one value element.
bool readXmlValue(quill::Engine& engine, std::u16string_view xml, quill::Value& out);

// The number element's rule: empty text Integer 0; an integer parse not
// followed by ".", "E", "e", "D" or "d" is an Integer; any other parse a
// Float; nothing parsable NaN.
quill::Value parseNumberText(std::u16string_view text);

} // namespace paloma::bridge
