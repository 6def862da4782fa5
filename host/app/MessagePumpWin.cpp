// A script's message pump: the messages waiting in the thread's queue.
#include "host/app/HostFunctions.h"

#include <windows.h>

#include "host/HostServices.h"
#include "host/window/Window.h"

namespace paloma::host {

namespace {

// The framework's internal idle message: taken from the queue and dropped.
constexpr UINT kIdleMessage = 0x036A;

} // namespace

bool pumpWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            hostServices().exitApplication(int(msg.wParam));
            return false;
        }
        if (msg.message == kIdleMessage)
            continue;
        if (translateMenuAccelerator(msg) || hostServices().preTranslateMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

} // namespace paloma::host
