// The standard error stream as the reports see it.
#pragma once

#include <string_view>

namespace quadrel {

// Writes `bytes` to the error stream with one platform write, each LF as
// CR LF. The first call of the process looks at FORT0: when it is set, the
// stream is reopened for appending on the file it names; when that file
// cannot be opened, this and every later call write nothing. A failing write
// is ignored, as there is nowhere left to report it.
void writeToErrorStream(std::string_view bytes);

}  // namespace quadrel
