// Whole-file reads and in-place rewrites through the wide-path Win32 API, and
// text bytes <-> UTF-16 with the byte-order mark rule (else the ANSI code page).
#pragma once

#include "common/TextLines.h"

#include <cstdint>
#include <string>
#include <vector>

namespace textfile {

// Raises EFOpenError when the file cannot be opened, EInOutError on a read error.
std::vector<uint8_t> ReadAll(const std::wstring& path, uint64_t maxSize = UINT64_C(1) << 30);
// Replaces the file's content (the file must exist and be writable); keeps its
// attributes.  Raises EFCreateError / EInOutError.
void Rewrite(const std::wstring& path, const std::string& bytes);
// Creates or truncates the file and writes bytes.  Raises EFCreateError / EInOutError.
void WriteNew(const std::wstring& path, const void* data, size_t n);

std::wstring DecodeText(const std::vector<uint8_t>& bytes, textlines::TBomInfo& bom);
std::string EncodeText(const std::wstring& text, textlines::TTextEncoding e);

}  // namespace textfile
