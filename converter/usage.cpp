// The usage text and the version, for a user who asks before converting
// anything.
#include "converter/usage.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "services/console/arguments.h"
#include "services/console/output_records.h"
#include "services/diagnostics/termination.h"

namespace quadrel {
namespace {

constexpr std::string_view usageLines[] = {
    "Usage: quadrel WX.wav YZ.wav OUT.wav",
    "       quadrel",
    "       quadrel [--ambix] [--align | --offset=N] WX.wav YZ.wav OUT.wav",
    "       quadrel [--ambix] [--align | --offset=N]",
    "       quadrel -h | --help | --version",
    "",
    "Puts two stereo WAV files side by side in one four-channel B-format file:",
    "W and X from the WX file's left and right channels, Y and Z from the YZ",
    "file's. Options count only before the names, in any order; a word that",
    "starts with -- after the first name is refused. Words after the third",
    "name are ignored. With fewer than three names (none, one or two), the",
    "program asks for all three on standard input, one per line. An existing",
    "OUT.wav is replaced; an OUT name ending in .amb labels the file as",
    "ambisonic B-format.",
    "",
    "      --ambix     write AmbiX (channels W Y Z X, W raised by 3 dB, floating",
    "                  point), as 360-video players and AmbiX plug-ins take it",
    "      --align     place the two files by the timecode of their bext chunks",
    "                  (also --align=timecode) and write only the frames both",
    "                  cover; their lengths may then differ",
    "      --offset=N  the same, with YZ starting N frames after WX (before it",
    "                  when N is negative); no bext chunk is needed",
    "  -h, --help      show this text and exit",
    "      --version   show the version and exit",
    "",
    "A pair that cannot be combined is refused with one ERROR line, before the",
    "output is touched, and the exit status is 0 as after a conversion.",
    "The manual page quadrel(1) tells more.",
};

enum class Request { none, help, version };

// Whether the first argument is `option`, as spelled.
bool firstArgumentIs(std::string_view option) {
  // Longer than every option, so that a longer word never matches by its start.
  std::array<char, 16> field;
  std::int16_t length = 0;
  fetchArgument(1, field, &length);
  if (length < 0 || static_cast<std::size_t>(length) > field.size()) return false;
  return std::string_view(field.data(), static_cast<std::size_t>(length)) == option;
}

Request requestOnCommandLine() {
  if (argumentCount() != 2) return Request::none;
  if (firstArgumentIs("--help") || firstArgumentIs("-h")) return Request::help;
  if (firstArgumentIs("--version")) return Request::version;
  return Request::none;
}

}  // namespace

void answerInformationRequest() {
  switch (requestOnCommandLine()) {
    case Request::none:
      return;
    case Request::help:
      for (std::string_view line : usageLines)
        writeLayoutRecord({LayoutItem::text(line)});
      break;
    case Request::version:
      writeLayoutRecord({LayoutItem::text("quadrel "), LayoutItem::text(QUADREL_VERSION)});
      break;
  }
  endProgram();
}

}  // namespace quadrel
