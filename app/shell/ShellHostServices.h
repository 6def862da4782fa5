#pragma once
// The shell's side of the host classes' services: the main window of the
// run, its Flash control, the runtime settings and the trace output.

#include "host/HostServices.h"

namespace paloma::shell {

class ShellHostServices final : public host::HostServices {
public:
    host::WindowHandle playerWindow() override;
    host::ControlDispatch flashControl() override;
    RuntimeSettings* settings() override;
    void trace(std::string_view line) override;
};

} // namespace paloma::shell
