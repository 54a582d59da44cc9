// The metadata chunks of a chunked output: the WX file's bext with the
// conversion's CodingHistory line, and the iXML that names the four
// channels, rewritten from the WX file's own.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "converter/input_description.h"
#include "converter/ixml_chunk.h"
#include "converter/output_header.h"

namespace quadrel {

// Fills the bext and iXML of `layout`, whose format must be planned. The
// WX file's iXML is the one before its data, else `tailIxml`, the first
// after it; its TimeReference is the output bext's.
void planMetadata(ChunkedLayout& layout, const InputDescription& wx,
                  const std::optional<std::vector<std::byte>>& tailIxml, ChannelConvention convention);

}  // namespace quadrel
