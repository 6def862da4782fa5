// A packaged script that the movie starts drives the player's Flash control
// through FlashPlayer (variables, binding through clip paths, arrays and
// objects, coordinates, movie inspection) and shows Forms, modeless and
// modal, each with a control of its own; the stand-in player sets the movie
// variables and logs every call it receives.
#include "base/WinText.h"
#include "E2eSupport.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace paloma;

#if defined(PALOMA_PACK_EXE) && defined(PALOMA_FAKEPLAYER_OCX)

namespace {

constexpr const wchar_t* kIdentityKey = L"Software\\Paloma E2E Flash";

// The movie sets its variables, then runs TEST.
constexpr const char* kMovieEvents = R"(set player.name Paloma
set player.stats.score 42
set list.length 3
set list.0 10
set list.1 x
set list.2 true
set big.length 5001
set big a,b,c
fscommand Quill_Run TEST
wait 6000
quit
)";

constexpr const char* kTestScript = R"(
dllimport "user32.dll" stdcall long GetWindowLongW(long, long);
dllimport "user32.dll" stdcall long GetWindowRgn(long, long);
dllimport "gdi32.dll" stdcall long CreateRectRgn(long, long, long, long);
// The caption bits of a window's style, and the kind of its region (3: more
// than one rectangle, 0: none).
function frame(w) { return (GetWindowLongW(w.handle, -16) & 0xC00000) + "/" + GetWindowRgn(w.handle, CreateRectRgn(0, 0, 0, 0)); }
Application.traceToFile(getAppDir() + "trace.txt");
function t(s) { trace(s); }
t("version " + FlashPlayer.flashVersion() + " frames " + FlashPlayer.totalFrames + " " + FlashPlayer);
FlashPlayer.bindData("player.name", "player.stats.score", 7, "player.name");
FlashPlayer.updateData();
t("name " + FlashPlayer.player.name);
var stats = FlashPlayer.player.stats;
t("clip " + stats + " " + stats.score + " " + typeof stats.score);
stats.score = 43;
FlashPlayer.updateData(false);
t("written " + FlashPlayer.getVariable("player.stats.score"));
FlashPlayer.unbindData("player.stats.score");
t("unbound " + FlashPlayer.player.stats + " " + FlashPlayer.player.name);
FlashPlayer.unbindAll();
t("all " + FlashPlayer.player);
var list = FlashPlayer.getArray("list");
t("list " + list.length + " " + list[0] + " " + typeof list[0] + " " + list[1] + " " + list[2]);
var big = FlashPlayer.getArray("big");
t("big " + big.length + " " + big[2]);
t("none " + FlashPlayer.getArray("nothing") + " " + FlashPlayer.getArray(5));
FlashPlayer.putArray("out", [1, "two"]);
t("out " + FlashPlayer.getVariable("out.0") + FlashPlayer.getVariable("out.1"));
var src = new Object();
src.a = 1;
src.b = "x";
src.f = new Object();
FlashPlayer.putObject("o", src);
var o = FlashPlayer.getObject("o", "a", ["b", "f"]);
t("obj " + o.a + o.b + " " + typeof o.f + " " + typeof o.a);
t("badobj " + FlashPlayer.getObject("o", 5));
t("setvar " + FlashPlayer.setVariable("v", "1") + " " + FlashPlayer.setVariable("v", 1));
t("getvar " + FlashPlayer.getVariable("nope"));
t("num " + FlashPlayer.targetSetPropertyNum("/", 2, 5) + " " + FlashPlayer.targetSetPropertyNum("/", 2, 5.5) +
  " " + FlashPlayer.targetGetPropertyNum("/", 2));
t("goto " + FlashPlayer.gotoFrame(3) + " " + FlashPlayer.currentFrame() + " " + FlashPlayer.frameNum +
  " " + FlashPlayer.gotoFrame("x"));
