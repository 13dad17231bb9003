// UCommWrapper: framing of requests to and replies from the serial-port
// cardiomodule (STM), class TSTMCommandWrapper.
#pragma once

#include <cstdint>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

class TSTMCommandWrapper {
public:
    // 0x03, n low, n high, body, 0x0B, 0x16, 0x04.
    static TBytes wrapRequest(const TBytes& req);

    // Data bytes of the first reply frame in resp.  idStart receives the index
    // of the start byte (or where the scan stopped); idFinish the index of the
    // end byte or -1, and is left unwritten when no frame was found.
    // A frame whose length field is below 3 or which runs past the received
    // bytes yields no data (and idFinish -1): nothing outside resp is read.
    static TBytes unwrapResponse(const TBytes& resp, int& idStart, int& idFinish);
};
