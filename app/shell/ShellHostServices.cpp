// The shell's side of the host classes' services.
#include "app/shell/ShellHostServices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell/MainWnd.h"
#include "app/shell/ShellContext.h"

namespace paloma::shell {

host::WindowHandle ShellHostServices::playerWindow() {
    CMainWnd* main = CMainWnd::current();
    return main ? main->hwnd() : nullptr;
}

host::ControlDispatch ShellHostServices::flashControl() {
    CMainWnd* main = CMainWnd::current();
    return main ? main->player().control() : nullptr;
}

RuntimeSettings* ShellHostServices::settings() { return shellContext().settings; }

void ShellHostServices::trace(std::string_view line) {
    // The shell's trace output is the file PALOMA_TRACE_LOG names, when set.
    if (const char* log = std::getenv("PALOMA_TRACE_LOG"); log && *log) {
        if (FILE* f = std::fopen(log, "ab")) {
            std::fwrite(line.data(), 1, line.size(), f);
            std::fputs("\r\n", f);
            std::fclose(f);
        }
    }
}

} // namespace paloma::shell
