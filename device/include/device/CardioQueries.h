// Cardiomodule queries over the USB converter and over a serial port.  The
// logic is platform-free: the configuration store, the logger, sleeping and
// the serial port are reached through ICardioHost, the converter through
// TD2XXUnit.  TConfigManager's cardiomodule methods forward here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/D2XXUnit.h"
#include "device/UCommWrapper.h"

class ISerialPort {
public:
    virtual ~ISerialPort() = default;
    // Time-outs in ms: read interval, read multiplier, read constant, write multiplier, write constant.
    virtual bool SetTimeouts(std::uint32_t ri, std::uint32_t rm, std::uint32_t rc, std::uint32_t wm, std::uint32_t wc) = 0;
    // Reads the current settings (result ignored by callers), then writes
    // them back with the given baud rate, 8 data bits, no parity, one stop bit.
    virtual void ReadState() = 0;
    virtual bool WriteState(std::uint32_t baud) = 0;
    virtual void PurgeTransmit() = 0;
    virtual void Write(const TBytes& bytes) = 0;
    // Reads up to count bytes into buffer[0..]; returns the number received.
    virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) = 0;
};

enum class TCardioLog { Common, HwLog };

class ICardioHost {
public:
    virtual ~ICardioHost() = default;
    virtual int OptionInt(const std::wstring& group, const std::wstring& key, int def) = 0;
    virtual bool OptionBool(const std::wstring& group, const std::wstring& key, bool def) = 0;
    virtual void LogError(TCardioLog type, const std::wstring& line) = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
    // Opens "\\.\COMn" exclusively; throws EFrameworkError("cannot open comm port <name>: ").
    virtual std::unique_ptr<ISerialPort> OpenPort(const std::wstring& name) = 0;
    // 8-bit text of the converter driver (system ANSI code page) as UTF-16.
    // This default maps each byte to the same code point (right for ASCII);
    // the Windows hosts convert through the ANSI code page.
    virtual std::wstring FromAnsi(const std::string& text);
};

// The two process-wide caches shared by both transports.
struct TCardioCaches {
    std::wstring& LastModeText;
    std::int32_t& LastProgramVersion;
};

// Attempts of the serial synchronisation before the program query gives up
// (each costs at most two 2-second read time-outs when the device is silent).
constexpr int kSTMSyncAttempts = 3;

class TCardioQueries {
public:
    TCardioQueries(ICardioHost& host, TD2XXUnit& unit, TCardioCaches caches)
        : FHost(host), FUnit(unit), FCaches(caches) {}

    std::vector<std::wstring> GetFTSerialNumber();
    std::int32_t GetCMCount();
    std::wstring GetFTMode(std::int32_t devID, bool recheck);
    std::int32_t GetFTProgram(std::int32_t devID, bool recheck);

    static void InitSTM(ICardioHost& host, ISerialPort& port);
    std::wstring GetSTMMode(std::int32_t devID, bool recheck);
    std::int32_t GetSTMProgram(std::int32_t devID, bool recheck);

    std::wstring GetMode(std::int32_t devID, bool recheck);
    std::int32_t GetProgram(std::int32_t devID, bool recheck);

    static bool IsCardiomoduleDescription(const std::string& description);

private:
    enum class TDescFailure { Rethrow, Skip, LogProgram, LogCount };
    std::vector<std::uint32_t> Recognise(TDescFailure onFailure);
    void SelectAndOpen(std::int32_t devID, TDescFailure onFailure, FT_HANDLE32& handle, bool& opened);
    void SetUpLine();
    void SendUsb(std::uint8_t code);
    std::unique_ptr<ISerialPort> OpenStmPort();

    ICardioHost& FHost;
    TD2XXUnit& FUnit;
    TCardioCaches FCaches;
};
