// What users ship, as they get it: executables that import only system
// DLLs, a packager that builds with the runtime installed beside it, and a
// package that plays in the machine's registered player with OLE set up by
// the runtime itself, or ends with the documented message when the control
// cannot be had.
#include "app/PeResources.h"
#include "E2eSupport.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace paloma;

namespace {

// DLLs that every supported Windows has.
constexpr const char* kSystemDlls[] = {
    "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "shell32.dll",  "ole32.dll",
    "oleaut32.dll", "comdlg32.dll", "comctl32.dll", "winmm.dll",    "ws2_32.dll",   "wsock32.dll",
    "msvcrt.dll",   "cabinet.dll",  "shlwapi.dll",  "version.dll",  "winspool.drv", "oledlg.dll",
    "oleacc.dll",   "wininet.dll",  "imm32.dll",    "uxtheme.dll",  "crypt32.dll",  "mpr.dll",
};

bool isSystemDll(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(std::begin(kSystemDlls), std::end(kSystemDlls), name) != std::end(kSystemDlls);
}

// The modules of an executable outside the system's.
std::vector<std::string> foreignImports(const char* unixPath, size_t& total) {
    std::vector<uint8_t> bytes = e2e::readFile(e2e::hostPath(unixPath));
    EXPECT_FALSE(bytes.empty()) << unixPath;
    std::string error;
    auto image = PeImage::parse(bytes, &error);
    EXPECT_TRUE(image) << unixPath << ": " << error;
    std::vector<std::string> foreign;
    if (!image)
        return foreign;
    std::vector<std::string> modules = image->importedModules();
    total = modules.size();
    for (const std::string& m : modules)
        if (!isSystemDll(m))
            foreign.push_back(m);
    return foreign;
}

} // namespace

TEST(ShippedExecutables, ImportOnlySystemDlls) {
    const char* shipped[] = {
        PALOMA_RUNTIME_EXE,
#ifdef PALOMA_PACK_EXE
        PALOMA_PACK_EXE,
#endif
#ifdef PALOMA_QUILL_EXE
        PALOMA_QUILL_EXE,
#endif
    };
    for (const char* exe : shipped) {
        size_t total = 0;
        std::vector<std::string> foreign = foreignImports(exe, total);
        EXPECT_GT(total, 0u) << exe << ": the import table was not read";
        std::string list;
        for (const std::string& m : foreign)
            list += " " + m;
        EXPECT_TRUE(foreign.empty()) << exe << " imports DLLs a clean Windows lacks:" << list;
    }
}

#if defined(PALOMA_PACK_EXE) && defined(PALOMA_FAKEPLAYER_OCX)

namespace {

constexpr const wchar_t* kIdentityKey = L"Software\\Paloma Shipped";
constexpr const wchar_t* kFlashServerKey = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32";

// The stand-in registered as the machine's Flash control for the life of
// the object, the way an installed control is: through its own
// registration entry point, run by the system's regsvr32.
class RegisteredPlayer {
public:
    RegisteredPlayer() : path_(e2e::hostPath(PALOMA_FAKEPLAYER_OCX)) {
        auto r = e2e::runProcess(L"regsvr32 /s \"" + path_ + L"\"");
        registered_ = r.finished && r.exitCode == 0;
    }
    ~RegisteredPlayer() { e2e::runProcess(L"regsvr32 /u /s \"" + path_ + L"\""); }
    bool registered() const { return registered_; }

private:
    std::wstring path_;
    bool registered_ = false;
};

class ShippedPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::deleteRegistryTree(kIdentityKey);
        CreateDirectoryW(tmp_.c_str(), nullptr);
        ASSERT_TRUE(e2e::writeFile(scratch_ / L"movie.swf", paloma::testing::movieBytes({})));
        ASSERT_TRUE(e2e::writeText(scratch_ / L"quit.events", "wait 300\nquit\n"));
        ASSERT_TRUE(e2e::writeText(scratch_ / L"app.json",
                                   "{\n"
                                   "  \"identity\": \"Paloma Shipped/Player\\\\V1.0\",\n"
                                   "  \"title\": \"Shipped\",\n"
                                   "  \"options\": {\"defaultMovieSize\": true},\n"
                                   "  \"movie\": \"movie.swf\",\n"
                                   "  \"files\": [\"movie.swf\"]\n"
                                   "}\n"));
    }
    void TearDown() override { e2e::deleteRegistryTree(kIdentityKey); }

    // The packager as users install it: paloma-pack.exe with the runtime
    // beside it, building without --runtime.
    std::wstring buildWithPackagerBesideRuntime(const std::wstring& manifest = L"app.json") {
        std::wstring dist = scratch_ / L"dist";
        CreateDirectoryW(dist.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW(e2e::hostPath(PALOMA_PACK_EXE).c_str(), (dist + L"\\paloma-pack.exe").c_str(), FALSE));
        EXPECT_TRUE(CopyFileW(e2e::hostPath(PALOMA_RUNTIME_EXE).c_str(), (dist + L"\\paloma.exe").c_str(), FALSE));
        std::wstring out = scratch_ / L"shipped.exe";
        auto r = e2e::runProcess(L"\"" + dist + L"\\paloma-pack.exe\" build " + manifest + L" -o shipped.exe", {},
                                 60000, scratch_.path());
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(e2e::exists(out));
        return out;
    }

    e2e::RunResult run(const std::wstring& exe) {
        return e2e::runProcess(L"\"" + exe + L"\" /s",
                               {L"TMP=" + tmp_, L"TEMP=" + tmp_, L"PALOMA_MESSAGE_LOG=" + boxes_,
                                L"PALOMA_FAKEPLAYER_LOG=" + log_, L"PALOMA_FAKEPLAYER_SCRIPT=" + (scratch_ / L"quit.events")},
                               30000);
    }

    e2e::ScratchFolder scratch_{L"shipped"};
    std::wstring tmp_ = scratch_ / L"tmp";
    std::wstring boxes_ = scratch_ / L"boxes.log";
    std::wstring log_ = scratch_ / L"player.log";
};

} // namespace

