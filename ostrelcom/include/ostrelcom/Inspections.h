#pragma once
// The inspection directory held by a Comm object and the five device
// operations built on the link.  Results: 0 = S_OK, 1 = S_FALSE.
#include <cstdint>

#include "ostrelcom/DeviceLink.h"

namespace ostrel {

constexpr uint32_t kRingSize = 64511;
constexpr uint32_t kChunkRecords = 500;
constexpr int32_t kResultOk = 0;
constexpr int32_t kResultFalse = 1;

struct TSlot {
    uint16_t index, start, end;
};

class TInspections {
public:
    explicit TInspections(ISerialPort& port);
    ~TInspections();

    int32_t ReadOstrelInfo(int32_t port);
    uint32_t GetMaxIndex() const;
    uint32_t GetMinIndex() const;
    uint32_t GetInspectionSize(int32_t index) const;
    int32_t GetInspectionData(int32_t index, uint8_t* data, uint32_t size);

    // Directory access for tests and tools.
    uint8_t* Directory() { return FDirectory; }
    TSlot Slot(unsigned k) const;
    // Slot lookup: the first slot whose index equals i; -1 if none.
    int Find(int64_t index) const;
    static bool Valid(const TSlot& s);
    static uint32_t Footprint(const TSlot& s);
    // Footprint less one; 0 for start 64511 with end 0, whose footprint is 0.
    static uint32_t RecordCount(const TSlot& s) { return Footprint(s) == 0 ? 0 : Footprint(s) - 1; }
    CDeviceLink& Link() { return FLink; }

private:
    CDeviceLink FLink;
    uint8_t FDirectory[kDirectorySize];

    bool ReadChunks(uint32_t a, uint32_t b, const TPlanes& planes, uint32_t first);
    bool ReadRuns(const TSlot& s, uint32_t count, const TPlanes& planes);
};

}  // namespace ostrel
