// Resolution of package paths, over the executable's own file handle.
#include "app/shell/PackageFiles.h"

#include "app/Archive.h"
#include "app/ShellErrors.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/RunFolder.h"
#include "app/shell/ShellContext.h"
#include "base/WinText.h"
#include "host/framework/WinHandles.h"

namespace paloma {

namespace {

// The executable, opened for reading with writes by others denied.
class HandleSource : public ByteSource {
public:
    explicit HandleSource(const std::wstring& path)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size;
        if (file_ && GetFileSizeEx(file_.get(), &size) && size.QuadPart >= 0)
            size_ = uint64_t(size.QuadPart);
    }
    bool isOpen() const { return file_.valid(); }
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, std::span<uint8_t> out) override {
        if (offset > size_ || size_ - offset < out.size())
            return false;
        size_t done = 0;
        while (done < out.size()) {
            OVERLAPPED at = {};
            uint64_t position = offset + done;
            at.Offset = DWORD(position);
            at.OffsetHigh = DWORD(position >> 32);
            DWORD want = DWORD(out.size() - done > (1u << 30) ? (1u << 30) : out.size() - done), got = 0;
            if (!ReadFile(file_.get(), out.data() + done, want, &got, &at) || got == 0)
                return false;
            done += got;
        }
        return true;
    }

private:
    UniqueHandle file_;
    uint64_t size_ = 0;
};

} // namespace

std::wstring extractionFolder() {
    return runFolder().empty() ? std::wstring() : widen(runFolder()) + L"_extra\\";
}

std::wstring resolvePackagePath(std::u16string_view archivePath, const std::wstring& executable) {
    std::wstring exe = executable.empty() ? modulePath() : executable;
    size_t cut = exe.find_last_of(L"\\/");
    std::wstring exeFolder = cut == std::wstring::npos ? std::wstring() : exe.substr(0, cut);

    // Without a run folder nothing is extracted: only the files beside the
    // executable can be found.
    std::wstring extractRoot = extractionFolder();
    HandleSource file(exe);
    MemorySource nothing({});
    ByteSource& source = runFolder().empty() ? static_cast<ByteSource&>(nothing) : file;
    if (!runFolder().empty())
        CreateDirectoryW(extractRoot.c_str(), nullptr); // an existing folder is no error

    try {
        std::filesystem::path local = resolveArchivePath(source, archivePath, extractRoot, exeFolder);
        return local.wstring();
    } catch (const CZipException& e) {
        reportToMainWindow(e.what());
        return {};
    }
}

} // namespace paloma
