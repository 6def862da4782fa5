#pragma once
// The global host functions (getMainWnd, getAppDir, getExeName, getMovies,
// getAdditionalFile, readProfile, writeProfile, processMsg, invoke, _call),
// registered together at their place in the class order.

#include "script/Quill.h"

namespace paloma::host {

void registerHostFunctions(quill::Engine& engine);

// processMsg: processes every message waiting in the thread's queue (the
// application's pre-translation first, then translation and dispatch; the
// internal idle message 0x036A is taken and dropped). False when the quit
// message was met (after the application's exit routine ran), else true.
// Where there is no message queue (the portable build) it returns true.
bool pumpWaitingMessages();

} // namespace paloma::host
