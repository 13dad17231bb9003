#include "device/UCommWrapper.h"

TBytes TSTMCommandWrapper::wrapRequest(const TBytes& req)
{
    const std::size_t n = req.size();
    TBytes out;
    out.reserve(n + 6);
    out.push_back(0x03);
    out.push_back(static_cast<std::uint8_t>(n % 256));
    out.push_back(static_cast<std::uint8_t>((n / 256) % 256));
    out.insert(out.end(), req.begin(), req.end());
    out.push_back(0x0B);
    out.push_back(0x16);
    out.push_back(0x04);
    return out;
}

TBytes TSTMCommandWrapper::unwrapResponse(const TBytes& resp, int& idStart, int& idFinish)
{
    TBytes result;
    idStart = 0;
    const long long len = static_cast<long long>(resp.size());
    if (len == 0)
        return result;  // nothing received: no frame, idFinish unwritten
    while (idStart < len - 1 && resp[static_cast<std::size_t>(idStart)] != 0x03)
        ++idStart;
    if (idStart > len - 2)
        return result;  // no start byte, or it is the last byte

    const long long p = idStart;
    // The length byte pair may itself be cut off: p + 2 is then past the end.
    if (p + 2 >= len) {
        idFinish = -1;
        return result;
    }
    const long long L = resp[static_cast<std::size_t>(p + 1)] + 256LL * resp[static_cast<std::size_t>(p + 2)];
    // Below 3 the frame has no room for its header; a data part running past
    // the received bytes cannot be taken either.  Both count as "no data".
    if (L < 3 || p + 3 + L > len) {
        idFinish = -1;
        return result;
    }
    result.assign(resp.begin() + static_cast<std::ptrdiff_t>(p + 6),
                  resp.begin() + static_cast<std::ptrdiff_t>(p + 3 + L));
    const long long fin = p + L + 5;
    idFinish = (fin < len && resp[static_cast<std::size_t>(fin)] == 0x04) ? static_cast<int>(fin) : -1;
    return result;
}
