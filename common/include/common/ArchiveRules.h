// Platform-free rules of the ZIP helpers: which entry names may be extracted,
// whether a path lies inside a folder, and the figures of the packing log line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archive_rules {

// Why an entry name is refused (None: it is safe).
enum class TNameFault {
    None,
    Empty,            // no name, or only separators
    TooLong,          // over MaxNameLength characters or a component over 255
    Absolute,         // starts with a separator (root-relative or UNC path)
    Colon,            // drive letter, drive-relative path or alternate data stream
    DotComponent,     // "." or ".." component
    EmptyComponent,   // two separators in a row
    TrailingDotBlank, // component ending in "." or " " (Windows drops them)
    ReservedDevice,   // CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$ (any extension)
    BadCharacter,     // control character or one of < > " | ? *
};

constexpr size_t MaxNameLength = 1024;

struct TEntryName {
    std::vector<std::wstring> Components;  // safe relative path components
    bool IsFolder = false;                 // the name ended with a separator
};

// Checks one entry name (separators "\" and "/"); on success fills out.
TNameFault CheckEntryName(std::wstring_view name, TEntryName& out);
const char* FaultText(TNameFault f) noexcept;

// The Unicode Path extra field (id 0x7075) that archivers write beside a name
// field in the OEM code page: version 1, the CRC-32 of the name field, then
// the name in UTF-8.  Looks for it in an entry's extra block; true, with its
// name, when the field has version 1 and its CRC equals nameFieldCrc (the
// field then describes the name field as it stands).  Only the first such
// field counts; a block that runs past its end is read up to there.
bool FindUnicodePathField(std::string_view extra, uint32_t nameFieldCrc, std::string& utf8Name);

// Whether path lies inside folder (or is the folder), comparing whole path
// components ("C:\a\bc" is not inside "C:\a\b"), Latin letters without case.
// Both must be full paths; "." and ".." components are not resolved here.
bool IsPathInside(std::wstring_view folder, std::wstring_view path);
// Splits at "\" and "/", dropping empty components.
std::vector<std::wstring> PathComponents(std::wstring_view path);

// Round to the nearest integer, halves to the even neighbour.
int64_t RoundHalfEven(double x) noexcept;
// Archive size divided by the packed byte count; 0 when nothing was packed.
double CompressionRatio(uint64_t archiveSize, int32_t byteCount) noexcept;
// The log line written when packing ends.
std::wstring PackLogLine(const std::wstring& zipFileName, int32_t byteCount, double compressionRatio);

}  // namespace archive_rules
