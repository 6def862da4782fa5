#pragma once
// The shell's script engine: the main window's script interface carried out
// by one Quill engine, created with default options on first use and
// destroyed by "Quill_Quit" or when the window closes. Failed runs write the
// engine's errorText to the trace output.
//
// Parts that later parts of the runtime plug in: the host classes registered
// on every new engine, the script menus' command handler and the
// ExternalInterface bridge.

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

    // The engine, created first if needed; null when it cannot be set up.
    quill::Engine* engine();

    bool hasEngine() const override { return engine_ != nullptr; }
    void destroyEngine() override;
    Result runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) override;
    Result evalSource(const std::wstring& source) override;
    Result runFile(const std::wstring& path, bool compiled) override;
    void menuCommand(unsigned id) override;
    std::optional<std::wstring> flashCall(const std::wstring& request) override;

private:
    Result finish(bool ok);

    std::unique_ptr<quill::Engine> engine_;
    // Counts engines, so that an image's per-engine state is never taken for
    // the state of a later engine.
    uint64_t generation_ = 0;
    EngineHook onCreated_;
    MenuHandler menu_;
    Bridge bridge_;
    // The host classes' services, installed while the shell's scripts exist.
    ShellHostServices services_;
    host::ScopedHostServices installed_{services_};
};

} // namespace paloma::shell