FlashPlayer.playing = false;
t("playing " + FlashPlayer.isPlaying() + " " + FlashPlayer.playing);
FlashPlayer.scaleMode = 2;
FlashPlayer.scaleMode = "3";
var r = FlashPlayer.movieToWindow(0, 550, 0, 400);
t("rect " + FlashPlayer.scaleMode + " " + r.left + " " + r.right + " " + r.top + " " + r.bottom);
var rects = "";
for (var m = 0; m < 4; m++) {
  FlashPlayer.scaleMode = m;
  r = FlashPlayer.movieToWindow(0, 550, 0, 400);
  rects += " " + r.left + "," + r.right + "," + r.top + "," + r.bottom;
}
t("rects" + rects);
FlashPlayer.flashVars = "k=v";
t("vars " + FlashPlayer.flashVars);
t("window " + (FlashPlayer.window == FlashPlayer.window) + " " + FlashPlayer.window);
FlashPlayer.showPrintDlg = false;
t("print " + FlashPlayer.showPrintDlg);
t("calls " + FlashPlayer.setZoomRect(1, 2, 3, 4) + FlashPlayer.zoom(50) + FlashPlayer.pan(5, 6, 1) +
  FlashPlayer.play() + FlashPlayer.isPlaying() + FlashPlayer.stop() + FlashPlayer.forward() + FlashPlayer.back() +
  FlashPlayer.back() + " " + FlashPlayer.currentFrame() + FlashPlayer.rewind() + FlashPlayer.stopPlay() + " " +
  FlashPlayer.percentLoaded() + " " + FlashPlayer.frameLoaded(2) + FlashPlayer.frameLoaded(99) +
  FlashPlayer.loadMovie(1, "layer.swf") + " " + FlashPlayer.zoom("x") + FlashPlayer.pan(1, 2));
t("targets " + FlashPlayer.targetGotoFrame("/a", 4) + FlashPlayer.targetGotoLabel("/a", "L") +
  FlashPlayer.targetPlay("/a") + FlashPlayer.targetStopPlay("/a") + FlashPlayer.targetCallFrame("/a", 1) +
  FlashPlayer.targetCallLabel("/a", "L") + FlashPlayer.targetSetProperty("/a", 7, "x9") + " " +
  FlashPlayer.targetGetProperty("/a", 7) + " " + FlashPlayer.targetCurrentFrame("/a") + " " +
  typeof FlashPlayer.targetCurrentLabel("/a") + " " + FlashPlayer.targetSetProperty("/a", 7, 9) +
  FlashPlayer.targetPlay());
FlashPlayer.quality = 1;
FlashPlayer.quality = "x";
FlashPlayer.alignMode = 5;
FlashPlayer.backgroundColor = 65280;
FlashPlayer.loop = 0;
FlashPlayer.menu = false;
FlashPlayer.deviceFont = 1;
FlashPlayer.embedMovie = true;
FlashPlayer.totalFrames = 99;
FlashPlayer.wmode = "transparent";
FlashPlayer.wmode = 3;
FlashPlayer.salign = "LT";
FlashPlayer.base = "C:/b/";
FlashPlayer.scale = "exactfit";
FlashPlayer.bgColor = "#00ff00";
FlashPlayer.quality2 = "high";
FlashPlayer.SWRemote = "r";
t("props " + FlashPlayer.quality + " " + FlashPlayer.alignMode + " " + FlashPlayer.backgroundColor + " " +
  FlashPlayer.loop + FlashPlayer.menu + FlashPlayer.deviceFont + FlashPlayer.embedMovie + " " +
  FlashPlayer.totalFrames + " " + FlashPlayer.wmode + FlashPlayer.salign + FlashPlayer.base + FlashPlayer.scale +
  FlashPlayer.bgColor + FlashPlayer.quality2 + FlashPlayer.SWRemote + " " + (FlashPlayer.movie.indexOf("movie.swf") > 0));
function menuHandler() {}
FlashPlayer.onContextMenu = menuHandler;
t("menu " + (FlashPlayer.window.onContextMenu == menuHandler) + " " + typeof FlashPlayer.onContextMenu);
var info = FlashPlayer.getMovieInfo(getAdditionalFile("info.swf"));
t("info " + info.frameSize.xMax + " " + info.rate + " " + info.frameCount + " " + info.version + " " + info.size);
t("noinfo " + typeof FlashPlayer.getMovieInfo("Q:\\none.swf") + " " +
  typeof FlashPlayer.getMovieInfo(getAdditionalFile("data.txt")) + " " + typeof FlashPlayer.getMovieInfo(1));
