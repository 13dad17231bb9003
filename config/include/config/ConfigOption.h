// Typed options of the configuration store.  Every option keeps its value as
// text together with the name of its type.
#pragma once

#include <cstdint>
#include <string>

// The four option-type texts (constants, usable during static initialisation).
inline constexpr wchar_t ConfigTypeString[] = L"string";
inline constexpr wchar_t ConfigTypeInteger[] = L"integer";
inline constexpr wchar_t ConfigTypeBoolean[] = L"boolean";
inline constexpr wchar_t ConfigTypeDouble[] = L"double";

class TConfigOption {
public:
    TConfigOption(const std::wstring& NewName, const std::wstring& NewValue);  // "string"
    TConfigOption(const std::wstring& NewName, const wchar_t* NewValue);       // "string"
    TConfigOption(const std::wstring& NewName, std::int32_t NewValue);         // "integer"
    TConfigOption(const std::wstring& NewName, bool NewValue);                 // "boolean"
    TConfigOption(const std::wstring& NewName, double NewValue);               // "double"

    const std::wstring& Name() const noexcept { return FName; }
    void SetName(const std::wstring& name) { FName = name; }
    const std::wstring& Value() const noexcept { return FValue; }
    // Change-tracking setter: Changed turns true when the text differs.
    void SetValue(const std::wstring& NewValue);
    const std::wstring& OptionType() const noexcept { return FOptionType; }
    void SetOptionType(const std::wstring& type) { FOptionType = type; }
    bool Changed() const noexcept { return FChanged; }

    void SetStringValue(const std::wstring& NewValue);  // type kept, Changed set
    void SetIntegerValue(std::int32_t NewValue);        // type "integer"
    void SetBooleanValue(bool NewValue);                // type "boolean"
    void SetDoubleValue(double NewValue);               // type "double"

    std::wstring GetStringValue() const { return FValue; }
    std::int32_t GetIntegerValue() const;  // -1 when not a valid integer
    bool GetBooleanValue() const;          // number not 0, or "True"/"False"; else false
    double GetDoubleValue() const;         // point or comma as separator; 0 when neither reads

    void Saved() noexcept { FChanged = false; }

    // Value texts as the typed setters write them.
    static std::wstring IntegerText(std::int32_t v);
    static std::wstring BooleanText(bool v);
    static std::wstring DoubleText(double v);  // process decimal separator

private:
    std::wstring FName;
    std::wstring FValue;
    std::wstring FOptionType;
    bool FChanged = false;
};
