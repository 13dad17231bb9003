#pragma once
// Serial link to the measuring device: the 18-byte frames, the state query and
// write, restoration of the device's range state and the two read exchanges.
#include <array>
#include <cstddef>
#include <cstdint>

#include "ostrelcom/SerialPort.h"

namespace ostrel {

constexpr size_t kFrameSize = 18;
constexpr size_t kPayloadSize = 16;
constexpr size_t kSlotCount = 32;
constexpr size_t kDirectorySize = kSlotCount * kPayloadSize;  // 512
constexpr uint32_t kDirectoryStart = 0xFC00;
constexpr uint32_t kDirectoryEnd = 0xFC20;
constexpr uint32_t kRecordsPerRead = 16;
constexpr uint32_t kQueueSize = 100000;
constexpr uint32_t kReadTimeoutMs = 1000;
// Most bytes read and discarded while waiting for the line to go quiet.
constexpr uint32_t kSettleLimit = 2 * kQueueSize;

enum : uint8_t { kCmdWakeUp = 0x80, kCmdState = 0x82, kCmdReadRange = 0x84, kCmdWriteState = 0x88 };

using TFrame = std::array<uint8_t, kFrameSize>;

TFrame CommandFrame(uint8_t command);
uint8_t FrameChecksum(const uint8_t* frame);  // sum of bytes 2..17 mod 256

// Output planes of a transfer: nine planes of `count` 16-bit little-endian values.
struct TPlanes {
    uint8_t* data = nullptr;
    uint32_t count = 0;  // records of the whole inspection
};

// Decodes one data-record payload into position r of the planes.  `r` must
// be below planes.count.
void DecodeRecord(const uint8_t* payload, const TPlanes& planes, uint32_t r);

class CSerialLink {
public:
    explicit CSerialLink(ISerialPort& port) : FPort(port) {}
    virtual ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    bool Open(int portNumber);
    bool Close();
    bool IsOpen() const { return FOpen; }
    void Purge() { FPort.Purge(); }

protected:
    ISerialPort& FPort;
    uint32_t FBaudRate = 115200;
    uint8_t FDataBits = 8;
    uint8_t FParity = 0;
    uint8_t FStopBits = 0;
    bool FHandle = false;  // the port handle is held
    bool FOpen = false;

    void TearDown();
    bool WriteAll(const uint8_t* data, uint32_t size) { return FPort.Write(data, size) == size; }
};

class CDeviceLink : public CSerialLink {
public:
    explicit CDeviceLink(ISerialPort& port) : CSerialLink(port) {}
    ~CDeviceLink() override;

    bool WakeUp();
    bool QueryState(TFrame& frame);
    bool WriteState(TFrame& state);
    bool RestoreState(const TFrame& saved);
    // Fills directory slots in order; slots before a failing record keep new content.
    bool ReadDirectory(uint8_t* directory);
    // Reads end - start records into the planes from record `first` on.
    bool ReadRange(uint32_t start, uint32_t end, const TPlanes& planes, uint32_t first);

    uint16_t RetryCount() const { return FRetryCount; }
    // The device may still be sending what the host has not read: the rest
    // of a stream whose receive failed, the tail of a state reply cut short,
    // the replies to restore attempts that read something else.
    bool LineUnsettled() const { return FUnsettled; }

private:
    uint16_t FRetryCount = 3;
    bool FUnsettled = false;

    // Purge; on an unsettled line also read and discard until a read brings
    // nothing (one read time-out of silence).  False when the line did not
    // go quiet within kSettleLimit bytes.
    bool Settle();

    template <class Receive>
    bool Exchange(uint32_t start, uint32_t end, Receive receive);
    bool ReceiveDirectory(uint8_t* directory);
    bool ReceiveRange(uint32_t count, const TPlanes& planes, uint32_t first);
};

}  // namespace ostrel
