// Building a packaged executable.
#include "tools/pack/Packager.h"

#include "tools/pack/Progress.h"

#include "app/Archive.h"
#include "app/Identity.h"
#include "app/PeResources.h"
#include "app/PlayerInstaller.h"
#include "app/ResourceBlock.h"
#include "app/ResourceNames.h"
#include "base/TextCodec.h"

#include <fstream>
#include <iterator>

#ifdef PALOMA_PACK_COMPILER
#include "base/Zlib.h"
#include "script/Quill.h"
#endif

namespace paloma::pack {

namespace fs = std::filesystem;

namespace {

std::optional<std::vector<uint8_t>> readFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

char16_t fold(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

// Whether `path` (either separator) names a node of the tree to pack.
bool packed(const std::vector<ArchiveNode>& nodes, std::u16string_view path) {
    const std::vector<ArchiveNode>* level = &nodes;
    const ArchiveNode* found = nullptr;
    size_t pos = 0;
    bool any = false;
    while (pos <= path.size()) {
        size_t end = path.find_first_of(u"\\/", pos);
        if (end == std::u16string_view::npos)
            end = path.size();
        std::u16string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty())
            continue;
        if (found && !found->folder)
            return false;
        found = nullptr;
        for (const ArchiveNode& n : *level)
            if (sameName(n.name, part))
                found = &n;
        if (!found)
            return false;
        level = &found->children;
        any = true;
    }
    return any;
}

void addBlock(PeImage& image, std::u16string_view type, std::u16string_view name, std::span<const uint8_t> plain) {
    image.set({ResourceId::of(type), ResourceId::of(name), kLanguageNeutral, 0, writeResourceBlock(plain)});
}

void addPlain(PeImage& image, std::u16string_view type, std::u16string_view name, std::vector<uint8_t> data) {
    image.set({ResourceId::of(type), ResourceId::of(name), kLanguageNeutral, 0, std::move(data)});
}

std::string quoteText(const std::u16string& text) { return "\"" + utf16ToUtf8(text) + "\""; }

// The bytes of a file, or of every file below a folder.
uint64_t sizeOnDisk(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec))
        return fs::file_size(path, ec);
    uint64_t total = 0;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            total += it->file_size(ec);
    return total;
}

} // namespace

std::optional<std::vector<uint8_t>> scriptImage(const fs::path& path, std::string& error) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    auto bytes = readFile(path);
    if (!bytes) {
        error = "cannot read " + path.string();
        return std::nullopt;
    }
#ifdef PALOMA_PACK_COMPILER
    if (ext == ".qsc") {
        // The resource holds the image proper, without a '#' first line.
        std::vector<uint8_t> image(bytes->begin() + std::ptrdiff_t(quill::skipHashLine(*bytes)), bytes->end());
        std::string why;
        if (!quill::loadImage(image, &why)) {
            error = path.string() + ": not a compiled script image (" + why + ")";
            return std::nullopt;
        }
        return image;
    }
    if (ext == ".qls") {
        quill::CompileOptions options;
        options.flags = quill::kCompileLineTable;
        options.sourceName = path.filename().string();
        std::span<const uint8_t> text(*bytes);
        quill::CompileResult result;
        if (text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFE) {
            std::u16string wide;
            for (size_t i = 2; i + 1 < text.size(); i += 2)
                wide.push_back(char16_t(text[i] | text[i + 1] << 8));
            result = quill::compileScript(std::u16string_view(wide), options);
        } else if (text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
            std::u16string wide = utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(text.data()) + 3, text.size() - 3));
            result = quill::compileScript(std::u16string_view(wide), options);
        } else {
            result = quill::compileScript(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), options);
        }
        if (!result.ok) {
            std::string messages = result.messages;
            while (!messages.empty() && (messages.back() == '\n' || messages.back() == '\r'))
                messages.pop_back();
            error = path.string() + ": " + messages;
            return std::nullopt;
        }
        // Seeded by the source, so the same source gives the same image and
        // an unchanged configuration keeps its fingerprint.
        return quill::writeImage(result.sections, crc32Of(text));
    }
#else
    if (ext == ".qsc")
        return bytes;
    if (ext == ".qls") {
        error = path.string() + ": compiling .qls sources is not available in this build; give a compiled .qsc image";
        return std::nullopt;
    }
