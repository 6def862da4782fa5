// The clock and the local time-zone bias.
#include "base/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace paloma;

TEST(LocalTime, ClockIsCurrentAndMonotonicEnough) {
    std::int64_t a = currentTimeMillis();
    std::int64_t b = currentTimeMillis();
    EXPECT_GT(a, 1600000000000LL); // after September 2020
    EXPECT_LT(a, 4102444800000LL); // before 2100
    EXPECT_GE(b, a);
}

TEST(LocalTime, BiasIsAPlausibleZone) {
    int bias = localBiasMinutes();
    // Zones run from UTC-12 to UTC+14.
    EXPECT_GE(bias, -14 * 60);
    EXPECT_LE(bias, 12 * 60);
    EXPECT_EQ(bias, localBiasMinutes());
}
