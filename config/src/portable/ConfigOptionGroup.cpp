#include "config/ConfigOptionGroup.h"

#include "config/ConfigText.h"

TConfigOptionGroup::TConfigOptionGroup(const std::wstring& NewName) : FName(NewName) {}

TConfigOptionGroup::~TConfigOptionGroup() { Clear(); }

bool TConfigOptionGroup::CheckOptionExists(const std::wstring& OptionName) const {
    return ConfigOptionNames.IndexOf(FoldConfigName(OptionName)) >= 0;
}

bool TConfigOptionGroup::AddOption(std::unique_ptr<TConfigOption>& NewOption) {
    if (!NewOption) return false;
    const std::wstring key = FoldConfigName(NewOption->Name());
    if (ConfigOptionNames.IndexOf(key) >= 0) return false;
    ConfigOptionNames.Add(key);
    ConfigOptions[key] = std::move(NewOption);
    return true;
}

void TConfigOptionGroup::AddOption(const std::wstring& OptionName, const std::wstring& OptionValue) {
    if (TConfigOption* o = GetOptionByName(OptionName)) {
        o->SetValue(OptionValue);
        return;
    }
    auto o = std::make_unique<TConfigOption>(OptionName, OptionValue);
    AddOption(o);
}

void TConfigOptionGroup::AddOption(const std::wstring& OptionName, const wchar_t* OptionValue) {
    AddOption(OptionName, std::wstring(OptionValue ? OptionValue : L""));
}

void TConfigOptionGroup::AddOption(const std::wstring& OptionName, std::int32_t OptionValue) {
    if (TConfigOption* o = GetOptionByName(OptionName)) {
        o->SetIntegerValue(OptionValue);
        return;
    }
    auto o = std::make_unique<TConfigOption>(OptionName, OptionValue);
    AddOption(o);
}

void TConfigOptionGroup::AddOption(const std::wstring& OptionName, bool OptionValue) {
    if (TConfigOption* o = GetOptionByName(OptionName)) {
        o->SetBooleanValue(OptionValue);
        return;
    }
    auto o = std::make_unique<TConfigOption>(OptionName, OptionValue);
    AddOption(o);
}

void TConfigOptionGroup::AddOption(const std::wstring& OptionName, double OptionValue) {
    if (TConfigOption* o = GetOptionByName(OptionName)) {
        o->SetDoubleValue(OptionValue);
        return;
    }
    auto o = std::make_unique<TConfigOption>(OptionName, OptionValue);
    AddOption(o);
}

void TConfigOptionGroup::RemoveOption(const std::wstring& OpName) {
    const std::wstring key = FoldConfigName(OpName);
    const int at = ConfigOptionNames.IndexOf(key);
    if (at < 0) return;
    ConfigOptions.erase(key);
    ConfigOptionNames.Items().erase(ConfigOptionNames.Items().begin() + at);
}

TConfigOption* TConfigOptionGroup::GetOptionByName(const std::wstring& OptionName) const {
    const auto it = ConfigOptions.find(FoldConfigName(OptionName));
    return it == ConfigOptions.end() ? nullptr : it->second.get();
}

bool TConfigOptionGroup::CheckChanged() {
    FChanged = false;
    for (const std::wstring& key : ConfigOptionNames) {
        const auto it = ConfigOptions.find(key);
        if (it != ConfigOptions.end() && it->second->Changed()) FChanged = true;
    }
    return FChanged;
}

void TConfigOptionGroup::Saved() {
    for (const std::wstring& key : ConfigOptionNames) {
        const auto it = ConfigOptions.find(key);
        if (it != ConfigOptions.end() && it->second->Changed()) it->second->Saved();
    }
    FChanged = false;
}

void TConfigOptionGroup::Clear() {
    ConfigOptions.clear();
    ConfigOptionNames.Clear();
}
