// The global host functions of the portable build: processMsg alone (there
// is no player, no archive and no message queue).
#include "host/app/HostFunctions.h"

namespace paloma::host {

namespace {

void processMsg(quill::Engine&, quill::NativeClass*, void*, quill::Value& result, quill::ArgList) {
    result = quill::Value::boolean(pumpWaitingMessages());
}

} // namespace

void registerHostFunctions(quill::Engine& engine) { quill::defineGlobalFunction(engine, "processMsg", processMsg); }

} // namespace paloma::host
