// ostrel-client: a service engineer's check of the measuring device through
// the OstrelCom.Comm server, used the way the complex's programs use it
// (ProgID, IOstrelComm).  Run with --help for the commands and exit codes.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ClientCommand.h"
#include "InspectionExport.h"
#include "OstrelCom.h"
#include "common/Handles.h"

using namespace ostrelclient;

namespace {

std::string Utf8(const wchar_t* s) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::wstring Wide(const std::string& s) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "ostrel-client: %s\n", message.c_str());
    return code;
}

std::string HexCode(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

std::string PortName(int port) { return "COM" + std::to_string(port); }

// The module path the class registration points at, for messages.
std::string RegisteredModule(REFCLSID clsid) {
    wchar_t guid[64] = {};
    if (::StringFromGUID2(clsid, guid, 64) == 0) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    // RegOpenKeyEx and RegQueryValueEx: present on every Windows the complex runs on.
    TRegKey hkey;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, hkey.put()) != ERROR_SUCCESS) return {};
    wchar_t path[MAX_PATH * 2 + 1] = {};
    DWORD size = sizeof path - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(hkey.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return Utf8(path);
}

// Why a port cannot be opened, in words.
std::string PortProblem(int port) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(port);
    TFileHandle h(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (h) return {};
    return PortOpenProblem(port, ::GetLastError());
}

class TDevice {
public:
    // Creates the server object and reads the directory of the port.
    int Connect(int port) {
        if (FAILED(FCom.Result())) return Fail(kExitServer, "COM cannot be initialised (" + HexCode(FCom.Result()) + ")");
        CLSID clsid{};
        HRESULT hr = ::CLSIDFromProgID(L"OstrelCom.Comm", &clsid);
        if (FAILED(hr))
            return Fail(kExitServer, "the device server OstrelCom.Comm is not registered on this computer "
                                     "(register it with: regsvr32 OstrelCom.dll)");
        TComPtr<IUnknown> object;
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void());
        if (FAILED(hr)) {
            const std::string module = RegisteredModule(clsid);
            if (hr == REGDB_E_CLASSNOTREG || module.empty())
                return Fail(kExitServer, "the registration of OstrelCom.Comm is incomplete "
                                         "(register it again with: regsvr32 OstrelCom.dll)");
            return Fail(kExitServer, "the device server " + module + " cannot be loaded (" + HexCode(hr) +
                                         "); check that the file exists and matches this program (32/64-bit)");
        }
        hr = object.As(IID_IOstrelComm, FComm);
        if (FAILED(hr))
            return Fail(kExitServer, "the registered OstrelCom.Comm does not offer IOstrelComm (" + HexCode(hr) +
                                         "); wrong version of OstrelCom.dll?");
        std::fprintf(stderr, "Reading the directory of the device on %s...\n", PortName(port).c_str());
        hr = FComm->ReadOstrelInfo(port);
        if (hr == S_OK) return kExitOk;
        const ULONG partial = FComm->GetMaxIndex();
        FComm.reset();  // releases the port
        if (partial != 0)
            return Fail(kExitDevice, "the directory from the device on " + PortName(port) +
                                         " arrived damaged (only part of it was read); try again, check the cable");
        const std::string problem = PortProblem(port);
        if (!problem.empty()) return Fail(kExitPort, problem);
        return Fail(kExitDevice, "no answer from a device on " + PortName(port) +
                                     ", or its directory could not be read; check that the device is connected to "
                                     "this port and switched on");
    }

    IOstrelComm* operator->() const { return FComm.get(); }

private:
    TComInit FCom{COINIT_APARTMENTTHREADED};
    TComPtr<IOstrelComm> FComm;
};

int List(const TOptions& o) {
    TDevice device;
    if (int rc = device.Connect(o.Port)) return rc;
    TDirectoryView view;
    view.Port = o.Port;
    view.MaxIndex = device->GetMaxIndex();
    view.MinIndex = device->GetMinIndex();
    for (uint32_t i = 0; i <= 65534; ++i)
        if (const ULONG size = device->GetInspectionSize(static_cast<int>(i))) view.Entries.push_back({i, size});
    const std::string text = FormatList(view);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitOk;
}

int WriteOutput(const std::string& path, const std::string& data) {
    if (path.empty()) {
        _setmode(_fileno(stdout), _O_BINARY);
        if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
            return Fail(kExitOutput, "cannot write to standard output");
        return kExitOk;
    }
    FILE* raw = ::_wfopen(Wide(path).c_str(), L"wb");
    if (!raw) return Fail(kExitOutput, "cannot create " + path);
    const bool written = std::fwrite(data.data(), 1, data.size(), raw) == data.size();
    const bool closed = std::fclose(raw) == 0;
    if (!written || !closed) return Fail(kExitOutput, "cannot write " + path + " (disk full?)");
    std::fprintf(stderr, "Written %s (%zu bytes)\n", path.c_str(), data.size());
    return kExitOk;
}

int Export(const TOptions& o) {
    TDevice device;
    if (int rc = device.Connect(o.Port)) return rc;
    const ULONG maxIndex = device->GetMaxIndex();
    uint32_t index = o.Inspection;
    if (!o.HasInspection) {
        if (maxIndex == 0) return Fail(kExitNoInspection, "no inspections are stored on the device");
        index = maxIndex;
    }
    const ULONG size = device->GetInspectionSize(static_cast<int>(index));
    if (size == 0) {
        const ULONG minIndex = device->GetMinIndex();
        std::string range = maxIndex == 0 ? "it stores no inspections"
                                          : "it stores " + std::to_string(minIndex) + " to " + std::to_string(maxIndex);
        return Fail(kExitNoInspection, "no inspection " + std::to_string(index) + " on the device on " +
                                           PortName(o.Port) + " (" + range + "; see the list command)");
    }
    const ULONG records = size / kBytesPerRecord;
    std::fprintf(stderr, "Reading inspection %lu: %lu records, about %lu s...\n", static_cast<unsigned long>(index),
                 static_cast<unsigned long>(records), static_cast<unsigned long>(records / 600 + 1));
    std::vector<unsigned char> buffer(size);
    const HRESULT hr = device->GetInspectionData(static_cast<int>(index), buffer.data(), size);
    if (hr != S_OK)
        return Fail(kExitTransfer, "the transfer of inspection " + std::to_string(index) + " from " +
                                       PortName(o.Port) + " failed (the device stopped answering or sent damaged "
                                       "records); nothing was written, try again");
    TInspection insp;
    insp.Assign(buffer.data(), buffer.size());
    if (o.Command == TCommand::Csv) return WriteOutput(o.Out, WriteCsv(insp, o.Separator));
    TSvgOptions svg;
    svg.Width = o.Width;
    svg.LaneHeight = o.LaneHeight;
    svg.Title = PortName(o.Port) + ", inspection " + std::to_string(index) + ": " + std::to_string(records) + " records";
    return WriteOutput(o.Out, WriteSvg(insp, svg));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    TOptions options;
    const std::string error = ParseArgs(args, options);
    if (!error.empty()) return Fail(kExitUsage, error);
    switch (options.Command) {
    case TCommand::Help: std::fputs(kUsage, stdout); return kExitOk;
    case TCommand::List: return List(options);
    default: return Export(options);
    }
}
