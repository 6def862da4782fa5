// Packages built by the packager from the runtime, run as the system runs
// them: the settings store, the identity check, the screen-saver entry, the
// run modes, and the run folder's life.
#include "app/ResourceBlock.h"
#include "app/RuntimeSettings.h"
#include "base/WinText.h"
#include "E2eSupport.h"
#include "tests/support/Binutils.h"
#include "tests/support/MovieBytes.h"

#include <prsht.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace paloma;

#ifdef PALOMA_PACK_EXE

namespace {

constexpr const wchar_t* kIdentityKey = L"Software\\Paloma E2E Author";

std::string manifest(const std::string& title, const std::string& identity = "Paloma E2E Author/Saver\\\\V1.0") {
    return "{\n"
           "  \"identity\": \"" + identity + "\",\n"
           "  \"title\": \"" + title + "\",\n"
           "  \"version\": \"1.0\",\n"
           "  \"rights\": \"(c) E2E\",\n"
           "  \"wakeUp\": [\"mouseMove\", \"esc\"],\n"
           "  \"options\": {\"mute\": true},\n"
           "  \"movie\": \"movie.swf\",\n"
           "  \"files\": [\"movie.swf\", \"data\"]\n"
           "}\n";
}

constexpr const wchar_t* kAutorunPolicy = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

// The CD autorun policy value, or -1 when it is absent.
int64_t autorunPolicy() {
    DWORD value = 0, size = sizeof value;
    LONG rc = RegGetValueW(HKEY_CURRENT_USER, kAutorunPolicy, L"NoDriveTypeAutoRun", RRF_RT_REG_DWORD, nullptr, &value,
                           &size);
    return rc == ERROR_SUCCESS ? int64_t(value) : -1;
}

void setAutorunPolicy(int64_t value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAutorunPolicy, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return;
    DWORD v = DWORD(value);
    if (value < 0)
        RegDeleteValueW(key, L"NoDriveTypeAutoRun");
    else
        RegSetValueExW(key, L"NoDriveTypeAutoRun", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegCloseKey(key);
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::deleteRegistryTree(kIdentityKey);
        CreateDirectoryW(tmp_.c_str(), nullptr);
        ASSERT_TRUE(e2e::writeText(scratch_ / L"movie.swf", "FWS\x06 stand-in movie"));
        CreateDirectoryW((scratch_ / L"data").c_str(), nullptr);
        CreateDirectoryW((scratch_ / L"data\\sub").c_str(), nullptr);
        ASSERT_TRUE(e2e::writeText(scratch_ / L"data\\a.txt", "alpha"));
        ASSERT_TRUE(e2e::writeText(scratch_ / L"data\\sub\\b.txt", "bravo"));
    }
    void TearDown() override { e2e::deleteRegistryTree(kIdentityKey); }

    // Builds `name`.exe from a manifest; fails the test when the packager does.
    std::wstring build(const std::wstring& name, const std::string& json) {
        std::wstring manifestPath = scratch_ / (name + L".json");
        EXPECT_TRUE(e2e::writeText(manifestPath, json));
        std::wstring out = scratch_ / (name + L".exe");
        std::wstring cmd = L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" + manifestPath + L"\" -o \"" + out +
                           L"\" --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"";
        auto r = e2e::runProcess(cmd);
        EXPECT_TRUE(r.started && r.finished);
        EXPECT_EQ(r.exitCode, 0u) << narrow(cmd);
        EXPECT_TRUE(e2e::exists(out));
        EXPECT_EQ(testsupport::objdumpProblem(out), "");
        return out;
    }

    // Runs a package with its temporary folder and message log in the scratch folder.
    e2e::RunResult run(const std::wstring& exe, const std::wstring& args, std::vector<std::wstring> env = {}) {
        env.push_back(L"TMP=" + tmp_);
        env.push_back(L"TEMP=" + tmp_);
        env.push_back(L"PALOMA_MESSAGE_LOG=" + boxes_);
        return e2e::runProcess(L"\"" + exe + L"\" " + args, env, 30000);
    }

    std::vector<uint8_t> resource(const std::wstring& exe, const wchar_t* name) {
        std::vector<uint8_t> bytes;
        HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!m)
            return bytes;
        if (HRSRC r = FindResourceW(m, name, L"PALOMA")) {
            auto p = static_cast<const uint8_t*>(LockResource(LoadResource(m, r)));
            bytes.assign(p, p + SizeofResource(m, r));
        }
        FreeLibrary(m);
        return bytes;
    }

