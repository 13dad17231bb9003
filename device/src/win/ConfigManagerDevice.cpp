// The configuration manager's cardiomodule methods: thin glue between the
// store, the logger, the process-wide converter wrapper and the platform-free
// queries of TCardioQueries.
#include "common/Win32.h"
#include "config/ConfigManager.h"
#include "common/Win32Error.h"
#include "device/CardioQueries.h"
#include "device/D2XXUnit.h"
#include "device/Win32SerialPort.h"
#include "device/UZD6ConfObject.h"
#include "logging/QorLogger.h"

namespace {
// Options from the manager's store, failures to the process-wide logger,
// real sleeping and real COM ports.
class TManagerHost : public ICardioHost {
public:
    explicit TManagerHost(TConfigManager& manager) : FManager(manager) {}

    int OptionInt(const std::wstring& group, const std::wstring& key, int def) override
    {
        return FManager.GetOptionValue(group, key, static_cast<std::int32_t>(def));
    }
    bool OptionBool(const std::wstring& group, const std::wstring& key, bool def) override
    {
        return FManager.GetOptionValue(group, key, def);
    }
    void LogError(TCardioLog type, const std::wstring& line) override
    {
        TQorLogger::Create()->LogString(type == TCardioLog::HwLog ? HWLOG : COMMON, ERRORLOG, line);
    }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
    std::unique_ptr<ISerialPort> OpenPort(const std::wstring& name) override { return OpenSerialPort(name); }
    std::wstring FromAnsi(const std::string& text) override { return AnsiToWide(text); }

private:
    TConfigManager& FManager;
};

// One set of queries per call: the state they use is process-wide.
struct TBound {
    explicit TBound(TConfigManager& manager)
        : Host(manager),
          Queries(Host, D2XXUnit(),
                  TCardioCaches{TConfigManager::LastModeText, TConfigManager::LastProgramVersion})
    {
    }
    TManagerHost Host;
    TCardioQueries Queries;
};
}  // namespace

std::vector<std::wstring> TConfigManager::GetFTSerialNumber() { return TBound(*this).Queries.GetFTSerialNumber(); }

std::int32_t TConfigManager::GetCMCount() { return TBound(*this).Queries.GetCMCount(); }

std::wstring TConfigManager::GetFTMode(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetFTMode(devID, recheck);
}

std::int32_t TConfigManager::GetFTProgram(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetFTProgram(devID, recheck);
}

void TConfigManager::InitSTM(void* stmPortHandle)
{
    TManagerHost host(*this);
    std::unique_ptr<ISerialPort> port = BorrowSerialPort(static_cast<HANDLE>(stmPortHandle));
    TCardioQueries::InitSTM(host, *port);
}

std::wstring TConfigManager::GetSTMMode(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetSTMMode(devID, recheck);
}

std::int32_t TConfigManager::GetSTMProgram(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetSTMProgram(devID, recheck);
}

std::wstring TConfigManager::GetMode(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetMode(devID, recheck);
}

std::int32_t TConfigManager::GetProgram(std::int32_t devID, bool recheck)
{
    return TBound(*this).Queries.GetProgram(devID, recheck);
}

void TConfigManager::ReadZD6()
{
    TBound bound(*this);
    // The previous list goes first; when listing fails, an empty list stays.
    CardiomoduleSerials = std::make_unique<std::vector<std::wstring>>();
    *CardiomoduleSerials = bound.Queries.GetFTSerialNumber();
    if (!CardiomoduleInfo)
        CardiomoduleInfo = std::make_unique<TZD6Dictionary>();
    DescribeZD6Records(bound.Queries, *CardiomoduleSerials, *CardiomoduleInfo);
}

void TConfigManager::ResetZD6Data()
{
    LastProgramVersion = -1;
    LastModeText.clear();
}
