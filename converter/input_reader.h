// Reading the two inputs' headers from units 1 and 2 into their
// descriptions, with the checks in their order: each check is made as soon
// as the fields it needs are read, and the first that fails writes its
// error record and stops the run.
#pragma once

#include "converter/input_checks.h"
#include "converter/input_description.h"

namespace quadrel {

struct CheckedInput {
  InputDescription input;
  Frames frames;
};

// Reads the WX file's header from unit 1 with its stereo check; `frames`
// is the WX frame count.
CheckedInput readWxInput();

// Reads the YZ file's header from unit 2 and compares it with the WX
// file's; `frames` is the conversion frame count, the WX data length by the
// YZ block align.
CheckedInput readYzInput(const InputDescription& wx);

// Lists the whole chunks after the WX file's data (InputDescription::tail)
// when unit 1 is a regular file, by reading at their offsets: the unit's
// position does not move. A stream's chunks are met as they come; after
// data that runs to the end of a stream there are none.
void readTailChunks(InputDescription& wx);

}  // namespace quadrel
