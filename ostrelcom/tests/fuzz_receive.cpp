// Feeds arbitrary device bytes to the directory receive, the range receive
// and record decoding through a port that replays the input.
#include <cstring>
#include <vector>

#include "ostrelcom/Inspections.h"

namespace {
class TReplayPort : public ostrel::ISerialPort {
public:
    const uint8_t* data; size_t size; size_t pos = 0;
    TReplayPort(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool OpenPort(const char*) override { return true; }
    void SetupQueues(uint32_t) override {}
    void Purge() override {}
    void SetTimeouts(uint32_t) override {}
    bool ConfigureLine(uint32_t, uint8_t, uint8_t, uint8_t) override { return true; }
    void RaiseRts() override {}
    void ClearEventMask() override {}
    void ClosePort() override {}
    uint32_t Write(const uint8_t*, uint32_t n) override { return n; }
    uint32_t Read(uint8_t* d, uint32_t n) override {
        if (pos >= size) return 0;
        // first byte of each read decides its length
        uint32_t k = std::min<uint32_t>(n, data[pos++]);
        k = std::min<uint32_t>(k, uint32_t(size - pos));
        std::memcpy(d, data + pos, k);
        pos += k;
        return k;
    }
    void Pause(uint32_t) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    TReplayPort port(data + 6, size - 6);
    ostrel::TInspections t(port);
    t.Link().Open(1);
    if (data[0] & 1) {
        t.ReadOstrelInfo(1);
        t.GetMinIndex();
        t.GetMaxIndex();
    } else {
        uint8_t* p = t.Directory();
        std::memcpy(p, data, 6);
        std::vector<uint8_t> buf(t.GetInspectionSize(p[0] | p[1] << 8));
        if (!buf.empty() && buf.size() <= 18 * 2000) t.GetInspectionData(p[0] | p[1] << 8, buf.data(), uint32_t(buf.size()));
    }
    return 0;
}
