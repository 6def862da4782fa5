#pragma once
// The process-wide state behind the Application object (Windows): the
// engine handlers run in, the three handlers, the interval table, the custom
// cursor and the trace file. Shared by the Application class and the global
// host functions.

#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/Quill.h"

namespace paloma::host {

enum HookSlot { kOnGetMovie, kOnGetFlashPlayer, kOnMovieLoaded, kHookCount };

// One setInterval timer: the target (a function, or an object with the
// method name), the extra arguments, and the engine they live in (pinned
// there until the timer is cleared or the engine goes).
struct IntervalRecord {
    quill::Engine* engine = nullptr;
    quill::PinnedValue* target = nullptr;
    std::string method; // ANSI; empty for a function target
    std::vector<quill::PinnedValue*> args;
};

// A handler and the engine it was set in.
struct HookHandler {
    quill::Engine* engine = nullptr;
    quill::PinnedValue* value = nullptr;
};

struct ApplicationState {
    quill::Engine* engine = nullptr; // the engine that registered Application last
    HookHandler handlers[kHookCount];
    std::unordered_map<UINT_PTR, IntervalRecord> intervals;
    HCURSOR cursor = nullptr;
    std::shared_ptr<std::FILE> traceFile;
    // The Menu family's own clean-up when an engine goes.
    std::function<void(quill::Engine*)> menuEngineGone;

    void setHandler(int slot, quill::Engine* owner, const quill::Value& v);
    quill::Value handler(int slot) const;
    // Kills the timer and forgets its record (unpinning its Values while
    // their engine lives).
    void stopInterval(UINT_PTR id, bool engineAlive);
    // An engine is being destroyed: its timers and handlers go.
    void engineGone(quill::Engine* gone);
};

ApplicationState& applicationState();

// The executable's full path (ANSI); whether an archive is appended to it
// (its last four bytes are not all zero).
std::string executablePath();
bool executableHasArchive();
// The full path of an additional file, extracted from the archive on demand
// (beside the executable when there is no archive); nothing when it cannot
// be had.
std::optional<std::string> additionalFilePath(std::string name);

} // namespace paloma::host
