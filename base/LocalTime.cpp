// The clock, shared by every platform (the standard clock is the system's).
#include "base/LocalTime.h"

#include <chrono>

namespace paloma {

std::int64_t currentTimeMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace paloma
