#include "device/CardioQueries.h"

#include "common/Errors.h"
#include "device/ModeText.h"
#include "device/UZD6ConfObject.h"

namespace {
const wchar_t* const kOptions = L"Options";
const wchar_t* const kCardiomodule = L"cardiomodule";
constexpr int kUsbCardiomodule = 2;
constexpr int kStmCardiomodule = 4;
// Draining reads of 100 bytes per failed synchronisation attempt, at most.
constexpr int kSTMDrainReads = 64;


// Closes the converter of a query that failed after opening it.  It never
// throws: the binding raises when FTD2XX.DLL lacks a function, and the query
// has failed already and reports that as its own result.
class TOpenedConverter {
public:
    explicit TOpenedConverter(TD2XXUnit& unit) : FUnit(unit) {}
    ~TOpenedConverter()
    {
        if (!Opened)
            return;
        FUnit.FTHandle = Handle;
        try {
            FUnit.Api().Close(Handle);  // failure path: status ignored
        } catch (...) {
        }
    }
    TOpenedConverter(const TOpenedConverter&) = delete;
    TOpenedConverter& operator=(const TOpenedConverter&) = delete;

    FT_HANDLE32 Handle = 0;
    bool Opened = false;

private:
    TD2XXUnit& FUnit;
};
}  // namespace

std::wstring ICardioHost::FromAnsi(const std::string& text)
{
    std::wstring w;
    w.reserve(text.size());
    for (unsigned char c : text)
        w.push_back(static_cast<wchar_t>(c));
    return w;
}

bool TCardioQueries::IsCardiomoduleDescription(const std::string& d)
{
    return d == "QUORVEL-12D" || d == "QUORVEL-12" || d == "QUORVEL-PC" || d == "ECG";
}

std::vector<std::uint32_t> TCardioQueries::Recognise(TDescFailure onFailure)
{
    std::vector<std::uint32_t> found;
    const std::uint32_t count = FUnit.FTDeviceCount;
    for (std::uint32_t i = 0; i < count; ++i) {
        try {
            FUnit.GetFTDeviceDescription(i);
        } catch (const EFrameworkError&) {
            switch (onFailure) {
            case TDescFailure::Rethrow:
                throw;
            case TDescFailure::Skip:
                break;
            case TDescFailure::LogProgram:
                FHost.LogError(TCardioLog::Common, L"Error opening FT device \u2116" + std::to_wstring(i));
                break;
            case TDescFailure::LogCount:
                FHost.LogError(TCardioLog::HwLog, L"Не могу открыть FTDEVICE \u2116" + std::to_wstring(i));
                break;
            }
            continue;
        }
        if (IsCardiomoduleDescription(FUnit.FTDeviceString))
            found.push_back(i);
    }
    return found;
}

std::vector<std::wstring> TCardioQueries::GetFTSerialNumber()
{
    std::vector<std::wstring> list;
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kUsbCardiomodule)
        return list;
    FUnit.GetFTDeviceCount();
    for (std::uint32_t i : Recognise(TDescFailure::Rethrow)) {
        FUnit.GetFTDeviceSerialNo(i);
        list.push_back(FHost.FromAnsi(FUnit.FTDeviceString));
    }
    return list;
}

std::int32_t TCardioQueries::GetCMCount()
{
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kUsbCardiomodule)
        return 0;
    FUnit.GetFTDeviceCount();
    return static_cast<std::int32_t>(Recognise(TDescFailure::LogCount).size());
}

void TCardioQueries::SelectAndOpen(std::int32_t devID, TDescFailure onFailure, FT_HANDLE32& handle, bool& opened)
{
    FUnit.GetFTDeviceCount();
    if (FUnit.FTDeviceCount == 0)
        throw EFrameworkError(L"устройство не подключено к порту USB");
    const std::vector<std::uint32_t> found = Recognise(onFailure);
    const std::int32_t recognised = static_cast<std::int32_t>(found.size());
    if (devID >= recognised)
        devID = recognised - 1;
    if (devID < 0)
        throw EFrameworkError(L"кардиомодуль не найден");
    const std::uint32_t index = found[static_cast<std::size_t>(devID)];
    FUnit.GetFTDeviceDescription(index);
    if (!IsCardiomoduleDescription(FUnit.FTDeviceString))
        throw EFrameworkError(L"кардиомодуль не найден");
    FUnit.GetFTDeviceSerialNo(index);
    FUnit.Open_USB_Device_By_Serial_Number(FUnit.FTDeviceString);
    handle = FUnit.FTHandle;
    opened = true;
    if (FUnit.Api().ResetDevice(handle) != 0)
        throw EFrameworkError(L"не смог сбросить устройство");
    if (FUnit.Api().Purge(handle, FT_PURGE_RX | FT_PURGE_TX) != 0)
        throw EFrameworkError(L"не смог сбросить устройство");
}

