// The configuration manager: option groups, "ecg.ini" through the wide
// private-profile functions, the settings folder and the feature switches.
#include "config/ConfigManager.h"

#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/Handles.h"
#include "common/Win32Error.h"
#include "config/ConfigText.h"
#include "logging/QorLogger.h"

#include <algorithm>
#include <vector>

namespace {

using TGroupMap = std::unordered_map<std::wstring, std::unique_ptr<TConfigOptionGroup>>;

// Process-wide state of the module: it outlives any one instance.
TConfigManager* Instance = nullptr;
std::unique_ptr<TStringList> ConfigOptionGroupNames;
std::unique_ptr<TGroupMap> ConfigOptionGroups;
std::wstring CachedSettingsDir;
bool FSystemSettings = false;
std::wstring CachedDBDir;
std::uint8_t FLastConnectedDB = 0;

const TStringList EmptyList;

// A value read from the file is cut to its first 2,047 characters.
constexpr DWORD kValueBuffer = 2048;

std::wstring WithBackslash(std::wstring dir) {
    if (!dir.empty() && dir.back() != L'\\') dir.push_back(L'\\');
    return dir;
}

// A double-NUL-terminated list from the private-profile functions.
template <class Fetch>
std::vector<std::wstring> ReadNameList(Fetch fetch) {
    std::vector<wchar_t> buf(4096);
    for (;;) {
        const DWORD n = fetch(buf.data(), static_cast<DWORD>(buf.size()));
        if (n + 2 < buf.size() || buf.size() >= (64u << 20)) {
            std::vector<std::wstring> names;
            const wchar_t* p = buf.data();
            const wchar_t* end = buf.data() + std::min<size_t>(n, buf.size());
            while (p < end && *p) {
                const std::wstring name(p);
                names.push_back(name);
                p += name.size() + 1;
            }
            return names;
        }
        buf.assign(buf.size() * 2, L'\0');
    }
}

}  // namespace

std::wstring TConfigManager::LastModeText;
std::int32_t TConfigManager::LastProgramVersion = -1;
std::unique_ptr<TZD6Dictionary> TConfigManager::CardiomoduleInfo;
std::unique_ptr<std::vector<std::wstring>> TConfigManager::CardiomoduleSerials;

TConfigManager* TConfigManager::Create() {
    if (!Instance) {
        Instance = new TConfigManager();
        ConfigOptionGroupNames.reset();
        ConfigOptionGroups.reset();
        CardiomoduleInfo.reset();
        CardiomoduleSerials.reset();
        LastProgramVersion = -1;
    }
    return Instance;
}

TConfigManager::~TConfigManager() {
    Clear();
    ConfigOptionGroupNames.reset();
    ConfigOptionGroups.reset();
    CardiomoduleInfo.reset();
    CardiomoduleSerials.reset();
    if (Instance == this) Instance = nullptr;
}

bool TConfigManager::Exists() noexcept { return Instance != nullptr; }

void TConfigManager::Release() { delete Instance; }  // the destructor forgets the instance

void TConfigManager::Clear() {
    if (!ConfigOptionGroupNames) return;
    if (ConfigOptionGroups) {
        for (const std::wstring& name : *ConfigOptionGroupNames) ConfigOptionGroups->erase(name);
        ConfigOptionGroups->clear();
    }
    ConfigOptionGroupNames->Clear();
    if (CardiomoduleInfo) CardiomoduleInfo->clear();
    if (CardiomoduleSerials) CardiomoduleSerials->clear();
}

// --- groups ------------------------------------------------------------------

bool TConfigManager::CheckGroupExists(const std::wstring& name) const {
    return ConfigOptionGroupNames && ConfigOptionGroupNames->IndexOf(FoldConfigName(name)) >= 0;
}

