// Tests of the Windows layer: its tables and the behaviour of its calls on
// real handles. Built into the Windows test program only.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/win32.h"
#include "services/diagnostics/termination.h"

namespace quadrel::platform {
namespace {

TEST(WindowsOpenErrors, SortIntoTheFiveClasses) {
  const struct {
    DWORD error;
    OpenFailure expected;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, OpenFailure::notFound},      {ERROR_PATH_NOT_FOUND, OpenFailure::notFound},
      {ERROR_ACCESS_DENIED, OpenFailure::accessDenied},   {ERROR_WRITE_PROTECT, OpenFailure::accessDenied},
      {ERROR_INVALID_DRIVE, OpenFailure::noSuchDevice},   {ERROR_BAD_UNIT, OpenFailure::noSuchDevice},
      {ERROR_INVALID_NAME, OpenFailure::badName},         {ERROR_BAD_PATHNAME, OpenFailure::badName},
      {ERROR_FILENAME_EXCED_RANGE, OpenFailure::badName}, {ERROR_SHARING_VIOLATION, OpenFailure::other},
      {ERROR_TOO_MANY_OPEN_FILES, OpenFailure::other},    {ERROR_LOCK_VIOLATION, OpenFailure::other},
  };
  for (const auto& c : cases)
    EXPECT_EQ(classifyOpenError(c.error), c.expected) << "error " << c.error;
}

TEST(WindowsExceptions, KindsFollowTheLow16BitsOfTheCode) {
  const struct {
    DWORD code;
    ExceptionKind expected;
  } cases[] = {
      {EXCEPTION_DATATYPE_MISALIGNMENT, ExceptionKind::datatypeMisalignment},
      {EXCEPTION_BREAKPOINT, ExceptionKind::breakpoint},
      {EXCEPTION_SINGLE_STEP, ExceptionKind::singleStep},
      {EXCEPTION_ACCESS_VIOLATION, ExceptionKind::accessViolation},
      {EXCEPTION_IN_PAGE_ERROR, ExceptionKind::inPageError},
      {EXCEPTION_ILLEGAL_INSTRUCTION, ExceptionKind::illegalInstruction},
      {EXCEPTION_NONCONTINUABLE_EXCEPTION, ExceptionKind::noncontinuable},
      {EXCEPTION_INVALID_DISPOSITION, ExceptionKind::invalidDisposition},
      {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, ExceptionKind::arrayBoundsExceeded},
      {EXCEPTION_INT_DIVIDE_BY_ZERO, ExceptionKind::integerDivideByZero},
      {EXCEPTION_INT_OVERFLOW, ExceptionKind::integerOverflow},
      {EXCEPTION_PRIV_INSTRUCTION, ExceptionKind::privilegedInstruction},
      {EXCEPTION_STACK_OVERFLOW, ExceptionKind::stackOverflow},
      {EXCEPTION_FLT_DIVIDE_BY_ZERO, ExceptionKind::other},
      {0xE06D7363, ExceptionKind::other},
      {0xE0000005, ExceptionKind::accessViolation},
  };
  for (const auto& c : cases)
    EXPECT_EQ(windows::exceptionKindOf(c.code), c.expected) << std::hex << "code 0x" << c.code;
}

TEST(WindowsDevices, EveryNameOfTheTableIsADevice) {
  const struct {
    const char* name;
    const char* opened;
  } devices[] = {{"COM1", "COM1"}, {"AUX", "COM1"},  {"LINE", "COM1"}, {"COM2", "COM2"},
                 {"COM3", "COM3"}, {"COM4", "COM4"}, {"PRN", "PRN"},   {"LPT1", "LPT1"},
                 {"LPT2", "LPT2"}, {"LPT3", "LPT3"}, {"LPT4", "LPT4"}, {"NUL", "NUL"}};
  for (const auto& device : devices)
    EXPECT_EQ(devicePath(device.name), std::string(device.opened)) << device.name;
  for (const char* name : {"CON", "CONOUT$", "CONIN$", "ERR", "USER", "COM5", "LPT5", "NULL", "WX"})
    EXPECT_EQ(devicePath(name), std::nullopt) << name;
}

// A folder per test, removed with its files afterwards.
class WindowsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, base), 0u);
    folder_ = std::string(base) + "quadrel-layer-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // A death test's child runs this again on the parent's folder.
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  }
  void TearDown() override {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(folder_.c_str());
  }

  std::string path(const char* name) const { return folder_ + "\\" + name; }

  void makeFile(const char* name, const std::string& bytes) const {
    const OpenResult file = openFile(path(name), OpenPurpose::write);
    ASSERT_EQ(file.error, 0u);
    ASSERT_EQ(writeAll(file.handle, bytes.data(), bytes.size()).error, 0u);
    closeHandle(file.handle);
  }

  static std::int64_t positionOf(Handle handle) {
    LARGE_INTEGER here{};
    SetFilePointerEx(windows::native(handle), LARGE_INTEGER{}, &here, FILE_CURRENT);
    return here.QuadPart;
  }

  std::string folder_;
};

