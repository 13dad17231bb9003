// Files that Windows tests write and read back.
#pragma once

#include <string>

namespace testsupport {

// Writes the bytes as the whole file, creating the folders up to it and
// clearing read-only, hidden and system attributes of a file it replaces.  A
// failure is reported to the running test (non-fatal).
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be opened (shared with any
// writer or deleter).
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// The text in the ANSI code page, as the framework writes its files.
std::string Ansi(const std::wstring& text);

}  // namespace testsupport
