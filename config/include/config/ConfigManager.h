// The process-wide configuration store: option groups loaded from and saved
// to "ecg.ini", the folder of that file, the feature switches, and the
// cardiomodule queries with their process-wide state.
#pragma once

#include "common/StringList.h"
#include "config/ConfigOptionGroup.h"
#include "device/UZD6ConfObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Record handed to GetKeyByIndex and SetupKey: 410 bytes, packed, fields in
// this order.  Only pr26 and pr36 are read here.
#pragma pack(push, 1)
struct Nas {
    std::uint8_t Namkard[12];
    std::uint8_t Namreo[12];
    std::int16_t strok0;
    std::int16_t Dis;
    std::uint8_t Ot0[24];
    std::int16_t Sek;
    std::uint8_t koef0[36];
    std::uint8_t koef[48];
    std::uint8_t Fre[6];
    std::int32_t Fre2;
    std::int32_t fre20;
    std::int16_t strin;
    std::int16_t Kod2[30];
    std::uint8_t Ramd[8];
    std::int16_t Prin, Poz, X100, Y100, Pr1;
    std::int16_t pr2, pr3, pr4, pr5, pr6, pr7, pr8, pr9, pr10, pr11;
    std::int16_t pr12, pr13, pr14, pr15, pr16, pr17, pr18, pr19, pr20, pr21;
    std::int16_t Maxpage, pr23, pr24, pr25, pr26, Pr27;
    std::int16_t pr28, pr29, pr30, pr31, pr32, Pr33;
    std::int16_t pr34, pr35, pr36, pr37, pr38, pr39, MaxPageSize;
    std::int16_t Pr40, Pr41, Pr42, Pr43, Pr44, Pr45, Pr46, Pr47, Pr48, Pr49, Pr50;
    std::int16_t Isa, Pr52, Pr53, Pr54, Ncab, CPU_fr, CPU, OZU, WINT;
    std::uint8_t Path_serv[24];
    std::uint8_t Name_Prin[24];
    std::uint8_t fr_r1[6];
    std::uint8_t fr_r2[6];
};
#pragma pack(pop)
static_assert(sizeof(Nas) == 410, "Nas is a 410-byte record");
static_assert(offsetof(Nas, pr26) == 280, "pr26 lies at byte 280 of Nas");
static_assert(offsetof(Nas, pr36) == 300, "pr36 lies at byte 300 of Nas");

class TConfigManager {
public:
    // The process-wide instance, created on the first call.
    static TConfigManager* Create();
    // Clear, release the containers and the cardiomodule records, forget the
    // instance.  Neither saves nor resets the cached folders and flags.
    ~TConfigManager();
    // Whether the process-wide instance exists now; asking never creates it.
    static bool Exists() noexcept;
    // Destroys the process-wide instance when it exists (nothing is saved);
    // nothing happens otherwise.
    static void Release();
    TConfigManager(const TConfigManager&) = delete;
    TConfigManager& operator=(const TConfigManager&) = delete;

    void Clear();
    void Reload();
    void Save();

    void SetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, const std::wstring& Value);
    void SetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, const wchar_t* Value);
    void SetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, std::int32_t Value);
    void SetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, bool Value);
    void SetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, double Value);

    // A missing option is entered with its default (and saved by a later Save).
    std::wstring GetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName,
                                const std::wstring& OptionDefaultValue);
    std::wstring GetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName,
                                const wchar_t* OptionDefaultValue);
    std::int32_t GetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName,
                                std::int32_t OptionDefaultValue);
    bool GetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, bool OptionDefaultValue);
    double GetOptionValue(const std::wstring& GroupName, const std::wstring& OptionName, double OptionDefaultValue);
    // Any group (the last one holding it wins); the default when the result is
    // empty.  Adds nothing.
    std::wstring GetOptionValue(const std::wstring& OptionName, const std::wstring& OptionDefaultValue);

    // The store's own list of folded group names (not a copy).
    const TStringList& GetOptionGroupNames() const;
    // Whether any group holds the option; OptionGroupName is not consulted.
    bool OptionNameExists(const std::wstring& OptionGroupName, const std::wstring& OptionName) const;

    // Folder of "ecg.ini" with a trailing backslash, decided once per process;
    // every read writes a line to the common log.
    std::wstring SettingsDir();
    bool SystemSettings() const;
    std::wstring DBDir();
    std::uint8_t getLastConnectedDB() const;
    void setLastConnectedDB(std::uint32_t dbType);  // keeps the low 8 bits

    bool GetKeyByIndex(std::int32_t Index, Nas Na);
    bool SetupKey(std::int32_t KeyIndex, Nas Na);

    // ---------------------------------------------------------------------
    // Cardiomodule queries.  They are implemented in the device library
    // (device/src/win/ConfigManagerDevice.cpp): link ecg_device to use them.
    // They share the process-wide state below, which this class's lifecycle
    // creates, empties and releases.
    // ---------------------------------------------------------------------
    std::vector<std::wstring> GetFTSerialNumber();  // a new list, the caller's
    std::int32_t GetCMCount();
    std::wstring GetFTMode(std::int32_t devID, bool recheck);
    std::int32_t GetFTProgram(std::int32_t devID, bool recheck);
    void InitSTM(void* stmPortHandle);  // handle of an opened port; raises on failure
    std::wstring GetSTMMode(std::int32_t devID, bool recheck);
    std::int32_t GetSTMProgram(std::int32_t devID, bool recheck);
    std::wstring GetMode(std::int32_t devID, bool recheck);
    std::int32_t GetProgram(std::int32_t devID, bool recheck);
    void ReadZD6();
    void ResetZD6Data();

    // Cardiomodule state of the module (shared by both transports).
    static std::wstring LastModeText;
    static std::int32_t LastProgramVersion;  // -1: no version known
    // Absent (null) until Reload or ReadZD6 creates them.
    static std::unique_ptr<TZD6Dictionary> CardiomoduleInfo;               // keyed by FSerial
    static std::unique_ptr<std::vector<std::wstring>> CardiomoduleSerials;  // devID order

private:
    TConfigManager() = default;

    bool CheckGroupExists(const std::wstring& name) const;
    void AddGroup(const std::wstring& name);
    TConfigOptionGroup* GetGroupByName(const std::wstring& name) const;
    TConfigOptionGroup& EnsureGroup(const std::wstring& name);
    std::wstring SettingsFile();
};
