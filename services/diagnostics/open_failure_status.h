// The catalogue entry for an open that the platform refused.
#pragma once

#include "platform/platform.h"
#include "services/diagnostics/status_code.h"

namespace quadrel {

// Sorts the system error of a refused open into its entry: file not found,
// permission denied, no such device, file name error, or open failure.
StatusCode openFailureStatus(platform::SystemError error);

}  // namespace quadrel
