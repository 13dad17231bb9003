#pragma once
// Strict scripted serial port: every call must match the next expectation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "ostrelcom/DeviceLink.h"

namespace ostrel::test {

// A lenient device model used by the exchange tests: answers state queries,
// applies state writes, streams a range on 0x84.  Each Read hands out at
// most what was asked; scripted replies may override.
class TFakePort : public ISerialPort {
public:
    std::vector<std::string> calls;        // trace of operations
    std::vector<std::vector<uint8_t>> written;
    std::deque<std::vector<uint8_t>> reads; // scripted read results, in order
    bool openResult = true, configureResult = true;
    std::string openedName;
    bool strict = true;

    bool OpenPort(const char* name) override { calls.push_back("open"); openedName = name; return openResult; }
    void SetupQueues(uint32_t size) override { calls.push_back("setup" + std::to_string(size)); }
    void Purge() override { calls.push_back("purge"); }
    void SetTimeouts(uint32_t ms) override { calls.push_back("timeouts" + std::to_string(ms)); }
    bool ConfigureLine(uint32_t b, uint8_t d, uint8_t p, uint8_t s) override {
        calls.push_back("line" + std::to_string(b) + "/" + std::to_string(d) + std::to_string(p) + std::to_string(s));
        return configureResult;
    }
    void RaiseRts() override { calls.push_back("rts"); }
    void ClearEventMask() override { calls.push_back("mask0"); }
    void ClosePort() override { calls.push_back("close"); }
    uint32_t Write(const uint8_t* d, uint32_t n) override {
        calls.push_back("write" + std::to_string(n));
        written.emplace_back(d, d + n);
        return n;
    }
    uint32_t Read(uint8_t* d, uint32_t n) override {
        calls.push_back("read" + std::to_string(n));
        if (reads.empty()) {
            if (strict) ADD_FAILURE() << "unexpected Read(" << n << ")";
            return 0;
        }
        auto r = reads.front();
        reads.pop_front();
        if (strict && r.size() > n) ADD_FAILURE() << "script gives " << r.size() << " bytes to a read of " << n;
        const uint32_t k = std::min<uint32_t>(n, r.size());
        if (k) std::memcpy(d, r.data(), k);
        return k;
    }
    void Pause(uint32_t ms) override { calls.push_back("pause" + std::to_string(ms)); }
};

inline TFrame MakeFrame(uint8_t tag, const std::vector<uint8_t>& payload, bool goodSum = true) {
    TFrame f{};
    f[0] = tag;
    std::copy(payload.begin(), payload.begin() + std::min<size_t>(16, payload.size()), f.begin() + 2);
    f[1] = static_cast<uint8_t>(FrameChecksum(f.data()) + (goodSum ? 0 : 1));
    return f;
}
inline TFrame StateFrame(uint16_t start, uint16_t end, uint8_t settings = 0x5A, bool goodSum = true) {
    std::vector<uint8_t> p(16, settings);
    p[12] = start & 0xFF; p[13] = start >> 8; p[14] = end & 0xFF; p[15] = end >> 8;
    return MakeFrame(0x77, p, goodSum);
}
inline std::vector<uint8_t> Bytes(const TFrame& f) { return {f.begin(), f.end()}; }

}  // namespace ostrel::test
