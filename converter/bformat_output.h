// The four-channel output as one writer: the header as planned, the frames,
// what follows them, and at the end the header settled with the real sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/conversion_files.h"
#include "converter/frame_loop.h"
#include "converter/output_header.h"
#include "converter/output_plan.h"

namespace quadrel {

class BFormatOutput {
 public:
  // Writes `plan` to the output of `files`; the plan must outlive the writer.
  BFormatOutput(const ConversionFiles& files, const OutputPlan& plan) : files_(files), plan_(plan) {}

  // Connects the output to the file its name field names, and replaces
  // what that file held.
  void open(std::string_view nameField);

  // The planned header: the canonical one in four requests, one per header
  // group, or the chunked one in one request.
  void writeHeader();

  // The frames; the unit of the input whose data ended first, when one did
  // (frame_loop.h).
  std::optional<int> writeFrames();

  // How the frames ended (frame_loop.h).
  const FrameRun& frameRun() const { return run_; }

  // What follows the frames (tail_copy.h). A chunk cut off after part of it
  // was written, by the end of a stream or of a WX file cut shorter during
  // the run, is dropped again at the settle.
  void writeTail();

  // States the real sizes in a chunked header when the output is a regular
  // file: the frames converted, and the output's length. The header goes in
  // one write over the first one, and only when a size differs. The
  // canonical header, and the header of a pipe or a device, stay as first
  // written.
  void settle();

 private:
  ConversionFiles files_;
  const OutputPlan& plan_;
  ChunkedHeader first_;  // the chunked header as first written
  FrameRun run_;
  bool endedEarly_ = false;
  std::optional<std::uint64_t> cutTo_;
};

}  // namespace quadrel
