// The services host classes use, and their defaults.
#include "host/HostServices.h"

namespace paloma::host {

namespace {

HostServices* gInstalled = nullptr;

} // namespace

HostServices& hostServices() {
    static HostServices defaults;
    return gInstalled ? *gInstalled : defaults;
}

ScopedHostServices::ScopedHostServices(HostServices& services) : previous_(gInstalled) { gInstalled = &services; }

ScopedHostServices::~ScopedHostServices() { gInstalled = previous_; }

} // namespace paloma::host
