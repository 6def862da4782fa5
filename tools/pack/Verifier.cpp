// Checking a built package.
#include "tools/pack/Verifier.h"

#include "app/Archive.h"
#include "app/Identity.h"
#include "app/MovieList.h"
#include "app/PeResources.h"
#include "app/PlayerInstaller.h"
#include "app/ResourceBlock.h"
#include "app/ResourceNames.h"
#include "app/RuntimeSettings.h"
#include "base/TextCodec.h"
#include "base/Zlib.h"

namespace paloma::pack {

namespace {

uint32_t u32At(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string inQuotes(std::u16string_view text) { return "\"" + utf16ToUtf8(text) + "\""; }

class Checker {
public:
    explicit Checker(std::span<const uint8_t> exe) : exe_(exe), source_(exe), archive_(source_) {}

    VerifyReport run() {
        if (resources() && archive())
            references();
        return report_;
    }

private:
    bool problem(std::string text) {
        if (report_.problem.empty())
            report_.problem = std::move(text);
        return false;
    }

    // A resource block inflated, its sizes and CRC as its header states.
    std::optional<std::vector<uint8_t>> block(const std::vector<uint8_t>& data, const std::string& what) {
        std::vector<uint8_t> plain;
        std::string message;
        if (!tryReadResourceBlock(data, plain, &message)) {
            problem(what + ": damaged resource block (" + message + ")");
            return std::nullopt;
        }
        if (plain.size() != u32At(data, 4)) {
            problem(what + ": the resource block holds " + std::to_string(plain.size()) + " bytes, its header says " +
                    std::to_string(u32At(data, 4)));
            return std::nullopt;
        }
        if (crc32Of(plain) != u32At(data, 12)) {
            problem(what + ": the resource block's CRC does not match its data");
            return std::nullopt;
        }
        ++report_.resources;
        return plain;
    }

    const std::vector<uint8_t>* find(std::u16string_view type, std::u16string_view name) {
        return image_->find(ResourceId::of(type), ResourceId::of(name));
    }

    bool resources() {
        std::string why;
        image_ = PeImage::parse(exe_, &why);
        if (!image_)
            return problem("not a package: " + why);

        const auto* st = find(kResourceTypePaloma, kResourceSettings);
        if (!st)
            return problem("settings (PALOMA/ST): missing");
        auto settings = block(*st, "settings (PALOMA/ST)");
        if (!settings)
            return false;
        RuntimeSettings s;
        if (!readRuntimeSettings(*settings, s))
            return problem("settings (PALOMA/ST): the record ends early");

        const auto* ml = find(kResourceTypePaloma, kResourceMovieList);
        if (!ml)
            return problem("movie list (PALOMA/ML): missing");
        auto list = block(*ml, "movie list (PALOMA/ML)");
        if (!list)
            return false;
        if (!readMovieList(*list, movie_))
            return problem("movie list (PALOMA/ML): the record ends early");

        const auto* id = find(kResourceTypePaloma, kResourceIdentity);
        if (!id)
            return problem("identity (PALOMA/ID): missing");
        if (!readIdentity(*id, u""))
            return problem("identity (PALOMA/ID): invalid (too short, or its digest does not match: forged or damaged)");
        ++report_.resources;

        const auto* cs = find(kResourceTypePaloma, kResourceFingerprint);
        if (!cs)
            return problem("fingerprint (PALOMA/CS): missing");
        if (cs->size() != kFingerprintSize)
            return problem("fingerprint (PALOMA/CS): " + std::to_string(cs->size()) + " bytes, not " +
                           std::to_string(kFingerprintSize));
        ++report_.resources;

        if (const auto* bk = find(kResourceTypePaloma, kResourceBackground)) {
            auto picture = block(*bk, "about picture (PALOMA/BK)");
            if (!picture)
                return false;
            if (picture->size() < 2 || (*picture)[0] != 'B' || (*picture)[1] != 'M')
                return problem("about picture (PALOMA/BK): not a BMP picture");
        }
        if (const auto* fp = find(kResourceTypePaloma, kResourceInstaller)) {
            auto data = block(*fp, "player installer (PALOMA/FP)");
            if (!data)
                return false;
            auto record = readPlayerInstallerRecord(*data);
            if (!record)
                return problem("player installer (PALOMA/FP): " + std::to_string(data->size()) + " bytes, not " +
                               std::to_string(kPlayerInstallerRecordSize) + "; the runtime would ignore it");
            installer_ = ansiToUtf16(record->fileName);
        }
        for (const PeResource& r : image_->resources()) {
            if (!(r.type == ResourceId::of(kResourceTypeQuill)))
                continue;
            std::string name = r.name.isText() ? utf16ToUtf8(r.name.text) : "#" + std::to_string(r.name.number);
            if (!block(r.data, "script (QUILL/" + name + ")"))
                return false;
        }
        return true;
    }

    bool archive() {
        uint64_t overlay = image_->overlay().size();
        if (overlay < 8)
            return problem("archive: missing (nothing follows the executable's last section)");
        uint32_t groupCount = u32At(exe_, exe_.size() - 4), size = u32At(exe_, exe_.size() - 8);
        if (groupCount != 1)
            return problem("archive trailer: group count " + std::to_string(groupCount) +
                           ", not 1 (truncated or damaged)");
        if (size > overlay - 8)
            return problem("archive trailer: the archive size " + std::to_string(size) +
                           " reaches back into the executable (truncated or damaged)");
        if (size != overlay - 8)
            return problem("archive trailer: the archive does not start where the executable ends (" +
                           std::to_string(overlay - 8 - size) + " bytes between them)");
        if (!archive_.open())
            return problem("archive: wrong magic, version or group name");
        return folder(archive_.root(), u"");
    }

    bool folder(const ArchiveEntry& entry, const std::u16string& path) {
        uint64_t end = entry.contentOffset;
        for (const ArchiveEntry& child : archive_.children(entry)) {
            end = child.contentOffset + child.contentSize;
            std::u16string childPath = path.empty() ? child.name : path + u"/" + child.name;
            if (!isSafeEntryName(child.name))
                return problem("archive: entry " + inQuotes(childPath) + " has a name the runtime never extracts");
            if (child.isFolder() ? !folder(child, childPath) : !file(child, childPath))
                return false;
        }
        if (end != entry.contentOffset + entry.contentSize)
            return problem("archive: " + (path.empty() ? std::string("the group") : "folder " + inQuotes(path)) +
                           ": an entry after " + std::to_string(end - entry.contentOffset) +
                           " bytes is damaged or does not fit");
        return true;
    }

    bool file(const ArchiveEntry& entry, const std::u16string& path) {
        if (entry.contentSize < 4)
            return problem("archive: file " + inQuotes(path) + ": shorter than its CRC");
        auto content = exe_.subspan(size_t(entry.contentOffset), size_t(entry.contentSize));
        auto stream = content.first(content.size() - 4);
        InflateStream inflater;
        uint32_t crc = 0;
        uint64_t bytes = 0;
        int rc = inflater.init();
        if (rc == kZlibOk)
            rc = inflater.feed(stream, [&](std::span<const uint8_t> chunk) {
                crc = crc32Of(chunk, crc);
                bytes += chunk.size();
                return true;
            });
        if (rc != kZlibOk)
            return problem("archive: file " + inQuotes(path) + ": " + zipErrorMessage(rc));
        if (!inflater.finished())
            return problem("archive: file " + inQuotes(path) + ": the compressed data ends early");
        if (crc != u32At(content, content.size() - 4))
            return problem("archive: file " + inQuotes(path) + ": CRC mismatch");
        ++report_.files;
        report_.bytes += bytes;
        return true;
    }

    // What the resources name inside the archive is there.
    void references() {
        if (movie_.name && !movie_.name->empty() && !archive_.lookup(*movie_.name))
            problem("movie list (PALOMA/ML): the movie " + inQuotes(*movie_.name) + " is not in the archive");
        else if (installer_ && !installer_->empty() && !archive_.lookup(*installer_))
            problem("player installer (PALOMA/FP): " + inQuotes(*installer_) + " is not in the archive");
    }

    std::span<const uint8_t> exe_;
    MemorySource source_;
    Archive archive_;
    std::optional<PeImage> image_;
    MovieList movie_;
    std::optional<std::u16string> installer_;
    VerifyReport report_;
};

} // namespace

VerifyReport verifyPackage(std::span<const uint8_t> exe) { return Checker(exe).run(); }

} // namespace paloma::pack