void TCardioQueries::SetUpLine()
{
    FUnit.FTBaudRate = 230400;
    FUnit.FTDataBits = 8;
    FUnit.FTStopBits = 2;
    FUnit.FTParity = 0;
    FUnit.FTFlowControl = 0;
    FUnit.SetFTBaudRate();
    FUnit.SetFTDataCharacteristics();
    FUnit.SetFTFlowControl();
    FUnit.SetFTTimeouts(500, 500);
    FUnit.ClearFTRTS();
    FUnit.ClearFTDTR();
}

void TCardioQueries::SendUsb(std::uint8_t code)
{
    FUnit.FTOutBuffer[0] = 0x55;
    FUnit.FTOutBuffer[1] = code;
    FUnit.WriteFTDevice(2);
}

namespace {
// Closing after a successful exchange: reset (status ignored), then close
// through the wrapper.  The guard is released first so that a failing close
// is not repeated on the error path.
void CloseAfterExchange(TD2XXUnit& unit, TOpenedConverter& conv)
{
    const FT_HANDLE32 h = conv.Handle;
    conv.Opened = false;
    unit.Api().ResetDevice(h);
    unit.FTHandle = h;
    unit.CloseFTDevice();
}
}  // namespace

std::wstring TCardioQueries::GetFTMode(std::int32_t devID, bool recheck)
{
    std::wstring result;
    if (!recheck)
        return FCaches.LastModeText;
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kUsbCardiomodule)
        return result;
    try {
        TOpenedConverter conv(FUnit);
        SelectAndOpen(devID, TDescFailure::Skip, conv.Handle, conv.Opened);
        SetUpLine();
        SendUsb(0x08);
        FUnit.PurgeFTTransmit();
        FUnit.PurgeFTReceive();
        FHost.Sleep(100);
        SendUsb(0x02);
        FHost.Sleep(100);
        FUnit.PurgeFTTransmit();
        SendUsb(0x02);
        std::uint32_t n = FUnit.ReadFTDevice(1);
        std::uint16_t word = 0;
        if (n == 1) {
            n = FUnit.ReadFTDevice(2);
            word = static_cast<std::uint16_t>(FUnit.FTInBuffer[0] + 256 * FUnit.FTInBuffer[1]);
        }
        std::wstring text = (n == 2) ? CardiomoduleModeText(word) : std::wstring();
        result = text;
        FCaches.LastModeText = text;
        CloseAfterExchange(FUnit, conv);
    } catch (const std::exception&) {
        result.clear();
        FCaches.LastModeText.clear();
    }
    return result;
}

std::int32_t TCardioQueries::GetFTProgram(std::int32_t devID, bool recheck)
{
    if (!recheck && FCaches.LastProgramVersion >= 0)
        return FCaches.LastProgramVersion;
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kUsbCardiomodule)
        return -1;
    std::int32_t version = -1;
    try {
        TOpenedConverter conv(FUnit);
        SelectAndOpen(devID, TDescFailure::LogProgram, conv.Handle, conv.Opened);
        SetUpLine();
        SendUsb(0x08);
        FHost.Sleep(50);
        SendUsb(0x08);
        FUnit.PurgeFTTransmit();
        FHost.Sleep(100);
        SendUsb(0x0F);
        FHost.Sleep(100);
        FUnit.ReadFTDevice(2);
        FUnit.PurgeFTTransmit();
        SendUsb(0x0F);
        FHost.Sleep(100);
        const std::uint32_t n = FUnit.ReadFTDevice(2);
        if (n == 0)
            version = 0;
        else if (n == 1)
            version = -1;  // high byte missing: no version known (the buffer holds a stale byte)
        else
            version = static_cast<std::int16_t>(static_cast<std::uint16_t>(FUnit.FTInBuffer[0] + 256 * FUnit.FTInBuffer[1]));
        CloseAfterExchange(FUnit, conv);
    } catch (const std::exception&) {
        version = -1;
    }
    FCaches.LastProgramVersion = version;
    return version;
}

void TCardioQueries::InitSTM(ICardioHost& host, ISerialPort& port)
{
    if (!port.SetTimeouts(0, 0, 2000, 0, 0))
        throw EFrameworkError(L"could not set comm timeouts");
    host.Sleep(50);
    port.ReadState();
    host.Sleep(50);
    if (!port.WriteState(230400))
        throw EFrameworkError(L"could not set comm state");
}

std::unique_ptr<ISerialPort> TCardioQueries::OpenStmPort()
{
    const int n = FHost.OptionInt(L"regoptions", L"stmcomPort", 1);
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(n);
    std::unique_ptr<ISerialPort> port = FHost.OpenPort(name);
    InitSTM(FHost, *port);
    port->PurgeTransmit();
    return port;
}

