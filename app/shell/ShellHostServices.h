#pragma once
// The shell's side of the host classes' services: the main window of the
// run, its Flash control, the runtime settings, the movie list, the package
// files, the application profile, the trace output, and keeping the shell's
// engine and main window while a timer or window event runs a script.

#include "app/bridge/EngineKeeper.h"
#include "host/HostServices.h"

#include <memory>
#include <vector>

namespace paloma::shell {

class ShellHostServices final : public host::HostServices {
public:
    ShellHostServices();
    ~ShellHostServices() override;

    // The engine that enterScripts() keeps alive.
    void setKeeper(bridge::EngineKeeper* keeper) { keeper_ = keeper; }

    host::WindowHandle playerWindow() override;
    host::ControlDispatch flashControl() override;
    RuntimeSettings* settings() override;
    void trace(std::string_view line) override;
    const MovieList* movieList() override;
    std::string extractionFolder() override;
    std::optional<std::string> extractAdditionalFile(std::string_view path) override;
    void applyCdAutorun() override;
    bool preTranslateMessage(MSG& msg) override;
    void exitApplication(int exitCode) override;
    std::optional<std::string> readProfileString(const std::string& section, const std::string& entry) override;
    bool writeProfileString(const std::string& section, const std::string& entry, const std::string& value) override;
    void enterScripts() override;
    void leaveScripts() override;
    bool movieSize(int& width, int& height) override;
    void forwardFSCommand(const std::wstring& command, const std::wstring& args) override;
    std::wstring flashModulePath() override;
    bool printDialogShown() override;
    void showPrintDialog(bool shown) override;
    void setPrintSettings(const void* owner, host::PrintSettingsSource source) override;
    void releasePrintSettings(const void* owner) override;

private:
    struct Hold;
    bridge::EngineKeeper* keeper_ = nullptr;
    std::vector<std::unique_ptr<Hold>> holds_;
    HACCEL accelerators_ = nullptr;
    const void* printSettingsOwner_ = nullptr;
};

} // namespace paloma::shell
