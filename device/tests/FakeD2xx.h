// A strict scripted D2XX: attached converters, replies per read, failing
// operations, and a record of every call.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "device/D2xxApi.h"

struct TFakeConverter {
    std::string Description;
    std::string Serial;
};

class TFakeD2xx : public ID2xxApi {
public:
    std::vector<TFakeConverter> Converters;
    std::map<std::string, FT_STATUS> Fail;         // operation name (or "desc:i") -> status
    std::deque<std::vector<std::uint8_t>> Replies;  // one entry per Read call
    std::vector<std::string> Calls;
    std::set<FT_HANDLE32> OpenHandles;
    std::string LastOpenArg;
    // Close raises as the library binding does for a missing export.
    bool CloseRaises = false;
    // A converter whose description changes once it has been read (another
    // one plugged into its place): index -> the description of later reads.
    std::map<std::size_t, std::string> DescriptionAfterFirstRead;
    std::map<std::size_t, int> DescriptionReads;

    static constexpr FT_HANDLE32 kHandleBase = 0x100;

    FT_STATUS Status(const std::string& op) const
    {
        auto it = Fail.find(op);
        return it == Fail.end() ? 0 : it->second;
    }

    FT_STATUS ListDevices(void* a1, void* a2, std::uint32_t flags) override
    {
        if (flags == FT_LIST_NUMBER_ONLY) {
            Calls.push_back("count");
            if (a2 != nullptr)
                throw std::logic_error("count with a buffer");
            if (FT_STATUS s = Status("count"))
                return s;
            *static_cast<std::uint32_t*>(a1) = static_cast<std::uint32_t>(Converters.size());
            return 0;
        }
        const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(a1));
        const bool serial = flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
        const bool desc = flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        if (!serial && !desc)
            throw std::logic_error("unexpected ListDevices flags");
        const std::string op = (serial ? "serial:" : "desc:") + std::to_string(index);
        Calls.push_back(op);
        if (FT_STATUS s = Status(op))
            return s;
        if (index >= Converters.size())
            return 2;
        std::string text = serial ? Converters[index].Serial : Converters[index].Description;
        if (desc && DescriptionReads[index]++ > 0 && DescriptionAfterFirstRead.count(index))
            text = DescriptionAfterFirstRead[index];
        std::memcpy(a2, text.c_str(), text.size() + 1);
        return 0;
    }
    FT_STATUS OpenEx(void* arg, std::uint32_t flags, FT_HANDLE32* handle) override
    {
        if (flags != FT_OPEN_BY_SERIAL_NUMBER)
            throw std::logic_error("open not by serial number");
        LastOpenArg = static_cast<const char*>(arg);
        Calls.push_back("open " + LastOpenArg);
        if (FT_STATUS s = Status("open"))
            return s;
        for (std::size_t i = 0; i < Converters.size(); ++i) {
            if (Converters[i].Serial == LastOpenArg) {
                *handle = kHandleBase + i;
                OpenHandles.insert(*handle);
                return 0;
            }
        }
        return 2;
    }
    FT_STATUS Close(FT_HANDLE32 h) override
    {
        Calls.push_back("close " + Hex(h));
        if (CloseRaises)
            throw EFrameworkError(L"В библиотеке FTD2XX.DLL нет функции FT_Close");
        OpenHandles.erase(h);
        return Status("close");
    }
    FT_STATUS Read(FT_HANDLE32 h, void* buffer, std::uint32_t count, std::uint32_t* received) override
    {
        Calls.push_back("read " + Hex(h) + " " + std::to_string(count));
        if (FT_STATUS s = Status("read"))
            return s;
        *received = 0;
        if (Replies.empty())
            return 0;
        std::vector<std::uint8_t> r = Replies.front();
        Replies.pop_front();
        const std::size_t n = r.size() < count ? r.size() : count;
        std::memcpy(buffer, r.data(), n);
        *received = static_cast<std::uint32_t>(n);
        return 0;
    }
    FT_STATUS Write(FT_HANDLE32 h, void* buffer, std::uint32_t count, std::uint32_t* sent) override
    {
        std::string line = "write " + Hex(h);
        for (std::uint32_t i = 0; i < count; ++i)
            line += " " + Byte(static_cast<std::uint8_t*>(buffer)[i]);
        Calls.push_back(line);
        *sent = count;
        return Status("write");
    }
    FT_STATUS ResetDevice(FT_HANDLE32 h) override { return Log("reset " + Hex(h), "reset"); }
    FT_STATUS SetBaudRate(FT_HANDLE32 h, std::uint32_t b) override
    {
        return Log("baud " + Hex(h) + " " + std::to_string(b), "baud");
    }
    FT_STATUS SetDataCharacteristics(FT_HANDLE32 h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override
    {
        return Log("data " + Hex(h) + " " + std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p), "data");
    }
    FT_STATUS SetFlowControl(FT_HANDLE32 h, std::uint16_t f, std::uint8_t x, std::uint8_t y) override
    {
        return Log("flow " + Hex(h) + " " + std::to_string(f) + " " + Byte(x) + " " + Byte(y), "flow");
    }
    FT_STATUS ClrRts(FT_HANDLE32 h) override { return Log("clrrts " + Hex(h), "clrrts"); }
    FT_STATUS ClrDtr(FT_HANDLE32 h) override { return Log("clrdtr " + Hex(h), "clrdtr"); }
    FT_STATUS Purge(FT_HANDLE32 h, std::uint32_t m) override
    {
        return Log("purge " + Hex(h) + " " + std::to_string(m), "purge" + std::to_string(m));
    }
    FT_STATUS SetTimeouts(FT_HANDLE32 h, std::uint32_t r, std::uint32_t w) override
    {
        return Log("timeouts " + Hex(h) + " " + std::to_string(r) + " " + std::to_string(w), "timeouts");
    }

    static std::string Hex(FT_HANDLE32 h)
    {
        std::ostringstream s;
        s << std::hex << h;
        return s.str();
    }
    static std::string Byte(std::uint8_t b)
    {
        char t[3];
        std::snprintf(t, sizeof t, "%02X", b);
        return t;
    }

private:
    FT_STATUS Log(const std::string& line, const std::string& op)
    {
        Calls.push_back(line);
        return Status(op);
    }
};
