// Clean-up of the folders that Windows tests and benchmarks make.
#pragma once

#include <string>

namespace testsupport {

// Removes the folder and everything below it, read-only entries included.
// Links (reparse points) are removed themselves, never followed.  A trailing
// backslash is optional; failures are ignored.
void RemoveTree(const std::wstring& dir);

}  // namespace testsupport