FlashPlayer.bindData("", ".", "q..r", "s.", 3);
FlashPlayer.unbindData(3, "never.bound");
t("bad " + typeof FlashPlayer.q + " " + FlashPlayer.getVariable("") + " " + FlashPlayer.getArray("") + " " +
  FlashPlayer.movieToWindow("a", 1, 2, 3) + " " + FlashPlayer.putArray("p", "x") + " " + FlashPlayer.gotoFrame() +
  " " + new FlashPlayer().flashVersion() + " " + FlashPlayer.targetCurrentLabel(1));
var form1 = new Form();
t("form " + form1 + " " + typeof form1.window + " " + form1.getVariable("greeting") + " " + form1.showCaption);
getAdditionalFile("modeless.swf.events");
form1.movie = getAdditionalFile("modeless.swf");
form1.initVars = "greeting=hi&n=2";
form1.caption = "Modeless";
form1.showCaption = false;
getAdditionalFile("mask.msk");
form1.clipRegion = "mask";
form1.canDrag = 1;
form1.onExit = 5;
var exits = "";
function exited(text) { exits += "[" + this.caption + ":" + text + "]"; }
form1.onExit = exited;
t("shown " + form1.show(false) + "|" + form1.window + " " + typeof form1.show(false) + " " + form1.canDrag + " " +
  frame(form1.window));
t("vars " + form1.getVariable("greeting") + " " + form1.setVariable("k", "v") + " " + form1.getVariable("k") + " " +
  form1.setVariable("k", 1) + " " + form1.targetGotoFrame("/", 1) + " " + form1.targetCallLabel("/", "x") + " " +
  form1.targetGotoLabel("/", 2) + " " + form1.loadMovie(1, "other.swf") + " " + form1.setBase("C:\\base") + " " +
  form1.targetCallFrame("/", 2) + " " + form1.getVariable());
// The form's controls go through the global createControl with the form as
// their parent.
function createControl(id, l, tp, r, b, props, key, parent) {
  return id + " " + l + "," + tp + "," + r + "," + b + " " + (parent == form1.window.handle);
}
t("control " + form1.createControl("Some.Control", 1, 2) + " " + new Form().createControl("Some.Control"));
// A form owned by another goes with its owner's window.
var form3 = new Form();
form3.show(false, form1);
var owned = form3.window.handle;
t("frame " + frame(form3.window));
var t0 = new Date().getTime();
while (new Date().getTime() - t0 < 1000) processMsg();
var form2 = new Form();
getAdditionalFile("modal.swf.events");
form2.movie = getAdditionalFile("modal.swf");
form2.caption = "Modal";
form2.onExit = exited;
t("modal " + form2.show(true, form1) + " " + typeof form2.window + " " + exits);
form1.close("bye");
form1.close("again");
t("closed " + exits + " " + typeof form1.window + " " + form1.getVariable("greeting"));
t("owned " + (owned != 0) + " " + typeof form3.window + " " + form3.getVariable("greeting") + " " +
  form3.setVariable("k", "v") + " " + form3.targetGotoFrame("/", 1) + " " + form3.loadMovie(0, "x.swf") + " " +
  form3.createControl("Some.Control") + " " + typeof form3.show(false) + " " + (form3.window.handle != owned));
form3.close();
t("done");
)";

} // namespace

