#pragma once
// The fault matrix of the device server, shared by the Wine test (the real
// COM object and serial port against the simulator program) and the native
// test (the platform-free logic against the simulator's device model):
// scenario rows, the record pattern comparison and the reading of the
// simulator's event log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "OstrelPattern.h"

namespace devicerows {

constexpr int kOk = 0;     // S_OK
constexpr int kFalse = 1;  // S_FALSE
constexpr uint32_t kChunk = 500;  // records per range read
// A transfer buffer is prefilled with the sentinel and has a guard behind the
// bytes the server is given.
constexpr uint8_t kSentinel = 0xCD;
constexpr size_t kGuard = 64;

inline int Count(const std::vector<std::string>& lines, const std::string& prefix)
{
    int n = 0;
    for (const auto& l : lines)
        n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
}

inline std::string Errors(const std::vector<std::string>& lines)
{
    std::string e;
    for (const auto& l : lines)
        if (l.compare(0, 5, "ERROR") == 0)
            e += l + "\n";
    return e;
}

inline std::string Joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\n";
    return s;
}

// The ranges the device streamed, "a-b a-b ...".
inline std::string Reads(const std::vector<std::string>& lines)
{
    std::string r;
    for (const auto& l : lines) {
        unsigned a = 0, b = 0;
        if (std::sscanf(l.c_str(), "read %u %u", &a, &b) == 2) {
            if (!r.empty())
                r += ' ';
            r += std::to_string(a);
            r += '-';
            r += std::to_string(b);
        }
    }
    return r;
}

// The device's range as its last state reply gave it.
inline std::string LastState(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines) {
        unsigned a = 0, b = 0;
        if (std::sscanf(l.c_str(), "query %u %u", &a, &b) == 2)
            s = std::to_string(a) + "-" + std::to_string(b);
    }
    return s;
}

// A device session: the scenario goes to the simulator behind `port`, with a
// run number so that every session starts the device afresh.
// Compares a transfer of `count` records from ring position `start` with the
// pattern; returns the first difference.
inline std::string Compare(const std::vector<uint8_t>& buf, uint32_t start, uint32_t count, uint32_t seed)
{
    auto at = [&](uint32_t plane, uint32_t r) {
        const size_t o = 2 * (size_t(count) * plane + r);
        return static_cast<uint16_t>(buf[o] | buf[o + 1] << 8);
    };
    for (uint32_t r = 0; r < count; ++r) {
        const uint32_t pos = (start + r) % ostrelsim::kRingPositions;
        const auto rec = ostrelsim::PatternRecord(seed, pos);
        for (int p = 0; p < 8; ++p)
            if (at(p, r) != static_cast<uint16_t>(ostrelsim::PatternValue(rec, p)))
                return "record " + std::to_string(r) + " (position " + std::to_string(pos) + ") plane " +
                       std::to_string(p) + ": " + std::to_string(int16_t(at(p, r))) + " instead of " +
                       std::to_string(ostrelsim::PatternValue(rec, p));
        if (at(8, r) != ostrelsim::PatternStatus(rec))
            return "record " + std::to_string(r) + " status " + std::to_string(at(8, r)) + " instead of " +
                   std::to_string(ostrelsim::PatternStatus(rec));
    }
    return "";
}

// One row of the fault matrix: a scenario, the port asked for, and what the
// device protocol says must come out.
struct TRow {
    const char* name;
    const char* scenario = "";
    int port = 1;
    int info = kOk;
    uint32_t max = 3, min = 1;  // default directory: inspections 1, 2, 3
    int index = -1;             // inspection to transfer; -1: none (other values are passed on)
    uint32_t size = 0;          // GetInspectionSize(index)
    int data = kOk;
    const char* reads = "";     // ranges streamed during the transfer (nullptr: not checked)
    uint32_t start = 0;         // ring position of the inspection's first record
    uint32_t seed = 1;
    int bufferDelta = 0;        // buffer = size + delta
    int queries = -1;           // state queries during ReadOstrelInfo (-1: not checked)
    int writes = -1;            // state writes during ReadOstrelInfo
    bool restored = true;       // the device ends in its initial range 16-32
};
// Range reads of a transfer without faults: chunks of 500 in each run.
inline int ChunkCount(uint32_t start, uint32_t count)
{
    const uint32_t ring = ostrelsim::kRingPositions;
    auto chunks = [](uint32_t n) { return int((n + kChunk - 1) / kChunk); };
    if (start + count <= ring)
        return chunks(count);
    return chunks(ring - start) + chunks(start + count - ring);
}

