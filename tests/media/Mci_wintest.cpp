// MCI under Wine with the test's sound server: wave playback with its
// notification, positions and seeking, the alias rule, files that are not
// media, and video in a child window of the main window.
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "host/window/Window.h"
#include "script/Quill.h"

using namespace paloma;
using namespace paloma::host;

namespace {

std::string tempFile(const std::string& name) {
    char folder[MAX_PATH + 1];
    GetTempPathA(MAX_PATH + 1, folder);
    return std::string(folder) + "mci" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
std::string chunk(const char* id, const std::string& body) {
    std::string out(id, 4);
    put32(out, uint32_t(body.size()));
    out += body;
    if (body.size() % 2)
        out += '\0';
    return out;
}
std::string list(const char* type, const std::string& body) { return chunk("LIST", std::string(type, 4) + body); }

// One second of a 440 Hz tone, 8 kHz, 8-bit mono.
std::string waveFile() {
    std::string fmt, data;
    put16(fmt, 1), put16(fmt, 1), put32(fmt, 8000), put32(fmt, 8000), put16(fmt, 1), put16(fmt, 8);
    for (int i = 0; i < 8000; ++i)
        data += char(128 + int(60 * std::sin(i * 2 * 3.14159265 * 440 / 8000)));
    return chunk("RIFF", "WAVE" + chunk("fmt ", fmt) + chunk("data", data));
}

// Five uncompressed 32x24 frames at ten frames a second.
std::string videoFile() {
    const uint32_t w = 32, h = 24, frames = 5, frameSize = w * h * 3;
    std::string avih;
    for (uint32_t v : {100000u, frameSize * 10, 0u, 0x10u, frames, 0u, 1u, frameSize, w, h, 0u, 0u, 0u, 0u})
        put32(avih, v);
    std::string strh = "vidsDIB ";
    for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, frames, frameSize, 0xFFFFFFFFu, 0u})
        put32(strh, v);
    put16(strh, 0), put16(strh, 0), put16(strh, uint16_t(w)), put16(strh, uint16_t(h));
    std::string strf;
    put32(strf, 40), put32(strf, w), put32(strf, h), put16(strf, 1), put16(strf, 24);
    for (uint32_t v : {0u, frameSize, 0u, 0u, 0u, 0u})
        put32(strf, v);
    std::string movi, index;
    for (uint32_t f = 0; f < frames; ++f) {
        put32(index, 0x62643030), put32(index, 0x10), put32(index, uint32_t(4 + movi.size())), put32(index, frameSize);
        movi += chunk("00db", std::string(frameSize, char(40 * f)));
    }
    std::string hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    return chunk("RIFF", "AVI " + hdrl + list("movi", movi) + chunk("idx1", index));
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The program's side: a main window of the test's own.
class MainWindow : public HostServices {
public:
    MainWindow() {
        window = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~MainWindow() override { DestroyWindow(window); }
    WindowHandle playerWindow() override { return window; }
    HWND window;
};

class Mci : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
        for (auto& [name, bytes] : {std::pair<std::string, std::string>{"tone.wav", waveFile()},
                                    {"clip.avi", videoFile()},
                                    {"short.wav", waveFile().substr(0, 30)},
                                    {"text.wav", "no sound in here"}})
            writeFile(files.emplace_back(tempFile(name)), bytes);
    }
    void TearDown() override {
        engine.reset();
        for (const auto& f : files)
            DeleteFileA(f.c_str());
    }
    void run(const std::string& source) {
        trace.clear();
        ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText;
    }
    // Runs an expression and gives its text.
    std::string eval(const std::string& expression) {
        run("trace(" + expression + ");");
        return trace.empty() ? "<none>" : trace.back();
    }
    // Dispatches the thread's messages while `condition` holds, ten seconds at most.
    void pumpWhile(const std::string& condition) {
        for (DWORD start = GetTickCount(); eval(condition) == "true" && GetTickCount() - start < 10000;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(20);
        }
    }
    std::string path(const char* name) {
        std::string p = tempFile(name), escaped;
        for (char ch : p)
            escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
        return "\"" + escaped + "\"";
    }

    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace, files;
};

} // namespace