TEST(FlashScripts, PackagedScriptDrivesThePlayerAndForms) {
    e2e::ScratchFolder scratch(L"flashscripts");
    std::wstring tmp = scratch / L"tmp";
    CreateDirectoryW(tmp.c_str(), nullptr);
    e2e::deleteRegistryTree(kIdentityKey);

    ASSERT_TRUE(e2e::writeFile(scratch / L"movie.swf", paloma::testing::movieBytes({.frames = 10})));
    ASSERT_TRUE(e2e::writeFile(scratch / L"info.swf",
                               paloma::testing::movieBytes({.width = 320, .rate = 30, .frames = 4, .version = 7,
                                                            .compressed = true})));
    ASSERT_TRUE(e2e::writeText(scratch / L"data.txt", "not a movie"));
    // The forms' movies: one hands a command on to the main window, the
    // other closes its modal form with a return text.
    ASSERT_TRUE(e2e::writeFile(scratch / L"modeless.swf", paloma::testing::movieBytes({.width = 300, .height = 200})));
    ASSERT_TRUE(e2e::writeText(scratch / L"modeless.swf.events",
                               "fscommand Quill_Eval trace(\"forwarded \" + form1.getVariable(\"n\"));\n"));
    ASSERT_TRUE(e2e::writeFile(scratch / L"modal.swf", paloma::testing::movieBytes({.width = 200, .height = 100})));
    ASSERT_TRUE(e2e::writeText(scratch / L"modal.swf.events", "wait 300\nfscommand Quill_Ret done\n"));
    // A mask of two rectangles for the modeless form.
    std::vector<uint8_t> mask;
    for (int32_t field : {32, 1, 2, 32, 0, 0, 300, 200, 0, 0, 150, 100, 150, 100, 300, 200})
        for (int i = 0; i < 4; ++i)
            mask.push_back(uint8_t(uint32_t(field) >> (8 * i)));
    ASSERT_TRUE(e2e::writeFile(scratch / L"mask.msk", mask));
    ASSERT_TRUE(e2e::writeText(scratch / L"test.qls", kTestScript));
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/player_installer.exe").c_str(),
                          (scratch / L"player_setup.exe").c_str(), FALSE));
    ASSERT_TRUE(e2e::writeText(scratch / L"app.json", R"({
  "identity": "Paloma E2E Flash/App\\V1.0",
  "title": "Flash",
  "movie": "movie.swf",
  "installer": "player_setup.exe",
  "files": ["movie.swf", "info.swf", "data.txt", "modeless.swf", "modeless.swf.events", "modal.swf",
            "modal.swf.events", "mask.msk", "player_setup.exe"],
  "scripts": {"TEST": "test.qls"}
})"));
    std::wstring exe = scratch / L"app.exe";
    auto built = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" + (scratch / L"app.json") +
                                 L"\" -o \"" + exe + L"\" --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"");
    ASSERT_TRUE(built.finished && built.exitCode == 0);

    std::wstring events = scratch / L"movie.events";
    std::wstring log = scratch / L"player.log";
    ASSERT_TRUE(e2e::writeText(events, kMovieEvents));
    auto run = e2e::runProcess(L"\"" + exe + L"\" /s",
                               {L"TMP=" + tmp, L"TEMP=" + tmp, L"PALOMA_MESSAGE_LOG=" + (scratch / L"boxes.log"),
                                L"PALOMA_FAKEPLAYER_LOG=" + log, L"PALOMA_FAKEPLAYER_SCRIPT=" + events},
                               60000);
    ASSERT_TRUE(run.finished) << e2e::readText(log);
    EXPECT_EQ(run.exitCode, 0u);

    std::string trace = e2e::readText(scratch / L"trace.txt");
    std::string calls = e2e::readText(log);
    auto has = [&](const std::string& line) { return trace.find(line + "\r\n") != std::string::npos; };
    EXPECT_TRUE(has("version 655360 frames 10 [object FlashPlayer]")) << trace;
    EXPECT_TRUE(has("name Paloma")) << trace;
    EXPECT_TRUE(has("clip [object MovieClip] 42 number")) << trace;
    EXPECT_TRUE(has("written 43")) << trace;
    EXPECT_TRUE(has("unbound undefined Paloma")) << trace;
    EXPECT_TRUE(has("all undefined")) << trace;
    EXPECT_TRUE(has("list 3 10 number x true")) << trace;
    EXPECT_TRUE(has("big 3 c")) << trace;
    EXPECT_TRUE(has("none undefined undefined")) << trace;
    EXPECT_TRUE(has("out 1two")) << trace;
    EXPECT_TRUE(has("obj 1x undefined string")) << trace;
    EXPECT_TRUE(has("badobj undefined")) << trace;
    EXPECT_TRUE(has("setvar true undefined")) << trace;
    EXPECT_TRUE(has("getvar undefined")) << trace;
    EXPECT_TRUE(has("num undefined true 5.5")) << trace;
    EXPECT_TRUE(has("goto true 3 3 undefined")) << trace;
    EXPECT_TRUE(has("playing false false")) << trace;
    // Exact fit over the whole screen: each axis scaled on its own.
    double cw = GetSystemMetrics(SM_CXSCREEN), ch = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_TRUE(has("rect 2 0 " + std::to_string(int(std::trunc(cw / 550 * 550))) + " 0 " +
                    std::to_string(int(std::trunc(ch / 400 * 400)))))
        << trace;
    // Every scale mode, the 550 x 400 movie over the whole screen.
    auto trunc = [](double v) { return std::to_string(int64_t(std::trunc(v))); };
    std::string rects = "rects";
    for (int mode = 0; mode < 4; ++mode) {
        double s = mode == 0 ? std::min(cw / 550, ch / 400) : std::max(cw / 550, ch / 400);
        double sw = mode == 2 ? cw : mode == 3 ? 550 : std::trunc(s * 550);
        double sh = mode == 2 ? ch : mode == 3 ? 400 : std::trunc(s * 400);
        double dx = mode == 2 ? 0 : std::trunc((cw - sw) / 2), dy = mode == 2 ? 0 : std::trunc((ch - sh) / 2);
        rects += " " + trunc(dx) + "," + trunc(dx + std::trunc(sw / 550 * 550)) + "," + trunc(dy) + "," +
                 trunc(dy + std::trunc(sh / 400 * 400));
    }
    EXPECT_TRUE(has(rects)) << rects << "\n" << trace;
    EXPECT_TRUE(has("calls truetruetruetruetruetruetruetruetrue 2truetrue 100 truefalsetrue undefinedundefined"))
        << trace;
    EXPECT_TRUE(has("targets truetruetruetruetruetruetrue x9 0 string undefinedundefined")) << trace;
    EXPECT_TRUE(has("props 1 5 65280 falsefalsetruetrue 10 transparentLTC:/b/exactfit#00ff00highr true")) << trace;
    EXPECT_TRUE(has("menu true undefined")) << trace;
    EXPECT_TRUE(has("vars k=v")) << trace;
    EXPECT_TRUE(has("window true [object Window]")) << trace;
    EXPECT_TRUE(has("print false")) << trace;
    EXPECT_TRUE(has("info 6400 30 4 7 " +
                    std::to_string(paloma::testing::movieBytes({.width = 320, .rate = 30, .frames = 4}).size())))
        << trace;
    EXPECT_TRUE(has("noinfo object object undefined")) << trace;
    EXPECT_TRUE(has("bad object undefined undefined undefined undefined undefined 655360 undefined")) << trace;
    // Forms: modeless with its variables, a command handed to the main
    // window, then a modal one over it that its movie closes.
    EXPECT_TRUE(has("form [object Form] object undefined true")) << trace;
    EXPECT_TRUE(has("shown |[object Window] object true 0/3")) << trace;
    EXPECT_TRUE(has("vars hi true v undefined true true undefined true true true undefined")) << trace;
    EXPECT_TRUE(has("frame 12582912/0")) << trace;
    EXPECT_TRUE(has("control Some.Control 1,2,50,50 true undefined")) << trace;
    EXPECT_TRUE(has("owned true object undefined undefined undefined undefined undefined string true")) << trace;
    EXPECT_TRUE(has("forwarded 2")) << trace << calls;
    EXPECT_TRUE(has("modal done object [Modal:done]")) << trace;
    EXPECT_TRUE(has("closed [Modal:done][Modeless:bye] object undefined")) << trace;
    EXPECT_TRUE(has("done")) << trace;
    EXPECT_NE(calls.find("put FlashVars greeting=hi&n=2"), std::string::npos) << calls;
    EXPECT_NE(calls.find("movie modal.swf 200x100"), std::string::npos) << calls;
    EXPECT_NE(calls.find("put Base file:///C:/base/"), std::string::npos) << calls;
    EXPECT_NE(calls.find("call LoadMovie 1 | other.swf"), std::string::npos) << calls;
    // The control saw the calls.
    EXPECT_NE(calls.find("put ScaleMode 2"), std::string::npos) << calls;
    EXPECT_NE(calls.find("call SetVariable player.stats.score | 43"), std::string::npos) << calls;
    EXPECT_FALSE(e2e::exists(scratch / L"boxes.log")) << e2e::readText(scratch / L"boxes.log");
    e2e::deleteRegistryTree(kIdentityKey);
}

#endif
