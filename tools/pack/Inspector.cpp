// Listing and extracting a packaged executable.
#include "tools/pack/Inspector.h"

#include "tools/pack/Progress.h"
#include "tools/pack/SettingWords.h"

#include "app/Archive.h"
#include "app/Identity.h"
#include "app/MovieList.h"
#include "app/PeResources.h"
#include "app/PlayerInstaller.h"
#include "app/ResourceBlock.h"
#include "app/ResourceNames.h"
#include "app/RuntimeSettings.h"
#include "app/ShellErrors.h"
#include "base/TextCodec.h"

#include <cstdio>

namespace paloma::pack {

namespace {

std::string show(const Text& text) {
    if (!text)
        return "(absent)";
    std::string out = "\"";
    for (char c : utf16ToUtf8(*text)) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hex(std::span<const uint8_t> bytes) {
    std::string out;
    char buf[3];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

std::string fontText(const FontRecord& f) {
    std::string out = "face " + show(f.faceName) + ", height " + std::to_string(f.height) + ", weight " +
                      std::to_string(f.weight);
    if (f.width)
        out += ", width " + std::to_string(f.width);
    if (f.escapement)
        out += ", escapement " + std::to_string(f.escapement);
    if (f.orientation)
        out += ", orientation " + std::to_string(f.orientation);
    if (f.italic)
        out += ", italic";
    if (f.underline)
        out += ", underline";
    if (f.strikeOut)
        out += ", strikeOut";
    out += ", charSet " + std::to_string(f.charSet);
    if (f.outPrecision)
        out += ", outPrecision " + std::to_string(f.outPrecision);
    if (f.clipPrecision)
        out += ", clipPrecision " + std::to_string(f.clipPrecision);
    if (f.quality)
        out += ", quality " + std::to_string(f.quality);
    if (f.pitchAndFamily)
        out += ", pitchAndFamily " + std::to_string(f.pitchAndFamily);
    return out;
}

// A resource block's data, or nothing and a line saying why.
std::optional<std::vector<uint8_t>> block(const std::vector<uint8_t>& data, const char* what, std::ostream& out) {
    std::vector<uint8_t> plain;
    std::string message;
    if (!tryReadResourceBlock(data, plain, &message)) {
        out << what << ": damaged (" << message << ")\n";
        return std::nullopt;
    }
    return plain;
}

void listSettings(const std::vector<uint8_t>& data, std::ostream& out) {
    RuntimeSettings s;
    if (!readRuntimeSettings(data, s)) {
        out << "settings: damaged (the record ends early)\n";
        return;
    }
    out << "title: " << show(s.texts[kTextTitle]) << "\n";
    out << "description: " << show(s.texts[1]) << "\n";
    out << "author: " << show(s.texts[2]) << "\n";
    out << "rights: " << show(s.texts[kTextRights]) << "\n";
    out << "product: " << show(s.texts[5]) << "\n";
    out << "version: " << show(s.texts[kTextVersion]) << "\n";
    out << "wakeUp: " << wordsOf(wakeUpWords(), s.wakeUpMethods) << "\n";
    out << "options: " << wordsOf(optionWords(), s.optionFlags & ~kOptionBackgroundColour) << "\n";
    if (s.hotKeyCode)
        out << "hotKey: " << keyName(s.hotKeyCode) << " with " << wordsOf(modifierWords(), s.hotKeyModifiers) << "\n";
    else
        out << "hotKey: none\n";
    if (s.optionFlags & kOptionBackgroundColour)
        out << "backgroundColour: " << colourText(s.backgroundColour) << "\n";
    else
        out << "backgroundColour: the movie's own (" << colourText(s.backgroundColour) << " stored)\n";
    const char* mode = s.preview.selector == kPreviewIcon ? "icon" : s.preview.selector == kPreviewMovie ? "movie" : "file";
    out << "preview: " << mode << ", path " << show(s.preview.path) << "\n";
    if (s.help.selector)
        out << "help: " << show(s.help.path) << "\n";
    else
        out << "help: none\n";
    out << "about.link: caption " << show(s.linkCaption) << ", target " << show(s.linkTarget) << ", colour "
        << colourText(s.linkColour) << "\n";
    out << "about.link.font: " << fontText(s.linkFont) << "\n";
    out << "about.mail: caption " << show(s.mailCaption) << ", address " << show(s.mailAddress) << ", colour "
        << colourText(s.mailColour) << "\n";
    out << "about.mail.font: " << fontText(s.mailFont) << "\n";
    const char* plays = (s.pageFlags & kPagePlaysFile) ? "file" : (s.pageFlags & kPagePlaysMovie) ? "movie" : "nothing";
    out << "about.plays: " << plays << ", file " << show(s.pageMoviePath) << "\n";
}

void listTree(const std::vector<ArchiveListing>& nodes, int depth, std::ostream& out) {
    for (const ArchiveListing& n : nodes) {
        out << std::string(2 + 2 * depth, ' ') << utf16ToUtf8(n.entry.name);
        if (n.entry.isFolder()) {
            out << "/\n";
            listTree(n.children, depth + 1, out);
        } else {
            out << "  (" << (n.entry.contentSize >= 4 ? n.entry.contentSize - 4 : 0) << " bytes packed)\n";
        }
    }
}

} // namespace

bool inspectPackage(std::span<const uint8_t> exe, std::ostream& out, std::string& error) {
    auto image = PeImage::parse(exe, &error);
    if (!image)
        return false;
    const ResourceId paloma = ResourceId::of(kResourceTypePaloma);
    auto find = [&](std::u16string_view name) { return image->find(paloma, ResourceId::of(name)); };

    out << "runtime: " << (image->is64() ? "PE32+ (64-bit)" : "PE32 (32-bit)") << "\n";
    if (auto id = find(kResourceIdentity)) {
        auto identity = readIdentity(*id, u"");
        if (identity)
            out << "identity: " << show(identity->text) << " (digest valid)\n";
        else
            out << "identity: invalid\n";
    } else {
        out << "identity: missing\n";
    }
    if (auto cs = find(kResourceFingerprint))
        out << "fingerprint: " << hex(*cs) << "\n";
    else
        out << "fingerprint: missing\n";

    if (auto st = find(kResourceSettings)) {
        if (auto data = block(*st, "settings", out))
            listSettings(*data, out);
    } else {
        out << "settings: missing\n";
    }
    if (auto ml = find(kResourceMovieList)) {
        MovieList list;
        if (auto data = block(*ml, "movie", out)) {
            if (readMovieList(*data, list))
                out << "movie: " << show(list.name) << " (kind " << list.kind << ")\n";
            else
                out << "movie: damaged (the record ends early)\n";
        }
    } else {
        out << "movie: missing\n";
    }
    if (auto fp = find(kResourceInstaller)) {
        if (auto data = block(*fp, "installer", out)) {
            auto record = readPlayerInstallerRecord(*data);
            if (record)
                out << "installer: " << show(ansiToUtf16(record->fileName)) << "\n";
            else
                out << "installer: ignored (" << data->size() << " bytes, not " << kPlayerInstallerRecordSize << ")\n";
        }
    } else {
        out << "installer: none\n";
    }
    if (auto bk = find(kResourceBackground)) {
        if (auto data = block(*bk, "about.picture", out))
            out << "about.picture: " << data->size() << " bytes\n";
    } else {
        out << "about.picture: none\n";
    }

    out << "scripts:\n";
    const ResourceId quill = ResourceId::of(kResourceTypeQuill);
    size_t scripts = 0;
    for (const PeResource& r : image->resources()) {
        if (!(r.type == quill))
            continue;
        ++scripts;
        std::string name = r.name.isText() ? utf16ToUtf8(r.name.text) : "#" + std::to_string(r.name.number);
        std::vector<uint8_t> plain;
        std::string message;
        if (tryReadResourceBlock(r.data, plain, &message))
            out << "  " << name << "  " << plain.size() << " bytes\n";
        else
            out << "  " << name << "  damaged (" << message << ")\n";
    }
    if (scripts == 0)
        out << "  none\n";

    size_t others = 0;
    for (const PeResource& r : image->resources())
        if (!(r.type == paloma) && !(r.type == quill))
            ++others;
    out << "other resources: " << others << "\n";

    MemorySource source(exe);
    Archive archive(source);
    if (archive.open()) {
        out << "archive:\n";
        listTree(archive.list(), 0, out);
    } else {
        out << "archive: none\n";
    }
    return true;
}

bool extractPackage(const std::filesystem::path& exe, const std::filesystem::path& dir, std::string& error,
                    bool quiet) {
    FileSource source;
    if (!source.open(exe)) {
        error = "cannot read " + exe.string();
        return false;
    }
    Archive archive(source);
    if (!archive.open()) {
        error = exe.string() + " carries no archive";
        return false;
    }
    try {
        uint64_t total = archive.root().contentSize;
        Progress progress(Progress::outputFor(total, quiet), "extracting", total);
        archive.extractFolder(archive.root(), dir, [&](uint64_t bytes) { progress.advance(bytes); });
    } catch (const CZipException& e) {
        error = std::string("archive: ") + e.what();
        return false;
    }
    return true;
}

} // namespace paloma::pack
