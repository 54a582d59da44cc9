// The command-line words on POSIX: the system hands over a word list.
#include <new>

#include "platform/platform.h"

namespace quadrel::platform {

std::optional<std::vector<std::string>> commandWords(int argc, char** argv) {
  try {
    return std::vector<std::string>(argv, argv + argc);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace quadrel::platform
