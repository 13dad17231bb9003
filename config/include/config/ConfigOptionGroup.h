// Option groups of the configuration store: a named set of options, one
// section of the settings file.
#pragma once

#include "common/StringList.h"
#include "config/ConfigOption.h"

#include <memory>
#include <string>
#include <unordered_map>

class TConfigOptionGroup {
public:
    explicit TConfigOptionGroup(const std::wstring& NewName);
    ~TConfigOptionGroup();
    TConfigOptionGroup(const TConfigOptionGroup&) = delete;
    TConfigOptionGroup& operator=(const TConfigOptionGroup&) = delete;

    const std::wstring& Name() const noexcept { return FName; }
    void SetName(const std::wstring& name) { FName = name; }
    // Runs CheckChanged.
    bool Changed() { return CheckChanged(); }

    bool CheckOptionExists(const std::wstring& OptionName) const;
    // Takes the option when no option of its folded name exists (NewOption is
    // then empty and true is returned); otherwise leaves it with the caller.
    bool AddOption(std::unique_ptr<TConfigOption>& NewOption);
    // New option of the value's type, or update of the existing one: the
    // string forms keep its type, the others set theirs.
    void AddOption(const std::wstring& OptionName, const std::wstring& OptionValue);
    void AddOption(const std::wstring& OptionName, const wchar_t* OptionValue);
    void AddOption(const std::wstring& OptionName, std::int32_t OptionValue);
    void AddOption(const std::wstring& OptionName, bool OptionValue);
    void AddOption(const std::wstring& OptionName, double OptionValue);
    void RemoveOption(const std::wstring& OpName);
    TConfigOption* GetOptionByName(const std::wstring& OptionName) const;
    // The group's own list of folded names in insertion order (not a copy).
    const TStringList& GetOptionNames() const noexcept { return ConfigOptionNames; }
    bool CheckChanged();
    void Saved();
    void Clear();

private:
    std::wstring FName;
    TStringList ConfigOptionNames;
    std::unordered_map<std::wstring, std::unique_ptr<TConfigOption>> ConfigOptions;
    bool FChanged = false;
};