    std::vector<uint8_t> settingsData(const std::wstring& exe) { return readResourceBlock(resource(exe, L"ST")); }

    std::optional<std::vector<uint8_t>> stored(const wchar_t* value) {
        return e2e::registryBinary(std::wstring(kIdentityKey) + L"\\Saver\\V1.0\\SSettings", value);
    }

    e2e::ScratchFolder scratch_{L"startup"};
    std::wstring tmp_ = scratch_ / L"tmp";
    std::wstring boxes_ = scratch_ / L"boxes.log";
};

} // namespace

TEST_F(PackageTest, UnknownSwitchWritesTheStoreEndsAtOnceAndLeavesNoRunFolder) {
    std::wstring exe = build(L"saver", manifest("First"));
    auto r = run(exe, L"/x");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);

    auto crc = stored(L"crc");
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(*crc, resource(exe, L"CS"));
    EXPECT_EQ(crc->size(), 16u);
    auto options = stored(L"Options");
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(*options, settingsData(exe)) << "the record serialised in the resource's own layout";
    RuntimeSettings decoded;
    ASSERT_TRUE(readRuntimeSettings(*options, decoded));
    EXPECT_EQ(textOr(decoded.texts[kTextTitle]), u"First");
    EXPECT_EQ(decoded.wakeUpMethods, kWakeMouseMove | kWakeEsc);

    EXPECT_TRUE(e2e::listFolder(tmp_).empty()) << "the run folder is deleted at exit";
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);

    // The run folder comes before the settings: where none can be made, the
    // run ends silently and the store is left alone.
    e2e::deleteRegistryTree(kIdentityKey);
    auto noFolder = e2e::runProcess(L"\"" + exe + L"\" /x", {L"TMP=Q:\\missing\\drive", L"PALOMA_MESSAGE_LOG=" + boxes_});
    ASSERT_TRUE(noFolder.finished);
    EXPECT_NE(noFolder.exitCode, 0u);
    EXPECT_FALSE(stored(L"crc").has_value());
    EXPECT_FALSE(e2e::exists(boxes_));
}

TEST_F(PackageTest, SameFingerprintReadsOptionsBackAndAnUnreadableCopyIsReplaced) {
    std::wstring exe = build(L"saver", manifest("First"));
    ASSERT_TRUE(run(exe, L"/x").finished);
    std::vector<uint8_t> packaged = settingsData(exe);

    // Settings changed as the settings dialog would.
    RuntimeSettings changed;
    ASSERT_TRUE(readRuntimeSettings(packaged, changed));
    changed.wakeUpMethods = kWakeKeyStroke;
    changed.backgroundColour = 0x00336699;
    std::vector<uint8_t> changedBytes = writeRuntimeSettings(changed);
    ASSERT_NE(changedBytes, packaged);
    ASSERT_TRUE(e2e::setRegistryBinary(std::wstring(kIdentityKey) + L"\\Saver\\V1.0\\SSettings", L"Options", changedBytes));

    // The settings runs (no argument, /c) show the sheet: answered with Cancel.
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        for (; !done; Sleep(50))
            if (HWND sheet = FindWindowW(nullptr, L"Configurations"); sheet && IsWindowVisible(sheet))
                PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    for (const wchar_t* args : {L"/x", L"/s", L"", L"/c:4711", L"/p 1234"}) {
        auto r = run(exe, args);
        ASSERT_TRUE(r.finished) << narrow(args);
        EXPECT_EQ(*stored(L"Options"), changedBytes) << narrow(args);
        EXPECT_EQ(*stored(L"crc"), resource(exe, L"CS"));
        EXPECT_TRUE(e2e::listFolder(tmp_).empty()) << narrow(args);
    }
    done = true;
    canceller.join();

    // A copy that does not decode counts as stale.
    std::vector<uint8_t> cut(changedBytes.begin(), changedBytes.begin() + 10);
    ASSERT_TRUE(e2e::setRegistryBinary(std::wstring(kIdentityKey) + L"\\Saver\\V1.0\\SSettings", L"Options", cut));
    ASSERT_TRUE(run(exe, L"/x").finished);
    EXPECT_EQ(*stored(L"Options"), packaged);
    // Only the full-screen run (no player on this machine) had something to say.
    EXPECT_EQ(e2e::readText(boxes_), "\tFailed to load the Macromedia Flash Player!\n");
}

