// The run folder, its deletion and the temporary file names.
#include "app/shell/RunFolder.h"

#include "base/WinText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>

using namespace paloma;

namespace {

// Sets environment variables for one test and restores them afterwards.
class EnvironmentGuard {
public:
    void set(const wchar_t* name, const wchar_t* value) {
        wchar_t old[4096];
        DWORD n = GetEnvironmentVariableW(name, old, 4096);
        saved_.push_back({name, n > 0 && n < 4096 ? std::optional<std::wstring>(old) : std::nullopt});
        SetEnvironmentVariableW(name, value);
    }
    ~EnvironmentGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

std::wstring scratchFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring path = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    deleteTree(path);
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void touch(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << narrow(path);
    DWORD w;
    WriteFile(h, "x", 1, &w, nullptr);
    CloseHandle(h);
}

} // namespace

TEST(RunFolder, TemporaryDirectoryFollowsTheEnvironment) {
    EnvironmentGuard env;
    env.set(L"TMP", L"C:\\from-tmp/");
    env.set(L"TEMP", L"C:\\from-temp");
    EXPECT_EQ(temporaryDirectory(), "C:\\from-tmp\\");
    env.set(L"TMP", std::wstring(300, L'a').c_str());
    EXPECT_EQ(temporaryDirectory(), "C:\\from-temp\\");
    env.set(L"TMP", nullptr);
    env.set(L"TEMP", nullptr);
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(temporaryDirectory(), narrow(std::wstring_view(windows, n)) + "\\");
}

TEST(RunFolder, IsAFreshGuidFolderAndGoesWithEverythingBelowIt) {
    std::wstring base = scratchFolder(L"paloma-runfolder-");
    EnvironmentGuard env;
    env.set(L"TMP", base.c_str());

    ASSERT_TRUE(createRunFolder());
    std::string folder = runFolder();
    std::regex shape(R"(.*\\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}\\)");
    EXPECT_TRUE(std::regex_match(folder, shape)) << folder;
    EXPECT_EQ(folder.rfind(narrow(base) + "\\", 0), 0u) << folder;
    std::wstring wide = widen(folder);
    ASSERT_TRUE(exists(wide));

    // Content: nested folders, a read-only file.
    CreateDirectoryW((wide + L"_extra").c_str(), nullptr);
    CreateDirectoryW((wide + L"_extra\\movies").c_str(), nullptr);
    touch(wide + L"_extra\\movies\\intro.swf");
    touch(wide + L"_extra\\locked.txt");
    SetFileAttributesW((wide + L"_extra\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    touch(wide + L"Paloma.BK");

    deleteRunFolder();
    EXPECT_FALSE(exists(wide));
    EXPECT_TRUE(runFolder().empty());
    EXPECT_TRUE(exists(base)) << "only the run folder goes";
    deleteRunFolder(); // again: nothing to do

    // Two runs never share a folder.
    ASSERT_TRUE(createRunFolder());
    std::string first = runFolder();
    deleteRunFolder();
    ASSERT_TRUE(createRunFolder());
    EXPECT_NE(runFolder(), first);
    deleteRunFolder();
    deleteTree(base);
}

TEST(RunFolder, CreationFailsWhereNoFolderCanBeMade) {
    EnvironmentGuard env;
    env.set(L"TMP", L"Q:\\no\\such\\drive");
    EXPECT_FALSE(createRunFolder());
    EXPECT_TRUE(runFolder().empty());
}

TEST(RunFolder, TemporaryFileNamesAreFreeAndNumbered) {
    std::wstring base = scratchFolder(L"paloma-tempnames-");
    EnvironmentGuard env;
    env.set(L"TMP", base.c_str());
    auto first = temporaryFileName(".tmp");
    ASSERT_TRUE(first.has_value());
    std::regex shape(R"(.*\\[0-9A-F]{4,8}0\.tmp)");
    EXPECT_TRUE(std::regex_match(*first, shape)) << *first;
    EXPECT_FALSE(exists(widen(*first)));
    // Once taken, the next call moves on (the tick count may move too).
    touch(widen(*first));
    auto second = temporaryFileName(".tmp");
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*second, *first);
    EXPECT_FALSE(exists(widen(*second)));
    auto cab = temporaryFileName(".cab");
    ASSERT_TRUE(cab.has_value());
    EXPECT_EQ(cab->substr(cab->size() - 4), ".cab");
    deleteTree(base);
}
