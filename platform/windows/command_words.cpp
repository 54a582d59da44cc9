// The command-line words on Windows: the system hands the program one string,
// which is split here by the program's own rules.
#include <new>

#include "platform/windows/win32.h"
#include "services/console/command_line.h"

namespace quadrel::platform {
namespace {

// The longest program path taken when the command line is empty.
constexpr DWORD longestModulePath = 260;

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

}  // namespace

std::optional<std::vector<std::string>> commandWords(int, char**) {
  try {
    const char* line = GetCommandLineA();
    std::string text = line != nullptr ? line : "";
    if (text.empty()) {
      char path[longestModulePath];
      const DWORD length = GetModuleFileNameA(nullptr, path, longestModulePath);
      text.assign(path, length);
    }
    return splitCommandLine(text, isLeadByte);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace quadrel::platform
