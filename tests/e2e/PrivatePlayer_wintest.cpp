// The private player taken out of installers that the build made from
// scratch: a cabinet inside a "CABINET" resource, a script-built installer,
// and an installer with neither, which is run silently instead.
#include "app/shell/PrivatePlayer.h"

#include "base/WinText.h"
#include "E2eSupport.h"

#include <gtest/gtest.h>

using namespace paloma;

namespace {

class PrivatePlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Temporary files of the preparation go to the scratch folder.
        wchar_t old[MAX_PATH + 1] = {};
        hadTmp_ = GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1) > 0;
        oldTmp_ = old;
        SetEnvironmentVariableW(L"TMP", scratch_.path().c_str());
        control_ = narrow(scratch_ / L"control.tmp");
        expected_ = e2e::readFile(e2e::hostPath(PALOMA_FIXTURE_SOURCES "/player.ocx"));
        ASSERT_FALSE(expected_.empty());
    }
    void TearDown() override { SetEnvironmentVariableW(L"TMP", hadTmp_ ? oldTmp_.c_str() : nullptr); }

    size_t filesEndingIn(const std::wstring& suffix) {
        size_t n = 0;
        for (auto& name : e2e::listFolder(scratch_.path()))
            if (name.size() >= suffix.size() && _wcsicmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0)
                ++n;
        return n;
    }

    e2e::ScratchFolder scratch_{L"private-player"};
    std::string control_;
    std::vector<uint8_t> expected_;
    bool hadTmp_ = false;
    std::wstring oldTmp_;
};

FILETIME lastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

int64_t ticks(FILETIME t) {
    return int64_t(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

} // namespace

TEST_F(PrivatePlayerTest, CabinetResourceGivesTheControlWithItsDateAndLeavesNoCabinet) {
    std::wstring installer = e2e::hostPath(PALOMA_FIXTURES "/paloma_cab_installer.exe");
    ASSERT_TRUE(e2e::exists(installer));
    EXPECT_EQ(takeControlFromInstaller(narrow(installer), control_), ControlSource::Cabinet);
    EXPECT_EQ(e2e::readFile(widen(control_)), expected_);
    // The cabinet's date (two-second resolution), not the moment of copying.
    int64_t source = ticks(lastWrite(e2e::hostPath(PALOMA_FIXTURES "/cabsrc/flash.ocx")));
    int64_t copied = ticks(lastWrite(widen(control_)));
    EXPECT_LE(std::llabs(source - copied), 2LL * 10000000) << source << " " << copied;
    EXPECT_EQ(filesEndingIn(L".cab"), 0u);

    // Straight from the cabinet file as well; a cabinet without a control
    // copies nothing and says so.
    std::string again = narrow(scratch_ / L"again.tmp");
    EXPECT_TRUE(copyControlFromCabinet(narrow(e2e::hostPath(PALOMA_FIXTURES "/flash.cab")), again));
    EXPECT_EQ(e2e::readFile(widen(again)), expected_);
    EXPECT_FALSE(copyControlFromCabinet(narrow(e2e::hostPath(PALOMA_FIXTURES "/cabsrc/readme.txt")), again + "x"));
    EXPECT_FALSE(e2e::exists(widen(again + "x")));
}

TEST_F(PrivatePlayerTest, ScriptBuiltInstallerGivesItsFirstControl) {
    std::wstring installer = e2e::hostPath(PALOMA_FIXTURES "/nsis_installer.exe");
    ASSERT_TRUE(e2e::exists(installer));
    EXPECT_EQ(takeControlFromInstaller(narrow(installer), control_), ControlSource::Nsis);
    EXPECT_EQ(e2e::readFile(widen(control_)), expected_);
}

TEST_F(PrivatePlayerTest, InstallerWithoutControlIsRunSilentlyOnceAndWaitedFor) {
    std::wstring installer = scratch_ / L"install player.exe"; // a space: the path must be quoted
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/paloma_fake_installer.exe").c_str(), installer.c_str(), FALSE));
    ASSERT_TRUE(e2e::writeText(widen(control_), "stale"));

    EXPECT_EQ(takeControlFromInstaller(narrow(installer), control_), ControlSource::InstallerRun);
    // Waited for: the record is complete as soon as the call returns.
    std::string ran = e2e::readText(scratch_ / L"installer-ran.txt");
    std::string expectedLine = "\"" + narrow(installer) + "\" /Q /S";
    // The record is UTF-16; compare its narrow form.
    std::string narrowRan;
    for (size_t i = 0; i + 1 < ran.size(); i += 2)
        narrowRan += ran[i];
    EXPECT_EQ(narrowRan, expectedLine + "\n");
    EXPECT_FALSE(e2e::exists(widen(control_))) << "a stale control file is removed";

    // An installer that cannot be started gives nothing.
    EXPECT_EQ(takeControlFromInstaller(narrow(scratch_ / L"missing.exe"), control_), ControlSource::None);
}
