// The framework's error types.  Every error raised by a framework unit is an
// EFrameworkError (or derived) carrying the message text shown to the user.
#pragma once

#include <exception>
#include <string>

class EFrameworkError : public std::exception {
public:
    explicit EFrameworkError(std::wstring message);
    const std::wstring& Message() const noexcept { return FMessage; }
    // UTF-8 form of the message, for std::exception users.
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    std::wstring FMessage;
    std::string FUtf8;
};

// Input/output error (missing file, folder that cannot be made current).
class EInOutError : public EFrameworkError {
public:
    using EFrameworkError::EFrameworkError;
};

// A file could not be opened for reading.
class EFOpenError : public EFrameworkError {
public:
    using EFrameworkError::EFrameworkError;
};

// A file could not be created for writing.
class EFCreateError : public EFrameworkError {
public:
    using EFrameworkError::EFrameworkError;
};

// UTF-16 <-> UTF-8 without the Windows API (used for messages and portable code).
std::string WideToUtf8(const std::wstring& s);
std::wstring Utf8ToWide(const std::string& s);
