#pragma once
// Platform-free part of the device client: the nine planes delivered by
// IOstrelComm::GetInspectionData, and their CSV table and SVG plot.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrelclient {

constexpr unsigned kChannelCount = 8;
constexpr unsigned kStatusPlane = 8;
constexpr unsigned kPlaneCount = 9;
constexpr size_t kBytesPerRecord = 2 * kPlaneCount;  // 18

// One sample channel: its plane, the record word it is decoded from and the
// status bit that marks it off.
struct TChannel {
    const char* Name;  // "ch0" .. "ch7"
    const char* Word;  // "W1", "W0", "W7", ...
    uint16_t OffBit;
};
extern const TChannel kChannels[kChannelCount];

// Status bits that are not channel-off bits.
constexpr uint16_t kStatusAllOff = 0x0004;
constexpr uint16_t kStatusRecordFlag = 0x0008;

class TInspection {
public:
    TInspection() = default;
    // From the buffer filled by GetInspectionData: nine planes of `count`
    // 16-bit little-endian values.  False when size is not a multiple of 18.
    bool Assign(const uint8_t* data, size_t size);

    uint32_t Count() const { return FCount; }
    int16_t Sample(unsigned channel, uint32_t record) const { return FPlanes[channel][record]; }
    uint16_t Status(uint32_t record) const { return static_cast<uint16_t>(FPlanes[kStatusPlane][record]); }
    bool Off(unsigned channel, uint32_t record) const { return (Status(record) & kChannels[channel].OffBit) != 0; }

private:
    uint32_t FCount = 0;
    std::vector<int16_t> FPlanes[kPlaneCount];
};

// CSV: a header line, then one line per record: record number, the eight
// samples in plane order, the status word in hexadecimal.  Lines end in CRLF.
std::string WriteCsv(const TInspection& insp, char separator = ',');

struct TSvgOptions {
    unsigned Width = 1200;       // whole picture, pixels
    unsigned LaneHeight = 90;    // one channel's band, pixels
    std::string Title;           // drawn above the plot (escaped)
};

// SVG: one band per channel (top to bottom ch0..ch7), each trace scaled to
// its own minimum and maximum, the x axis in record numbers.  When there are
// more records than twice the plot's width in pixels, each pixel column
// keeps the minimum and maximum of its records.  Output depends only on the
// arguments (integer arithmetic, no locale).
std::string WriteSvg(const TInspection& insp, const TSvgOptions& options);

// Plot geometry, exposed for the tests.
constexpr unsigned kSvgLeft = 150, kSvgRight = 20, kSvgTop = 40, kSvgBottom = 50, kSvgLanePad = 6;
constexpr unsigned kSvgMinWidth = kSvgLeft + kSvgRight + 10;
constexpr unsigned kSvgMinLane = 2 * kSvgLanePad + 10;

}  // namespace ostrelclient
