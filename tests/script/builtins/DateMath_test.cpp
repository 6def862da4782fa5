// Time values of the Date class: arithmetic, setters, parser, text forms.
#include "script/builtins/DateMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

using namespace quill::datemath;

namespace {

constexpr double kHour = kMsPerHour;
constexpr double kDay = kMsPerDay;

// Reference: days from 1970-01-01 by walking years one at a time.
double slowDayFromYear(int year) {
    double days = 0;
    for (int y = 1970; y < year; ++y)
        days += isLeapYear(y) ? 366 : 365;
    for (int y = year; y < 1970; ++y)
        days -= isLeapYear(y) ? 366 : 365;
    return days;
}

std::optional<double> parse(const char16_t* text, double offset = 0) { return parseDate(text, offset); }

} // namespace

TEST(DateArithmetic, LeapYearsAndYearStarts) {
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_FALSE(isLeapYear(2023));
    EXPECT_TRUE(isLeapYear(0));
    EXPECT_TRUE(isLeapYear(-4));
    EXPECT_FALSE(isLeapYear(-100));
    for (int y = -500; y <= 2500; y += 7)
        ASSERT_EQ(dayFromYear(y), slowDayFromYear(y)) << y;
    EXPECT_EQ(dayFromYear(1970), 0);
    EXPECT_EQ(dayFromYear(2000) * kDay, 946684800000.0);
}

TEST(DateArithmetic, ComponentsRoundTripAcrossLeapDaysAndBefore1970) {
    // Every day of 1968..1972 and of 1999..2001, at a time of day that is not
    // midnight, splits and joins back to itself.
    for (double day = dayFromYear(1968); day < dayFromYear(1973); ++day) {
        double t = day * kDay + 13 * kHour + 7 * kMsPerMinute + 5 * kMsPerSecond + 9;
        DateFields f = splitTime(t);
        ASSERT_EQ(joinFields(f), t) << day;
        EXPECT_EQ(f.hours, 13);
        EXPECT_EQ(f.ms, 9);
    }
    // 29 February of a leap year, and the day after.
    double feb29 = makeDate(makeDay(2000, 1, 29), 0);
    EXPECT_EQ(monthFromTime(feb29), 1);
    EXPECT_EQ(dateFromTime(feb29), 29);
    EXPECT_EQ(monthFromTime(feb29 + kDay), 2);
    EXPECT_EQ(dateFromTime(feb29 + kDay), 1);
    // The last millisecond of 1969 is a Wednesday evening.
    DateFields last = splitTime(-1);
    EXPECT_EQ(last.year, 1969);
    EXPECT_EQ(last.month, 11);
    EXPECT_EQ(last.date, 31);
    EXPECT_EQ(last.hours, 23);
    EXPECT_EQ(last.ms, 999);
    EXPECT_EQ(weekDay(-1), 3);
    EXPECT_EQ(weekDay(0), 4); // 1 January 1970 was a Thursday
}

TEST(DateArithmetic, AgreesWithTheCLibraryForUtc) {
    // gmtime over a spread of dates up to 2037, from 1901 where the C
    // library takes times before 1970 (the Windows one does not).
#ifdef _WIN32
    const long long from = 0;
#else
    const long long from = -2145916800LL;
#endif
    for (long long s = from; s < 2145916800LL; s += 86400LL * 97 + 3671) {
        std::time_t tt = std::time_t(s);
        std::tm* tm = std::gmtime(&tt);
        ASSERT_NE(tm, nullptr);
        double t = double(s) * 1000;
        DateFields f = splitTime(t);
        ASSERT_EQ(f.year, tm->tm_year + 1900) << s;
        ASSERT_EQ(f.month, tm->tm_mon) << s;
        ASSERT_EQ(f.date, tm->tm_mday) << s;
        ASSERT_EQ(f.hours, tm->tm_hour) << s;
        ASSERT_EQ(f.minutes, tm->tm_min) << s;
        ASSERT_EQ(f.seconds, tm->tm_sec) << s;
        ASSERT_EQ(weekDay(t), tm->tm_wday) << s;
    }
}

TEST(DateArithmetic, MakeDayCarriesMonthsIntoYears) {
    EXPECT_EQ(makeDay(2000, 13, 1), makeDay(2001, 1, 1));
    EXPECT_EQ(makeDay(2000, -1, 1), makeDay(1999, 11, 1));
    EXPECT_EQ(makeDay(2001, 1, 29), makeDay(2001, 2, 1)); // no 29 February in 2001
    EXPECT_TRUE(std::isnan(makeDay(2000, NAN, 1)));
    EXPECT_TRUE(std::isnan(makeDay(2000, INFINITY, 1)));
}

