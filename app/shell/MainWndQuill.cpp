// The shell's script engine behind the main window's script interface.
#include "app/shell/MainWndQuill.h"

#include "base/TextCodec.h"
#include "host/ClassOrder.h"
#include "script/Quill.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace paloma::shell {

namespace {

std::string toAnsi(const std::wstring& text) { return utf16ToAnsi(std::u16string(text.begin(), text.end())); }

// What a compiled image leaves behind in the engine that ran it.
struct ImageState {
    uint64_t generation = 0;
    std::unique_ptr<quill::LoadedImage> loaded;
};

} // namespace

QuillShellScripts::QuillShellScripts() : keeper_([this] { return makeEngine(); }) {}
QuillShellScripts::~QuillShellScripts() = default;

std::unique_ptr<quill::Engine> QuillShellScripts::makeEngine() {
    // Every built-in and host class, in the fixed registration order.
    std::unique_ptr<quill::Engine> engine = quill::createEngine(host::hostEngineOptions());
    if (!engine)
        return nullptr;
    // Until a script opens a trace output of its own, PALOMA_TRACE_LOG
    // may name a file that receives the trace (for tests and demos).
    if (const char* log = std::getenv("PALOMA_TRACE_LOG"); log && *log) {
        std::string path = log;
        quill::setTraceOutput(*engine, [path](std::string_view line) {
            if (FILE* f = std::fopen(path.c_str(), "ab")) {
                std::fwrite(line.data(), 1, line.size(), f);
                std::fputs("\r\n", f);
                std::fclose(f);
            }
        });
    }
    if (onCreated_)
        onCreated_(*engine);
    return engine;
}

void QuillShellScripts::destroyEngine() { keeper_.destroy(); }

ShellScripts::Result QuillShellScripts::finish(quill::Engine& engine, bool ok) {
    if (!ok) {
        if (engine.errorText[0])
            quill::writeTrace(engine, engine.errorText);
        return Result::Other;
    }
    const quill::Value& result = engine.lastResult;
    return result.isBoolean() && !result.asBoolean() ? Result::False : Result::Other;
}

ShellScripts::Result QuillShellScripts::runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) {
    bridge::EngineKeeper::Use use(keeper_);
    quill::Engine* e = use.engine();
    if (!e)
        return Result::Other;
    auto* kept = static_cast<ImageState*>(state.get());
    if (!kept || kept->generation != keeper_.generation() || !kept->loaded) {
        std::string error;
        std::optional<quill::SectionSet> sections = quill::loadImage(image, &error);
        if (!sections) {
            quill::writeTrace(*e, error.empty() ? quill::kImageUnreadable : error);
            return Result::Other;
        }
        auto fresh = std::make_shared<ImageState>();
        fresh->generation = keeper_.generation();
        fresh->loaded = std::make_unique<quill::LoadedImage>(std::move(*sections));
        kept = fresh.get();
        state = std::move(fresh);
    }
    // The run may replace `state` (a nested run of the same image after the
    // engine changed); the image it runs stays alive until it returns.
    std::shared_ptr<void> running = state;
    return finish(*e, quill::runImage(*e, *kept->loaded));
}

ShellScripts::Result QuillShellScripts::evalSource(const std::wstring& source) {
    bridge::EngineKeeper::Use use(keeper_);
    quill::Engine* e = use.engine();
    if (!e)
        return Result::Other;
    return finish(*e, quill::evalSource(*e, toAnsi(source)));
}

ShellScripts::Result QuillShellScripts::runFile(const std::wstring& path, bool compiled) {
    bridge::EngineKeeper::Use use(keeper_);
    quill::Engine* e = use.engine();
    if (!e)
        return Result::Other;
    std::filesystem::path file(path);
    if (compiled) {
        std::optional<quill::RawImage> raw = quill::readImageFile(file);
        std::string error;
        std::optional<quill::SectionSet> sections = raw ? quill::decodeSections(*raw, &error) : std::nullopt;
        if (!sections) {
            quill::writeTrace(*e, !raw ? quill::kImageUnreadable : error);
            return Result::Other;
        }
        return finish(*e, quill::runImage(*e, *sections));
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        quill::writeTrace(*e, "can't open the script file: " + toAnsi(path));
        return Result::Other;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return finish(*e, quill::evalSource(*e, text, toAnsi(file.filename().wstring())));
}

void QuillShellScripts::menuCommand(unsigned id) {
    if (!keeper_.engine() || !menu_)
        return;
    bridge::EngineKeeper::Use use(keeper_);
    menu_(*use.engine(), id);
}

std::optional<std::wstring> QuillShellScripts::flashCall(const std::wstring& request) {
    if (!bridge_)
        return std::nullopt;
    bridge::EngineKeeper::Use use(keeper_);
    quill::Engine* e = use.engine();
    if (!e)
        return std::nullopt;
    return bridge_(*e, request);
}

} // namespace paloma::shell
