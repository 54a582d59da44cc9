// Built into each program on its own, so that only the programs for the
// tests get the check.
#include "converter/settle_check.h"

#ifdef QUADREL_CHECK_SETTLE
#include <algorithm>

#include "services/diagnostics/reports.h"
#include "services/diagnostics/termination.h"
#endif

namespace quadrel {

#ifdef QUADREL_CHECK_SETTLE
void checkSettledHeader(std::span<const std::byte> first, std::span<const std::byte> settled) {
  if (std::ranges::equal(first, settled)) return;
  writeToErrorStream(
      "quadrel: settle check failed: the sizes planned ahead differ from those written; "
      "the header first written is wrong\n");
  endProcess(70);
}
#else
void checkSettledHeader(std::span<const std::byte>, std::span<const std::byte>) {}
#endif

}  // namespace quadrel
