#pragma once
// EngineKeeper: the shell's one script engine and its lifetime.
//
// The engine is created on first use and destroyed by "Quill_Quit" or when
// the main window closes. That request can arrive while a script is still
// running on the engine: the movie fires "Quill_Quit" from inside a
// CallFunction that a script made, or a message loop that a script runs
// delivers it. Every call into the engine therefore holds a Use for its
// duration; destroy() while any Use is held only marks the engine, and the
// outermost Use destroys it on its way out. A destroyed engine is taken out
// of the bridge first, so no movie transport stays registered for freed
// memory.
//
//     EngineKeeper::Use use(keeper);           // creates the engine if needed
//     if (quill::Engine* e = use.engine())
//         quill::evalSource(*e, text);          // may end in keeper.destroy()
//     // the engine is gone here if a destroy was asked for meanwhile
//
// One thread only, as everything of the runtime.

#include <cstdint>
#include <functional>
#include <memory>

#include "script/Quill.h"

namespace paloma::bridge {

class EngineKeeper {
public:
    // Makes a new engine (registering classes, the bridge, trace output);
    // null when it cannot be set up.
    using Factory = std::function<std::unique_ptr<quill::Engine>()>;

    explicit EngineKeeper(Factory factory) : factory_(std::move(factory)) {}
    ~EngineKeeper();
    EngineKeeper(const EngineKeeper&) = delete;
    EngineKeeper& operator=(const EngineKeeper&) = delete;

    // The engine if there is one; a destroy may be pending for it.
    quill::Engine* engine() const { return engine_.get(); }
    // Counts engines made so far: what belongs to one engine is recognised
    // as stale once a later one exists.
    uint64_t generation() const { return generation_; }
    // Calls into the engine running now (held Uses).
    int uses() const { return uses_; }
    bool destroyPending() const { return destroyPending_; }

    // Destroys the engine now, or once the outermost Use has returned.
    void destroy();

    // Holds the engine for one call into it, creating it first if needed.
    class Use {
    public:
        explicit Use(EngineKeeper& keeper);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        // Null when no engine could be made.
        quill::Engine* engine() const { return engine_; }

    private:
        EngineKeeper& keeper_;
        quill::Engine* engine_;
    };

private:
    void release();

    Factory factory_;
    std::unique_ptr<quill::Engine> engine_;
    uint64_t generation_ = 0;
    int uses_ = 0;
    bool destroyPending_ = false;
};

} // namespace paloma::bridge