namespace {
void SendBody(ISerialPort& port, std::uint8_t code)
{
    port.Write(TSTMCommandWrapper::wrapRequest(TBytes{code, 0x55}));
}

void ReadInto(ISerialPort& port, TBytes& buffer, std::uint32_t count)
{
    if (count > buffer.size())
        count = static_cast<std::uint32_t>(buffer.size());
    port.Read(buffer.data(), count);
}

TBytes Unwrap(const TBytes& buffer)
{
    int idStart = 0;
    int idFinish = -1;
    return TSTMCommandWrapper::unwrapResponse(buffer, idStart, idFinish);
}
}  // namespace

std::wstring TCardioQueries::GetSTMMode(std::int32_t /*devID*/, bool recheck)
{
    std::wstring result;
    if (!recheck)
        return FCaches.LastModeText;
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kStmCardiomodule)
        return result;
    try {
        std::unique_ptr<ISerialPort> port = OpenStmPort();
        SendBody(*port, 0x08);
        TBytes buffer(50, 0);
        ReadInto(*port, buffer, 15);
        Unwrap(buffer);
        SendBody(*port, 0x02);
        ReadInto(*port, buffer, 15);
        const TBytes data = Unwrap(buffer);
        if (data.size() < 2)
            return result;  // no mode word in the reply: cache untouched
        result = CardiomoduleModeText(static_cast<std::uint16_t>(data[0] + 256 * data[1]));
        FCaches.LastModeText = result;
    } catch (const std::exception&) {
        result.clear();
        FCaches.LastModeText.clear();
    }
    return result;
}

std::int32_t TCardioQueries::GetSTMProgram(std::int32_t /*devID*/, bool recheck)
{
    std::int32_t result = -1;
    if (!recheck && FCaches.LastProgramVersion > 0)
        return FCaches.LastProgramVersion;
    if (FHost.OptionInt(kOptions, kCardiomodule, 2) != kStmCardiomodule)
        return -1;
    try {
        std::unique_ptr<ISerialPort> port = OpenStmPort();
        TBytes buffer(50, 0);
        bool synced = false;
        for (int attempt = 0; attempt < kSTMSyncAttempts && !synced; ++attempt) {
            SendBody(*port, 0x08);
            buffer.resize(50, 0);
            ReadInto(*port, buffer, 9);
            Unwrap(buffer);
            if (buffer[0] == 0x03 && buffer[4] == 0x08) {
                synced = true;
                break;
            }
            buffer.resize(100, 0);
            for (int drain = 0; drain < kSTMDrainReads; ++drain) {
                if (port->Read(buffer.data(), 100) != 100)
                    break;
            }
            synced = buffer[0] == 0x03 && buffer[4] == 0x08;
        }
        if (!synced)
            return -1;  // the device never answered the synchronisation: cache untouched
        SendBody(*port, 0x0F);
        buffer.resize(50, 0);
        ReadInto(*port, buffer, 15);
        const TBytes data = Unwrap(buffer);
        if (data.size() < 2)
            return -1;
        result = data[0] + 256 * data[1];
        FCaches.LastProgramVersion = result;
    } catch (const std::exception&) {
        return -1;
    }
    return result;
}

std::wstring TCardioQueries::GetMode(std::int32_t devID, bool recheck)
{
    if (FHost.OptionBool(L"REGOPTIONS", L"USESTMZD6", false))
        return GetSTMMode(devID, recheck);
    return GetFTMode(devID, recheck);
}

std::int32_t TCardioQueries::GetProgram(std::int32_t devID, bool recheck)
{
    if (FHost.OptionBool(L"REGOPTIONS", L"USESTMZD6", false))
        return GetSTMProgram(devID, recheck);
    return GetFTProgram(devID, recheck);
}

void DescribeZD6Records(TCardioQueries& queries, const std::vector<std::wstring>& serials, TZD6Dictionary& info)
{
    info.clear();
    for (std::size_t devID = 0; devID < serials.size(); ++devID) {
        const std::int32_t version = queries.GetProgram(static_cast<std::int32_t>(devID), true);
        const std::wstring text = queries.GetMode(static_cast<std::int32_t>(devID), true);
        auto record = std::make_shared<TZD6ConfObj>(serials[devID], version, text);
        if (!info.emplace(serials[devID], record).second)
            throw EFrameworkError(L"Duplicates not allowed");
    }
}

void ReadZD6Records(TCardioQueries& queries, std::vector<std::wstring>& serials, TZD6Dictionary& info)
{
    serials.clear();
    serials = queries.GetFTSerialNumber();
    DescribeZD6Records(queries, serials, info);
}
