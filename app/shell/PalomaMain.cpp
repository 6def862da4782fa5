// The runtime's entry point.
#include "app/shell/PalomaApp.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    paloma::PalomaApp app(paloma::commandLineArguments());
    int code = 0;
    if (app.initInstance())
        code = app.run();
    else
        code = 1;
    int exitCode = app.exitInstance();
    return code != 0 ? code : exitCode;
}
