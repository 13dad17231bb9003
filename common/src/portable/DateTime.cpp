#include "common/DateTime.h"

#include <cmath>

namespace {
// Days from 0001-01-01 (day 1) using the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpochOffset = 25569;  // 1970-01-01 as a TDateTime day number

// The value rounded to a 64-bit double.  On 32-bit x86 the x87 unit computes
// in 80-bit registers and a value returned in one keeps its extra bits, so a
// file's time freshly encoded could compare later than the same time stored
// by the caller.  A store to memory rounds it, once, to what every copy holds.
double Stored(double v) noexcept {
    volatile double stored = v;
    return stored;
}
}  // namespace

TDateTime EncodeDateTime(const TDateTimeParts& p) noexcept {
    int64_t days = DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day)) + kEpochOffset;
    double frac = (((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond) / 86400000.0;
    // Before the epoch the integral part is negative and the time still adds
    // its fraction in absolute terms (the conventional representation).
    return Stored(days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac);
}

TDateTimeParts DecodeDateTime(TDateTime dt) noexcept {
    TDateTimeParts p;
    if (!std::isfinite(dt)) return p;
    double whole = std::trunc(dt);
    double frac = std::fabs(dt - whole);
    int64_t ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
    int64_t days = static_cast<int64_t>(whole);
    if (ms >= 86400000) { ms -= 86400000; days += dt >= 0 ? 1 : -1; }
    CivilFromDays(days - kEpochOffset, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}
