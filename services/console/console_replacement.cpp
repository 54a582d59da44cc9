// The files that FORT5 and FORT6 put in place of standard input and output.
#include "services/console/console_replacement.h"

namespace quadrel {

std::optional<std::string> consoleReplacementName(std::string_view variable) {
  std::optional<std::string> value = platform::environmentValue(variable);
  if (!value || value->empty()) return std::nullopt;
  const std::size_t first = value->find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const std::size_t last = value->find_last_not_of(' ');
  return value->substr(first, last - first + 1);
}

StatusCode openFailureStatus(platform::SystemError error) {
  switch (platform::classifyOpenError(error)) {
    case platform::OpenFailure::notFound:
      return status::fileNotFound;
    case platform::OpenFailure::accessDenied:
      return status::permissionDenied;
    case platform::OpenFailure::noSuchDevice:
      return status::noSuchDevice;
    case platform::OpenFailure::badName:
      return status::fileNameError;
    case platform::OpenFailure::other:
      break;
  }
  return status::openFailure;
}

}  // namespace quadrel
