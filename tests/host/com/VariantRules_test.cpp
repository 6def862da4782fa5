// Dates and the choice of variant for each kind of Value.
#include <gtest/gtest.h>

#include <cmath>

#include "host/com/VariantConvert.h"
#include "tests/host/com/ComFixture.h"

namespace paloma::host::test {
namespace {

constexpr double kEpochUtc = -2209161600000.0; // 1899-12-30 00:00 UTC
constexpr double kDay = 86400000.0;

TEST(OleDate, DayCountsAndTimesOfDayOnBothSidesOfTheEpoch) {
    EXPECT_EQ(oleDateToTimeValue(0, kEpochUtc), kEpochUtc);
    EXPECT_EQ(oleDateToTimeValue(2.5, kEpochUtc), kEpochUtc + 2.5 * kDay);
    // Before the epoch the fraction still counts forward from the day:
    // -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00.
    EXPECT_EQ(oleDateToTimeValue(-1.25, kEpochUtc), kEpochUtc - 0.75 * kDay);
    EXPECT_EQ(timeValueToOleDate(kEpochUtc - 0.75 * kDay, kEpochUtc), -1.25);
    EXPECT_EQ(timeValueToOleDate(kEpochUtc - 0.25 * kDay, kEpochUtc), -1.75);
    EXPECT_EQ(timeValueToOleDate(kEpochUtc - 2 * kDay, kEpochUtc), -2.0);
    EXPECT_TRUE(std::isnan(oleDateToTimeValue(INFINITY, kEpochUtc)));
    // 2000-01-01 00:00:00.001 UTC round-trips to the millisecond.
    double t = 946684800001.0;
    EXPECT_EQ(oleDateToTimeValue(timeValueToOleDate(t, kEpochUtc), kEpochUtc), t);
    EXPECT_EQ(std::floor(timeValueToOleDate(946684800000.0, kEpochUtc)), 36526.0);
}

class VariantShapes : public HostTest {};

TEST_F(VariantShapes, EachKindOfValue) {
    run("var big = 4294967296; var date = new Date(0); var ss = new StringStream();"
        "var strs = ['a', 'b']; var mixed = ['a', 1]; var sparse = []; sparse[3] = 'x'; var obj = {};");
    auto shape = [&](const char* name) { return variantShapeOf(*engine, global(name)); };
    EXPECT_EQ(variantShapeOf(*engine, quill::Value::undefined()), VariantShape::Null);
    EXPECT_EQ(variantShapeOf(*engine, quill::Value::null()), VariantShape::Empty);
    EXPECT_EQ(variantShapeOf(*engine, quill::Value::boolean(true)), VariantShape::Boolean);
    EXPECT_EQ(variantShapeOf(*engine, quill::Value::integer(-5)), VariantShape::Int32);
    EXPECT_EQ(shape("big"), VariantShape::Double); // not truncated to 32 bits
    EXPECT_EQ(variantShapeOf(*engine, quill::Value::nan()), VariantShape::Double);
    EXPECT_EQ(shape("date"), VariantShape::Date);
    EXPECT_EQ(shape("ss"), VariantShape::ByteArray);
    EXPECT_EQ(shape("strs"), VariantShape::StringArray);
    EXPECT_EQ(shape("mixed"), VariantShape::VariantArray);
    EXPECT_EQ(shape("sparse"), VariantShape::VariantArray); // holes are not Strings
    EXPECT_EQ(shape("obj"), VariantShape::Empty);
}

TEST_F(VariantShapes, EpochIsTheLocalDateOfTheEngine) {
    run("var e = new Date(1899, 11, 30).getTime();");
    EXPECT_EQ(oleDateEpoch(*engine), double(integer("e")));
}

} // namespace
} // namespace paloma::host::test
