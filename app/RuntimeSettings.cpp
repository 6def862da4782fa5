// The runtime settings record: reading, and writing in the same layout.
#include "app/RuntimeSettings.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace paloma {

namespace {

// A path in a 260-byte field, then its embedded content, which reading skips.
Text readPathWithContent(ByteReader& r) {
    Text path = fitToField(r.string16(), kPathField);
    uint32_t length = r.u32();
    r.skip(length);
    return path;
}

void writePathWithContent(ByteWriter& w, const Text& path, const EmbedLoader& embed) {
    w.string16(path);
    std::optional<std::vector<uint8_t>> content;
    if (embed && path && !path->empty())
        content = embed(*path);
    if (!content) {
        w.u32(0);
        return;
    }
    w.u32(uint32_t(content->size()));
    w.bytes(*content);
}

void readFont(ByteReader& r, FontRecord& f) {
    f.height = int32_t(r.u32());
    f.width = r.u32();
    f.escapement = r.u32();
    f.orientation = r.u32();
    f.weight = r.u32();
    f.italic = r.u8();
    f.underline = r.u8();
    f.strikeOut = r.u8();
    f.charSet = r.u8();
    f.outPrecision = r.u8();
    f.clipPrecision = r.u8();
    f.quality = r.u8();
    f.pitchAndFamily = r.u8();
    f.faceName = fitToField(r.string16(), kFaceNameField);
}

void writeFont(ByteWriter& w, const FontRecord& f) {
    w.u32(uint32_t(f.height));
    w.u32(f.width);
    w.u32(f.escapement);
    w.u32(f.orientation);
    w.u32(f.weight);
    for (uint8_t b : {f.italic, f.underline, f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision, f.quality,
                      f.pitchAndFamily})
        w.u8(b);
    w.string16(f.faceName);
}

} // namespace

bool readRuntimeSettings(std::span<const uint8_t> data, RuntimeSettings& out) {
    out = RuntimeSettings{};
    ByteReader r(data);
    // 1. Project texts.
    for (Text& text : out.texts)
        text = r.string16();
    // 2. Screen-saver options.
    out.wakeUpMethods = r.u32();
    out.optionFlags = r.u32();
    out.hotKeyCode = r.u16();
    out.hotKeyModifiers = r.u16();
    out.backgroundColour = r.u32();
    // 3. Preview and help entries.
    for (FileEntry* entry : {&out.preview, &out.help}) {
        entry->selector = r.u32();
        entry->path = readPathWithContent(r);
    }
    // 4. "About me" page.
    out.linkCaption = r.string16();
    out.linkTarget = r.string16();
    out.mailCaption = r.string16();
    out.mailAddress = r.string16();
    out.linkColour = r.u32();
    out.mailColour = r.u32();
    readFont(r, out.linkFont);
    readFont(r, out.mailFont);
    out.pageFlags = r.u32();
    out.pageReserved = r.u32();
    out.pageMoviePath = readPathWithContent(r);
    out.pageExtra = fitToField(r.string16(), kPathField);
    // 5. Trailer.
    out.trailerWord1 = r.u32();
    out.trailerText = r.string16();
    out.trailerWord2 = r.u32();
    SystemTime& t = out.trailerTime;
    for (uint16_t* field : {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds})
        *field = r.u16();
    out.trailerWord3 = r.u32();
    out.trailerPath = fitToField(r.string16(), kPathField);
    out.trailerShort1 = r.u16();
    out.trailerShort2 = r.u16();
    return r.ok();
}

std::vector<uint8_t> writeRuntimeSettings(const RuntimeSettings& s, const EmbedLoader& embed) {
    ByteWriter w;
    for (const Text& text : s.texts)
        w.string16(text);
    w.u32(s.wakeUpMethods);
    w.u32(s.optionFlags);
    w.u16(s.hotKeyCode);
    w.u16(s.hotKeyModifiers);
    w.u32(s.backgroundColour);
    for (const FileEntry* entry : {&s.preview, &s.help}) {
        w.u32(entry->selector);
        writePathWithContent(w, entry->path, embed);
    }
    w.string16(s.linkCaption);
    w.string16(s.linkTarget);
    w.string16(s.mailCaption);
    w.string16(s.mailAddress);
    w.u32(s.linkColour);
    w.u32(s.mailColour);
    writeFont(w, s.linkFont);
    writeFont(w, s.mailFont);
    w.u32(s.pageFlags);
    w.u32(s.pageReserved);
    writePathWithContent(w, s.pageMoviePath, embed);
    w.string16(s.pageExtra);
    w.u32(s.trailerWord1);
    w.string16(s.trailerText);
    w.u32(s.trailerWord2);
    const SystemTime& t = s.trailerTime;
    for (uint16_t field : {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds})
        w.u16(field);
    w.u32(s.trailerWord3);
    w.string16(s.trailerPath);
    w.u16(s.trailerShort1);
    w.u16(s.trailerShort2);
    return w.take();
}

std::optional<std::vector<uint8_t>> loadLocalFile(const std::u16string& path) {
    std::error_code ec;
    std::filesystem::path p = pathOf(path);
    if (!std::filesystem::is_regular_file(p, ec))
        return std::nullopt;
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace paloma