TEST_F(Mci, PlaysAWaveFileToItsNotificationAndSeeks) {
    run("var m = new MCI(); var before = m.alias + '|' + m.from + '|' + m.to + '|' + m.deviceID;"
        "m.fileName = " + path("tone.wav") + "; m.command = 'open';");
    EXPECT_EQ(eval("before"), "|-1|-1|0");
    ASSERT_EQ(eval("m.error"), "false") << eval("m.errorMsg");
    EXPECT_EQ(eval("m.alias"), "_Quill_MCI_0"); // the first device opened without an alias
    EXPECT_EQ(eval("m.deviceID > 0"), "true");
    EXPECT_EQ(eval("m.canPlay + ' ' + m.canStep"), "true false");
    EXPECT_EQ(eval("m.length + ' ' + m.position + ' ' + m.tracks"), "1000 0 1"); // milliseconds
    run("m.track = 1;");
    EXPECT_EQ(eval("m.trackLength + ' ' + m.trackPosition + ' ' + m.start + ' ' + m.mode + ' ' + m.canEject"),
              "1000 0 0 " + std::to_string(MCI_MODE_STOP) + " false");

    // Playing from the current position to the end, then the notification.
    run("var code = -1, args = ''; m.onNotify = function(a, c) { code = c; args = a + ' ' + (this === m); };"
        "m.notify = true; m.command = 'PLAY';");
    pumpWhile("code == -1");
    EXPECT_EQ(eval("code"), std::to_string(MCI_NOTIFY_SUCCESSFUL));
    EXPECT_EQ(eval("args"), "1 true");
    EXPECT_EQ(eval("m.position"), "1000");

    // Paused, resumed and stopped while playing: the stop aborts the play.
    run("var codes = []; m.onNotify = function(a, c) { codes.push(c); };"
        "m.from = 0; m.command = 'play'; var playing = m.mode; m.notify = false;"
        "m.command = 'pause'; var paused = m.mode; m.command = 'resume'; var resumed = m.mode;"
        "m.channel = 1; var channel = m.channel + ' ' + m.error; m.command = 'stop';");
    pumpWhile("codes.length == 0");
    EXPECT_EQ(eval("[playing, paused, resumed, m.mode].join()"),
              std::to_string(MCI_MODE_PLAY) + "," + std::to_string(MCI_MODE_PAUSE) + "," +
                  std::to_string(MCI_MODE_PLAY) + "," + std::to_string(MCI_MODE_STOP));
    EXPECT_EQ(eval("channel"), "1 false");
    EXPECT_EQ(eval("codes.join()"), std::to_string(MCI_NOTIFY_ABORTED));

    // Seeking goes to `to` and clears `from`; prev and next go to the ends.
    run("m.notify = false; m.from = 100; m.to = 250; m.command = 'seek';");
    EXPECT_EQ(eval("m.position + ' ' + m.from + ' ' + m.to"), "250 -1 250");
    run("m.command = 'prev'; var first = m.position; m.command = 'next';");
    EXPECT_EQ(eval("first + ' ' + m.position"), "0 1000");
    run("m.to = -1; m.command = 'seek';"); // no target: the device refuses it
    EXPECT_EQ(eval("m.error + ' ' + m.position"), "true 1000");
    // A short range played to its end, waiting for it.
    run("m.wait = true; m.from = 200; m.to = 400; m.command = 'play';");
    EXPECT_EQ(eval("m.error + ' ' + m.position"), "false 400");
    EXPECT_EQ(eval("m.sendCmdString('status ' + m.alias + ' mode')"), "stopped");
    EXPECT_EQ(eval("m.sendCmdString('frobnicate ' + m.alias) == m.errorMsg"), "false");

    run("m.command = 'close';");
    EXPECT_EQ(eval("m.deviceID + ' ' + m.error"), "0 false");
    EXPECT_EQ(eval("m.length + ' ' + m.error"), "0 true"); // no device: failure result
}

TEST_F(Mci, FilesThatAreNotMediaGiveFailureResultsAndUseUpNoAlias) {
    run("var first = new MCI(); first.fileName = " + path("tone.wav") + "; first.command = 'open';"
        "var n = parseInt(first.alias.substring(11));"
        "first.command = 'open';"); // again: the earlier device goes first, its alias with it
    EXPECT_EQ(eval("first.error + ' ' + (first.deviceID > 0) + ' ' + first.alias.substring(11)"), "false true " + eval("n"));
    for (const char* name : {"short.wav", "text.wav"}) {
        run("var b = new MCI(); b.fileName = " + path(name) + "; b.command = 'open';");
        EXPECT_EQ(eval("b.error + ' ' + b.deviceID + ' ' + (b.errorMsg.length > 0)"), "true 0 true") << name;
    }
    // A device this machine does not have; a wave device cannot be shared.
    run("var cd = new MCI(); cd.deviceType = 'cdaudio'; cd.command = 'open';");
    EXPECT_EQ(eval("cd + ' ' + cd.error + ' ' + cd.deviceID + ' ' + cd.canPlay"), "[object MCI] true 0 false");
    run("var shared = new MCI(); shared.sharable = true; shared.fileName = " + path("tone.wav") +
        "; shared.command = 'open';");
    EXPECT_EQ(eval("shared.sharable + ' ' + shared.error + ' ' + shared.deviceID"), "true true 0");
    run("var named = new MCI(); named.alias = 'mine'; named.fileName = " + path("tone.wav") +
        "; named.command = 'open';");
    EXPECT_EQ(eval("named.error + ' ' + named.sendCmdString('status mine length')"), "false 1000");
    run("var c = new MCI(); c.fileName = " + path("tone.wav") + "; c.command = 'open';");
    EXPECT_EQ(eval("c.alias == '_Quill_MCI_' + (n + 1)"), "true");
    EXPECT_EQ(eval("(new MCI()).getDevices().join(',').indexOf('waveaudio') >= 0"), "true");
}

