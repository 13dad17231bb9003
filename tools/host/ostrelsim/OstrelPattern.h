#pragma once
// Content of the simulated device's record memory.  Every ring position holds
// one record made from the position and a seed, so a test can predict every
// value a transfer must deliver without asking the simulator.
//
// A record is described by what it means (eight 12-bit samples, the channels
// that are off, the record flag); Payload() encodes it into the 16 bytes the
// device sends, Expected() says what a host must decode from it.  The bits the
// host must ignore (15 and 0 of every word, 14 of W1..W7) carry noise.
#include <cstdint>

namespace ostrelsim {

constexpr uint32_t kRingPositions = 64511;

struct TPatternRecord {
    int16_t sample[8];  // per output plane, -2048..2047
    uint8_t off;        // bit c: channel of plane c is off
    bool flag;          // record flag (bit 14 of W0)
    uint8_t noise[8];   // per word: bit 0 -> word bit 0, bit 1 -> bit 15, bit 2 -> bit 14 (W1..W7)
};

// Word of the payload that carries plane c, and the status bit of plane c.
constexpr int kPlaneWord[8] = {1, 0, 7, 6, 5, 4, 3, 2};
constexpr uint16_t kPlaneOffBit[8] = {0x0001, 0x0002, 0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200};

inline uint32_t PatternMix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

inline TPatternRecord PatternRecord(uint32_t seed, uint32_t position)
{
    TPatternRecord r{};
    const uint32_t h = PatternMix(position * 0x9E3779B1u ^ PatternMix(seed + 0x51ED27u));
    for (int c = 0; c < 8; ++c) {
        const uint32_t hc = PatternMix(h + 0x632BE5ABu * static_cast<uint32_t>(c + 1));
        r.sample[c] = static_cast<int16_t>(static_cast<int>(hc & 0x0FFF) - 2048);
        if ((hc >> 12) % 13 == 0)
            r.off = static_cast<uint8_t>(r.off | (1u << c));
        r.noise[c] = static_cast<uint8_t>((hc >> 24) & 7);
    }
    // The range ends of the samples appear regularly.
    if (position % 89 == 3) {
        for (int c = 0; c < 8; ++c)
            r.sample[c] = static_cast<int16_t>(c % 2 ? 2047 : -2048);
    }
    if (position % 101 == 7)
        r.off = 0xFF;  // all channels off
    r.flag = h % 23 == 0;
    return r;
}

// The 16-byte payload the device stores for the record.
inline void PatternPayload(const TPatternRecord& r, uint8_t* payload)
{
    uint16_t words[8] = {};
    for (int c = 0; c < 8; ++c) {
        const int k = kPlaneWord[c];
        uint16_t w = static_cast<uint16_t>((static_cast<uint16_t>(r.sample[c]) & 0x0FFF) << 1);
        if (r.off & (1u << c))
            w |= 0x2000;
        if (r.noise[k] & 1)
            w |= 0x0001;
        if (r.noise[k] & 2)
            w |= 0x8000;
        if (k == 0) {
            if (r.flag)
                w |= 0x4000;
        } else if (r.noise[k] & 4) {
            w |= 0x4000;
        }
        words[k] = w;
    }
    for (int k = 0; k < 8; ++k) {
        payload[2 * k] = static_cast<uint8_t>(words[k] >> 8);
        payload[2 * k + 1] = static_cast<uint8_t>(words[k] & 0xFF);
    }
}

// What a host must decode: the value of plane 0..7 and the status word (plane 8).
inline int16_t PatternValue(const TPatternRecord& r, int plane)
{
    if (r.flag || (r.off & (1u << plane)))
        return 0;
    return r.sample[plane];
}

inline uint16_t PatternStatus(const TPatternRecord& r)
{
    uint16_t s = r.flag ? 0x0008 : 0;
    for (int c = 0; c < 8; ++c)
        if (r.off & (1u << c))
            s = static_cast<uint16_t>(s | kPlaneOffBit[c]);
    if (r.off == 0xFF)
        s |= 0x0004;
    return s;
}

}  // namespace ostrelsim
