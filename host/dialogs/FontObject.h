#pragma once
// A FontObject's data: a logical font, a colour (0xRRGGBB) and a size in
// points. A new one is zeroed with the default character set.

#include <windows.h>

#include <cstdint>

#include "script/Quill.h"

namespace paloma::host {

struct FontData {
    LOGFONTA font = [] {
        LOGFONTA f = {};
        f.lfCharSet = DEFAULT_CHARSET;
        return f;
    }();
    int64_t color = 0;
    int64_t size = 0;
};

// The data of a FontObject; null for anything else.
FontData* fontDataOf(quill::Engine& engine, const quill::Value& v);
// A new FontObject holding a copy of `data`.
bool newFontObject(quill::Engine& engine, const FontData& data, quill::Value& out);

} // namespace paloma::host
