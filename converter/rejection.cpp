#include "converter/rejection.h"

#include "services/console/output_records.h"
#include "services/diagnostics/termination.h"

namespace quadrel {

void rejectInputPair(std::string_view message) {
  writeValueListRecord({ListValue::string(message)});
  stopRun();
}

void rejectIf(Rejection rejection) {
  if (rejection) rejectInputPair(*rejection);
}

}  // namespace quadrel
