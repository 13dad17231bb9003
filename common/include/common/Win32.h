// The one header through which the project includes the Windows API.
// Include this instead of <windows.h> so that every unit sees the same
// definitions (Unicode, no min/max macros).
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