TEST_F(PackageTest, RebuiltPackageWithAnotherFingerprintDiscardsStoredOptions) {
    std::wstring first = build(L"saver", manifest("First"));
    ASSERT_TRUE(run(first, L"/x").finished);
    std::vector<uint8_t> firstCrc = *stored(L"crc");

    std::wstring second = build(L"saver2", manifest("Second"));
    ASSERT_NE(resource(second, L"CS"), firstCrc);
    ASSERT_TRUE(run(second, L"/x").finished);
    EXPECT_EQ(*stored(L"crc"), resource(second, L"CS"));
    EXPECT_EQ(*stored(L"Options"), settingsData(second));
    RuntimeSettings decoded;
    ASSERT_TRUE(readRuntimeSettings(*stored(L"Options"), decoded));
    EXPECT_EQ(textOr(decoded.texts[kTextTitle]), u"Second");

    // And back: the first package's fingerprint is stale again.
    ASSERT_TRUE(run(first, L"/x").finished);
    EXPECT_EQ(*stored(L"crc"), firstCrc);
    EXPECT_EQ(*stored(L"Options"), settingsData(first));
}

TEST_F(PackageTest, ForgedIdentityEndsWithInvalidApplicationData) {
    std::wstring exe = build(L"saver", manifest("First"));
    std::vector<uint8_t> bytes = e2e::readFile(exe);
    // The identity text as stored: UTF-16LE.
    std::u16string text = u"Paloma E2E Author/Saver\\V1.0";
    std::vector<uint8_t> pattern;
    for (char16_t c : text) {
        pattern.push_back(uint8_t(c));
        pattern.push_back(uint8_t(c >> 8));
    }
    auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    ASSERT_NE(at, bytes.end());
    at[pattern.size() - 2] = '2'; // "...V1.2": the digest no longer matches
    std::wstring forged = scratch_ / L"Forged Saver.exe";
    ASSERT_TRUE(e2e::writeFile(forged, bytes));

    auto r = run(forged, L"/s");
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    // No owner, titled with the profile name: the application's name here.
    EXPECT_EQ(e2e::readText(boxes_), "Forged Saver\tInvalid application data\n");
    EXPECT_FALSE(stored(L"crc").has_value());
    EXPECT_FALSE(e2e::registryBinary(std::wstring(kIdentityKey) + L"\\Saver\\V1.2\\SSettings", L"crc").has_value());
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());

    // The installer hooks come before the identity check, and the switch
    // that installs the screen saver needs no identity either.
    DeleteFileW(boxes_.c_str());
    ASSERT_TRUE(run(forged, L"/AfterInstall").finished);
    ASSERT_TRUE(run(forged, L"/beforeuninst").finished);
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);
}

