// The three files of a conversion, by the unit numbers that the reports
// name them with.
#pragma once

namespace quadrel {

// Every function that reads or writes the conversion's files is handed
// this value, so that it can be run on any files a caller has opened.
struct ConversionFiles {
  int wx = 1;      // the WX stereo input
  int yz = 2;      // the YZ stereo input
  int output = 9;  // the four-channel output
};

}  // namespace quadrel
