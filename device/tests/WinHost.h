// Host for the Windows tests: options from a map, real sleeping and real ports.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/Win32.h"
#include "common/Win32Error.h"
#include "device/CardioQueries.h"
#include "device/Win32SerialPort.h"

class TWinHost : public ICardioHost {
public:
    std::map<std::wstring, int> Ints;
    std::map<std::wstring, bool> Bools;
    std::vector<std::wstring> Logs;

    int OptionInt(const std::wstring& g, const std::wstring& k, int def) override
    {
        auto it = Ints.find(g + L"/" + k);
        return it == Ints.end() ? def : it->second;
    }
    bool OptionBool(const std::wstring& g, const std::wstring& k, bool def) override
    {
        auto it = Bools.find(g + L"/" + k);
        return it == Bools.end() ? def : it->second;
    }
    void LogError(TCardioLog, const std::wstring& line) override { Logs.push_back(line); }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
    std::unique_ptr<ISerialPort> OpenPort(const std::wstring& name) override { return OpenSerialPort(name); }
    std::wstring FromAnsi(const std::string& text) override { return AnsiToWide(text); }
};