TEST(DateConstruction, ComponentsAndUtc) {
    std::optional<double> utc2000[] = {2000.0, 0.0, 1.0};
    EXPECT_EQ(timeFromComponents(utc2000, 0), 946684800000.0);
    // Defaults: 1970, January, 1, midnight.
    EXPECT_EQ(timeFromComponents({}, 0), 0);
    // Local components: the offset is added back.
    EXPECT_EQ(timeFromComponents(utc2000, 2 * kHour), 946684800000.0 + 2 * kHour);
    // Month 13 of 2000 is February 2001; year 99 stays 99.
    std::optional<double> overflow[] = {2000.0, 13.0, 1.0};
    DateFields f = splitTime(timeFromComponents(overflow, 0));
    EXPECT_EQ(f.year, 2001);
    EXPECT_EQ(f.month, 1);
    std::optional<double> y99[] = {99.0, 0.0};
    EXPECT_EQ(yearFromTime(timeFromComponents(y99, 0)), 99);
    // Floats are floored; missing middle arguments keep defaults.
    std::optional<double> floats[] = {2000.7, 0.2, std::nullopt, 5.9};
    DateFields g = splitTime(timeFromComponents(floats, 0));
    EXPECT_EQ(g.date, 1);
    EXPECT_EQ(g.hours, 5);
    // Out of range gives 0.
    std::optional<double> huge[] = {400000.0, 0.0};
    EXPECT_EQ(timeFromComponents(huge, 0), 0);
}

TEST(DateSetters, ReplaceComponentsAndKeepTheRest) {
    double t = 946684800000.0 + 10 * kHour + 20 * kMsPerMinute + 30 * kMsPerSecond; // 2000-01-01 10:20:30 UTC
    std::optional<double> month[] = {5.0};
    DateFields f = splitTime(*applySetter(t, DateField::Month, month, 0));
    EXPECT_EQ(f.month, 5);
    EXPECT_EQ(f.date, 1);
    EXPECT_EQ(f.hours, 10);
    // Later arguments that are not numbers keep their component.
    std::optional<double> hours[] = {3.0, std::nullopt, 15.0};
    DateFields h = splitTime(*applySetter(t, DateField::Hours, hours, 0));
    EXPECT_EQ(h.hours, 3);
    EXPECT_EQ(h.minutes, 20);
    EXPECT_EQ(h.seconds, 15);
    // Extra arguments beyond the setter's own are ignored.
    std::optional<double> ms[] = {250.0, 99.0};
    EXPECT_EQ(msFromTime(*applySetter(t, DateField::Ms, ms, 0)), 250);
    EXPECT_EQ(secondFromTime(*applySetter(t, DateField::Ms, ms, 0)), 30);
    // A missing first argument, or a result out of range, changes nothing.
    std::optional<double> none[] = {std::nullopt, 1.0};
    EXPECT_FALSE(applySetter(t, DateField::Date, none, 0));
    EXPECT_FALSE(applySetter(t, DateField::Date, {}, 0));
    std::optional<double> farYear[] = {300000.0};
    EXPECT_FALSE(applySetter(t, DateField::Year, farYear, 0));
}

TEST(DateSetters, LocalSettersWorkInLocalTime) {
    double offset = -2 * kHour; // two hours east
    double t = 946684800000.0;  // 2000-01-01 00:00 UTC = 02:00 local
    std::optional<double> date[] = {15.0};
    double r = *applySetter(t, DateField::Date, date, offset);
    EXPECT_EQ(r, t + 14 * kDay);
    // Setting the local hour to 1 gives 23:00 UTC of the day before.
    std::optional<double> one[] = {1.0};
    double h = *applySetter(t, DateField::Hours, one, offset);
    EXPECT_EQ(h, t - kHour);
    // setYear: 0..99 is 1900 + y; month and date stay.
    double y = *applySetYear(makeDate(makeDay(2004, 1, 29), 0), 95.0, 0);
    EXPECT_EQ(yearFromTime(y), 1995);
    EXPECT_EQ(monthFromTime(y), 2); // 29 February 1995 does not exist
    EXPECT_EQ(yearFromTime(*applySetYear(0, 150.0, 0)), 150);
    EXPECT_FALSE(applySetYear(0, std::nullopt, 0));
    EXPECT_EQ(yearForGetYear(1999), 99);
    EXPECT_EQ(yearForGetYear(2000), 2000);
    EXPECT_EQ(yearForGetYear(1899), 1899);
}