void TConfigManager::AddGroup(const std::wstring& name) {
    // Before the first Reload the containers are made on demand.
    if (!ConfigOptionGroupNames) ConfigOptionGroupNames = std::make_unique<TStringList>();
    if (!ConfigOptionGroups) ConfigOptionGroups = std::make_unique<TGroupMap>();
    const std::wstring key = FoldConfigName(name);
    if (ConfigOptionGroupNames->IndexOf(key) >= 0) return;
    (*ConfigOptionGroups)[key] = std::make_unique<TConfigOptionGroup>(name);
    ConfigOptionGroupNames->Add(key);
}

TConfigOptionGroup* TConfigManager::GetGroupByName(const std::wstring& name) const {
    if (!ConfigOptionGroups) return nullptr;
    const auto it = ConfigOptionGroups->find(FoldConfigName(name));
    return it == ConfigOptionGroups->end() ? nullptr : it->second.get();
}

TConfigOptionGroup& TConfigManager::EnsureGroup(const std::wstring& name) {
    AddGroup(name);
    return *GetGroupByName(name);
}

const TStringList& TConfigManager::GetOptionGroupNames() const {
    return ConfigOptionGroupNames ? *ConfigOptionGroupNames : EmptyList;
}

// --- options -----------------------------------------------------------------

void TConfigManager::SetOptionValue(const std::wstring& g, const std::wstring& o, const std::wstring& v) {
    EnsureGroup(g).AddOption(o, v);
}
void TConfigManager::SetOptionValue(const std::wstring& g, const std::wstring& o, const wchar_t* v) {
    EnsureGroup(g).AddOption(o, v);
}
void TConfigManager::SetOptionValue(const std::wstring& g, const std::wstring& o, std::int32_t v) {
    EnsureGroup(g).AddOption(o, v);
}
void TConfigManager::SetOptionValue(const std::wstring& g, const std::wstring& o, bool v) {
    EnsureGroup(g).AddOption(o, v);
}
void TConfigManager::SetOptionValue(const std::wstring& g, const std::wstring& o, double v) {
    EnsureGroup(g).AddOption(o, v);
}

std::wstring TConfigManager::GetOptionValue(const std::wstring& g, const std::wstring& o, const std::wstring& def) {
    TConfigOptionGroup& group = EnsureGroup(g);
    if (!group.CheckOptionExists(o)) group.AddOption(o, def);
    return group.GetOptionByName(o)->Value();
}
std::wstring TConfigManager::GetOptionValue(const std::wstring& g, const std::wstring& o, const wchar_t* def) {
    return GetOptionValue(g, o, std::wstring(def ? def : L""));
}
std::int32_t TConfigManager::GetOptionValue(const std::wstring& g, const std::wstring& o, std::int32_t def) {
    TConfigOptionGroup& group = EnsureGroup(g);
    if (!group.CheckOptionExists(o)) group.AddOption(o, def);
    return group.GetOptionByName(o)->GetIntegerValue();
}
bool TConfigManager::GetOptionValue(const std::wstring& g, const std::wstring& o, bool def) {
    TConfigOptionGroup& group = EnsureGroup(g);
    if (!group.CheckOptionExists(o)) group.AddOption(o, def);
    return group.GetOptionByName(o)->GetBooleanValue();
}
double TConfigManager::GetOptionValue(const std::wstring& g, const std::wstring& o, double def) {
    TConfigOptionGroup& group = EnsureGroup(g);
    if (!group.CheckOptionExists(o)) group.AddOption(o, def);
    return group.GetOptionByName(o)->GetDoubleValue();
}

std::wstring TConfigManager::GetOptionValue(const std::wstring& OptionName, const std::wstring& def) {
    std::wstring result;
    if (ConfigOptionGroupNames && ConfigOptionGroups) {
        for (const std::wstring& name : *ConfigOptionGroupNames) {
            TConfigOptionGroup* group = GetGroupByName(name);
            if (!group) continue;
            if (TConfigOption* o = group->GetOptionByName(OptionName)) result = o->Value();
        }
    }
    return result.empty() ? def : result;
}