// The runtime initialises OLE itself: the control's in-place activation
// registers its window as a drop target, which fails without it.
TEST_F(ShippedPackageTest, PackagerBesideTheRuntimeBuildsAPackageThatPlaysInTheRegisteredPlayer) {
    std::wstring exe = buildWithPackagerBesideRuntime();
    RegisteredPlayer player;
    ASSERT_TRUE(player.registered());
    auto r = run(exe);
    ASSERT_TRUE(r.finished) << e2e::readText(log_);
    EXPECT_EQ(r.exitCode, 0u);
    std::string calls = e2e::readText(log_);
    EXPECT_NE(calls.find("create\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("dragdrop ok\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("put ScaleMode 3\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("movie movie.swf 550x400"), std::string::npos) << calls;
    EXPECT_NE(calls.find("fire FSCommand quit"), std::string::npos) << calls;
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

// A registration whose module is not a control: the documented message, and
// no run folder left behind.
TEST_F(ShippedPackageTest, RegisteredPlayerThatCannotBeCreatedSaysSoAndLeavesNoRunFolder) {
    std::wstring exe = buildWithPackagerBesideRuntime();
    std::wstring notAControl = scratch_ / L"flash.ocx";
    ASSERT_TRUE(e2e::writeText(notAControl, "not a module"));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kFlashServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(notAControl.c_str()),
                   DWORD((notAControl.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    auto r = run(exe);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}");
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    EXPECT_EQ(e2e::readText(boxes_), "\tFailed to load the Macromedia Flash Player!\n");
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

// A package whose installer yields no control: it is run silently, no player
// is registered afterwards, and the run ends with the documented message,
// taking the run folder (with what the installer left in it) along.
TEST_F(ShippedPackageTest, PackageWhoseInstallerGivesNoPlayerSaysSoAndLeavesNoRunFolder) {
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/paloma_fake_installer.exe").c_str(),
                          (scratch_ / L"setup.exe").c_str(), FALSE));
    ASSERT_TRUE(e2e::writeText(scratch_ / L"installer.json",
                               "{\n"
                               "  \"identity\": \"Paloma Shipped/Player\\\\V1.0\",\n"
                               "  \"title\": \"No player\",\n"
                               "  \"installer\": \"setup.exe\",\n"
                               "  \"movie\": \"movie.swf\",\n"
                               "  \"files\": [\"movie.swf\", \"setup.exe\"]\n"
                               "}\n"));
    std::wstring exe = buildWithPackagerBesideRuntime(L"installer.json");
    auto r = run(exe);
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    EXPECT_EQ(e2e::readText(boxes_), "\tFailed to load the Macromedia Flash Player!\n");
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

#endif
