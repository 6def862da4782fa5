// Profile file paths outside Windows: as given.
#include "host/system/ProfilePath.h"

#include "base/HostPath.h"

namespace paloma::host {

std::filesystem::path profilePath(std::u16string_view name) { return hostPath(name); }

} // namespace paloma::host