bool TConfigManager::OptionNameExists(const std::wstring&, const std::wstring& OptionName) const {
    if (!ConfigOptionGroupNames || !ConfigOptionGroups) return false;
    for (const std::wstring& name : *ConfigOptionGroupNames) {
        TConfigOptionGroup* group = GetGroupByName(name);
        if (group && group->CheckOptionExists(OptionName)) return true;
    }
    return false;
}

// --- folders and process-wide values -----------------------------------------

std::wstring TConfigManager::SettingsDir() {
    if (CachedSettingsDir.empty()) {
        FSystemSettings = true;
        CachedSettingsDir = WithBackslash(TFileSystemHelper::GetWindowsFolder());
        if (!TFileSystemHelper::CheckFileFolderExists(CachedSettingsDir + L"ecg.ini")) {
            const std::wstring program = ExeFolder();
            CachedSettingsDir = program + L"Settings\\";
            const std::wstring older = program + L"DTAFB\\ecg.ini";
            if (!TFileSystemHelper::CheckFileFolderExists(CachedSettingsDir + L"ecg.ini") &&
                TFileSystemHelper::CheckFileFolderExists(older)) {
                try {
                    if (TFileSystemHelper::FileCopy(older, CachedSettingsDir + L"ecg.ini"))
                        ::DeleteFileW(older.c_str());
                } catch (...) {
                    // Nothing is decided yet: the next read tries again, and
                    // Save is not silenced by a half-made decision.
                    CachedSettingsDir.clear();
                    FSystemSettings = false;
                    throw;
                }
            }
            FSystemSettings = false;
        }
    }
    const std::wstring dir = CachedSettingsDir;
    TQorLogger::Create()->LogString(COMMON, FINELOG, L"Файл конфигурации в папке: " + dir);
    return dir;
}

bool TConfigManager::SystemSettings() const { return FSystemSettings; }

std::wstring TConfigManager::DBDir() {
    if (CachedDBDir.empty()) CachedDBDir = ExeFolder() + L"DTAFB\\";
    return CachedDBDir;
}

std::uint8_t TConfigManager::getLastConnectedDB() const { return FLastConnectedDB; }

void TConfigManager::setLastConnectedDB(std::uint32_t dbType) {
    FLastConnectedDB = static_cast<std::uint8_t>(dbType & 0xFF);
}

std::wstring TConfigManager::SettingsFile() { return SettingsDir() + L"ecg.ini"; }

// --- persistence -------------------------------------------------------------

void TConfigManager::Reload() {
    if (!ConfigOptionGroupNames) ConfigOptionGroupNames = std::make_unique<TStringList>();
    if (!ConfigOptionGroups) ConfigOptionGroups = std::make_unique<TGroupMap>();
    if (!CardiomoduleSerials) CardiomoduleSerials = std::make_unique<std::vector<std::wstring>>();
    if (!CardiomoduleInfo) CardiomoduleInfo = std::make_unique<TZD6Dictionary>();
    Clear();
    const std::wstring file = SettingsFile();
    const std::vector<std::wstring> sections = ReadNameList([&](wchar_t* buf, DWORD size) {
        return ::GetPrivateProfileSectionNamesW(buf, size, file.c_str());
    });
    std::vector<wchar_t> value(kValueBuffer);
    for (const std::wstring& section : sections) {
        AddGroup(section);
        TConfigOptionGroup* group = GetGroupByName(section);
        const std::vector<std::wstring> keys = ReadNameList([&](wchar_t* buf, DWORD size) {
            return ::GetPrivateProfileStringW(section.c_str(), nullptr, L"", buf, size, file.c_str());
        });
        for (const std::wstring& key : keys) {
            value[0] = L'\0';
            const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value.data(),
                                                       kValueBuffer, file.c_str());
            group->AddOption(key, std::wstring(value.data(), std::min<DWORD>(n, kValueBuffer - 1)));
        }
    }
}

