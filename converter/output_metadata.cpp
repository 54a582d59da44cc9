// Planning the bext and iXML chunks of a chunked output.
#include "converter/output_metadata.h"

#include <span>
#include <string>
#include <string_view>

#include "converter/bext_edit.h"
#include "converter/coding_history.h"

namespace quadrel {

void planMetadata(ChunkedLayout& layout, const InputDescription& wx,
                  const std::optional<std::vector<std::byte>>& tailIxml, ChannelConvention convention) {
  const OutputFormat& format = layout.format;
  std::optional<std::uint64_t> timeReference;
  if (wx.bext) {
    const std::string line =
        conversionHistoryLine({convention, format.formatTag, format.sampleRate, format.validBits});
    layout.hasBext = true;
    layout.bext = editBext(*wx.bext, {std::nullopt, line});
    timeReference = bextTimeReference(layout.bext);
  }
  const std::optional<std::vector<std::byte>>& source = wx.ixml ? wx.ixml : tailIxml;
  std::optional<std::string_view> chunk;
  if (source) chunk = std::string_view(reinterpret_cast<const char*>(source->data()), source->size());
  const std::string ixml =
      rewriteIxml(chunk, {convention, timeReference, format.sampleRate, format.validBits});
  const std::span<const std::byte> bytes = std::as_bytes(std::span(ixml));
  layout.ixml.assign(bytes.begin(), bytes.end());
}

}  // namespace quadrel
