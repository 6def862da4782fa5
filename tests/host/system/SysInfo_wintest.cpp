// SysInfo: machine facts and display modes through the system; log-off and
// shut-down through the replaceable exit call, so nothing ever leaves the
// session.
#include <gtest/gtest.h>

#include <vector>

#include <memory>
#include <string>

#include "host/ClassOrder.h"
#include "host/system/SystemClasses.h"
#include "script/Quill.h"

namespace paloma::host::test {
namespace {

std::vector<UINT> gExitCalls;
BOOL gExitResult = TRUE;

BOOL WINAPI recordExit(UINT flags, DWORD) {
    gExitCalls.push_back(flags);
    if (!gExitResult)
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return gExitResult;
}

class SysInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        previous_ = setExitWindowsFunction(recordExit);
        gExitCalls.clear();
        gExitResult = TRUE;
    }
    void TearDown() override { setExitWindowsFunction(previous_); }

    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    quill::Value global(const char* name) { return engine->global(engine->internName(name)); }
    std::string text(const char* name) { return quill::valueToText(*engine, global(name)); }
    int64_t integer(const char* name) {
        quill::Value v = global(name);
        EXPECT_TRUE(v.isInteger()) << name;
        return v.isInteger() ? v.asInteger() : -1;
    }

    std::unique_ptr<quill::Engine> engine;

private:
    ExitWindowsFunction previous_ = nullptr;
};

TEST_F(SysInfoTest, LeavingTheSessionAsksWithTheDocumentedFlags) {
    run("var a = SysInfo.logOff(), b = SysInfo.shutdown(), c = SysInfo.reboot(), d = SysInfo.powerOff();"
        "var all = a && b && c && d;");
    EXPECT_EQ(gExitCalls, (std::vector<UINT>{0, 1, 2, 8}));
    EXPECT_EQ(text("all"), "true");
    // A refusal of the system is a false result with its message in the error text.
    gExitResult = FALSE;
    run("var refused = SysInfo.shutdown();");
    EXPECT_EQ(text("refused"), "false");
    EXPECT_NE(std::string(engine->errorText), "");
}

TEST_F(SysInfoTest, MachineFacts) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    run("var s = '' + SysInfo; var win = SysInfo.winDir; var sys = SysInfo.sysDir;"
        "var version = SysInfo.version; var memory = SysInfo.totalPhysMemory >= SysInfo.availPhysMemory && SysInfo.availPhysMemory > 0;"
        "var names = SysInfo.computerName.length > 0 && SysInfo.userName.length > 0;"
        "var speed = typeof SysInfo.cpuSpeed; var timeout = SysInfo.screenSaverTimeout;");
    EXPECT_EQ(text("s"), "[object SysInfo]");
    EXPECT_EQ(text("win"), windows);
    EXPECT_EQ(text("sys").rfind(windows, 0), 0u);
    EXPECT_EQ(text("version").rfind("Microsoft Windows", 0), 0u) << text("version");
    EXPECT_EQ(text("memory"), "true");
    EXPECT_EQ(text("names"), "true");
    EXPECT_EQ(text("speed"), "number");
    EXPECT_GE(integer("timeout"), 0);
    RECT area;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    run("var area = [SysInfo.workareaLeft, SysInfo.workareaTop, SysInfo.workareaRight, SysInfo.workareaBottom].join(' ');");
    EXPECT_EQ(text("area"), std::to_string(area.left) + " " + std::to_string(area.top) + " " +
                                std::to_string(area.right) + " " + std::to_string(area.bottom));
}

TEST_F(SysInfoTest, ScreenSaverSettingsRoundTrip) {
    run("var oldTimeout = SysInfo.screenSaverTimeout; SysInfo.screenSaverTimeout = 345; var t = SysInfo.screenSaverTimeout;"
        "SysInfo.screenSaverTimeout = oldTimeout;"
        "var oldSaver = SysInfo.screenSaver; SysInfo.screenSaver = 'C:\\\\windows\\\\notepad.exe';"
        "var saver = SysInfo.screenSaver.toLowerCase(); SysInfo.screenSaver = oldSaver;"
        "var oldActive = SysInfo.screenSaverActive; SysInfo.screenSaverActive = !oldActive;"
        "var flipped = SysInfo.screenSaverActive; SysInfo.screenSaverActive = oldActive;"
        "var active = [typeof oldActive, flipped == !oldActive, SysInfo.screenSaverActive == oldActive];");
    EXPECT_EQ(integer("t"), 345);
    // The entry holds the short path of a file that exists.
    EXPECT_EQ(text("saver"), "c:\\windows\\notepad.exe");
    EXPECT_EQ(text("active"), "boolean,true,true");
}

TEST_F(SysInfoTest, DisplayModesAndATestedChange) {
    run("var current = SysInfo.displaySetting; var modes = SysInfo.getDisplaySettings();"
        "var ok = current === undefined || (current.pelsWidth > 0 && modes.length > 0);"
        "var change = {pelsWidth: 12345, test: true}; SysInfo.displaySetting = change; var code = change.test;");
    EXPECT_EQ(text("ok"), "true");
    // A width no display has is refused by the test (a non-zero code), and nothing changes.
    EXPECT_NE(integer("code"), 0);
}

} // namespace
} // namespace paloma::host::test