TEST_F(WindowsFiles, ShareModesRefuseTheOutputNamedAsAnInput) {
  makeFile("in.wav", "RIFF");
  const OpenResult first = openFile(path("in.wav"), OpenPurpose::read);
  const OpenResult second = openFile(path("in.wav"), OpenPurpose::read);
  ASSERT_EQ(first.error, 0u);
  ASSERT_EQ(second.error, 0u) << "two readers share the file";
  EXPECT_EQ(first.kind, HandleKind::disk);
  EXPECT_TRUE(first.identity.sameFileAs(second.identity));

  const OpenResult output = openFile(path("in.wav"), OpenPurpose::write);
  EXPECT_EQ(output.error, sharingViolationError());
  EXPECT_EQ(classifyOpenError(output.error), OpenFailure::other);
  closeHandle(first.handle);
  closeHandle(second.handle);

  const OpenResult writer = openFile(path("out.wav"), OpenPurpose::write);
  ASSERT_EQ(writer.error, 0u) << "an absent output is created";
  EXPECT_EQ(openFile(path("out.wav"), OpenPurpose::read).error, sharingViolationError());
  EXPECT_FALSE(writer.identity.sameFileAs(openFile(path("in.wav"), OpenPurpose::read).identity));
  closeHandle(writer.handle);

  EXPECT_EQ(classifyOpenError(openFile(path("absent.wav"), OpenPurpose::read).error), OpenFailure::notFound);
  EXPECT_EQ(classifyOpenError(openFile(path("no\\such\\x.wav"), OpenPurpose::write).error),
            OpenFailure::notFound);
  EXPECT_EQ(classifyOpenError(openFile(folder_, OpenPurpose::read).error), OpenFailure::accessDenied);
}

TEST_F(WindowsFiles, WritesAtAnOffsetAndCutsLeaveThePositionAlone) {
  makeFile("out.wav", "0123456789");
  const OpenResult file = openFile(path("out.wav"), OpenPurpose::write);
  ASSERT_EQ(file.error, 0u);
  EXPECT_EQ(kindOf(file.handle), HandleKind::disk);

  const TransferResult put = writeAllAt(file.handle, "ab", 2, 4);
  EXPECT_EQ(put.count, 2u);
  EXPECT_EQ(put.error, 0u);
  EXPECT_EQ(positionOf(file.handle), 0);
  EXPECT_EQ(cutAt(file.handle, 6), 0u);
  EXPECT_EQ(positionOf(file.handle), 0);
  EXPECT_EQ(copyRange(file.handle, file.handle, 0, 6).count, 0u) << "no copy inside the system here";
  closeHandle(file.handle);

  const OpenResult input = openFile(path("out.wav"), OpenPurpose::read);
  char bytes[16] = {};
  EXPECT_EQ(readSome(input.handle, bytes, sizeof bytes).count, 6u);
  EXPECT_EQ(std::string(bytes, 6), "0123ab");
  const TransferResult end = readSome(input.handle, bytes, sizeof bytes);
  EXPECT_EQ(end.count, 0u);
  EXPECT_EQ(end.error, 0u) << "the end of a file is no error";
  EXPECT_EQ(rewind(input.handle), 0u);
  EXPECT_EQ(readSome(input.handle, bytes, 2).count, 2u);
  EXPECT_EQ(std::string(bytes, 2), "01");
  closeHandle(input.handle);
}

TEST_F(WindowsFiles, FullPathsStopShortOf256Characters) {
  const std::string folder = folder_ + "\\";
  const std::size_t room = 255 - folder.size();
  EXPECT_EQ(fullPath(folder + std::string(room, 'a')), folder + std::string(room, 'a'));
  EXPECT_EQ(fullPath(folder + std::string(room + 1, 'a')), std::nullopt);
  EXPECT_EQ(fullPath(""), std::nullopt);

  char current[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
  std::string expected(current, length);
  if (expected.back() != '\\') expected += '\\';
  EXPECT_EQ(fullPath("in.wav"), expected + "in.wav");
}

TEST(WindowsHandles, KindsOfPipesAndDevices) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  EXPECT_EQ(kindOf(windows::portable(readEnd)), HandleKind::pipe);
  EXPECT_EQ(writeAll(windows::portable(writeEnd), "x", 1).error, 0u);
  closeHandle(windows::portable(writeEnd));
  char byte = 0;
  EXPECT_EQ(readSome(windows::portable(readEnd), &byte, 1).count, 1u);
  const TransferResult gone = readSome(windows::portable(readEnd), &byte, 1);
  EXPECT_EQ(gone.count, 0u);
  EXPECT_EQ(gone.error, 0u) << "a pipe whose writer has gone is at the end of its data, as on POSIX";
  closeHandle(windows::portable(readEnd));

  const OpenResult nul = openFile(*devicePath("NUL"), OpenPurpose::write);
  ASSERT_EQ(nul.error, 0u);
  EXPECT_EQ(kindOf(nul.handle), HandleKind::device);
  EXPECT_EQ(nul.kind, HandleKind::device);
  EXPECT_FALSE(nul.identity.known);
  closeHandle(nul.handle);

  EXPECT_EQ(readSome(noHandle, &byte, 1).error, static_cast<SystemError>(ERROR_INVALID_HANDLE));
}

