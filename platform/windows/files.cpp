// Files on Windows: standard handles, transfers, opening under the share
// modes of the open table, sorting open failures, full paths and the device
// names.
//
// The share modes do the sharing: an input is opened for reading and lets
// others only read, the output is opened for writing and lets others only
// read, so the output named as an input is refused with a sharing violation,
// inside one process or across processes.
//
// Standard output and error are used as raw handles: no byte is translated
// on the way out, so the program's own CR LF reach the stream unchanged.
#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

using windows::lastError;
using windows::native;
using windows::portable;

constexpr DWORD longestFullPath = 256;
constexpr DWORD largestTransfer = std::numeric_limits<DWORD>::max();

DWORD chunk(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, largestTransfer)); }

// Standard input; when the process has none, the console input device by
// its own name, opened once.
HANDLE standardInput() {
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  if (handle != INVALID_HANDLE_VALUE) return handle;
  static const HANDLE console =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return console;
}

// A transfer at a fixed offset of a synchronous handle.
OVERLAPPED overlappedAt(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

std::optional<LARGE_INTEGER> position(HANDLE handle) {
  LARGE_INTEGER here{};
  LARGE_INTEGER none{};
  if (!SetFilePointerEx(handle, none, &here, FILE_CURRENT)) return std::nullopt;
  return here;
}

SystemError moveTo(HANDLE handle, std::int64_t offset) {
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) ? 0 : lastError();
}

// What an open handle is. A disk file that cannot be asked which file it is
// counts as refused: the sharing check inside the process needs to know.
OpenResult examineOpened(HANDLE handle) {
  OpenResult result;
  result.handle = portable(handle);
  result.kind = kindOf(result.handle);
  if (result.kind != HandleKind::disk) return result;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle, &information)) {
    const SystemError error = lastError();
    CloseHandle(handle);
    return OpenResult::refused(error);
  }
  result.identity = {information.dwVolumeSerialNumber,
                     (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow, true};
  return result;
}

OpenResult createFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  const HANDLE handle =
      CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return OpenResult::refused(lastError());
  return examineOpened(handle);
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

// ---- Memory -----------------------------------------------------------------------

// Large pages need a privilege that an ordinary user does not hold: the
// buffer is plain memory.
std::byte* allocateBuffer(std::size_t size) {
  return static_cast<std::byte*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void releaseBuffer(std::byte* buffer, std::size_t) {
  if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
}

// ---- Standard handles and transfers -----------------------------------------

Handle standardHandle(StandardStream stream) {
  switch (stream) {
    case StandardStream::input:
      return portable(standardInput());
    case StandardStream::output:
      return portable(GetStdHandle(STD_OUTPUT_HANDLE));
    case StandardStream::error:
      break;
  }
  return portable(GetStdHandle(STD_ERROR_HANDLE));
}

HandleKind kindOf(Handle handle) {
  const HANDLE given = native(handle);
  if (handle == noHandle) return HandleKind::unknown;
  switch (GetFileType(given)) {
    case FILE_TYPE_DISK:
      return HandleKind::disk;
    case FILE_TYPE_CHAR:
      return windows::isConsole(given) ? HandleKind::terminal : HandleKind::device;
    case FILE_TYPE_PIPE:
      return HandleKind::pipe;
    default:
      return HandleKind::unknown;
  }
}

bool isTerminal(Handle handle) { return handle != noHandle && windows::isConsole(native(handle)); }

SizeResult sizeOf(Handle handle) {
  if (handle == noHandle || GetFileType(native(handle)) != FILE_TYPE_DISK) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(native(handle), &size)) return {std::nullopt, static_cast<SystemError>(GetLastError())};
  return {static_cast<std::int64_t>(size.QuadPart), 0};
}

// A console read that control-C interrupts comes back with no bytes and
// ERROR_OPERATION_ABORTED while the control handler starts on its own thread;
// it is made again, as an interrupted call is, and the handler ends the
// process. ERROR_HANDLE_EOF is the end of the data, and so is
// ERROR_BROKEN_PIPE on a pipe: its writer has closed it, which a read on
// POSIX sees as the end of the data too.
TransferResult readSome(Handle handle, void* buffer, std::size_t size) {
  if (handle == noHandle) return {0, ERROR_INVALID_HANDLE};
  const HANDLE source = native(handle);
  for (;;) {
    DWORD got = 0;
    SetLastError(ERROR_SUCCESS);
    const bool done = ReadFile(source, buffer, chunk(size), &got, nullptr) != 0;
    const DWORD error = GetLastError();
    if (got == 0 && error == ERROR_OPERATION_ABORTED && windows::isConsole(source)) continue;
    if (done) return {got, 0};
    if (error == ERROR_HANDLE_EOF) return {0, 0};
    if (error == ERROR_BROKEN_PIPE && GetFileType(source) == FILE_TYPE_PIPE) return {0, 0};
    return {0, static_cast<SystemError>(error)};
  }
}

