// Local time-zone bias on Windows: the zone information of the system.
#include "base/LocalTime.h"

#include <windows.h>

namespace paloma {

int localBiasMinutes() {
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD:
        return int(zone.Bias + zone.StandardBias);
    case TIME_ZONE_ID_DAYLIGHT:
        return int(zone.Bias + zone.DaylightBias);
    case TIME_ZONE_ID_INVALID:
        return 0;
    default: // TIME_ZONE_ID_UNKNOWN: the system keeps no zone state
        return int(zone.Bias);
    }
}

} // namespace paloma
