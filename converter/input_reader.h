// Reading the two inputs' headers into their
// descriptions, with the checks in their order: each check is made as soon
// as the fields it needs are read, and the first that fails writes its
// error record and stops the run.
#pragma once

#include <optional>
#include <vector>

#include "converter/conversion_files.h"
#include "converter/input_checks.h"
#include "converter/input_description.h"

namespace quadrel {

struct CheckedInput {
  InputDescription input;
  Frames frames;
};

// Reads the WX file's header with its stereo check; `frames` is the WX
// frame count.
CheckedInput readWxInput(const ConversionFiles& files);

// Reads the YZ file's header and compares it with the WX file's; `frames`
// is the conversion frame count, the WX data length by the YZ block align.
// Files to be `aligned` may differ in length, and the YZ file's bext is
// kept too.
CheckedInput readYzInput(const ConversionFiles& files, const InputDescription& wx, bool aligned);

// The whole chunks after the WX file's data that the output takes, listed
// by reading at their offsets when the WX file is a regular file, with the
// body of the first iXML chunk there when it had none before its data: its
// position does not move. Nothing for a stream, whose chunks are met as
// they come; none after data that runs to the end of a stream.
std::optional<ListedTail> listWxTail(const ConversionFiles& files, const InputDescription& wx);

}  // namespace quadrel