// A read at an offset moves the file position of a synchronous handle: it
// is put back after the read.
TransferResult readAt(Handle handle, void* buffer, std::size_t size, std::int64_t offset) {
  if (handle == noHandle) return {0, ERROR_INVALID_HANDLE};
  const HANDLE file = native(handle);
  const std::optional<LARGE_INTEGER> before = position(file);
  if (!before) return {0, lastError()};
  auto* next = static_cast<char*>(buffer);
  std::size_t done = 0;
  SystemError error = 0;
  while (done < size) {
    OVERLAPPED where = overlappedAt(static_cast<std::uint64_t>(offset) + done);
    DWORD got = 0;
    if (!ReadFile(file, next + done, chunk(size - done), &got, &where)) {
      if (GetLastError() != ERROR_HANDLE_EOF) error = lastError();
      break;
    }
    if (got == 0) break;
    done += got;
  }
  const SystemError restored = moveTo(file, before->QuadPart);
  return {done, error != 0 ? error : restored};
}

std::optional<std::int64_t> positionOf(Handle handle) {
  if (handle == noHandle) return std::nullopt;
  const std::optional<LARGE_INTEGER> here = position(native(handle));
  if (!here) return std::nullopt;
  return here->QuadPart;
}

TransferResult writeAll(Handle handle, const void* bytes, std::size_t size) {
  if (handle == noHandle) return {0, ERROR_INVALID_HANDLE};
  const auto* next = static_cast<const char*>(bytes);
  std::size_t done = 0;
  while (done < size) {
    DWORD put = 0;
    if (!WriteFile(native(handle), next + done, chunk(size - done), &put, nullptr))
      return {done, lastError()};
    if (put == 0) return {done, ERROR_WRITE_FAULT};
    done += put;
  }
  return {done, 0};
}

// Each write names its offset. A synchronous handle still moves its file
// position to the end of such a write, so the position is put back after.
TransferResult writeAllAt(Handle handle, const void* bytes, std::size_t size, std::int64_t offset) {
  if (handle == noHandle) return {0, ERROR_INVALID_HANDLE};
  const HANDLE file = native(handle);
  const std::optional<LARGE_INTEGER> before = position(file);
  if (!before) return {0, lastError()};
  const auto* next = static_cast<const char*>(bytes);
  std::size_t done = 0;
  SystemError error = 0;
  while (done < size) {
    OVERLAPPED where = overlappedAt(static_cast<std::uint64_t>(offset) + done);
    DWORD put = 0;
    if (!WriteFile(file, next + done, chunk(size - done), &put, &where)) {
      error = lastError();
      break;
    }
    if (put == 0) {
      error = ERROR_WRITE_FAULT;
      break;
    }
    done += put;
  }
  const SystemError restored = moveTo(file, before->QuadPart);
  return {done, error != 0 ? error : restored};
}

TransferResult copyRange(Handle, Handle, std::int64_t, std::size_t) {
  // No copy inside the system between two open handles: the caller copies
  // through its buffers.
  return {0, ERROR_NOT_SUPPORTED};
}

// SetEndOfFile cuts at the file position, which is moved there for the cut
// and put back after it.
SystemError cutAt(Handle handle, std::int64_t length) {
  if (handle == noHandle) return ERROR_INVALID_HANDLE;
  const HANDLE file = native(handle);
  const std::optional<LARGE_INTEGER> before = position(file);
  if (!before) return lastError();
  SystemError error = moveTo(file, length);
  if (error == 0 && !SetEndOfFile(file)) error = lastError();
  const SystemError restored = moveTo(file, before->QuadPart);
  return error != 0 ? error : restored;
}

SystemError rewind(Handle handle) {
  if (handle == noHandle) return ERROR_INVALID_HANDLE;
  return moveTo(native(handle), 0);
}

SystemError moveForward(Handle handle, std::int64_t count) {
  if (handle == noHandle) return ERROR_INVALID_HANDLE;
  const std::optional<LARGE_INTEGER> here = position(native(handle));
  if (!here) return lastError();
  return moveTo(native(handle), here->QuadPart + count);
}

SystemError closeHandle(Handle handle) {
  if (handle == noHandle) return ERROR_INVALID_HANDLE;
  return CloseHandle(native(handle)) ? 0 : lastError();
}

// ---- Opening ------------------------------------------------------------------

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

SystemError sharingViolationError() { return ERROR_SHARING_VIOLATION; }

}  // namespace quadrel::platform
