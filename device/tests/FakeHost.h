// Options, logger, sleeping and serial ports for the query tests.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "device/CardioQueries.h"

struct TFakePortScript {
    std::deque<std::vector<std::uint8_t>> Replies;  // one per Read call
    std::vector<std::vector<std::uint8_t>> Written;
    std::vector<std::string> Calls;
    bool FailTimeouts = false;
    bool FailState = false;
    int Opened = 0;
    int Closed = 0;
    int Reads = 0;
    bool EndlessDrain = false;  // every 100-byte read returns 100 bytes
};

class TFakePort : public ISerialPort {
public:
    explicit TFakePort(TFakePortScript& s) : S(s) {}
    ~TFakePort() override { ++S.Closed; }
    bool SetTimeouts(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t e) override
    {
        S.Calls.push_back("timeouts " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                          std::to_string(d) + " " + std::to_string(e));
        return !S.FailTimeouts;
    }
    void ReadState() override { S.Calls.push_back("getstate"); }
    bool WriteState(std::uint32_t baud) override
    {
        S.Calls.push_back("setstate " + std::to_string(baud));
        return !S.FailState;
    }
    void PurgeTransmit() override { S.Calls.push_back("purge 4"); }
    void Write(const TBytes& b) override
    {
        S.Calls.push_back("write");
        S.Written.push_back(b);
    }
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override
    {
        S.Calls.push_back("read " + std::to_string(count));
        ++S.Reads;
        if (S.EndlessDrain && count == 100) {
            for (std::uint32_t i = 0; i < 100; ++i)
                buffer[i] = 0xAA;
            return 100;
        }
        if (S.Replies.empty())
            return 0;
        auto r = S.Replies.front();
        S.Replies.pop_front();
        std::uint32_t n = r.size() < count ? static_cast<std::uint32_t>(r.size()) : count;
        for (std::uint32_t i = 0; i < n; ++i)
            buffer[i] = r[i];
        return n;
    }

private:
    TFakePortScript& S;
};

class TFakeHost : public ICardioHost {
public:
    std::map<std::wstring, int> Ints;  // "group/key"
    std::map<std::wstring, bool> Bools;
    std::vector<std::pair<TCardioLog, std::wstring>> Logs;
    std::vector<std::uint32_t> Sleeps;
    std::vector<std::wstring> PortsOpened;
    std::map<std::wstring, TFakePortScript> Ports;  // existing ports by name

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
    void LogError(TCardioLog t, const std::wstring& line) override { Logs.emplace_back(t, line); }
    void Sleep(std::uint32_t ms) override { Sleeps.push_back(ms); }
    std::unique_ptr<ISerialPort> OpenPort(const std::wstring& name) override
    {
        PortsOpened.push_back(name);
        auto it = Ports.find(name);
        if (it == Ports.end())
            throw EFrameworkError(L"cannot open comm port " + name + L": ");
        ++it->second.Opened;
        return std::make_unique<TFakePort>(it->second);
    }
};
