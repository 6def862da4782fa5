#pragma once
// Loading a compiled image into an engine and running it: constants are
// appended to the engine's pool, every function is linked and bound to the
// global of its name (anonymous functions renumbered so that separately
// compiled images never share a name), then ".main" runs.

#include <memory>
#include <optional>

#include "script/image/Image.h"
#include "script/values/Engine.h"

namespace quill {

// A section set with what its first load into an engine left behind: an
// image that runs again in the same engine reuses the constants appended by
// its first run.
class LoadedImage {
public:
    explicit LoadedImage(SectionSet sections) : sections_(std::move(sections)) {}
    const SectionSet& sections() const { return sections_; }

private:
    friend bool runImage(Engine& engine, LoadedImage& image);
    SectionSet sections_;
    const Engine* engine_ = nullptr;
    size_t constantBase_ = 0;
};

// The engine's run-image entry point: loads and runs. On success lastResult
// holds the value the run ended with; on failure errorText holds the message
// ("Runtime error: Unimplemented Quill Script bytecode" for code or constants
// the loader refuses).
bool runImage(Engine& engine, LoadedImage& image);
bool runImage(Engine& engine, const SectionSet& sections);

// Whether the loader would accept the image's code (every function links);
// false with *error set to "Unimplemented Quill Script bytecode" otherwise.
bool checkImage(const SectionSet& sections, std::string* error = nullptr);

// Makes a Function Value of a compiled function.
Value newFunctionValue(Engine& engine, struct CompiledFunction* compiled);

} // namespace quill
