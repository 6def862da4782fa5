// A package built by the packager is still an executable Windows loads, and
// the system finds its resources. The test binary itself serves as the
// runtime stub: it is packaged (twice, so the second run must keep what the
// first one added), started, and inside the copy the probe test below looks
// its own resources up.
#include "tools/pack/Manifest.h"
#include "tools/pack/Packager.h"

#include "app/ResourceBlock.h"
#include "app/RuntimeSettings.h"
#include "tests/support/Binutils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using namespace paloma;
using namespace paloma::pack;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(PALOMA_TEST_DATA) / "data";
constexpr wchar_t kProbeVariable[] = L"PALOMA_PACK_PROBE";

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path ownPath() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return fs::path(std::wstring(buf, n));
}

std::vector<uint8_t> packWith(const std::string& json, std::span<const uint8_t> stub) {
    std::string error;
    auto m = parseManifest(json, kData, error);
    EXPECT_TRUE(m) << error;
    if (!m)
        return {};
    auto exe = buildPackage(*m, stub, error);
    EXPECT_TRUE(exe) << error;
    return exe ? *exe : std::vector<uint8_t>{};
}

// The data of a resource of this module, or nothing.
std::optional<std::vector<uint8_t>> ownResource(HMODULE module, const wchar_t* type, const wchar_t* name) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module, found);
    DWORD size = SizeofResource(module, found);
    auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    if (!bytes)
        return std::nullopt;
    return std::vector<uint8_t>(bytes, bytes + size);
}

DWORD run(const fs::path& exe, const std::wstring& args) {
    std::wstring command = L"\"" + exe.wstring() + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return DWORD(-1);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = DWORD(-2);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace

TEST(PackagedExe, LoadsAndFindsItsResources) {
    std::random_device rd;
    fs::path dir = fs::temp_directory_path() / ("paloma_packexe_" + std::to_string(rd()));
    fs::create_directories(dir);

    auto stub = readAll(ownPath());
    ASSERT_FALSE(stub.empty());
    auto first = packWith(R"({"files": ["content"], "movie": "content/movie.swf", "title": "First",
        "scripts": {"Kept": "init.qsc"}})", stub);
    ASSERT_FALSE(first.empty());
    // Packaging the package again replaces the configuration and keeps the
    // script resource the first run added.
    auto second = packWith(R"({"files": ["content"], "movie": "content/movie.swf", "title": "Second",
        "scripts": {"INITIALIZE": "init.qsc"}})", first);
    ASSERT_FALSE(second.empty());
    fs::path exe = dir / "packaged.exe";
    std::ofstream(exe, std::ios::binary).write(reinterpret_cast<const char*>(second.data()), std::streamsize(second.size()));
    // This test program, the stub, carries its debugging sections; the
    // package does not, and binutils read it.
    EXPECT_EQ(testsupport::objdumpProblem(exe.wstring()), "");

    // From outside, as data.
    HMODULE data = LoadLibraryExW(exe.wstring().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(ownResource(data, L"PALOMA", L"ST"));
    EXPECT_TRUE(ownResource(data, L"QUILL", L"Kept"));
    FreeLibrary(data);

    // From inside, started as a program.
    SetEnvironmentVariableW(kProbeVariable, L"1");
    DWORD code = run(exe, L"--gtest_filter=PackagedProbe.*");
    SetEnvironmentVariableW(kProbeVariable, nullptr);
    EXPECT_EQ(code, 0u);
    fs::remove_all(dir);
}

// Runs only inside a packaged copy (see above).
TEST(PackagedProbe, FindsOwnResources) {
    if (!GetEnvironmentVariableW(kProbeVariable, nullptr, 0))
        GTEST_SKIP() << "runs inside a packaged copy only";
    auto st = ownResource(nullptr, L"PALOMA", L"ST");
    ASSERT_TRUE(st);
    RuntimeSettings s;
    ASSERT_TRUE(readRuntimeSettings(readResourceBlock(*st), s));
    EXPECT_EQ(s.texts[kTextTitle], u"Second");
    for (const wchar_t* name : {L"ML", L"ID", L"CS"})
        EXPECT_TRUE(ownResource(nullptr, L"PALOMA", name)) << name;
    auto kept = ownResource(nullptr, L"QUILL", L"Kept"); // looked up in any case
    ASSERT_TRUE(kept);
    EXPECT_EQ(readResourceBlock(*kept), readAll(kData / "init.qsc"));
    EXPECT_TRUE(ownResource(nullptr, L"QUILL", L"INITIALIZE"));
    EXPECT_FALSE(ownResource(nullptr, L"QUILL", L"Missing"));
}