// What a row's GetInspectionData must leave: the device's events, nothing
// written beyond the buffer (or at all without a transfer), the pattern's
// records after a success, the device back in its previous range.
// `got`: what GetInspectionData returned.  S_OK with data that differ from
// the pattern is the one outcome the server must never give; it is named as
// such ("S_OK WITH WRONG DATA") so that a soak run can count it.
inline void ExpectTransfer(const TRow& row, const std::vector<uint8_t>& buf, size_t bytes,
                           const std::vector<std::string>& dataLog, int got)
{
    EXPECT_EQ(Errors(dataLog), "") << Joined(dataLog);
    EXPECT_EQ(Count(dataLog, "wake"), 0) << "a transfer does not wake the device again";
    if (row.reads) {
        EXPECT_EQ(Reads(dataLog), row.reads);
    } else {
        EXPECT_EQ(Count(dataLog, "read"), ChunkCount(row.start, row.size / 18));
    }
    EXPECT_EQ(std::count(buf.begin() + static_cast<std::ptrdiff_t>(bytes), buf.end(), kSentinel), int(kGuard))
        << "written beyond the buffer";
    if (row.reads && row.reads[0] == 0) {
        EXPECT_EQ(std::count(buf.begin(), buf.end(), kSentinel), int(buf.size())) << "buffer written without a transfer";
    }
    if (row.data == kOk) {
        ASSERT_EQ(row.size % 18, 0u);
        const std::string diff = Compare(buf, row.start, row.size / 18, row.seed);
        EXPECT_EQ(diff, "");
        if (got == kOk && !diff.empty())
            ADD_FAILURE() << "S_OK WITH WRONG DATA: " << diff;
    }
    if (row.restored && (!row.reads || row.reads[0] != 0)) {
        EXPECT_EQ(LastState(dataLog), "16-32") << "device not left in its previous range";
    }
}

inline void PrintTo(const TRow& r, std::ostream* os) { *os << r.name; }

// Slots for the index-range rows: footprints 30000, 30000 and 10000 (or 4511).
#define MIN_OVER "insp=12:0:30000 insp=11:30000:60000 insp=10:60000:5489 insp=9:5489:5600"
#define MIN_EXACT "insp=12:0:30000 insp=11:30000:60000 insp=10:60000:0 insp=9:0:100"
#define SEVEN "insp=1:0:10 insp=2:10:20 insp=3:20:30 insp=4:30:40 insp=5:40:50 insp=6:50:60 insp=7:60:70"

