// Growable byte buffer with a current position, the framework's stream type.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : FData(std::move(bytes)) {}

    size_t Size() const noexcept { return FData.size(); }
    size_t Position() const noexcept { return FPosition; }
    void SetPosition(size_t pos) noexcept { FPosition = pos; }
    void SetSize(size_t n) { FData.resize(n); if (FPosition > n) FPosition = n; }
    void Clear() noexcept { FData.clear(); FPosition = 0; }

    // Writes at the position (growing the buffer) and moves the position on.
    void Write(const void* src, size_t n) {
        if (n == 0) return;
        if (FPosition + n > FData.size()) FData.resize(FPosition + n);
        std::memcpy(FData.data() + FPosition, src, n);
        FPosition += n;
    }
    // Reads up to n bytes from the position; returns how many were read.
    size_t Read(void* dst, size_t n) noexcept {
        size_t avail = FPosition < FData.size() ? FData.size() - FPosition : 0;
        n = std::min(n, avail);
        if (n) std::memcpy(dst, FData.data() + FPosition, n);
        FPosition += n;
        return n;
    }

    const uint8_t* Data() const noexcept { return FData.data(); }
    uint8_t* Data() noexcept { return FData.data(); }
    const std::vector<uint8_t>& Bytes() const noexcept { return FData; }

private:
    std::vector<uint8_t> FData;
    size_t FPosition = 0;
};
