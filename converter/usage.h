// The answers to a request for help or for the version (the options of a
// conversion are in run_options.h).
#pragma once

namespace quadrel {

// When the only argument is "--help", "-h" or "--version", writes the usage
// text or "quadrel" and the version as console records and ends the process
// with status 0. Any other command line returns at once, so that one or two
// names still mean the dialogue form and three names the command-line form.
void answerInformationRequest();

}  // namespace quadrel
