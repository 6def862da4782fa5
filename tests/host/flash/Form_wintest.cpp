// Form with the stand-in control loaded from its module file: a form that
// scripts no longer reach is collected while shown; its window goes from the
// message loop without running any script.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "script/Quill.h"

using namespace paloma::host;

#ifdef PALOMA_FAKEPLAYER_OCX

namespace {

class ModuleServices : public HostServices {
public:
    std::wstring flashModulePath() override {
        std::string path = PALOMA_FAKEPLAYER_OCX;
        return std::wstring(path.begin(), path.end());
    }
};

void pumpMessages() {
    MSG msg;
    for (int i = 0; i < 50; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

} // namespace

TEST(Form, CollectedWhileShownClosesWithoutRunningScripts) {
    ModuleServices services;
    ScopedHostServices installed(services);
    auto engine = quill::createEngine(hostEngineOptions());
    ASSERT_NE(engine, nullptr);
    ASSERT_TRUE(quill::evalSource(*engine, R"(
        var exits = 0;
        var f = new Form();
        f.onExit = function (text) { exits++; };
        var shown = typeof f.show(false);
        var h = f.window.handle;
        f = null;
    )")) << engine->errorText;
    auto global = [&](const char* name) { return engine->global(engine->internName(name)); };
    EXPECT_EQ(quill::valueToText(*engine, global("shown")), "string");
    HWND window = reinterpret_cast<HWND>(intptr_t(global("h").asInteger()));
    ASSERT_TRUE(IsWindow(window));
    engine->collectGarbage();
    pumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(global("exits").asInteger(), 0);
}

#endif
