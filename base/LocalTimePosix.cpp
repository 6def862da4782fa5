// Local time-zone bias outside Windows: from the C library's zone data.
#include "base/LocalTime.h"

#include <ctime>

namespace paloma {

int localBiasMinutes() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return 0;
    // tm_gmtoff is seconds east of UTC with daylight saving applied.
    return int(-local.tm_gmtoff / 60);
}

} // namespace paloma
