#pragma once
// The shell's script engine: the main window's script interface carried out
// by one Quill engine, created with default options on first use and
// destroyed by "Quill_Quit" or when the window closes; a "Quill_Quit" that
// arrives while a script runs is carried out once the outermost call into the
// engine has returned (EngineKeeper). Failed runs write the engine's
// errorText to the trace output.
//
// Parts that later parts of the runtime plug in: the host classes registered
// on every new engine, the script menus' command handler and the
// ExternalInterface bridge.

#include "app/bridge/EngineKeeper.h"
#include "app/shell/MainWndServices.h"
#include "app/shell/ShellHostServices.h"

#include <functional>
#include <memory>

namespace quill {
struct Engine;
}

namespace paloma::shell {

class QuillShellScripts final : public ShellScripts {
public:
    using EngineHook = std::function<void(quill::Engine&)>;
    using MenuHandler = std::function<void(quill::Engine&, unsigned id)>;
    using Bridge = std::function<std::optional<std::wstring>(quill::Engine&, const std::wstring& request)>;

    QuillShellScripts();
    ~QuillShellScripts() override;

    void setEngineCreatedHook(EngineHook hook) { onCreated_ = std::move(hook); }
    void setMenuHandler(MenuHandler handler) { menu_ = std::move(handler); }
    void setBridge(Bridge bridge) { bridge_ = std::move(bridge); }

    // The engine if there is one (a destroy may be pending for it).
    quill::Engine* engine() const { return keeper_.engine(); }
    const bridge::EngineKeeper& keeper() const { return keeper_; }

    bool hasEngine() const override { return keeper_.engine() != nullptr; }
    void destroyEngine() override;
    Result runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) override;
    Result evalSource(const std::wstring& source) override;
    Result runFile(const std::wstring& path, bool compiled) override;
    void menuCommand(unsigned id) override;
    std::optional<std::wstring> flashCall(const std::wstring& request) override;

private:
    std::unique_ptr<quill::Engine> makeEngine();
    Result finish(quill::Engine& engine, bool ok);

    EngineHook onCreated_;
    MenuHandler menu_;
    Bridge bridge_;
    // The host classes' services, installed while the shell's scripts exist.
    ShellHostServices services_;
    host::ScopedHostServices installed_{services_};
    // Declared last: destroyed first, while the hooks above still exist.
    bridge::EngineKeeper keeper_;
};

} // namespace paloma::shell