TEST_F(PackageTest, SetDefaultMakesThePackageTheScreenSaverWithoutReadingSettings) {
    std::wstring exe = build(L"My Screen Saver", manifest("First"));
    auto r = run(exe, L"-SetDefault");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    wchar_t shortPath[MAX_PATH + 1];
    ASSERT_GT(GetShortPathNameW(exe.c_str(), shortPath, MAX_PATH + 1), 0u);
    auto entry = e2e::registryString(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(*entry, std::wstring(shortPath));
    EXPECT_FALSE(stored(L"crc").has_value()) << "settings are not read";
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
    EXPECT_FALSE(e2e::exists(boxes_));
}

TEST_F(PackageTest, InstallerHooksRunTheirScriptsAndEndBeforeTheSettings) {
    ASSERT_TRUE(e2e::writeText(scratch_ / L"after.qls", "var total = 0;\nfor (var i = 1; i <= 100; i++) total += i;\n"));
    ASSERT_TRUE(e2e::writeText(scratch_ / L"before.qls", "throw 'uninstall hook failed';\n"));
    std::string json = manifest("Hooks");
    json.replace(json.find("\"files\""), 0,
                 "\"scripts\": {\"AfterInstall\": \"after.qls\", \"BeforeUninst\": \"before.qls\"},\n  ");
    std::wstring exe = build(L"hooks", json);
    for (const wchar_t* args : {L"/AfterInstall", L"/BEFOREUNINST"}) {
        auto r = run(exe, args);
        ASSERT_TRUE(r.finished) << narrow(args);
        EXPECT_NE(r.exitCode, 0u) << "start-up ends with failure after a hook";
    }
    EXPECT_FALSE(stored(L"crc").has_value()) << "no settings are read";
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);
}

TEST_F(PackageTest, FullScreenWithoutAnyPlayerSaysSoAndEnds) {
    std::wstring exe = build(L"saver", manifest("First"));
    auto r = run(exe, L"/s");
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0u);
    // Owned by the main window, whose title is empty.
    EXPECT_EQ(e2e::readText(boxes_), "\tFailed to load the Macromedia Flash Player!\n");
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

