// Time values of the Date class: arithmetic, setters, parser and text forms.
#include "script/builtins/DateMath.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace quill::datemath {

namespace {

constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<int, 12> kDaysBefore = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::array<int, 12> kDaysBeforeLeap = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};

double floorDiv(double a, double b) { return std::floor(a / b); }

// a mod b made non-negative (b > 0).
double positiveMod(double a, double b) {
    double r = std::fmod(a, b);
    return r < 0 ? r + b : r;
}

const std::array<int, 12>& daysBefore(double year) {
    return isLeapYear(year) ? kDaysBeforeLeap : kDaysBefore;
}

double dayNumber(double t) { return std::floor(t / kMsPerDay); }

} // namespace

// ---------------------------------------------------------------------------
// Day and year arithmetic

bool isValidTime(double t) { return std::isfinite(t) && std::fabs(t) <= kMaxTimeValue; }

bool isLeapYear(double year) {
    return (std::fmod(year, 4) == 0 && std::fmod(year, 100) != 0) || std::fmod(year, 400) == 0;
}

double dayFromYear(double y) {
    return 365 * (y - 1970) + floorDiv(y - 1969, 4) - floorDiv(y - 1901, 100) + floorDiv(y - 1601, 400);
}

double yearFromTime(double t) {
    double y = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
    if (dayFromYear(y) * kMsPerDay > t)
        return y - 1;
    if (dayFromYear(y + 1) * kMsPerDay <= t)
        return y + 1;
    return y;
}

namespace {

// Month (0..11) and date (1..31) of t.
void monthAndDate(double t, double& month, double& date) {
    double year = yearFromTime(t);
    double inYear = dayNumber(t) - dayFromYear(year);
    const auto& before = daysBefore(year);
    int m = 11;
    while (m > 0 && before[size_t(m)] > inYear)
        --m;
    month = m;
    date = inYear - before[size_t(m)] + 1;
}

} // namespace

double monthFromTime(double t) {
    double m, d;
    monthAndDate(t, m, d);
    return m;
}

double dateFromTime(double t) {
    double m, d;
    monthAndDate(t, m, d);
    return d;
}

double weekDay(double t) { return positiveMod(dayNumber(t) + 4, 7); }
double hourFromTime(double t) { return positiveMod(std::floor(t / kMsPerHour), 24); }
double minuteFromTime(double t) { return positiveMod(std::floor(t / kMsPerMinute), 60); }
double secondFromTime(double t) { return positiveMod(std::floor(t / kMsPerSecond), 60); }
double msFromTime(double t) { return positiveMod(t, 1000); }

double makeDay(double year, double month, double date) {
    double y = year + std::floor(month / 12);
    double m = std::floor(positiveMod(month, 12));
    if (!std::isfinite(y) || !std::isfinite(m) || !std::isfinite(date))
        return NAN;
    size_t index = m >= 11 ? 11 : size_t(m);
    return dayFromYear(y) + daysBefore(y)[index] + date - 1;
}

double makeTime(double hours, double minutes, double seconds, double ms) {
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
}

double makeDate(double day, double time) { return day * kMsPerDay + time; }

DateFields splitTime(double t) {
    DateFields f;
    f.year = yearFromTime(t);
    monthAndDate(t, f.month, f.date);
    f.hours = hourFromTime(t);
    f.minutes = minuteFromTime(t);
    f.seconds = secondFromTime(t);
    f.ms = msFromTime(t);
    return f;
}

double joinFields(const DateFields& f) {
    return makeDate(makeDay(f.year, f.month, f.date), makeTime(f.hours, f.minutes, f.seconds, f.ms));
}

// ---------------------------------------------------------------------------
// Setters and construction from components

int setterArity(DateField first) {
    switch (first) {
    case DateField::Year: return 3;
    case DateField::Month: return 2;
    case DateField::Date: return 1;
    case DateField::Hours: return 4;
    case DateField::Minutes: return 3;
    case DateField::Seconds: return 2;
    case DateField::Ms: return 1;
    }
    return 0;
}

namespace {

double& fieldAt(DateFields& f, int index) {
    switch (index) {
    case 0: return f.year;
    case 1: return f.month;
    case 2: return f.date;
    case 3: return f.hours;
    case 4: return f.minutes;
    case 5: return f.seconds;
    default: return f.ms;
    }
}

} // namespace

std::optional<double> applySetter(double t, DateField first,
                                  std::span<const std::optional<double>> args, double offsetMs) {
    // 1. The first argument must be a number.
    if (args.empty() || !args[0])
        return std::nullopt;
    // 2. Split the value in the wanted zone and replace the given components.
    DateFields f = splitTime(t - offsetMs);
    int base = int(first);
    int count = std::min<int>(setterArity(first), int(args.size()));
    for (int i = 0; i < count; ++i)
        if (args[size_t(i)])
            fieldAt(f, base + i) = std::floor(*args[size_t(i)]);
    // 3. Rebuild and convert back; an invalid result changes nothing.
    double result = joinFields(f) + offsetMs;
    if (!isValidTime(result))
        return std::nullopt;
    return result;
}