TEST_F(Mci, RecordsFromTheSoundServerAndSavesTheRecording) {
    files.push_back(tempFile("recorded.wav"));
    run("var r = new MCI(); r.deviceType = 'waveaudio'; r.command = 'open';"
        "var opened = r.error + ' ' + r.canRecord;"
        "r.wait = true; r.recordMode = true; r.from = 0; r.to = 300; r.command = 'record';"
        "var recorded = r.error; r.fileName = " + path("recorded.wav") + "; r.command = 'save';"
        "var saved = r.error; r.command = 'eject'; var ejected = r.error; r.command = 'close';");
    EXPECT_EQ(eval("opened + ' ' + recorded + ' ' + saved"), "false true false false");
    EXPECT_EQ(eval("ejected"), "true"); // a wave device has no door
    run("var back = new MCI(); back.fileName = " + path("recorded.wav") + "; back.command = 'open';");
    EXPECT_EQ(eval("back.error + ' ' + (back.length >= 250)"), "false true");
}

TEST_F(Mci, ShowsVideoInAChildOfTheMainWindow) {
    MainWindow main;
    ScopedHostServices services(main);
    run("var v = new MCI(); v.left = 10; v.top = 20; v.fileName = " + path("clip.avi") +
        "; v.command = 'open';");
    ASSERT_EQ(eval("v.error"), "false") << eval("v.errorMsg");
    EXPECT_EQ(eval("v.canStep + ' ' + v.width + ' ' + v.height"), "true 32 24"); // the source size
    run("var w = v.playerWindow;");
    HWND playback = windowHandleOf(*engine, engine->global(engine->internName("w")));
    ASSERT_NE(playback, nullptr);
    EXPECT_EQ(GetParent(playback), main.window);
    EXPECT_TRUE(IsWindowVisible(playback));
    RECT r;
    GetWindowRect(playback, &r);
    MapWindowPoints(nullptr, main.window, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 32);
    char title[32] = {}, cls[64] = {};
    GetWindowTextA(playback, title, sizeof title);
    GetClassNameA(playback, cls, sizeof cls);
    EXPECT_STREQ(title, "Playback");
    EXPECT_STREQ(cls, "Paloma_Playback_Window");

    // Stepping by frames; `where` reads the source size back.
    run("v.timeFormat = 3; v.frames = 2; v.command = 'step'; var stepped = v.position;"
        "v.frames = 1; v.command = 'back'; var back = v.position; v.command = 'update'; var painted = !v.error;"
        "v.width = 0; v.command = 'where';");
    EXPECT_EQ(eval("v.timeFormat + ' ' + stepped + ' ' + back + ' ' + painted + ' ' + v.width"), "3 2 1 true 32");

    // Resizing the window moves the video's destination with it; painting
    // draws the current frame (frame 1 is grey 40), or white without a device.
    MoveWindow(playback, 10, 20, 64, 48, TRUE);
    EXPECT_EQ(eval("v.sendCmdString('where ' + v.alias + ' destination')"), "0 0 64 48");
    auto pixel = [&] {
        InvalidateRect(playback, nullptr, TRUE);
        UpdateWindow(playback);
        HDC dc = GetDC(playback);
        COLORREF c = GetPixel(dc, 40, 30);
        ReleaseDC(playback, dc);
        return c;
    };
    EXPECT_EQ(pixel(), RGB(40, 40, 40));
    run("v.command = 'close';");
    EXPECT_FALSE(IsWindowVisible(playback));
    ShowWindow(playback, SW_SHOWNOACTIVATE);
    EXPECT_EQ(pixel(), RGB(255, 255, 255));
}

TEST(MciPacking, TimeFormatHelpersPackAndUnpackBytes) {
    auto engine = quill::createEngine(hostEngineOptions());
    std::vector<std::string> trace;
    quill::setTraceOutput(*engine, [&](std::string_view line) { trace.emplace_back(line); });
    ASSERT_TRUE(quill::evalSource(*engine, "var t = MCI.makeTMSF(1, 2, 3, 4);"
                                           "trace(t == 0x04030201, MCI.tmsfTrack(t), MCI.tmsfFrame(t),"
                                           " MCI.hmsSecond(MCI.makeHMS(5, 6, 7)), MCI.msfMinute(MCI.makeMSF(8, 9, 10)),"
                                           " MCI.makeMSF(1, '2', 3), MCI.tmsfFrame(), MCI.makeHMS(1, 2));"));
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "true1478undefinedundefinedundefined"); // trace joins its arguments
}
