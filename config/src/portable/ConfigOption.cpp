#include "config/ConfigOption.h"

#include "config/ConfigText.h"

std::wstring TConfigOption::IntegerText(std::int32_t v) { return std::to_wstring(v); }
std::wstring TConfigOption::BooleanText(bool v) { return v ? L"True" : L"False"; }
std::wstring TConfigOption::DoubleText(double v) { return FormatConfigDouble(v, ProcessDecimalSeparator()); }

TConfigOption::TConfigOption(const std::wstring& NewName, const std::wstring& NewValue)
    : FName(NewName), FValue(NewValue), FOptionType(ConfigTypeString) {}

TConfigOption::TConfigOption(const std::wstring& NewName, const wchar_t* NewValue)
    : TConfigOption(NewName, std::wstring(NewValue ? NewValue : L"")) {}

TConfigOption::TConfigOption(const std::wstring& NewName, std::int32_t NewValue)
    : FName(NewName), FValue(IntegerText(NewValue)), FOptionType(ConfigTypeInteger) {}

TConfigOption::TConfigOption(const std::wstring& NewName, bool NewValue)
    : FName(NewName), FValue(BooleanText(NewValue)), FOptionType(ConfigTypeBoolean) {}

TConfigOption::TConfigOption(const std::wstring& NewName, double NewValue)
    : FName(NewName), FValue(DoubleText(NewValue)), FOptionType(ConfigTypeDouble) {}

void TConfigOption::SetValue(const std::wstring& NewValue) {
    if (!FChanged && NewValue != FValue) FChanged = true;
    FValue = NewValue;
}

void TConfigOption::SetStringValue(const std::wstring& NewValue) {
    SetValue(NewValue);
    FChanged = true;
}

void TConfigOption::SetIntegerValue(std::int32_t NewValue) {
    SetValue(IntegerText(NewValue));
    FOptionType = ConfigTypeInteger;
}

void TConfigOption::SetBooleanValue(bool NewValue) {
    SetValue(BooleanText(NewValue));
    FOptionType = ConfigTypeBoolean;
}

void TConfigOption::SetDoubleValue(double NewValue) {
    SetValue(DoubleText(NewValue));
    FOptionType = ConfigTypeDouble;
}

std::int32_t TConfigOption::GetIntegerValue() const {
    std::int32_t v = -1;
    return TryReadConfigInt(FValue, v) ? v : -1;
}

namespace {

bool SameIgnoringCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
        if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

}  // namespace

bool TConfigOption::GetBooleanValue() const {
    double number = 0;
    if (TryReadConfigDouble(FValue, ProcessDecimalSeparator(), number)) return number != 0;
    if (SameIgnoringCase(FValue, L"True")) return true;
    return false;
}

double TConfigOption::GetDoubleValue() const {
    // Point first, then comma; the separator is a parameter of the reader, so
    // the process's number format is never touched.
    double v = 0;
    if (TryReadConfigDouble(FValue, L'.', v)) return v;
    if (TryReadConfigDouble(FValue, L',', v)) return v;
    return 0;
}
