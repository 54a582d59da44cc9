// The converter's console records, built from their column rules.
#include "tests/support/expected_records.h"

#include <algorithm>

namespace quadrel::harness {
namespace {

// `value` right-justified in `width` columns ("*" * width when it does not fit).
std::string rightJustified(std::int64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() > width) return std::string(width, '*');
  return std::string(width - digits.size(), ' ') + digits;
}

}  // namespace

std::string bannerRecords() {
  return " *** Quadrel - Converts 2 WAV Stereo Files into a 4-chan. WAV file ***\r\n\r\n"
         " Converts two stereo recordings into one B-format file, W X Y Z.\r\n\r\n";
}

std::string echoRecords(std::string_view wx, std::string_view yz, std::string_view output) {
  auto field40 = [](std::string_view name) {
    std::string shown(name.substr(0, 40));
    shown.resize(40, ' ');
    return shown;
  };
  return " File Name of the WX stereo   file = " + field40(wx) + "\r\n" +
         " File Name of the YZ stereo   file = " + field40(yz) + "\r\n" +
         " File Name of the .WAV output file = " + field40(output) + "\r\n";
}

std::string promptRecords() {
  return " Name of the WX stereo .WAV      file = "
         " Name of the YZ stereo .WAV      file = "
         " Name of the B-form .WAV output  file = ";
}

std::string summaryRecords(int which, std::int64_t frames, std::int16_t channels, std::int32_t rate,
                           std::int16_t bits) {
  std::string number = std::to_string(which);
  return " Number of data points #" + number + " :" +
         rightJustified(frames, std::max<std::size_t>(12, std::to_string(frames).size() + 1)) + " with " +
         rightJustified(channels, 7) + " Channels\r\n" + " Sampling Frequency #" + number +
         " (Hz):" + rightJustified(rate, 12) + " with " + rightJustified(bits, 7) + " Bits\r\n";
}

std::string closingRecords(std::int32_t rate) {
  return " Outfile Fsampling =" + rightJustified(rate, 8) +
         " Hz\r\n \r\n Saving data to output file (s)...\r\n  Conversion terminated OK !!!!\r\n";
}

std::string errorRecord(std::string_view text) {
  std::string record(" ");
  return record.append(text).append("\r\n");
}

}  // namespace quadrel::harness
