#pragma once
// Time values of the Date class: day and year arithmetic, the component
// getters and setters, UTC construction, the text parser and the three text
// forms. Plain arithmetic on doubles, independent of the engine's Values.
//
// A time value counts milliseconds since 1970-01-01 00:00:00 UTC. It is valid
// when it is finite and its magnitude is at most 8.64e15. Local time is UTC
// minus one fixed offset (`localOffset`, milliseconds, positive west of
// Greenwich); no per-date daylight-saving adjustment is made.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quill::datemath {

inline constexpr double kMsPerSecond = 1000.0;
inline constexpr double kMsPerMinute = 60000.0;
inline constexpr double kMsPerHour = 3600000.0;
inline constexpr double kMsPerDay = 86400000.0;
inline constexpr double kMaxTimeValue = 8.64e15;

bool isValidTime(double t);
bool isLeapYear(double year);
double dayFromYear(double year);         // days from 1970-01-01 to 1 January of year
double yearFromTime(double t);
double monthFromTime(double t);          // 0..11
double dateFromTime(double t);           // 1..31
double weekDay(double t);                // 0 = Sunday
double hourFromTime(double t);
double minuteFromTime(double t);
double secondFromTime(double t);
double msFromTime(double t);

double makeDay(double year, double month, double date);
double makeTime(double hours, double minutes, double seconds, double ms);
double makeDate(double day, double time);

// The seven components of a time value, in the order of the Date
// constructor's arguments.
struct DateFields {
    double year = 1970, month = 0, date = 1, hours = 0, minutes = 0, seconds = 0, ms = 0;
};
DateFields splitTime(double t);
double joinFields(const DateFields& f);

// The first component a setter replaces; the setter replaces it and the
// following ones it is given (setFullYear: year, month, date; setHours: hours,
// minutes, seconds, ms; ...).
enum class DateField { Year, Month, Date, Hours, Minutes, Seconds, Ms };

// How many components a setter starting at `first` takes.
int setterArity(DateField first);

// Apply a setter to time value t. args[i] is the i-th argument when it is a
// number (floored here) and nullopt when it is absent or not a number; the
// first one must be present. offsetMs is `localOffset` for the local setters
// and 0 for the UTC ones. Returns the new time value, or nullopt when the
// instance must stay unchanged (no first argument, or the result is not a
// valid time value).
std::optional<double> applySetter(double t, DateField first,
                                  std::span<const std::optional<double>> args, double offsetMs);

// setYear: years 0..99 mean 1900 + year; month and date are kept; local.
std::optional<double> applySetYear(double t, std::optional<double> year, double offsetMs);

// Time value of components given in the zone offsetMs (0 for UTC). Missing
// components keep the defaults of DateFields; present ones are floored. An
// invalid result is 0.
double timeFromComponents(std::span<const std::optional<double>> args, double offsetMs);

// getYear: local year minus 1900 for 1900..1999, the full year otherwise.
double yearForGetYear(double fullYear);

// Parse a date text; nullopt when it cannot be parsed. A parsed text whose
// value is not a valid time value gives 0.
std::optional<double> parseDate(std::u16string_view text, double localOffsetMs);

// "Tue Jan 01 10:20:30 GMT+100 2002", local time, " B.C." for years <= 0.
std::string formatLocal(double t, double localOffsetMs);
// "Tue, 01 Jan 2002 10:20:30 GMT", UTC, " B.C." for years <= 0.
std::string formatGmt(double t);

} // namespace quill::datemath
