#pragma once
// Serial ports wired to the simulator's device model, for native tests of the
// whole exchange logic.  A bench holds the devices plugged into the ports
// COM1..COM4 and which ports are open: a port opens without sharing, as the
// Windows port does.  A read hands out what the device has sent so far; a
// short read stands for the read timeout.
//
// With `slack` set (0 or more), the line is slower than the host: what the
// device sends is in transit, and a read call lets arrive what it asks for
// beyond what has already arrived, plus `slack` bytes more (a read waits
// until it has its bytes; the device sends on meanwhile).  A purge discards
// what has arrived and leaves what is still on its way; a read comes back
// empty only once the device has nothing more to send.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SimDevice.h"
#include "ostrelcom/SerialPort.h"

namespace ostrel::test {

class TBench {
public:
    void Plug(const std::string& name, const std::string& scenario)
    {
        FDevices[name] = std::make_unique<ostrelsim::TDevice>(ostrelsim::TScenario::Parse(scenario));
        FLogs[name].clear();
    }
    void Unplug(const std::string& name) { FDevices.erase(name); }
    std::vector<std::string>& Log(const std::string& name) { return FLogs[name]; }
    bool Held(const std::string& name) const { return FHeld.count(name) != 0; }

private:
    friend class TSimPort;
    std::map<std::string, std::unique_ptr<ostrelsim::TDevice>> FDevices;
    std::map<std::string, std::vector<std::string>> FLogs;
    std::set<std::string> FHeld;
};

class TSimPort : public ISerialPort {
public:
    explicit TSimPort(TBench& bench) : FBench(bench) {}
    ~TSimPort() override { ClosePort(); }

    std::string line;  // the line settings last applied
    int opens = 0, pauses = 0;
    int slack = -1;  // bytes arriving per read call beyond its need; -1: all at once

    bool OpenPort(const char* name) override
    {
        if (!FName.empty() || FBench.Held(name) || !FBench.FDevices.count(name))
            return false;
        FName = name;
        FBench.FHeld.insert(FName);
        ++opens;
        return true;
    }
    void SetupQueues(uint32_t) override {}
    void Purge() override { FRx.clear(); }  // bytes in transit stay
    void SetTimeouts(uint32_t) override {}
    bool ConfigureLine(uint32_t b, uint8_t d, uint8_t p, uint8_t s) override
    {
        line = std::to_string(b) + " " + std::to_string(d) + std::to_string(p) + std::to_string(s);
        return true;
    }
    void RaiseRts() override {}
    void ClearEventMask() override {}
    void ClosePort() override
    {
        if (!FName.empty())
            FBench.FHeld.erase(FName);
        FName.clear();
        FRx.clear();
        FTransit.clear();
    }
    uint32_t Write(const uint8_t* data, uint32_t size) override
    {
        auto it = FBench.FDevices.find(FName);
        if (FName.empty() || it == FBench.FDevices.end())
            return 0;
        std::vector<uint8_t> out;
        it->second->Feed(data, size, out, FBench.FLogs[FName]);
        auto& to = slack >= 0 ? FTransit : FRx;
        to.insert(to.end(), out.begin(), out.end());
        return size;
    }
    uint32_t Read(uint8_t* data, uint32_t size) override
    {
        const size_t need = size > FRx.size() ? size - FRx.size() : 0;
        const size_t arriving = std::min(FTransit.size(), need + static_cast<size_t>(std::max(slack, 0)));
        FRx.insert(FRx.end(), FTransit.begin(), FTransit.begin() + static_cast<std::ptrdiff_t>(arriving));
        FTransit.erase(FTransit.begin(), FTransit.begin() + static_cast<std::ptrdiff_t>(arriving));
        const uint32_t k = std::min<uint32_t>(size, static_cast<uint32_t>(FRx.size()));
        std::copy(FRx.begin(), FRx.begin() + k, data);
        FRx.erase(FRx.begin(), FRx.begin() + k);
        return k;
    }
    void Pause(uint32_t) override { ++pauses; }

private:
    TBench& FBench;
    std::string FName;
    std::vector<uint8_t> FRx;
    std::vector<uint8_t> FTransit;  // sent by the device, not yet arrived (slack)
};

}  // namespace ostrel::test
