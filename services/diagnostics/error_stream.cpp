// The error stream: FORT0 redirection, looked at once, and text-mode writes.
#include "services/diagnostics/error_stream.h"

#include <mutex>
#include <string>

#include "platform/platform.h"
#include "services/diagnostics/report_text.h"

namespace quadrel {
namespace {

std::once_flag redirectionChecked;
// Set when FORT0 named a file that could not be opened: the reports of the
// rest of the run go nowhere.
bool streamLost = false;

void checkRedirection() {
  // Set at all counts, the empty value included.
  std::optional<std::string> path = platform::environmentValue("FORT0");
  if (path && platform::redirectStandardError(*path) != 0) streamLost = true;
}

}  // namespace

void writeToErrorStream(std::string_view bytes) {
  std::call_once(redirectionChecked, checkRedirection);
  if (streamLost) return;
  const std::string text = toTextStream(bytes);
  platform::writeAll(platform::standardHandle(platform::StandardStream::error), text.data(), text.size());
}

}  // namespace quadrel
