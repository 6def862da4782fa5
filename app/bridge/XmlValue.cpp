// XmlValue: writing Values as XML and reading them back.
#include "app/bridge/XmlValue.h"

#include <cstring>
#include <unordered_set>

#include "base/TextCodec.h"

namespace paloma::bridge {

using quill::Engine;
using quill::Kind;
using quill::Value;

namespace {

std::string_view untilNul(const char* text, size_t size);

void appendAscii(std::string_view text, std::u16string& out) {
    for (char c : text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

// The writer keeps the Arrays and Objects on the path from the top so that a
// structure holding itself ends instead of recursing for ever.
struct Writer {
    Engine& engine;
    std::u16string& out;
    std::unordered_set<const void*> open;
    int depth = 0;

    void stringElement(std::u16string_view text) {
        out += u"<string>";
        appendEscaped(text, out);
        out += u"</string>";
    }

    void otherKind(const Value& v) {
        // The text form may run script code (toString); a failure there
        // leaves no text, which is written as "null".
        std::u16string text;
        quill::ValueRoot keep(engine, v);
        bool ok = quill::runAsEntryPoint(engine, [&] { text = quill::toText(engine, keep.value); });
        stringElement(ok ? std::u16string_view(text) : std::u16string_view(u"null"));
    }

    void write(const Value& v) {
        switch (v.kind) {
        case Kind::Undefined: out += u"<undefined/>"; return;
        case Kind::Null: out += u"<null/>"; return;
        case Kind::Boolean: out += v.asBoolean() ? u"<true/>" : u"<false/>"; return;
        case Kind::Integer:
            out += u"<number>";
            appendAscii(std::to_string(v.asInteger()), out);
            out += u"</number>";
            return;
        case Kind::Float:
            out += u"<number>";
            appendAscii(quill::formatFloat(v.asFloat()), out);
            out += u"</number>";
            return;
        case Kind::NaN: out += u"<number>NaN</number>"; return;
        case Kind::String:
            if (!v.asString())
                stringElement(u"null");
            else
                stringElement(quill::stringToWide(v.asString()));
            return;
        case Kind::Native: {
            quill::PinnedValue* record = engine.pin(v);
            out += u"<number>";
            appendAscii(std::to_string(Engine::handleOf(record)), out);
            out += u"</number>";
            return;
        }
        case Kind::Array:
        case Kind::Object: break;
        default: otherKind(v); return;
        }
        const void* body = v.isArray() ? static_cast<const void*>(v.asArray()) : v.asObject();
        if (!body || depth >= kMaxXmlDepth || open.count(body)) {
            out += u"<null/>";
            return;
        }
        open.insert(body);
        ++depth;
        if (v.isArray())
            writeArray(v.asArray());
        else
            writeObject(v.asObject());
        --depth;
        open.erase(body);
    }

    void writeArray(quill::ArrayBody* array) {
        std::vector<Value> values = quill::arrayGather(array);
        std::vector<uint64_t> indices = quill::arrayGatherIndices(array);
        out += u"<array>";
        for (size_t i = 0; i < values.size() && i < indices.size(); ++i) {
            out += u"<property id=\"";
            appendAscii(std::to_string(indices[i]), out);
            out += u"\">";
            write(values[i]);
            out += u"</property>";
        }
        out += u"</array>";
    }

    void writeObject(quill::ObjectRecord* object) {
        out += u"<object>";
        // Slots may move while a member's text form runs script code, so
        // walk by position and re-read the record each time.
        for (uint32_t i = 0; i < object->slotCount; ++i) {
            const quill::PropertySlot& slot = object->slots[i];
            if (slot.id <= static_cast<int32_t>(Engine::kProtoId))
                continue; // deleted slots and the prototype link are not data
            Value member = slot.value();
            out += u"<property id=\"";
            appendEscaped(ansiToUtf16(engine.nameOf(static_cast<quill::SymbolId>(slot.id))), out);
            out += u"\">";
            write(member);
            out += u"</property>";
        }
        out += u"</object>";
    }
};

// Text between the tags of an element: RapidXML has already decoded the
// references, each exactly once.
// A character reference to code 0 decodes to a NUL, which ends the text as
// it would end any C string: nothing after it can be written back as XML.
std::string_view untilNul(const char* text, size_t size) {
    std::string_view view(text, size);
    return view.substr(0, view.find('\0'));
}

std::u16string elementText(const XmlNode* node) { return utf8ToUtf16(untilNul(node->value(), node->value_size())); }

// _wtoi64: white space, an optional sign, decimal digits; 0 when none.
int64_t parseIndex(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        n = n * 10 + static_cast<uint64_t>(text[i] - '0'); // wraps like the C library's
    return negative ? static_cast<int64_t>(0 - n) : static_cast<int64_t>(n);
}

const XmlNode* firstChildElement(const XmlNode* node) {
    for (const XmlNode* c = node->first_node(); c; c = c->next_sibling())
        if (c->type() == rapidxml::node_element)
            return c;
    return nullptr;
}

bool readValue(Engine& engine, const XmlNode* node, Value& out, int depth);

// Array and Object members: every "property" child with an "id" attribute
// whose first child element is a value.
template <class Store>
void readProperties(Engine& engine, const XmlNode* node, int depth, Store store) {
    for (const XmlNode* c = node->first_node(); c; c = c->next_sibling()) {
        if (c->type() != rapidxml::node_element || !nameIs(c, "property"))
            continue;
        const rapidxml::xml_attribute<char>* id = nullptr;
        for (auto* a = c->first_attribute(); a; a = a->next_attribute())
            if (a->name_size() == 2 && (a->name()[0] | 0x20) == 'i' && (a->name()[1] | 0x20) == 'd') {
                id = a;
                break;
            }
        const XmlNode* child = firstChildElement(c);
        if (!id || !child)
            continue;
        Value member;
        if (!readValue(engine, child, member, depth + 1))
            continue;
        store(untilNul(id->value(), id->value_size()), member);
    }
}

bool readValue(Engine& engine, const XmlNode* node, Value& out, int depth) {
    if (!node || node->type() != rapidxml::node_element || depth > kMaxXmlDepth)
        return false;
    if (nameIs(node, "undefined")) {
        out = Value::undefined();
    } else if (nameIs(node, "null")) {
        out = Value::null();
    } else if (nameIs(node, "true")) {
        out = Value::boolean(true);
    } else if (nameIs(node, "false")) {
        out = Value::boolean(false);
    } else if (nameIs(node, "number")) {
        out = parseNumberText(elementText(node));
    } else if (nameIs(node, "string")) {
        std::u16string text = elementText(node);
        if (text == u"null")
            text.clear();
        out = quill::newString(engine, text);
    } else if (nameIs(node, "array")) {
        quill::ValueRoot array(engine, quill::newArray(engine));
        readProperties(engine, node, depth, [&](std::string_view id, const Value& member) {
            quill::arraySet(engine, array.value.asArray(), static_cast<uint64_t>(parseIndex(id)), member);
        });
        out = array.value;
    } else if (nameIs(node, "object")) {
        quill::ValueRoot object(engine, Value::object(quill::newObject(engine)));
        readProperties(engine, node, depth, [&](std::string_view id, const Value& member) {
            std::string name = utf16ToAnsi(utf8ToUtf16(id));
            quill::objectPut(engine, object.value.asObject(), engine.internName(name), member);
        });
        out = object.value;
    } else {
        return false;
    }
    return true;
}

// Deepest element nesting of the text, counted without parsing: every "<"
// that opens a tag goes down, every "</" and "/>" comes back. Markup inside
// comments or CDATA can only make the count larger.
int nestingDepth(std::string_view text) {
    int depth = 0, deepest = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '<') {
            char next = text[i + 1];
            if (next == '/')
                --depth;
            else if (next != '!' && next != '?' && ++depth > deepest)
                deepest = depth;
        } else if (text[i] == '/' && text[i + 1] == '>') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

void appendEscaped(std::u16string_view text, std::u16string& out) {
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&apos;"; break;
        default: out.push_back(c);
        }
    }
}

void appendXmlValue(Engine& engine, const Value& v, std::u16string& out) {
    Writer writer{engine, out, {}};
    writer.write(v);
}

std::u16string writeXmlValue(Engine& engine, const Value& v) {
    std::u16string out;
    out.reserve(256);
    appendXmlValue(engine, v, out);
    return out;
}

// ---- documents -----------------------------------------------------------------

struct XmlDocument::Impl {
    std::vector<char> text; // NUL-terminated; RapidXML parses it in place
    rapidxml::xml_document<char> document;
    XmlNode* root = nullptr;
};

XmlDocument::XmlDocument() : impl_(new Impl) {}
XmlDocument::~XmlDocument() { delete impl_; }

bool XmlDocument::parse(std::u16string_view text) {
    impl_->root = nullptr;
    impl_->document.clear();
    std::string utf8 = utf16ToUtf8(text);
    if (utf8.find('\0') != std::string::npos)
        utf8.resize(utf8.find('\0')); // the parser stops at the first NUL anyway
    if (nestingDepth(utf8) > kMaxXmlDepth)
        return false;
    impl_->text.assign(utf8.begin(), utf8.end());
    impl_->text.push_back('\0');
    try {
        impl_->document.parse<rapidxml::parse_validate_closing_tags>(impl_->text.data());
    } catch (const rapidxml::parse_error&) {
        impl_->document.clear();
        return false;
    }
    impl_->root = impl_->document.first_node();
    while (impl_->root && impl_->root->type() != rapidxml::node_element)
        impl_->root = impl_->root->next_sibling();
    return impl_->root != nullptr;
}

XmlNode* XmlDocument::root() const { return impl_->root; }

bool nameIs(const XmlNode* node, std::string_view name) {
    if (!node || node->name_size() != name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char a = node->name()[i], b = name[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a + 32);
        if (a != b)
            return false;
    }
    return true;
}

bool readValueElement(Engine& engine, const XmlNode* node, Value& out) { return readValue(engine, node, out, 0); }

bool readXmlValue(Engine& engine, std::u16string_view xml, Value& out) {
    XmlDocument document;
    if (!document.parse(xml))
        return false;
    return readValueElement(engine, document.root(), out);
}

Value parseNumberText(std::u16string_view text) {
    if (text.empty())
        return Value::integer(0);
    quill::ScanResult r = quill::scanInteger(text, 0);
    double d = 0;
    switch (r.type) {
    case quill::ScanResult::Integer:
        if (r.end < text.size()) {
            char16_t c = text[r.end];
            if (c == u'.' || c == u'E' || c == u'e' || c == u'D' || c == u'd') {
                quill::parseDecimal(text, d);
                return Value::floating(d);
            }
        }
        return Value::integer(r.integer);
    case quill::ScanResult::Double: return Value::floating(r.number);
    case quill::ScanResult::None: break;
    }
    if (quill::parseDecimal(text, d) == 0)
        return Value::nan();
    return Value::floating(d);
}

} // namespace paloma::bridge
