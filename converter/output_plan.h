// The plan of the four-channel output, made from the two input descriptions
// before its first byte: which header it gets and the sizes that header
// first states, how the frames are counted and made, what follows them, and
// how the header is settled at the end.
//
// A canonical pair whose output fits a 32-bit RIFF size keeps the 44-byte
// header it has always had, followed by every WX byte after the last frame.
// A RIFX WX file read big-endian gives a RIFX output, chunked, whose frames
// are the inputs' bytes.
// Every other pair gets a chunked header (output_header.h) with the real
// sizes where they are known ahead, RF64 past 4 GiB, the WX file's bext
// chunk and an iXML chunk (output_metadata.h); after the frames come the WX file's whole chunks after its
// data (tail_chunks.h). Where a size cannot be known ahead (data that runs to the end of a stream, chunks
// still to come through one) the header states what is known and keeps 36 bytes free for a ds64 chunk; the
// end settles it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "converter/frame_loop.h"
#include "converter/input_checks.h"
#include "converter/input_description.h"
#include "converter/output_header.h"

namespace quadrel {

enum class OutputForm : std::uint8_t { canonical, chunked };

// What the output's samples are.
enum class OutputLabel : std::uint8_t {
  plain,    // the inputs' samples, W X Y Z
  bFormat,  // the same, labelled ambisonic B-format (a name ending in .amb)
  ambix,    // AmbiX: W Y Z X, W raised by 3 dB, IEEE floating point (--ambix)
};

// Where the output's bytes after the frames come from.
enum class TailSource : std::uint8_t {
  everyByte,  // every WX byte after the last frame, as read (the canonical output)
  listed,     // the listed whole chunks of a regular WX file
  streamed,   // the whole chunks of a WX stream, as they come
  none,       // the WX data runs to the end of its stream: nothing follows it
};

struct OutputPlan {
  OutputForm form = OutputForm::chunked;
  FrameCounts counts;            // the conversion count, and the YZ file's own
  FrameShape shape;              // what each frame is made of
  std::uint16_t blockAlign = 0;  // of the four-channel frame, kept in 16 bits
  CanonicalImage canonical{};    // the canonical form's header
  ChunkedLayout layout;          // the chunked form's
  OutputSizes sizes;             // what the chunked header first states

  TailSource tail = TailSource::none;
  std::uint64_t wxDataStart = 0;  // where the WX file's first frame begins
  std::int64_t wxSkipped = 0;     // aligned: the WX frames before the first one written
  std::uint64_t tailFrom = 0;     // the WX file's data end, where its chunks begin
  std::vector<TailChunk> tailChunks;
  std::optional<std::uint64_t> tailLimit;  // a stream's RIFF end
  bool tailBigEndian = false;              // the WX chunk sizes are big-endian
};

// Lists the WX file's whole chunks after its data, which a chunked output
// takes, with its iXML there; nothing when they can only be met as they
// come through a stream.
using TailLister = std::function<std::optional<ListedTail>()>;

// The plan for a checked pair; `frames` is the conversion frame count. The
// plan decides the header's form once, and lists the WX file's chunks after
// its data with `listTail` only for a chunked one. For AmbiX the samples
// must be ones it takes (ambix_frames.h).
// An aligned `take` (timeline.h) is always chunked; `frames` is then the
// frames written, counted for both inputs.
struct TakeSpan {
  std::int64_t wxSkipped = 0;  // WX frames before the first one written
  bool wxEndsTake = false;     // the inputs whose ends, not known ahead, end it
  bool yzEndsTake = false;
};
OutputPlan planOutput(const InputDescription& wx, const InputDescription& yz, Frames frames,
                      OutputLabel label, const TailLister& listTail,
                      const std::optional<TakeSpan>& take = std::nullopt);

// The sizes the chunked header states at the end: `frames` converted and
// the output `length` bytes long.
OutputSizes settledSizes(const OutputPlan& plan, std::int64_t frames, std::uint64_t length);

// The length the output will have, when it is known before the frames;
// `wxLeft` is what the WX file holds from its first frame on, when known.
std::optional<std::uint64_t> plannedLength(const OutputPlan& plan, std::optional<std::uint64_t> wxLeft);

}  // namespace quadrel
