#include "ostrelcom/Inspections.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace ostrel {

TInspections::TInspections(ISerialPort& port) : FLink(port) { std::memset(FDirectory, 0xFF, sizeof FDirectory); }

TInspections::~TInspections() { FLink.Close(); }

TSlot TInspections::Slot(unsigned k) const {
    const uint8_t* p = FDirectory + k * kPayloadSize;
    return {static_cast<uint16_t>(p[0] | p[1] << 8), static_cast<uint16_t>(p[2] | p[3] << 8),
            static_cast<uint16_t>(p[4] | p[5] << 8)};
}

int TInspections::Find(int64_t index) const {
    if (index < 0 || index > 65535) return -1;
    for (unsigned k = 0; k < kSlotCount; ++k)
        if (Slot(k).index == index) return static_cast<int>(k);
    return -1;
}

// Positions 64512..65535 lie outside the ring.  65535 would pass the
// device's own test, but any size or range made from it points outside the
// ring, so such slots (empty slots among them) count as not valid.
bool TInspections::Valid(const TSlot& s) { return s.start < 64512 && s.end < 64512; }

uint32_t TInspections::Footprint(const TSlot& s) {
    return s.start < s.end ? uint32_t(s.end) - s.start : kRingSize - s.start + s.end;
}

int32_t TInspections::ReadOstrelInfo(int32_t port) {
    if (FLink.IsOpen()) FLink.Close();
    if (!FLink.Open(port)) return kResultFalse;
    FLink.WakeUp();
    std::memset(FDirectory, 0xFF, sizeof FDirectory);
    return FLink.ReadDirectory(FDirectory) ? kResultOk : kResultFalse;
}

uint32_t TInspections::GetMaxIndex() const {
    uint32_t max = 0;
    for (unsigned k = 0; k < kSlotCount; ++k) {
        const uint16_t i = Slot(k).index;
        if (i == 0xFFFF) break;
        max = std::max<uint32_t>(max, i);
    }
    return max;
}

uint32_t TInspections::GetMinIndex() const {
    const uint32_t max = GetMaxIndex();
    uint32_t n = max;
    uint64_t total = 0;
    while (n != 0 && total < kRingSize) {
        const int k = Find(n);
        if (k >= 0 && Valid(Slot(k))) total += Footprint(Slot(k));
        --n;
    }
    uint32_t r = n + 1;
    if (total > kRingSize) ++r;
    return std::min(r, max);
}

uint32_t TInspections::GetInspectionSize(int32_t index) const {
    const int k = Find(index);
    if (k < 0 || !Valid(Slot(k))) return 0;
    return 18u * RecordCount(Slot(k));
}

bool TInspections::ReadChunks(uint32_t a, uint32_t b, const TPlanes& planes, uint32_t first) {
    const uint32_t runStart = a;
    unsigned failures = 0;
    while (a < b) {
        const uint32_t e = std::min(a + kChunkRecords, b);
        if (FLink.ReadRange(a, e, planes, first + (a - runStart))) {
            a = e;
            failures = 0;
        } else if (++failures >= FLink.RetryCount()) {
            return false;
        }
    }
    return true;
}

bool TInspections::ReadRuns(const TSlot& s, uint32_t count, const TPlanes& planes) {
    if (s.start + count <= kRingSize) return ReadChunks(s.start, s.start + count, planes, 0);
    if (!ReadChunks(s.start, kRingSize, planes, 0)) return false;
    return ReadChunks(0, s.start + count - kRingSize, planes, kRingSize - s.start);
}

int32_t TInspections::GetInspectionData(int32_t index, uint8_t* data, uint32_t size) {
    if (!FLink.IsOpen() || data == nullptr) return kResultFalse;
    const int k = Find(index);
    if (k < 0) return kResultFalse;
    const TSlot s = Slot(k);
    if (!Valid(s)) return kResultFalse;
    const uint32_t count = RecordCount(s);
    // An empty inspection has nothing to transfer: no traffic, nothing written.
    if (count == 0) return kResultFalse;
    const size_t bytes = 18u * size_t(count);
    if (size < bytes) return kResultFalse;
    // Zero-filled, so records that never arrived carry no stale memory.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes]());
    if (!buffer) return kResultFalse;
    FLink.Purge();
    const bool ok = ReadRuns(s, count, TPlanes{buffer.get(), count});
    std::memcpy(data, buffer.get(), bytes);
    return ok ? kResultOk : kResultFalse;
}

}  // namespace ostrel