std::optional<double> applySetYear(double t, std::optional<double> year, double offsetMs) {
    if (!year)
        return std::nullopt;
    double y = std::floor(*year);
    if (y >= 0 && y <= 99)
        y += 1900;
    std::optional<double> one[1] = {y};
    return applySetter(t, DateField::Year, one, offsetMs);
}

double timeFromComponents(std::span<const std::optional<double>> args, double offsetMs) {
    DateFields f;
    for (size_t i = 0; i < args.size() && i < 7; ++i)
        if (args[i])
            fieldAt(f, int(i)) = std::floor(*args[i]);
    double t = joinFields(f) + offsetMs;
    return isValidTime(t) ? t : 0;
}

double yearForGetYear(double fullYear) {
    return (fullYear >= 1900 && fullYear <= 1999) ? fullYear - 1900 : fullYear;
}

// ---------------------------------------------------------------------------
// Parsing

namespace {

enum class WordAction { None, Am, Pm, Month, Zone };

struct Word {
    const char* text;
    WordAction action;
    int value; // month number or zone offset in minutes west
};

// Searched from the last entry to the first; a run of letters applies the
// first word it is a prefix of.
constexpr Word kWords[] = {
    {"am", WordAction::Am, 0},          {"pm", WordAction::Pm, 0},
    {"monday", WordAction::None, 0},    {"tuesday", WordAction::None, 0},
    {"wednesday", WordAction::None, 0}, {"thursday", WordAction::None, 0},
    {"friday", WordAction::None, 0},    {"saturday", WordAction::None, 0},
    {"sunday", WordAction::None, 0},    {"january", WordAction::Month, 0},
    {"february", WordAction::Month, 1}, {"march", WordAction::Month, 2},
    {"april", WordAction::Month, 3},    {"may", WordAction::Month, 4},
    {"june", WordAction::Month, 5},     {"july", WordAction::Month, 6},
    {"august", WordAction::Month, 7},   {"september", WordAction::Month, 8},
    {"october", WordAction::Month, 9},  {"november", WordAction::Month, 10},
    {"december", WordAction::Month, 11}, {"gmt", WordAction::Zone, 0},
    {"ut", WordAction::Zone, 0},        {"utc", WordAction::Zone, 0},
    {"est", WordAction::Zone, 300},     {"edt", WordAction::Zone, 240},
    {"cst", WordAction::Zone, 360},     {"cdt", WordAction::Zone, 300},
    {"mst", WordAction::Zone, 420},     {"mdt", WordAction::Zone, 360},
    {"pst", WordAction::Zone, 480},     {"pdt", WordAction::Zone, 420},
};

bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// Is the run a case-insensitive prefix of word?
bool isPrefixOf(std::u16string_view run, const char* word) {
    size_t i = 0;
    for (; i < run.size(); ++i)
        if (word[i] == 0 || lower(run[i]) != char16_t(word[i]))
            return false;
    return true;
}

const Word* lookupWord(std::u16string_view run) {
    for (size_t k = std::size(kWords); k-- > 0;)
        if (isPrefixOf(run, kWords[k].text))
            return &kWords[k];
    return nullptr;
}

struct ParseState {
    long long year = -1, month = -1, day = -1, hours = -1, minutes = -1, seconds = -1;
    std::optional<long long> zone; // minutes west of Greenwich
    char16_t prev = 0;             // previous punctuation
    bool signSeen = false;
};

// A number n that stopped before `next` (0 at the end of the text).
bool takeNumber(ParseState& st, long long n, char16_t next, bool atEnd) {
    bool separatorNext = atEnd || next <= u' ' || next == u',' || next >= 128;
    if (st.prev == u'+' || st.prev == u'-') {
        // 1. A zone offset: hhmm above 23, else hours.
        long long minutes = n > 23 ? n % 100 + (n / 100) * 60 : n * 60;
        if (st.zone && *st.zone != 0)
            return false;
        st.zone = st.prev == u'+' ? -minutes : minutes;
        st.signSeen = true;
    } else if (n >= 70 || (st.prev == u'/' && st.month >= 0 && st.day >= 0 && st.year < 0)) {
        // 2. A year.
        if (st.year >= 0 || !(atEnd || next == u' ' || next == u',' || next == u'/'))
            return false;
        st.year = n < 100 ? 1900 + n : n;
    } else if (!atEnd && next == u':') {
        if (st.hours < 0)
            st.hours = n;
        else if (st.minutes < 0)
            st.minutes = n;
        else
            return false;
    } else if (!atEnd && next == u'/') {
        if (st.month < 0)
            st.month = n - 1;
        else if (st.day < 0)
            st.day = n;
        else
            return false;
    } else if (!separatorNext && next != u'-') {
        return false;
    } else if (st.signSeen && n < 60) {
        // 3. Minutes of a zone offset such as +5:30.
        *st.zone += (*st.zone < 0) ? -n : n;
    } else if (st.hours >= 0 && st.minutes < 0) {
        st.minutes = n;
    } else if (st.minutes >= 0 && st.seconds < 0) {
        st.seconds = n;
    } else if (st.day < 0) {
        st.day = n;
    } else {
        return false;
    }
    return true;
}

bool takeWord(ParseState& st, std::u16string_view run) {
    const Word* w = lookupWord(run);
    if (!w)
        return false;
    switch (w->action) {
    case WordAction::None:
        break;
    case WordAction::Am:
    case WordAction::Pm:
        if (st.hours < 0 || st.hours > 12)
            return false;
        if (w->action == WordAction::Am && st.hours == 12)
            st.hours = 0;
        else if (w->action == WordAction::Pm && st.hours != 12)
            st.hours += 12;
        break;
    case WordAction::Month:
        if (st.month >= 0)
            return false;
        st.month = w->value;
        break;
    case WordAction::Zone:
        st.zone = w->value;
        break;
    }
    return true;
}

} // namespace

