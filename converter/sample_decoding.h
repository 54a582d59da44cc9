// Stereo frames as floating-point samples, for the sound offset search.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "converter/wave_format.h"

namespace quadrel {

// Appends the two channels of the whole frames in `bytes` to `left` and
// `right`, each sample scaled to -1..1: PCM of 8 (unsigned), 16, 24 or 32
// bits, IEEE float of 32 or 64 bits, in the byte order `bigEndian` names.
// False, and nothing appended, for any other format or a channel count
// other than 2.
bool decodeStereo(std::span<const std::byte> bytes, const FormatFields& format, bool bigEndian,
                  std::vector<float>& left, std::vector<float>& right);

}  // namespace quadrel
