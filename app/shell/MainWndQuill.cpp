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

QuillShellScripts::QuillShellScripts() = default;
QuillShellScripts::~QuillShellScripts() = default;

quill::Engine* QuillShellScripts::engine() {
    if (!engine_) {
        // Every built-in and host class, in the fixed registration order.
        engine_ = quill::createEngine(host::hostEngineOptions());
        if (!engine_)
            return nullptr;
        ++generation_;
        // Until a script opens a trace output of its own, PALOMA_TRACE_LOG
        // may name a file that receives the trace (for tests and demos).
        if (const char* log = std::getenv("PALOMA_TRACE_LOG"); log && *log) {
            std::string path = log;
            quill::setTraceOutput(*engine_, [path](std::string_view line) {
                if (FILE* f = std::fopen(path.c_str(), "ab")) {
                    std::fwrite(line.data(), 1, line.size(), f);
                    std::fputs("\r\n", f);
                    std::fclose(f);
                }
            });
        }
        if (onCreated_)
            onCreated_(*engine_);
    }
    return engine_.get();
}

void QuillShellScripts::destroyEngine() { engine_.reset(); }

ShellScripts::Result QuillShellScripts::finish(bool ok) {
    if (!engine_)
        return Result::Other;
    if (!ok) {
        if (engine_->errorText[0])
            quill::writeTrace(*engine_, engine_->errorText);
        return Result::Other;
    }
    const quill::Value& result = engine_->lastResult;
    return result.isBoolean() && !result.asBoolean() ? Result::False : Result::Other;
}

ShellScripts::Result QuillShellScripts::runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) {
    quill::Engine* e = engine();
    if (!e)
        return Result::Other;
    auto* kept = static_cast<ImageState*>(state.get());
    if (!kept || kept->generation != generation_ || !kept->loaded) {
        std::string error;
        std::optional<quill::SectionSet> sections = quill::loadImage(image, &error);
        if (!sections) {
            quill::writeTrace(*e, error.empty() ? quill::kImageUnreadable : error);
            return Result::Other;
        }
        auto fresh = std::make_shared<ImageState>();
        fresh->generation = generation_;
        fresh->loaded = std::make_unique<quill::LoadedImage>(std::move(*sections));
        kept = fresh.get();
        state = std::move(fresh);
    }
    return finish(quill::runImage(*e, *kept->loaded));
}

ShellScripts::Result QuillShellScripts::evalSource(const std::wstring& source) {
    quill::Engine* e = engine();
    if (!e)
        return Result::Other;
    return finish(quill::evalSource(*e, toAnsi(source)));
}

ShellScripts::Result QuillShellScripts::runFile(const std::wstring& path, bool compiled) {
    quill::Engine* e = engine();
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
        return finish(quill::runImage(*e, *sections));
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        quill::writeTrace(*e, "can't open the script file: " + toAnsi(path));
        return Result::Other;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return finish(quill::evalSource(*e, text, toAnsi(file.filename().wstring())));
}

void QuillShellScripts::menuCommand(unsigned id) {
    if (engine_ && menu_)
        menu_(*engine_, id);
}

std::optional<std::wstring> QuillShellScripts::flashCall(const std::wstring& request) {
    quill::Engine* e = engine();
    if (!e || !bridge_)
        return std::nullopt;
    return bridge_(*e, request);
}

} // namespace paloma::shell
