// The checks that decide whether two inputs can be combined, and the frame
// counts they lead to. Each check returns the message of its failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/input_description.h"
#include "converter/rejection.h"
#include "converter/timeline.h"
#include "converter/wave_parser.h"

namespace quadrel {

// A frame count; nothing when the data runs to the end of a stream whose
// length is not known.
using Frames = std::optional<std::int64_t>;

// Data length divided by block align, truncated toward zero (a negative
// block align gives a negative count); nothing when the block align is 0.
std::optional<std::int64_t> frameCount(std::uint64_t dataLength, std::int16_t blockAlign);

// The WX file must be stereo.
Rejection checkWxStereo(const FormatFields& wx);

// The YZ file's channel count, sampling rate and byte rate against the WX
// file's, in that order.
Rejection compareFormats(const FormatFields& wx, const FormatFields& yz);

// Data lengths, compared only when both are known and the files are not
// aligned (their lengths may then differ), then bits per sample.
Rejection compareLengthsAndBits(const InputDescription& wx, const InputDescription& yz, bool aligned);

// Two files that cannot be put on one timeline (timeline.h).
Rejection checkTimeline(TimelineRefusal refusal);

// A walked file must have an fmt chunk before its data, of PCM or IEEE
// float samples.
Rejection checkParsedFormat(const ParsedWave& parsed);
Rejection checkSampleKind(const InputDescription& input);

// A frame must be made of whole bytes per sample: the block align is the
// channel count times the bytes of one sample.
Rejection checkSampleWidth(const InputDescription& input);

// A frame count needs a block align other than 0.
Rejection checkBlockAlign(std::uint16_t blockAlign);

// A name ending in .amb promises the traditional channel order, which AmbiX
// output does not keep.
Rejection checkAmbixName(bool ambix, bool namedAmb);

// AmbiX takes samples of one kind in both files, of the widths it converts
// exactly (ambix_frames.h).
Rejection checkAmbixSamples(const InputDescription& wx, const InputDescription& yz);

}  // namespace quadrel
