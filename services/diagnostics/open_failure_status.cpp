#include "services/diagnostics/open_failure_status.h"

namespace quadrel {

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
