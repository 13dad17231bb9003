#pragma once
// The simulated measuring device without any I/O: bytes from the host go in,
// reply bytes and log lines come out.  The serial-line side (pseudo-terminal,
// pacing, control files) lives in ostrelsim.cpp.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrelsim {

constexpr size_t kFrame = 18;
constexpr uint32_t kDirFirst = 0xFC00;  // 32 directory records
constexpr int kAlways = -1;

// A fault that fires a limited number of times (kAlways: every time; 0: off).
struct TFault {
    int times = 0;
    uint32_t at = 0;     // position or slot the fault applies to
    uint32_t copies = 0; // badrec: corrupted copies before the good one
    bool Armed() const { return times != 0; }
    void Fire()
    {
        if (times > 0)
            --times;
    }
};

struct TSlotSpec {
    uint16_t index = 0xFFFF, start = 0xFFFF, end = 0xFFFF;
    bool empty = true;
};

struct TScenario {
    uint32_t seed = 1;
    std::array<TSlotSpec, 32> slots{};
    std::array<uint8_t, 12> settings{};
    uint16_t stateStart = 0x0010, stateEnd = 0x0020;
    uint8_t stateTag = 0x5A;
    bool wakeRequired = true;
    bool paced = false;
    bool unplugged = false;    // the port's link is removed: opening the port fails
    bool frames = false;       // every frame received is logged as "rx <hex>"
    // Fault modes.
    bool silent = false;       // never answers
    bool noWake = false;       // never wakes up
    TFault badState;           // state replies with a wrong checksum
    TFault shortState;         // state replies of 10 bytes only
    TFault noConfirm;          // state writes ignored
    TFault wrongWrite;         // state writes applied with end + 1
    bool restoreFail = false;  // writes of the initial range applied with end + 1
    TFault dirSeq;             // directory record `at` (0..31) with a wrong sequence byte
    TFault dirSum;             // directory record `at` with a wrong checksum
    TFault dirShort;           // only `at` directory records sent
    TFault badRec;             // `copies` corrupted copies of record `at` before the good one
    TFault dropRec;            // record `at` sent corrupted, not sent again
    TFault stopAt;             // streaming stops before position `at`
    uint32_t extra = 0;        // records sent beyond the range's end

    // Words "key=value" separated by white space; unknown words are listed in
    // `errors`.  The default directory is used when no slot is given.
    static TScenario Parse(const std::string& text, std::string* errors = nullptr);
};

class TDevice {
public:
    explicit TDevice(const TScenario& s);

    // Consumes host bytes; appends reply bytes to `out` and log lines to `log`.
    void Feed(const uint8_t* data, size_t n, std::vector<uint8_t>& out, std::vector<std::string>& log);

    uint16_t RangeStart() const { return FStart; }
    uint16_t RangeEnd() const { return FEnd; }
    const std::array<uint8_t, 12>& Settings() const { return FSettings; }
    bool Awake() const { return FAwake; }

    // The 18-byte record the device sends for a position (tag, checksum, payload).
    std::array<uint8_t, kFrame> Record(uint32_t position) const;
    std::array<uint8_t, kFrame> StateFrame() const;

private:
    enum class TExpect { Command, StateFrame, Tail };
    TScenario FS;
    std::vector<uint8_t> FIn;
    TExpect FExpect = TExpect::Command;
    std::array<uint8_t, kFrame> FPendingState{};
    std::array<uint8_t, 12> FSettings{};
    uint16_t FStart, FEnd;
    bool FAwake;
    bool FTorn = false;  // the last state write lost its tail: expect stray bytes

    void Command(uint8_t cmd, std::vector<uint8_t>& out, std::vector<std::string>& log);
    void ApplyState(std::vector<std::string>& log);
    void Stream(std::vector<uint8_t>& out, std::vector<std::string>& log);
};

uint8_t Checksum(const uint8_t* frame);  // sum of bytes 2..17 modulo 256
std::string Hex(const uint8_t* data, size_t n);

}  // namespace ostrelsim
