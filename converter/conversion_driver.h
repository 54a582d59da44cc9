// The conversion: from the banner to the completion record, once.
#pragma once

namespace quadrel {

// Answers a request for help or for the version; otherwise obtains the
// three names, checks the two input headers, writes the four-channel output
// and closes the files. Every failure ends the process through the
// diagnostics; a rejected pair ends it through stopRun.
void runConversion();

}  // namespace quadrel
