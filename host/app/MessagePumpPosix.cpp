// A script's message pump where there is no message queue: nothing waits.
#include "host/app/HostFunctions.h"

namespace paloma::host {

bool pumpWaitingMessages() { return true; }

} // namespace paloma::host
