// FontObject: a logical font with a colour and a point size, what the font
// dialog takes and gives.
#include "host/dialogs/FontObject.h"

#include <cstring>

#include "host/dialogs/DialogsClasses.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"

namespace paloma::host {

namespace {

using quill::Value;

void name(FontData& f, MemberCall& c) {
    if (!c.put) {
        c.value = ansiTextResult(c.engine, std::string(f.font.lfFaceName, strnlen(f.font.lfFaceName, LF_FACESIZE)));
    } else if (auto text = stringFrom(c.value)) {
        std::memset(f.font.lfFaceName, 0, sizeof f.font.lfFaceName);
        std::memcpy(f.font.lfFaceName, text->data(), std::min<size_t>(text->size(), LF_FACESIZE - 1));
    }
}
void color(FontData& f, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(f.color);
    else if (auto n = numberFrom(c.value))
        f.color = *n;
}
void size(FontData& f, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(f.size);
    else if (auto n = numberFrom(c.value))
        f.size = *n;
}
void bold(FontData& f, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(f.font.lfWeight == FW_BOLD);
    else
        f.font.lfWeight = quill::toBoolean(c.value) ? FW_BOLD : FW_NORMAL;
}
template <BYTE LOGFONTA::*Field>
void flag(FontData& f, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(f.font.*Field != 0);
    else
        f.font.*Field = quill::toBoolean(c.value) ? 1 : 0;
}

struct FontList {
    quill::Engine* engine;
    Value names;
    bool any = false;
};

int CALLBACK addFont(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM data) {
    auto* list = reinterpret_cast<FontList*>(data);
    const auto* full = reinterpret_cast<const ENUMLOGFONTEXA*>(font);
    const char* text = reinterpret_cast<const char*>(full->elfFullName);
    appendElement(*list->engine, list->names, ansiTextResult(*list->engine, std::string(text, strnlen(text, LF_FULLFACESIZE))));
    list->any = true;
    return 1;
}

// getFonts (charset, face): the full names of the installed fonts.
void getFonts(FontData&, MemberCall& c) {
    LOGFONTA query = {};
    query.lfCharSet = DEFAULT_CHARSET;
    if (auto charset = c.number(1))
        query.lfCharSet = BYTE(*charset);
    if (auto face = c.string(2))
        std::memcpy(query.lfFaceName, face->data(), std::min<size_t>(face->size(), LF_FACESIZE - 1));
    FontList list{&c.engine, arrayResult(c.engine)};
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &query, addFont, reinterpret_cast<LPARAM>(&list), 0);
    ReleaseDC(nullptr, screen);
    c.result = list.any ? list.names : nullResult();
}

constexpr Member kMembers[] = {
    property<name>("name"),
    property<color>("color"),
    property<size>("size"),
    property<bold>("bold"),
    property<flag<&LOGFONTA::lfItalic>>("italic"),
    property<flag<&LOGFONTA::lfUnderline>>("underline"),
    method<getFonts>("getFonts", Fallback::Null),
};

void construct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    bindHandle(engine, cls, std::make_unique<FontData>(), result);
}
void call(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

} // namespace

FontData* fontDataOf(quill::Engine& engine, const quill::Value& v) {
    return liveObject<FontData>(instanceData(v, engine, "FontObject"));
}

bool newFontObject(quill::Engine& engine, const FontData& data, quill::Value& out) {
    auto copy = std::make_unique<FontData>(data);
    quill::NativeClass* cls = classBoundTo(engine, "FontObject");
    if (!cls)
        return false;
    bindHandle(engine, cls, std::move(copy), out);
    return true;
}

void registerFontObjectClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "FontObject",
                               .members = kMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<FontData>});
}

} // namespace paloma::host
