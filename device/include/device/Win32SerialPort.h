// Serial port of the serial-port cardiomodule over the Win32 API.
#pragma once

#include <memory>
#include <string>

#include "common/Win32.h"
#include "device/CardioQueries.h"

// A port over a handle the caller keeps (InitSTM on a handle opened elsewhere).
std::unique_ptr<ISerialPort> BorrowSerialPort(HANDLE handle);
// Opens name with CreateFileW (read/write, no sharing, open-existing); raises
// EFrameworkError("cannot open comm port " + name + ": ") on failure.
std::unique_ptr<ISerialPort> OpenSerialPort(const std::wstring& name);
