// Name folding and the number texts of the configuration store (no platform
// calls).  The decimal separator is always passed in: nothing here reads or
// changes a process-wide setting.
#pragma once

#include <cstdint>
#include <string>

// Latin a-z to A-Z; every other character (Cyrillic included) unchanged.
std::wstring FoldConfigName(const std::wstring& name);

// Signed 32-bit decimal: optional leading blanks, optional sign, digits.
bool TryReadConfigInt(const std::wstring& text, std::int32_t& value);

// Floating-point text with the given decimal separator: optional blanks,
// optional sign, digits with at most one separator (at least one digit),
// optional exponent "E"/"e" with optional sign and digits, optional blanks.
bool TryReadConfigDouble(const std::wstring& text, wchar_t decimalSeparator, double& value);

// General format: at most 15 significant digits, trailing zeros removed, the
// given separator; fixed notation when the magnitude is at least 0.00001 and
// has at most 15 digits before the separator, otherwise mantissa, "E" and the
// exponent without leading zeros, signed only when negative.
std::wstring FormatConfigDouble(double value, wchar_t decimalSeparator);

// Decimal separator of the process's number format (the user's locale on
// Windows).  Defined by the platform part of the library.
wchar_t ProcessDecimalSeparator();
