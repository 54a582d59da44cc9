// Standard handles, reads, writes, positions and closing on Windows handles.
//
// Standard output and error are used as raw handles: no byte is translated
// on the way out, so the program's own CR LF reach the stream unchanged.
#include <algorithm>
#include <limits>

#include "platform/windows/win32.h"

namespace quadrel::platform {
namespace {

using windows::lastError;
using windows::native;
using windows::portable;

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

}  // namespace

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

bool isStandardHandle(Handle handle) {
  const HANDLE given = native(handle);
  return given == standardInput() || given == GetStdHandle(STD_OUTPUT_HANDLE) ||
         given == GetStdHandle(STD_ERROR_HANDLE);
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

// A console read that control-C interrupts comes back with no bytes and
// ERROR_OPERATION_ABORTED while the control handler starts on its own thread;
// it is made again, as an interrupted call is, and the handler ends the
// process. ERROR_HANDLE_EOF is the end of the data.
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
    return {0, static_cast<SystemError>(error)};
  }
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
    const std::uint64_t at = static_cast<std::uint64_t>(offset) + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
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

std::optional<std::int64_t> sizeOf(Handle handle) {
  if (handle == noHandle || GetFileType(native(handle)) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(native(handle), &size)) return std::nullopt;
  return static_cast<std::int64_t>(size.QuadPart);
}

SystemError closeHandle(Handle handle) {
  if (handle == noHandle) return ERROR_INVALID_HANDLE;
  return CloseHandle(native(handle)) ? 0 : lastError();
}

}  // namespace quadrel::platform