#endif
    error = path.string() + ": a script must be a .qls source or a .qsc image";
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> buildPackage(const Manifest& m, std::span<const uint8_t> stub, std::string& error,
                                                 const std::function<void(uint64_t)>& progress) {
    // 1. The files to pack.
    std::vector<ArchiveNode> nodes;
    for (size_t i = 0; i < m.files.size(); ++i) {
        std::string field = "manifest field \"files[" + std::to_string(i) + "]\": ";
        std::string why;
        auto node = archiveNodeFromDisk(m.files[i], &why);
        if (!node) {
            error = field + why;
            return std::nullopt;
        }
        if (!isSafeEntryName(node->name)) {
            error = field + "cannot pack a file named " + quoteText(node->name);
            return std::nullopt;
        }
        for (const ArchiveNode& other : nodes)
            if (sameName(other.name, node->name)) {
                error = field + quoteText(node->name) + " is packed twice";
                return std::nullopt;
            }
        nodes.push_back(std::move(*node));
    }

    // 2. Every path the settings name inside the archive must be there.
    const RuntimeSettings& s = m.settings;
    struct Named {
        const char* field;
        std::optional<std::u16string> path;
    };
    const Named named[] = {
        {"movie", m.movie.name},
        {"installer", m.installer},
        {"preview.path", s.preview.selector >= kPreviewFile ? s.preview.path : std::nullopt},
        {"help.path", s.help.path},
        {"about.file", (s.pageFlags & kPagePlaysFile) ? s.pageMoviePath : std::nullopt},
    };
    for (const Named& n : named) {
        if (n.path && !n.path->empty() && !packed(nodes, *n.path)) {
            error = std::string("manifest field \"") + n.field + "\": " + quoteText(*n.path) +
                    " is not among the packaged files";
            return std::nullopt;
        }
    }

    // 3. The runtime stub.
    std::string why;
    auto image = PeImage::parse(stub, &why);
    if (!image) {
        error = "runtime: " + why;
        return std::nullopt;
    }

    // 4. The configuration resources.
    auto settings = writeRuntimeSettings(s, [&](const std::u16string& path) {
        return readFile(m.baseDir / pathOf(path));
    });
    addBlock(*image, kResourceTypePaloma, kResourceSettings, settings);
    addBlock(*image, kResourceTypePaloma, kResourceMovieList, writeMovieList(m.movie));
    if (m.installer) {
        PlayerInstallerRecord record{kPlayerInstallerWords, utf16ToAnsi(*m.installer)};
        addBlock(*image, kResourceTypePaloma, kResourceInstaller, writePlayerInstallerRecord(record));
    }
    if (m.picture) {
        auto picture = readFile(*m.picture);
        if (!picture) {
            error = "manifest field \"about.picture\": cannot read " + m.picture->string();
            return std::nullopt;
        }
        if (picture->size() < 2 || (*picture)[0] != 'B' || (*picture)[1] != 'M') {
            error = "manifest field \"about.picture\": " + m.picture->string() + " is not a BMP picture";
            return std::nullopt;
        }
        addBlock(*image, kResourceTypePaloma, kResourceBackground, *picture);
    }
    addPlain(*image, kResourceTypePaloma, kResourceIdentity, writeIdentity(m.identity));
    for (const ScriptSource& script : m.scripts) {
        auto compiled = scriptImage(script.path, why);
        if (!compiled) {
            error = "manifest field \"scripts." + utf16ToUtf8(script.name) + "\": " + why;
            return std::nullopt;
        }
        addBlock(*image, kResourceTypeQuill, script.name, *compiled);
    }
    for (const MenuSource& menu : m.menus)
        addBlock(*image, u"MENUS", menu.name, writeMenusResource(menu.items));

    // 5. The fingerprint: a digest of every configuration resource, so it
    // changes exactly when the configuration does.
    Md5 md5;
    for (const PeResource& r : image->resources()) {
        if (!(r.type == ResourceId::of(kResourceTypePaloma)) && !(r.type == ResourceId::of(kResourceTypeQuill)))
            continue;
        std::u16string key = r.type.text + u"/" + r.name.text;
        md5.update(std::span(reinterpret_cast<const uint8_t*>(key.data()), key.size() * 2));
        uint8_t size[4] = {uint8_t(r.data.size()), uint8_t(r.data.size() >> 8), uint8_t(r.data.size() >> 16),
                           uint8_t(r.data.size() >> 24)};
        md5.update(size);
        md5.update(r.data);
    }
    Md5Digest fingerprint = md5.finish();
    addPlain(*image, kResourceTypePaloma, kResourceFingerprint, {fingerprint.begin(), fingerprint.end()});

    // 6. The executable, then the archive.
    auto exe = image->write(&why);
    if (!exe) {
        error = "runtime: " + why;
        return std::nullopt;
    }
    auto archive = writeArchive(nodes, progress);
    exe->insert(exe->end(), archive.begin(), archive.end());
    return exe;
}

bool buildPackageFile(const Manifest& m, const std::optional<fs::path>& runtime, const fs::path& out,
                      std::string& error, bool quiet) {
    std::optional<fs::path> stubPath = runtime ? runtime : m.runtime;
    if (!stubPath) {
        error = "no runtime: give --runtime PATH or the manifest field \"runtime\"";
        return false;
    }
    auto stub = readFile(*stubPath);
    if (!stub) {
        error = "cannot read the runtime " + stubPath->string();
        return false;
    }
    uint64_t total = 0;
    for (const fs::path& p : m.files)
        total += sizeOnDisk(p);
    Progress progress(Progress::outputFor(total, quiet), "building", total);
    auto exe = buildPackage(m, *stub, error, [&](uint64_t bytes) { progress.advance(bytes); });
    progress.finish();
    if (!exe)
        return false;
    fs::path temp = out;
    temp += ".part";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(exe->data()), std::streamsize(exe->size()));
        if (!file) {
            file.close();
            std::error_code ec;
            fs::remove(temp, ec);
            error = "cannot write " + out.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, out, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "cannot write " + out.string();
        return false;
    }
    return true;
}

} // namespace paloma::pack
