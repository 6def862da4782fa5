#pragma once
// The shell hosts its control with the host framework's container (shared
// with the script Forms); these are its names in the shell.

#include "host/framework/FlashHost.h"

namespace paloma::shell {

using host::FlashEvents;
using host::FlashHost;
using host::FlashSite;
using host::kClsidShockwaveFlash;
using host::kClsidShockwaveFlashText;
using host::kDiidShockwaveFlashEvents;
using host::kDispidFlashCall;
using host::kDispidFSCommand;
using host::textVariant;
using host::variantToText;

} // namespace paloma::shell
