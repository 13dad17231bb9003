// Date-time values: days since 30 December 1899, the fraction being the time
// of day, in local time.
#pragma once

#include <cstdint>

using TDateTime = double;

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Calendar parts -> TDateTime (proleptic Gregorian, times before 1899 negative
// in the usual way: the integral part counts days, the fraction is always the
// time of day).
TDateTime EncodeDateTime(const TDateTimeParts& p) noexcept;
TDateTimeParts DecodeDateTime(TDateTime dt) noexcept;