TEST(WindowsProcess, EnvironmentNamesIgnoreCase) {
  ASSERT_TRUE(SetEnvironmentVariableA("QuAdReL_LaYeR_TeSt", "big_endian"));
  EXPECT_EQ(environmentValue("QUADREL_LAYER_TEST"), "big_endian");
  ASSERT_TRUE(SetEnvironmentVariableA("QUADREL_LAYER_TEST", ""));
  EXPECT_EQ(environmentValue("quadrel_layer_test"), "");
  ASSERT_TRUE(SetEnvironmentVariableA("QUADREL_LAYER_TEST", nullptr));
  EXPECT_EQ(environmentValue("QUADREL_LAYER_TEST"), std::nullopt);
  EXPECT_EQ(environmentValue("A=B"), std::nullopt);
}

TEST(WindowsProcess, ErrorTextsCarryTheirLineEnd) {
  const std::optional<std::string> text = errorText(ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(text.has_value());
  ASSERT_GE(text->size(), 3u);
  EXPECT_EQ(text->substr(text->size() - 2), "\r\n");
  EXPECT_EQ(errorText(0x2000FFFF), std::nullopt) << "a code without a text gives none";
}

TEST(WindowsProcessDeathTest, ExitStatusIsTheWhole32BitCode) {
  EXPECT_EXIT(endProcess(0xC000001D), ::testing::ExitedWithCode(static_cast<int>(0xC000001D)), "");
  EXPECT_EXIT(endProcess(0x4000005F), ::testing::ExitedWithCode(0x4000005F), "");
  EXPECT_EXIT(endProcess(0), ::testing::ExitedWithCode(0), "");
}

// Real exceptions of the processor, raised in a child process with the guard
// installed: the child's standard output goes to a file, read afterwards.
void divideByZero() {
  volatile int dividend = 7;
  volatile int zero = 0;
  volatile int quotient = dividend / zero;
  (void)quotient;
}

void writeToReadOnlyPage() {
  int* volatile page =
      static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY));
  *page = 1;
}

// Each call keeps a block of its stack in use until the stack runs out.
int recurseForever(int depth) {
  static volatile bool never = false;
  if (never) return depth;
  volatile char block[4096];
  block[0] = static_cast<char>(depth);
  return recurseForever(depth + 1) + block[0];
}

void overflowTheStack() { recurseForever(0); }

void raiseUnknownCode() { RaiseException(0xE0001234, 0, 0, nullptr); }

std::string contentsOf(const std::string& path) {
  std::string bytes;
  const OpenResult file = openFile(path, OpenPurpose::read);
  if (file.error != 0) return "<no file>";
  char buffer[256];
  for (TransferResult got; (got = readSome(file.handle, buffer, sizeof buffer)).count > 0;)
    bytes.append(buffer, got.count);
  closeHandle(file.handle);
  return bytes;
}

void raiseUnderGuard(const std::string& output, bool ignore, void (*raise)()) {
  const OpenResult file = openConsoleReplacement(output, OpenPurpose::write);
  SetStdHandle(STD_OUTPUT_HANDLE, windows::native(file.handle));
  suppressErrorDialogs();
  setIgnoreProcessorExceptions(ignore);
  installExceptionHandler(onProcessorException);
  raise();
}

TEST_F(WindowsFiles, ProcessorExceptionsReachTheGuard) {
  const struct {
    const char* what;
    void (*raise)();
    const char* text;
  } cases[] = {
      {"divide", divideByZero, "forrtl: severe: Program Exception - integer divide by zero\r\n"},
      {"read-only page", writeToReadOnlyPage, "forrtl: severe: Program Exception - access violation\r\n"},
      {"stack", overflowTheStack, "forrtl: severe: Program Exception - stack overflow\r\n"},
      {"other", raiseUnknownCode, "forrtl: severe: Program Exception, exception code = 0x1234 (4660) \r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string output = path(c.what);
    EXPECT_EXIT(raiseUnderGuard(output, false, c.raise), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(contentsOf(output), c.text);
  }
}

TEST_F(WindowsFiles, IgnoredExceptionsTakeTheSystemsWay) {
  const std::string output = path("ignored");
  EXPECT_EXIT(raiseUnderGuard(output, true, divideByZero),
              ::testing::ExitedWithCode(static_cast<int>(EXCEPTION_INT_DIVIDE_BY_ZERO)), "");
  EXPECT_EQ(contentsOf(output), "");
}

}  // namespace
}  // namespace quadrel::platform
