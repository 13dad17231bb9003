#include "ostrelcom/DeviceLink.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

TFrame CommandFrame(uint8_t command) {
    TFrame f;
    f[0] = 0xAA;
    f[1] = 0x55;
    std::fill(f.begin() + 2, f.end(), command);
    return f;
}

uint8_t FrameChecksum(const uint8_t* frame) {
    unsigned sum = 0;
    for (size_t i = 2; i < kFrameSize; ++i) sum += frame[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

namespace {
struct TChannel {
    int word;
    uint16_t offBit;
};
constexpr TChannel kChannels[8] = {{1, 0x0001}, {0, 0x0002}, {7, 0x0010}, {6, 0x0020},
                                   {5, 0x0040}, {4, 0x0080}, {3, 0x0100}, {2, 0x0200}};

void PutPlane(const TPlanes& planes, unsigned plane, uint32_t r, uint16_t value) {
    uint8_t* p = planes.data + 2u * (static_cast<size_t>(planes.count) * plane + r);
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>(value >> 8);
}
}  // namespace

void DecodeRecord(const uint8_t* payload, const TPlanes& planes, uint32_t r) {
    uint16_t words[8];
    for (int k = 0; k < 8; ++k) words[k] = static_cast<uint16_t>(payload[2 * k] << 8 | payload[2 * k + 1]);
    uint16_t status = (words[0] & 0x4000) ? 0x0008 : 0;
    int16_t values[8];
    for (unsigned p = 0; p < 8; ++p) {
        const uint16_t w = words[kChannels[p].word];
        if (w & 0x2000) {
            status |= kChannels[p].offBit;
            values[p] = 0;
        } else {
            int v = (w >> 1) & 0x0FFF;
            if (v & 0x0800) v -= 0x1000;
            values[p] = static_cast<int16_t>(v);
        }
    }
    if (status & 0x0008) std::fill(std::begin(values), std::end(values), int16_t{0});
    if ((status & 0x03F3) == 0x03F3) status |= 0x0004;
    for (unsigned p = 0; p < 8; ++p) PutPlane(planes, p, r, static_cast<uint16_t>(values[p]));
    PutPlane(planes, 8, r, status);
}

// ---------------------------------------------------------------- CSerialLink

CSerialLink::~CSerialLink() { Close(); }

bool CSerialLink::Open(int portNumber) {
    if (portNumber < 1 || portNumber > 4) portNumber = 1;
    char name[5] = {'C', 'O', 'M', static_cast<char>('0' + portNumber), 0};
    if (!FPort.OpenPort(name)) return false;
    FHandle = true;
    FOpen = true;
    FPort.SetupQueues(kQueueSize);
    FPort.Purge();
    FPort.SetTimeouts(kReadTimeoutMs);
    const bool configured = FPort.ConfigureLine(FBaudRate, FDataBits, FParity, FStopBits);
    FPort.RaiseRts();
    FPort.Purge();
    if (!configured) {
        TearDown();
        FPort.ClosePort();
        FHandle = false;
        return false;
    }
    return true;
}

void CSerialLink::TearDown() {
    FOpen = false;
    FPort.Pause(10);
    FPort.ClearEventMask();
    FPort.Purge();
}

bool CSerialLink::Close() {
    if (FHandle) {
        TearDown();
        FPort.ClosePort();
        FHandle = false;
    }
    return true;
}

// ---------------------------------------------------------------- CDeviceLink

CDeviceLink::~CDeviceLink() = default;

bool CDeviceLink::WakeUp() {
    const TFrame wake = CommandFrame(kCmdWakeUp);
    for (int i = 0; i < 4; ++i) {
        FPort.Write(wake.data(), kFrameSize);
        if (i < 3) FPort.Pause(100);
    }
    FPort.Purge();
    return true;
}

bool CDeviceLink::Settle() {
    FPort.Purge();
    if (!FUnsettled) return true;
    uint8_t sink[kFrameSize];
    for (uint32_t drained = 0; drained <= kSettleLimit;) {
        const uint32_t got = FPort.Read(sink, kFrameSize);
        if (got == 0) {
            FUnsettled = false;
            return true;
        }
        drained += std::min<uint32_t>(got, kFrameSize);
    }
    return false;
}

bool CDeviceLink::QueryState(TFrame& frame) {
    if (!FHandle) return false;
    const TFrame cmd = CommandFrame(kCmdState);
    if (!WriteAll(cmd.data(), kFrameSize)) return false;
    const uint32_t got = FPort.Read(frame.data(), kFrameSize);
    if (got < kFrameSize) {
        // Nothing within the time-out is a silent device; part of a reply
        // may be followed by the rest of it.
        if (got > 0) FUnsettled = true;
        return false;
    }
    return frame[1] == FrameChecksum(frame.data());
}

bool CDeviceLink::WriteState(TFrame& state) {
    state[0] = 0;
    state[1] = FrameChecksum(state.data());
    const TFrame cmd = CommandFrame(kCmdWriteState);
    if (WriteAll(cmd.data(), kFrameSize) && WriteAll(state.data(), kFrameSize)) WriteAll(cmd.data(), 6);
    TFrame reply{};
    if (!QueryState(reply)) return false;
    return std::equal(reply.begin() + 14, reply.end(), state.begin() + 14);
}

bool CDeviceLink::RestoreState(const TFrame& saved) {
    const unsigned attempts = FRetryCount * 5u + 1u;
    for (unsigned i = 0; i < attempts; ++i) {
        TFrame copy = saved;
        const bool confirmed = WriteState(copy);
        // The attempts follow one another without a purge: one that read
        // something other than its own reply leaves that reply on its way.
        if (i > 0) FUnsettled = true;
        if (confirmed) return true;
    }
    return false;
}

template <class Receive>
bool CDeviceLink::Exchange(uint32_t start, uint32_t end, Receive receive) {
    TFrame saved{};
    bool queried = false;
    // A reply read on a line that does not go quiet cannot be told from the
    // bytes around it: such an attempt fails.
    for (unsigned i = 0; i <= FRetryCount && !queried; ++i)
        queried = Settle() && QueryState(saved);
    if (!queried) return false;

    TFrame command = saved;
    command[0] = command[1] = 0;
    command[14] = static_cast<uint8_t>(start & 0xFF);
    command[15] = static_cast<uint8_t>((start >> 8) & 0xFF);
    command[16] = static_cast<uint8_t>(end & 0xFF);
    command[17] = static_cast<uint8_t>((end >> 8) & 0xFF);
    bool written = false;
    for (unsigned i = 0; i <= FRetryCount && !written; ++i) {
        TFrame copy = command;
        written = Settle() && WriteState(copy);
    }
    if (!written) {
        RestoreState(saved);
        return false;
    }
    // Whatever is still on its way now would be taken for the first records.
    if (!Settle()) {
        RestoreState(saved);
        return false;
    }
    const TFrame read = CommandFrame(kCmdReadRange);
    bool ok = WriteAll(read.data(), kFrameSize) && receive();
    if (!ok) FUnsettled = true;  // the device may stream on
    RestoreState(saved);
    return ok;
}

bool CDeviceLink::ReceiveDirectory(uint8_t* directory) {
    uint8_t buffer[kSlotCount * kFrameSize];
    if (FPort.Read(buffer, sizeof buffer) < sizeof buffer) return false;
    for (size_t k = 0; k < kSlotCount; ++k) {
        const uint8_t* rec = buffer + k * kFrameSize;
        if (rec[1] != FrameChecksum(rec) || rec[0] != k + 1) return false;
        std::memcpy(directory + k * kPayloadSize, rec + 2, kPayloadSize);
    }
    return true;
}

bool CDeviceLink::ReceiveRange(uint32_t count, const TPlanes& planes, uint32_t first) {
    uint32_t stored = 0;
    unsigned bad = 0;
    uint8_t buffer[kRecordsPerRead * kFrameSize];
    while (stored < count) {
        const uint32_t want = std::min<uint32_t>(kRecordsPerRead, count - stored) * kFrameSize;
        uint32_t got = FPort.Read(buffer, want);
        if (got == 0) return false;
        got = std::min(got, want);  // never trust the port beyond what was asked
        for (uint32_t off = 0; off + kFrameSize <= got && stored < count; off += kFrameSize) {
            const uint8_t* rec = buffer + off;
            if (rec[1] != FrameChecksum(rec)) {
                if (bad < FRetryCount) {
                    ++bad;
                    continue;
                }
                return false;
            }
            DecodeRecord(rec + 2, planes, first + stored);
            ++stored;
            bad = 0;
        }
    }
    return true;
}

bool CDeviceLink::ReadDirectory(uint8_t* directory) {
    return Exchange(kDirectoryStart, kDirectoryEnd, [&] { return ReceiveDirectory(directory); });
}

bool CDeviceLink::ReadRange(uint32_t start, uint32_t end, const TPlanes& planes, uint32_t first) {
    if (end < start) return false;
    const uint32_t count = end - start;
    if (first > planes.count || count > planes.count - first) return false;  // stays inside the planes
    return Exchange(start, end, [&] { return ReceiveRange(count, planes, first); });
}

}  // namespace ostrel