TEST_F(PackageTest, FullScreenPlaysThePackagedMovieInThePrivatePlayer) {
    // The movie, and a player installer that carries the stand-in control.
    ASSERT_TRUE(e2e::writeFile(scratch_ / L"movie.swf", paloma::testing::movieBytes({})));
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/player_installer.exe").c_str(),
                          (scratch_ / L"player_setup.exe").c_str(), FALSE));
    std::string json = manifest("Player");
    json.replace(json.find("\"files\""), 0,
                 "\"installer\": \"player_setup.exe\", \"backgroundColour\": \"#123456\",\n  ");
    json.replace(json.find("\"data\"]"), 0, "\"player_setup.exe\", ");
    json.replace(json.find("\"mute\""), 0, "\"disableCdAutorun\": true, ");
    std::wstring exe = build(L"player", json);

    // "Disable CD autorun" sets the CD-ROM bit of the policy for the run only.
    int64_t policyBefore = autorunPolicy();
    setAutorunPolicy(0x91);
    std::atomic<int64_t> policyDuring{-2};
    std::atomic<bool> ended{false};
    std::thread watcher([&] {
        while (!ended)
            if (int64_t v = autorunPolicy(); v != 0x91 && policyDuring == -2)
                policyDuring = v;
            else
                Sleep(5);
    });
    std::wstring log = scratch_ / L"player.log";
    std::wstring events = scratch_ / L"quit.events";
    ASSERT_TRUE(e2e::writeText(events, "wait 300\nquit\n"));
    auto r = run(exe, L"/s", {L"PALOMA_FAKEPLAYER_LOG=" + log, L"PALOMA_FAKEPLAYER_SCRIPT=" + events});
    ended = true;
    watcher.join();
    int64_t policyAfter = autorunPolicy();
    setAutorunPolicy(policyBefore);
    EXPECT_EQ(policyDuring, 0xB1);
    EXPECT_EQ(policyAfter, 0x91);
    ASSERT_TRUE(r.finished) << e2e::readText(log);
    EXPECT_EQ(r.exitCode, 0u);

    std::string calls = e2e::readText(log);
    EXPECT_NE(calls.find("put ScaleMode 2\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("put BackgroundColor 1193046\n"), std::string::npos) << calls; // 0x123456
    // The movie was extracted below the run folder and loaded.
    size_t movie = calls.find("put Movie ");
    ASSERT_NE(movie, std::string::npos) << calls;
    std::string moviePath = calls.substr(movie + 10, calls.find('\n', movie) - movie - 10);
    EXPECT_NE(moviePath.find("\\_extra\\movie.swf"), std::string::npos) << moviePath;
    EXPECT_NE(calls.find("movie movie.swf 550x400"), std::string::npos) << calls;
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);
    // Run folder and extracted control are gone.
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

TEST_F(PackageTest, KilledRunsFolderIsSweptByTheNextRunButNotOneInUse) {
    ASSERT_TRUE(e2e::writeFile(scratch_ / L"movie.swf", paloma::testing::movieBytes({})));
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/player_installer.exe").c_str(),
                          (scratch_ / L"player_setup.exe").c_str(), FALSE));
    std::string json = manifest("Killed");
    // Only Esc wakes it: another test's mouse on the shared display must not end the run.
    json.replace(json.find("\"mouseMove\", "), 13, "");
    json.replace(json.find("\"files\""), 0, "\"installer\": \"player_setup.exe\",\n  ");
    json.replace(json.find("\"data\"]"), 0, "\"player_setup.exe\", ");
    std::wstring exe = build(L"killed", json);

    // A folder of a live run (its lock held here), and a folder of the same
    // name form that is no run folder at all (no lock): both stay.
    std::wstring inUse = tmp_ + L"\\{0F0F0F0F-1111-2222-3333-444444444444}";
    std::wstring foreign = tmp_ + L"\\{ABCDEFAB-1111-2222-3333-444444444444}";
    ASSERT_TRUE(CreateDirectoryW(inUse.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(foreign.c_str(), nullptr));
    ASSERT_TRUE(e2e::writeText(foreign + L"\\keep.txt", "not ours"));
    HANDLE held = CreateFileW((inUse + L"\\Paloma.lock").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // A run that plays on until it is killed: its folder, the extracted
    // files and its lock stay behind.
    std::wstring events = scratch_ / L"forever.events";
    ASSERT_TRUE(e2e::writeText(events, "wait 600000\n"));
    std::wstring log = scratch_ / L"player.log";
    std::vector<std::wstring> env = {L"TMP=" + tmp_, L"TEMP=" + tmp_, L"PALOMA_MESSAGE_LOG=" + boxes_,
                                     L"PALOMA_FAKEPLAYER_LOG=" + log, L"PALOMA_FAKEPLAYER_SCRIPT=" + events};
    auto killed = e2e::runProcess(L"\"" + exe + L"\" /s", env, 15000);
    ASSERT_TRUE(killed.started);
    ASSERT_FALSE(killed.finished) << "the run ended by itself";
    ASSERT_NE(e2e::readText(log).find("put Movie "), std::string::npos) << "the run had not started its movie";
    std::vector<std::wstring> left;
    for (auto& name : e2e::listFolder(tmp_))
        if (tmp_ + L"\\" + name != inUse && tmp_ + L"\\" + name != foreign && e2e::isFolder(tmp_ + L"\\" + name))
            left.push_back(tmp_ + L"\\" + name);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(e2e::exists(left[0] + L"\\Paloma.lock"));
    EXPECT_TRUE(e2e::exists(left[0] + L"\\_extra\\movie.swf"));

    // The next run sweeps the killed run's folder, then ends as usual.
    ASSERT_TRUE(e2e::writeText(events, "wait 300\nquit\n"));
    auto next = e2e::runProcess(L"\"" + exe + L"\" /s", env, 30000);
    ASSERT_TRUE(next.finished);
    EXPECT_EQ(next.exitCode, 0u);
    EXPECT_FALSE(e2e::exists(left[0])) << "the killed run's folder is still there";
    EXPECT_TRUE(e2e::exists(inUse + L"\\Paloma.lock"));
    EXPECT_EQ(e2e::readText(foreign + L"\\keep.txt"), "not ours");
    CloseHandle(held);
    size_t folders = 0;
    for (auto& name : e2e::listFolder(tmp_))
        folders += e2e::isFolder(tmp_ + L"\\" + name);
    EXPECT_EQ(folders, 2u);
    EXPECT_FALSE(e2e::exists(boxes_)) << e2e::readText(boxes_);
}

#endif // PALOMA_PACK_EXE