inline const TRow kRows[] = {
    {.name = "Healthy", .index = 1, .size = 1800, .reads = "0-100", .queries = 3, .writes = 2},
    {.name = "Port0OpensCom1", .port = 0, .index = 1, .size = 1800, .reads = "0-100"},
    {.name = "Port5OpensCom1", .port = 5, .index = 1, .size = 1800, .reads = "0-100"},
    {.name = "PortMinus1OpensCom1", .port = -1, .index = 1, .size = 1800, .reads = "0-100"},
    {.name = "Com2", .scenario = "seed=7 insp=5:2000:2101", .port = 2, .max = 5, .min = 1, .index = 5, .size = 1800,
     .reads = "2000-2100", .start = 2000, .seed = 7},
    {.name = "PortWithoutDevice", .scenario = "unplugged=1", .port = 2, .info = kFalse, .max = 0, .min = 0, .index = 1, .size = 0,
     .data = kFalse},
    {.name = "SilentDevice", .scenario = "silent=1", .info = kFalse, .max = 0, .min = 0, .index = 1, .size = 0,
     .data = kFalse, .queries = 4, .writes = 0},
    {.name = "DeviceNeverWakes", .scenario = "nowake=1", .info = kFalse, .max = 0, .min = 0, .queries = 4,
     .writes = 0},
    {.name = "CorruptStateReplies", .scenario = "badstate=all", .info = kFalse, .max = 0, .min = 0, .queries = 4,
     .writes = 0},
    {.name = "CorruptStateRepliesThreeTimes", .scenario = "badstate=3", .index = 1, .size = 1800, .reads = "0-100",
     .queries = 6, .writes = 2},
    {.name = "ShortStateReplyOnce", .scenario = "shortstate=1", .index = 1, .size = 1800, .reads = "0-100",
     .queries = 4, .writes = 2},
    {.name = "ArbitraryStateTag", .scenario = "statetag=0xEE settings=00FF7F80A5C3E1010203F0F1", .index = 2,
     .size = 21600, .reads = "101-601 601-1101 1101-1301", .start = 101},
    {.name = "UnconfirmedWrites", .scenario = "noconfirm=all", .info = kFalse, .max = 0, .min = 0, .writes = 5},
    {.name = "UnconfirmedWritesThreeTimes", .scenario = "noconfirm=3", .index = 1, .size = 1800, .reads = "0-100",
     .writes = 5},
    {.name = "WritesNeverConfirmed", .scenario = "wrongwrite=all", .info = kFalse, .max = 0, .min = 0,
     .writes = 4 + 16, .restored = false},
    {.name = "RestoreNeverConfirmed", .scenario = "restorefail=1", .index = 1, .size = 1800, .reads = "0-100",
     .writes = 1 + 16, .restored = false},
    {.name = "DirectoryBadSequence", .scenario = SEVEN " dirseq=5", .info = kFalse, .max = 5, .min = 1},
    {.name = "DirectoryBadChecksum", .scenario = SEVEN " dirsum=0", .info = kFalse, .max = 0, .min = 0},
    {.name = "DirectoryCutShort", .scenario = SEVEN " dirshort=31", .info = kFalse, .max = 0, .min = 0},
    {.name = "Chunks500_500_200", .index = 2, .size = 21600, .reads = "101-601 601-1101 1101-1301", .start = 101},
    {.name = "AcrossRingEnd", .index = 3, .size = 14580, .reads = "64000-64500 64500-64511 0-299", .start = 64000},
    {.name = "EndsAtRingEnd", .scenario = "seed=3 insp=4:64000:1", .max = 4, .min = 1, .index = 4, .size = 9198,
     .reads = "64000-64500 64500-64511", .start = 64000, .seed = 3},
    {.name = "CorruptRecordsBelowLimit", .scenario = "badrec=50:3", .index = 1, .size = 1800, .reads = "0-100"},
    // A receive that fails while the device still streams: the restore reads
    // stream records as state replies and may fail (torn writes are logged).
    {.name = "CorruptRecordsAtLimit", .scenario = "badrec=50:4", .index = 1, .size = 1800, .data = kFalse,
     .reads = "0-100 0-100 0-100", .restored = false},
    {.name = "ChunkFailsTwiceThenSucceeds", .scenario = "badrec=700:4:2", .index = 2, .size = 21600,
     .reads = "101-601 601-1101 601-1101 601-1101 1101-1301", .start = 101},
    {.name = "ChunkFailsThreeTimes", .scenario = "badrec=700:4:3", .index = 2, .size = 21600, .data = kFalse,
     .reads = "101-601 601-1101 601-1101 601-1101", .restored = false},
    {.name = "DeviceStopsMidChunkOnce", .scenario = "stopat=793:1", .index = 2, .size = 21600,
     .reads = "101-601 601-1101 601-1101 1101-1301", .start = 101},
    {.name = "DeviceStopsMidChunk", .scenario = "stopat=48", .index = 1, .size = 1800, .data = kFalse,
     .reads = "0-100 0-100 0-100"},
    {.name = "RecordLostOnce", .scenario = "droprec=20:1", .index = 1, .size = 1800, .reads = "0-100 0-100"},
    {.name = "SecondRunFails", .scenario = "stopat=96", .index = 3, .size = 14580, .data = kFalse,
     .reads = "64000-64500 64500-64511 0-299 0-299 0-299"},
    {.name = "FirstRunFailsSecondNotRead", .scenario = "badrec=64100:4", .index = 3, .size = 14580, .data = kFalse,
     .reads = "64000-64500 64000-64500 64000-64500", .restored = false},
    {.name = "ExtraRecordsAfterRange", .scenario = "extra=3", .index = 1, .size = 1800, .reads = "0-100",
     .restored = false},
    {.name = "EmptySlotIndex65535", .index = 65535, .size = 0, .data = kFalse},
    {.name = "IndexAfterEmptySlot", .scenario = "slot=0:7:0:10 slot=1:8:10:20 slot=2:9:20:30 slot=4:20:300:400",
     .max = 9, .min = 1, .index = 20, .size = 1782, .reads = "300-399", .start = 300},
    {.name = "SlotOutsideRing", .scenario = "insp=6:64600:64700 insp=5:0:10", .max = 6, .min = 1, .index = 6,
     .size = 0, .data = kFalse},
    {.name = "InspectionWithoutRecords", .scenario = "insp=6:500:501", .max = 6, .min = 1, .index = 6, .size = 0,
     .data = kFalse},
    {.name = "BufferOneByteShort", .index = 1, .size = 1800, .data = kFalse, .bufferDelta = -1},
    {.name = "UnknownIndex", .index = 4, .size = 0, .data = kFalse},
    {.name = "MinIndexRingOverflow", .scenario = MIN_OVER, .max = 12, .min = 11, .index = 10, .size = 179982,
     .reads = "60000-60500 60500-61000 61000-61500 61500-62000 62000-62500 62500-63000 63000-63500 63500-64000 "
              "64000-64500 64500-64511 0-500 500-1000 1000-1500 1500-2000 2000-2500 2500-3000 3000-3500 3500-4000 "
              "4000-4500 4500-5000 5000-5488",
     .start = 60000},
    {.name = "MinIndexRingExactlyFull", .scenario = MIN_EXACT, .max = 12, .min = 10},
    {.name = "ThirtyTwoSlots",
     .scenario = "insp=1:0:2 insp=2:2:4 insp=3:4:6 insp=4:6:8 insp=5:8:10 insp=6:10:12 insp=7:12:14 insp=8:14:16 "
                 "insp=9:16:18 insp=10:18:20 insp=11:20:22 insp=12:22:24 insp=13:24:26 insp=14:26:28 insp=15:28:30 "
                 "insp=16:30:32 insp=17:32:34 insp=18:34:36 insp=19:36:38 insp=20:38:40 insp=21:40:42 insp=22:42:44 "
                 "insp=23:44:46 insp=24:46:48 insp=25:48:50 insp=26:50:52 insp=27:52:54 insp=28:54:56 insp=29:56:58 "
                 "insp=30:58:60 insp=31:60:62 insp=32:62:64",
     .max = 32, .min = 1, .index = 32, .size = 18, .reads = "62-63", .start = 62},
    {.name = "CorruptCopiesAcrossReadBoundary", .scenario = "badrec=14:3", .index = 1, .size = 1800, .reads = "0-100"},
    {.name = "SlotWithEnd65535", .scenario = "insp=8:100:65535 insp=3:0:10", .max = 8, .min = 1, .index = 8, .size = 0,
     .data = kFalse},
    {.name = "SlotWithoutFootprint", .scenario = "insp=8:64511:0 insp=3:0:10", .max = 8, .min = 1, .index = 8,
     .size = 0, .data = kFalse},
    {.name = "IndexZero", .scenario = "insp=0:100:200 insp=3:0:10", .max = 3, .min = 1, .index = 0, .size = 1782,
     .reads = "100-199", .start = 100},
    {.name = "Index65536DoesNotWrapToZero", .scenario = "insp=0:100:200 insp=3:0:10", .max = 3, .min = 1,
     .index = 65536, .size = 0, .data = kFalse},
    {.name = "NegativeIndex", .scenario = "insp=0:100:200 insp=65535:0:10", .max = 0, .min = 0, .index = -1 - 65536,
     .size = 0, .data = kFalse},
    // start = end: the whole ring, 64510 records in 128 + 2 chunks.
    {.name = "FullRing", .scenario = "seed=11 insp=1:1000:1000", .max = 1, .min = 1, .index = 1, .size = 18 * 64510,
     .reads = nullptr, .start = 1000, .seed = 11},
    {.name = "PacedLine", .scenario = "pace=1", .index = 1, .size = 1800, .reads = "0-100"},
};

}  // namespace devicerows
