#pragma once
// What start-up hands the main window: the private player, the run folder,
// the compiled script resources and the shell's message boxes.

#include "app/shell/MainWndServices.h"

namespace paloma {

class StartupServices : public shell::ShellServices {
public:
    std::wstring privatePlayerPath() override;
    void keepPlayerModule(HMODULE module) override;
    std::wstring runFolder() override;
    std::optional<std::vector<uint8_t>> readScriptResource(const std::wstring& name, std::wstring& error) override;
    void showMessage(HWND owner, const std::wstring& text) override;
};

} // namespace paloma
