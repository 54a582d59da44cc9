// The four-channel B-format output of one run: its header, its W X Y Z
// frames and the tail of the WX file, on unit 9.
//
// Which header it gets is settled before its first byte, from the two
// inputs' sizes: a canonical pair whose output fits a 32-bit RIFF size keeps
// the 44-byte header it has always had; every other pair gets a chunked
// header with the real sizes (see output_header.h), RF64 past 4 GiB, and
// the WX file's bext chunk. Where a size cannot be known before the frames
// are through (an input from a pipe that runs to its end, a WX pipe whose
// chunks after the data are still to come), the header states what is known,
// keeps 36 bytes free for a ds64 chunk, and is written again with the real
// sizes at the end when the output is a regular file; on a pipe its first
// values stay.
#pragma once

#include <cstdint>

#include "converter/bformat_writer.h"
#include "converter/output_header.h"
#include "converter/wave_header.h"

namespace quadrel {

class BFormatOutput {
 public:
  // Plans the output of a checked pair; `frames` is the conversion frame
  // count, nothing when the data runs to the end of a pipe. `ambisonic`
  // labels the output as B-format (WAVE_FORMAT_EXTENSIBLE). `header` must
  // outlive the output.
  BFormatOutput(const WaveHeader& header, Frames frames, bool ambisonic);

  // Writes the header to unit 9.
  void writeHeader();

  // Writes the frames, then the tail: every WX byte after the last frame
  // for a canonical WX file, the chunks after its data chunk for any other.
  // Then states the real sizes where they were not known.
  void writeFramesAndTail();

 private:
  void settleHeader(std::int64_t frames);

  const WaveHeader& header_;
  Frames frames_;
  FrameHalf half_;
  std::uint64_t outputBlockAlign_ = 0;
  bool canonical_ = false;
  ChunkedLayout layout_;
  ChunkedHeader written_;  // the chunked header as it stands in the file
  // Where the WX tail begins, counted from the first frame; nothing when it
  // begins right after the last frame.
  std::optional<std::uint64_t> tailStart_;
};

}  // namespace quadrel
