// Files and folders of a package built by the packager, resolved to local
// files below the run folder; and beside an executable without an archive.
#include "app/shell/PackageFiles.h"

#include "app/shell/RunFolder.h"
#include "base/WinText.h"
#include "E2eSupport.h"
#include "tests/support/Binutils.h"

#include <gtest/gtest.h>

using namespace paloma;

#ifdef PALOMA_PACK_EXE

namespace {

class PackageFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(tmp_.c_str(), nullptr);
        wchar_t old[MAX_PATH + 1] = {};
        hadTmp_ = GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1) > 0;
        oldTmp_ = old;
        SetEnvironmentVariableW(L"TMP", tmp_.c_str());

        std::wstring src = scratch_ / L"src";
        CreateDirectoryW(src.c_str(), nullptr);
        CreateDirectoryW((src + L"\\data").c_str(), nullptr);
        CreateDirectoryW((src + L"\\data\\sub").c_str(), nullptr);
        CreateDirectoryW((src + L"\\other").c_str(), nullptr);
        ASSERT_TRUE(e2e::writeText(src + L"\\movie.swf", "FWS\x06 movie"));
        ASSERT_TRUE(e2e::writeText(src + L"\\data\\a.txt", "alpha"));
        ASSERT_TRUE(e2e::writeText(src + L"\\data\\sub\\b.txt", "bravo"));
        ASSERT_TRUE(e2e::writeText(src + L"\\other\\only-here.txt", "sibling"));
        ASSERT_TRUE(e2e::writeText(src + L"\\m.json",
                                   "{\"identity\": \"Paloma E2E Files/P\", \"movie\": \"movie.swf\","
                                   " \"files\": [\"movie.swf\", \"data\", \"other\"]}"));
        package_ = scratch_ / L"files.exe";
        auto r = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" + src + L"\\m.json\" -o \"" +
                                 package_ + L"\" --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"");
        ASSERT_TRUE(r.finished);
        ASSERT_EQ(r.exitCode, 0u);
        EXPECT_EQ(testsupport::objdumpProblem(package_), "");
        ASSERT_TRUE(createRunFolder());
        extra_ = widen(runFolder()) + L"_extra\\";
    }
    void TearDown() override {
        deleteRunFolder();
        SetEnvironmentVariableW(L"TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
    }

    std::wstring resolve(std::u16string_view path, const std::wstring& exe = {}) {
        return resolvePackagePath(path, exe.empty() ? package_ : exe);
    }

    e2e::ScratchFolder scratch_{L"package-files"};
    std::wstring tmp_ = scratch_ / L"tmp";
    std::wstring package_;
    std::wstring extra_;
    bool hadTmp_ = false;
    std::wstring oldTmp_;
};

} // namespace

TEST_F(PackageFilesTest, FilesResolveBelowTheRunFolderWithEitherSeparator) {
    std::wstring b = resolve(u"data/sub/b.txt");
    EXPECT_EQ(b, extra_ + L"data\\sub\\b.txt");
    EXPECT_EQ(e2e::readText(b), "bravo");
    // Backslashes and another case name the same local file (the system's
    // names ignore case), found in place.
    EXPECT_EQ(_wcsicmp(resolve(u"DATA\\Sub\\B.TXT").c_str(), b.c_str()), 0);
    EXPECT_EQ(resolve(u"\\data\\sub/b.txt"), b);
    EXPECT_EQ(e2e::readText(resolve(u"movie.swf")), "FWS\x06 movie");
    // A file already extracted is returned unchecked.
    ASSERT_TRUE(e2e::writeText(b, "changed"));
    EXPECT_EQ(e2e::readText(resolve(u"data/sub/b.txt")), "changed");
}

TEST_F(PackageFilesTest, FoldersExtractWholeAndMissingOrSiblingPathsGiveNothing) {
    std::wstring data = resolve(u"data");
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.back(), L'\\');
    EXPECT_EQ(e2e::readText(data + L"a.txt"), "alpha");
    EXPECT_EQ(e2e::readText(data + L"sub\\b.txt"), "bravo");
    EXPECT_FALSE(e2e::exists(extra_ + L"other")) << "a sibling folder is not extracted with it";

    EXPECT_TRUE(resolve(u"data/missing.txt").empty());
    EXPECT_TRUE(resolve(u"only-here.txt").empty()) << "the search never leaves the current folder";
    EXPECT_TRUE(resolve(u"data/only-here.txt").empty());
    EXPECT_TRUE(resolve(u"data/../other/only-here.txt").empty());
    EXPECT_EQ(e2e::readText(resolve(u"other/only-here.txt")), "sibling");
}

TEST_F(PackageFilesTest, WithoutAnArchiveFilesAreFoundBesideTheExecutable) {
    std::wstring plainDir = scratch_ / L"plain";
    CreateDirectoryW(plainDir.c_str(), nullptr);
    std::wstring plain = plainDir + L"\\runtime.exe";
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_RUNTIME_EXE).c_str(), plain.c_str(), FALSE));
    CreateDirectoryW((plainDir + L"\\beside").c_str(), nullptr);
    ASSERT_TRUE(e2e::writeText(plainDir + L"\\beside\\c.txt", "charlie"));
    ASSERT_TRUE(e2e::writeText(plainDir + L"\\top.txt", "top"));

    EXPECT_EQ(e2e::readText(resolve(u"top.txt", plain)), "top");
    EXPECT_EQ(e2e::readText(resolve(u"\\beside/c.txt", plain)), "charlie");
    EXPECT_EQ(e2e::readText(resolve(u"beside\\c.txt", plain)), "charlie");
    EXPECT_FALSE(resolve(u"beside", plain).empty());
    EXPECT_TRUE(resolve(u"nothing.txt", plain).empty());
    EXPECT_TRUE(e2e::listFolder(extra_).empty()) << "nothing is extracted";
}

TEST_F(PackageFilesTest, WithoutARunFolderNothingIsExtracted) {
    deleteRunFolder();
    EXPECT_TRUE(resolve(u"movie.swf").empty());
    // Only what lies beside the executable is found.
    EXPECT_EQ(e2e::readText(resolve(u"src/movie.swf")), "FWS\x06 movie");
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());
}

#endif // PALOMA_PACK_EXE