namespace {

bool SavedText(const TConfigOption& o, std::wstring& text) {
    const std::wstring& type = o.OptionType();
    if (type == ConfigTypeString) {
        text = o.Value();
    } else if (type == ConfigTypeInteger) {
        text = std::to_wstring(o.GetIntegerValue());
    } else if (type == ConfigTypeBoolean) {
        text = o.GetBooleanValue() ? L"1" : L"0";
    } else if (type == ConfigTypeDouble) {
        text = FormatConfigDouble(o.GetDoubleValue(), ProcessDecimalSeparator());
    } else {
        return false;
    }
    return true;
}

}  // namespace

void TConfigManager::Save() {
    if (FSystemSettings) return;
    const std::wstring file = SettingsFile();
    if (FSystemSettings) return;  // decided by the read above
    if (!ConfigOptionGroupNames || !ConfigOptionGroups) return;
    std::wstring text;
    for (const std::wstring& groupName : *ConfigOptionGroupNames) {
        TConfigOptionGroup* group = GetGroupByName(groupName);
        if (!group) continue;
        for (const std::wstring& optionName : group->GetOptionNames()) {
            TConfigOption* o = group->GetOptionByName(optionName);
            if (!o || !SavedText(*o, text)) continue;
            if (!::WritePrivateProfileStringW(groupName.c_str(), optionName.c_str(), text.c_str(), file.c_str()))
                throw EFrameworkError(L"Unable to write to " + file);
        }
    }
}

// --- feature switches --------------------------------------------------------

bool TConfigManager::GetKeyByIndex(std::int32_t Index, Nas Na) {
    static const wchar_t* const kOptions = L"Options";
    switch (Index) {
    case 0: return Na.pr26 != 0;
    case 1: return GetOptionValue(kOptions, L"MSK_ARTERIALPRESSURE", false);
    case 2: return GetOptionValue(kOptions, L"MSK_MEDICAMENTS", false);
    case 3: return GetOptionValue(kOptions, L"MSK_ADDRESS", false);
    case 4: return GetOptionValue(kOptions, L"MSK_POLICY_NUM", false);
    case 5: return GetOptionValue(kOptions, L"MSK_USE_AREA_LIST", false);
    case 6: return GetOptionValue(kOptions, L"MSK_USE_DOCTORS_LIST", false);
    case 7: return Na.pr36 != 0;
    case 8: return GetOptionValue(kOptions, L"MSK_FOR_NEB_USE_C1_C2_C3", false);
    case 9: return GetOptionValue(kOptions, L"MSK_PRINT_ECG_50_MM_SEK", false);
    case 10: return GetOptionValue(kOptions, L"CONNECTION", std::int32_t{0}) != 0;
    case 11: return GetOptionValue(kOptions, L"PacientSelect", std::int32_t{1}) != 0;
    case 12: return GetOptionValue(kOptions, L"ViewArchive", std::int32_t{0}) != 0;
    case 13: return GetOptionValue(kOptions, L"ViewServer", std::int32_t{0}) != 0;
    case 14: return GetOptionValue(kOptions, L"SetConnect", false);
    case 15: return GetOptionValue(kOptions, L"NotShowNorma", true);
    case 16: return GetOptionValue(kOptions, L"WorkPlace", true);
    case 17: return GetOptionValue(kOptions, L"IsoStabilisation", false);
    case 18: return GetOptionValue(kOptions, L"Card", false);
    case 19: return GetOptionValue(kOptions, L"SendECGToServer", true);
    case 20: return GetOptionValue(kOptions, L"SerialAnalis", false);
    default: return false;
    }
}

bool TConfigManager::SetupKey(std::int32_t KeyIndex, Nas Na) { return GetKeyByIndex(KeyIndex, Na); }
