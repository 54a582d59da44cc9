// Files on Windows: opening under the share modes of the open table, sorting
// open failures, full paths and the device names.
//
// The share modes do the sharing: an input is opened for reading and lets
// others only read, the output is opened for writing and lets others only
// read, so the output named as an input is refused with a sharing violation,
// inside one process or across processes.
#include <array>
#include <string_view>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

using windows::lastError;
using windows::portable;

constexpr DWORD longestFullPath = 256;

OpenResult createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  const HANDLE handle =
      CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {noHandle, lastError()};
  return {portable(handle), 0};
}

struct DeviceEntry {
  std::string_view name;
  std::string_view openedAs;
};

// The devices that are not the console: AUX and LINE stand for COM1.
constexpr std::array<DeviceEntry, 12> devices{{
    {"COM1", "COM1"},
    {"AUX", "COM1"},
    {"LINE", "COM1"},
    {"COM2", "COM2"},
    {"COM3", "COM3"},
    {"COM4", "COM4"},
    {"PRN", "PRN"},
    {"LPT1", "LPT1"},
    {"LPT2", "LPT2"},
    {"LPT3", "LPT3"},
    {"LPT4", "LPT4"},
    {"NUL", "NUL"},
}};

}  // namespace

OpenResult openFile(const std::string& path, OpenPurpose purpose) {
  if (purpose == OpenPurpose::read) return createFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  return createFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
}

// The replacement of standard output is truncated like a redirection; both
// replacements let other programs read and write the file, as a redirection
// of the command prompt does.
OpenResult openConsoleReplacement(const std::string& path, OpenPurpose purpose) {
  constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (purpose == OpenPurpose::read) return createFile(path, GENERIC_READ, share, OPEN_EXISTING);
  return createFile(path, GENERIC_WRITE, share, CREATE_ALWAYS);
}

SystemError brokenPipeError() { return ERROR_BROKEN_PIPE; }

OpenFailure classifyOpenError(SystemError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OpenFailure::notFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return OpenFailure::accessDenied;
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_UNIT:
      return OpenFailure::noSuchDevice;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return OpenFailure::badName;
    default:
      return OpenFailure::other;
  }
}

std::optional<std::string> fullPath(const std::string& name) {
  if (name.empty()) return std::nullopt;
  char buffer[longestFullPath];
  const DWORD length = GetFullPathNameA(name.c_str(), longestFullPath, buffer, nullptr);
  // A result that does not fit comes back as the size it would need.
  if (length == 0 || length >= longestFullPath) return std::nullopt;
  return std::string(buffer, length);
}

std::optional<std::string> devicePath(std::string_view upperCaseName) {
  for (const DeviceEntry& device : devices) {
    if (device.name == upperCaseName) return std::string(device.openedAs);
  }
  return std::nullopt;
}

bool sameFile(Handle first, Handle second) {
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (first == noHandle || second == noHandle || !GetFileInformationByHandle(windows::native(first), &a) ||
      !GetFileInformationByHandle(windows::native(second), &b)) {
    return false;
  }
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

SystemError sharingViolationError() { return ERROR_SHARING_VIOLATION; }

}  // namespace quadrel::platform
