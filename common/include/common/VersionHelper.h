// Version of the running program and the age of the operating system.
#pragma once

#include <cstdint>
#include <string>

class TVersionHelper {
public:
    TVersionHelper() = delete;
    static int32_t GetMajorVersion();
    static int32_t GetMinorVersion();
    // "12.393 от 11.06.2020": the file date in the process's short date format.
    static std::wstring GetVersionString();
    static bool isWindows7OrLater();
};