TEST(DateParse, TextsWithExplicitZones) {
    auto gmt = parse(u"Tue, 01 Jan 2002 10:20:30 GMT");
    ASSERT_TRUE(gmt);
    EXPECT_EQ(hourFromTime(*gmt), 10);
    EXPECT_EQ(minuteFromTime(*gmt), 20);
    EXPECT_EQ(secondFromTime(*gmt), 30);
    EXPECT_EQ(yearFromTime(*gmt), 2002);
    auto est = parse(u"Tue, 01 Jan 2002 10:20:30 EST");
    ASSERT_TRUE(est);
    EXPECT_EQ(hourFromTime(*est), 15);
    EXPECT_EQ(*est - *gmt, 5 * kHour);
    // Numeric zones: +hhmm, +h, and +h:mm; the local offset is not used.
    EXPECT_EQ(*parse(u"Jan 1 2002 10:00 GMT+0130", 7 * kHour), makeDate(makeDay(2002, 0, 1), 8.5 * kHour));
    EXPECT_EQ(*parse(u"Jan 1 2002 10:00 +2"), makeDate(makeDay(2002, 0, 1), 8 * kHour));
    EXPECT_EQ(*parse(u"Jan 1 2002 10:00 GMT-5:30"), makeDate(makeDay(2002, 0, 1), 15.5 * kHour));
    EXPECT_EQ(*parse(u"Jan 1 2002 PDT"), makeDate(makeDay(2002, 0, 1), 7 * kHour));
    // Without a zone the local offset applies.
    EXPECT_EQ(*parse(u"1/2/2002", 3 * kHour), makeDate(makeDay(2002, 0, 2), 3 * kHour));
}

TEST(DateParse, FormsAndWords) {
    EXPECT_EQ(*parse(u"12/25/1999 11:30 pm"), makeDate(makeDay(1999, 11, 25), 23.5 * kHour));
    EXPECT_EQ(*parse(u"12/25/99 12:05 am"), makeDate(makeDay(1999, 11, 25), 5 * kMsPerMinute));
    EXPECT_EQ(*parse(u"December 25, 1999"), makeDate(makeDay(1999, 11, 25), 0));
    EXPECT_EQ(*parse(u"25 dec 1999 (Christmas (day)) 10:00:01"), makeDate(makeDay(1999, 11, 25), 10 * kHour + 1000));
    EXPECT_EQ(*parse(u"ma 3 2001"), makeDate(makeDay(2001, 4, 3), 0)); // "ma" is may, the later word
    EXPECT_EQ(*parse(u"Mar 3 2001"), makeDate(makeDay(2001, 2, 3), 0));
    // The text form of toGMTString reads back.
    double t = 1234567890000.0;
    std::string gmt = formatGmt(t);
    EXPECT_EQ(gmt, "Fri, 13 Feb 2009 23:31:30 GMT");
    EXPECT_EQ(*parse(std::u16string(gmt.begin(), gmt.end()).c_str()), t);
}

TEST(DateParse, Failures) {
    EXPECT_FALSE(parse(u""));
    EXPECT_FALSE(parse(u"hello"));
    EXPECT_FALSE(parse(u"Jan 2002"));                 // no day
    EXPECT_FALSE(parse(u"1/2"));                      // no year
    EXPECT_FALSE(parse(u"Jan Feb 1 2002"));           // two months
    EXPECT_FALSE(parse(u"Jan 1 2002 x"));             // single letter
    EXPECT_FALSE(parse(u"Jan 1 2002 10:00 pm pm"));   // hours above 12 before the second pm
    EXPECT_FALSE(parse(u"Jan 1 2002 1999"));          // two years
    EXPECT_FALSE(parse(u"Jan 1 2002 +0100 +0200"));   // second zone
    EXPECT_FALSE(parse(u"Jan 1 2002 10.30"));         // a number followed by '.'
    EXPECT_FALSE(parse(u"Jan 1 2002 10:20:30:40"));
    EXPECT_FALSE(parse(u"am 1 Jan 2002"));            // am without hours
    // An unterminated comment swallows the rest and the text is incomplete.
    EXPECT_FALSE(parse(u"Jan (1 2002"));
    // A valid parse beyond the time range gives 0, not a failure.
    EXPECT_EQ(*parse(u"Jan 1 999999999"), 0);
}

TEST(DateText, LocalAndGmtForms) {
    double t = makeDate(makeDay(2002, 0, 1), 10 * kHour + 20 * kMsPerMinute + 30 * kMsPerSecond);
    EXPECT_EQ(formatGmt(t), "Tue, 01 Jan 2002 10:20:30 GMT");
    EXPECT_EQ(formatLocal(t, 0), "Tue Jan 01 10:20:30 GMT+000 2002");
    EXPECT_EQ(formatLocal(t, -2 * kHour), "Tue Jan 01 12:20:30 GMT+200 2002");
    EXPECT_EQ(formatLocal(t, 5.5 * kHour), "Tue Jan 01 04:50:30 GMT-530 2002");
    EXPECT_EQ(formatLocal(t, 11 * kHour), "Mon Dec 31 23:20:30 GMT-1100 2001");
    // Year 0 is 1 B.C.; year -43 is 44 B.C.
    double year0 = makeDate(makeDay(0, 5, 15), 0);
    EXPECT_EQ(formatGmt(year0), "Thu, 15 Jun 0001 00:00:00 GMT B.C.");
    EXPECT_EQ(formatLocal(year0, 0), "Thu Jun 15 00:00:00 GMT+000 0001 B.C.");
    EXPECT_EQ(formatGmt(makeDate(makeDay(-43, 2, 15), 0)).substr(0, 16), "Fri, 15 Mar 0044");
}