std::optional<double> parseDate(std::u16string_view s, double localOffsetMs) {
    ParseState st;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        char16_t c = s[i];
        if (c <= u' ' || c == u',' || c >= 128) {
            ++i;
        } else if (c == u'(') {
            // A comment runs to its matching parenthesis.
            int depth = 1;
            for (++i; i < n && depth > 0; ++i) {
                if (s[i] == u'(')
                    ++depth;
                else if (s[i] == u')')
                    --depth;
            }
        } else if (c == u'+' || c == u'/' || c == u':') {
            st.prev = c;
            ++i;
        } else if (c == u'-') {
            if (i + 1 < n && isDigit(s[i + 1]))
                st.prev = c;
            ++i;
        } else if (isDigit(c)) {
            long long value = 0;
            for (; i < n && isDigit(s[i]); ++i)
                if (value < 1000000000LL)
                    value = value * 10 + (s[i] - u'0');
            if (!takeNumber(st, value, i < n ? s[i] : 0, i >= n))
                return std::nullopt;
            st.prev = 0;
        } else if (isLetter(c)) {
            size_t start = i;
            while (i < n && isLetter(s[i]))
                ++i;
            if (i - start < 2 || !takeWord(st, s.substr(start, i - start)))
                return std::nullopt;
            st.prev = 0;
        } else {
            return std::nullopt;
        }
    }
    if (st.year < 0 || st.month < 0 || st.day < 0)
        return std::nullopt;
    double t = makeDate(makeDay(double(st.year), double(st.month), double(st.day)),
                        makeTime(double(std::max(st.hours, 0LL)), double(std::max(st.minutes, 0LL)),
                                 double(std::max(st.seconds, 0LL)), 0));
    t += st.zone ? double(*st.zone) * kMsPerMinute : localOffsetMs;
    return isValidTime(t) ? t : 0;
}

// ---------------------------------------------------------------------------
// Text forms

namespace {

// Years <= 0 print as 1 - year followed by " B.C.".
int printedYear(double year, bool& bc) {
    bc = year <= 0;
    return int(bc ? 1 - year : year);
}

} // namespace

std::string formatLocal(double t, double localOffsetMs) {
    double local = t - localOffsetMs;
    DateFields f = splitTime(local);
    int east = int(-localOffsetMs / kMsPerMinute);
    int zone = east / 60 * 100 + east % 60;
    bool bc;
    int year = printedYear(f.year, bc);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d GMT%+04d %s%s%04d",
                  kWeekdays[size_t(weekDay(local))], kMonths[size_t(f.month)], int(f.date),
                  int(f.hours), int(f.minutes), int(f.seconds), zone, "", "", year);
    std::string out = buf;
    if (bc)
        out += " B.C.";
    return out;
}

std::string formatGmt(double t) {
    DateFields f = splitTime(t);
    bool bc;
    int year = printedYear(f.year, bc);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kWeekdays[size_t(weekDay(t))],
                  int(f.date), kMonths[size_t(f.month)], year, int(f.hours), int(f.minutes),
                  int(f.seconds));
    std::string out = buf;
    if (bc)
        out += " B.C.";
    return out;
}

} // namespace quill::datemath
