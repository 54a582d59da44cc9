// The Windows layer's private header: the system headers and the few helpers
// that its files share. Included only by platform/windows/.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace quadrel::platform::windows {

inline HANDLE native(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
inline Handle portable(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

inline SystemError lastError() { return static_cast<SystemError>(GetLastError()); }

// True for a handle of the console itself (not a redirected file or pipe).
inline bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// The kind of a processor exception, chosen by the low 16 bits of its code.
ExceptionKind exceptionKindOf(std::uint32_t code);

}  // namespace quadrel::platform::windows
