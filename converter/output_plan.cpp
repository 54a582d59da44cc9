// Planning the output from the two descriptions.
#include "converter/output_plan.h"

#include <algorithm>
#include <limits>

#include "converter/ambix_frames.h"
#include "converter/output_metadata.h"

namespace quadrel {
namespace {

constexpr std::uint64_t sizeFieldLimit = 0xFFFFFFFF;

// Sums and products of sizes stop at the largest value instead of wrapping:
// a header that claims more than a file holds must not turn into a small size.
std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<std::uint64_t>::max() : sum;
}

std::uint64_t saturatingMultiply(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<std::uint64_t>::max() : product;
}

std::uint16_t outputBlockAlign(const InputDescription& yz) {
  return static_cast<std::uint16_t>(2 * yz.format.blockAlign);
}

// The fmt fields of the output: the YZ file's sample kind, the WX file's
// rate and sample width.
OutputFormat outputFormat(const InputDescription& wx, const InputDescription& yz, OutputLabel label) {
  OutputFormat format;
  const SampleKind kind = yz.format.kind;
  format.formatTag = kind == SampleKind::ieeeFloat ? 3 : kind == SampleKind::pcm ? 1 : yz.format.formatTag;
  format.sampleRate = wx.format.sampleRate;
  format.blockAlign = outputBlockAlign(yz);
  // Checked: each sample of a frame takes the same whole bytes.
  format.bitsPerSample = static_cast<std::uint16_t>(8 * (yz.format.blockAlign / yz.format.channels));
  format.validBits = wx.format.validBits;
  format.ambisonic = label == OutputLabel::bFormat;
  return format;
}

// A canonical pair keeps the 44-byte header when its sizes fit 32 bits.
bool keepsCanonicalHeader(const InputDescription& wx, const InputDescription& yz, Frames frames,
                          OutputLabel label) {
  if (label != OutputLabel::plain || !frames || wx.bigEndian || yz.bigEndian) return false;
  for (const InputDescription* input : {&wx, &yz}) {
    if (!input->fixed || input->lengthFromTheEnd) return false;
  }
  // A whole WX data chunk in a file whose RIFF size is not its length: the
  // bytes after the data are damaged (a chunk cut short, stray bytes), and
  // only whole chunks with their true sizes may follow the frames.
  if (wx.form == InputForm::canonical && wx.fileEnd && wx.dataStart + wx.fixed->dataLength <= *wx.fileEnd &&
      std::uint64_t{wx.fixed->riffSize} + 8 != *wx.fileEnd) {
    return false;
  }
  const std::uint64_t riffSize = std::uint64_t{wx.fixed->riffSize} + wx.fixed->dataLength;
  const std::uint64_t dataSize =
      saturatingMultiply(outputBlockAlign(yz), static_cast<std::uint64_t>(*frames));
  return riffSize <= sizeFieldLimit && 36 + dataSize <= sizeFieldLimit;
}

}  // namespace

OutputPlan planOutput(const InputDescription& wx, const InputDescription& yz, Frames frames,
                      OutputLabel label, const TailLister& listTail, const std::optional<TakeSpan>& take) {
  OutputPlan plan;
  const Frames yzFrames =
      yz.dataLength ? frameCount(*yz.dataLength, static_cast<std::int16_t>(yz.format.blockAlign)) : Frames();
  plan.counts = {frames, yzFrames};
  plan.shape.half = frameHalf(static_cast<std::int16_t>(wx.format.bitsPerSample),
                              static_cast<std::int16_t>(yz.format.blockAlign));
  plan.blockAlign = outputBlockAlign(yz);
  plan.wxDataStart = wx.dataStart;
  if (take) {
    plan.counts = {frames, frames, take->wxEndsTake, take->yzEndsTake};
    plan.wxSkipped = take->wxSkipped;
  }
  if (!take && keepsCanonicalHeader(wx, yz, frames, label)) {
    plan.form = OutputForm::canonical;
    plan.canonical = buildCanonicalHeader(wx, yz, *frames);
    plan.tail = TailSource::everyByte;
    return plan;
  }

  plan.form = OutputForm::chunked;
  plan.layout.format = outputFormat(wx, yz, label);
  plan.layout.bigEndian = wx.bigEndian;
  plan.tailBigEndian = wx.bigEndian;
  if (label == OutputLabel::ambix) {
    planAmbixOutput(wx.format, plan.shape, plan.layout.format);
    plan.blockAlign = plan.layout.format.blockAlign;
  }
  // Readers want the frame count of every format but plain PCM.
  plan.layout.fact = plan.layout.format.extensible() || plan.layout.format.formatTag != 1;

  std::optional<std::uint64_t> tailLength;
  std::optional<std::vector<std::byte>> tailIxml;
  if (!wx.dataEnd) {
    plan.tail = TailSource::none;
    tailLength = 0;
  } else {
    plan.tailFrom = *wx.dataEnd;
    if (std::optional<ListedTail> listed = listTail()) {
      plan.tail = TailSource::listed;
      plan.tailChunks = std::move(listed->chunks);
      tailIxml = std::move(listed->ixml);
      tailLength = 0;
      for (const TailChunk& chunk : plan.tailChunks)
        *tailLength += chunk.length();
    } else {
      plan.tail = TailSource::streamed;
      plan.tailLimit = wx.riffEnd;
    }
  }

  planMetadata(plan.layout, wx, tailIxml,
               label == OutputLabel::ambix ? ChannelConvention::ambix : ChannelConvention::traditional);

  // A take that an input of unknown length may end first has no size known
  // ahead, only a most.
  const Frames stated = take && (take->wxEndsTake || take->yzEndsTake) ? Frames() : frames;
  const std::optional<std::uint64_t> dataSize =
      stated ? std::optional(saturatingMultiply(plan.blockAlign, static_cast<std::uint64_t>(*stated)))
             : std::nullopt;
  OutputSizes& sizes = plan.sizes;
  sizes.dataSize = dataSize;
  sizes.frames = static_cast<std::uint64_t>(stated.value_or(0));
  sizes.riffKnown = dataSize && tailLength;
  // The least the RIFF size can be, with the header as laid out so far.
  auto riffSize = [&] {
    return saturatingAdd(plan.layout.length() - 8,
                         saturatingAdd(dataSize.value_or(0), tailLength.value_or(0)));
  };
  plan.layout.reserved = !sizes.riffKnown || riffSize() > sizeFieldLimit;
  sizes.riffSize = riffSize();
  return plan;
}

OutputSizes settledSizes(const OutputPlan& plan, std::int64_t frames, std::uint64_t length) {
  OutputSizes sizes;
  sizes.riffSize = length - 8;
  sizes.dataSize = std::uint64_t{plan.blockAlign} * static_cast<std::uint64_t>(frames);
  sizes.frames = static_cast<std::uint64_t>(frames);
  return sizes;
}

// A canonical output ends with every WX byte after the last frame; its
// sizes fit in 32 bits.
std::optional<std::uint64_t> plannedLength(const OutputPlan& plan, std::optional<std::uint64_t> wxLeft) {
  if (plan.form == OutputForm::chunked) {
    return plan.sizes.riffKnown ? std::optional(saturatingAdd(plan.sizes.riffSize, 8)) : std::nullopt;
  }
  if (!wxLeft || !plan.counts.wx) return std::nullopt;
  const std::uint64_t wxBytes = plan.blockAlign / 2 * static_cast<std::uint64_t>(*plan.counts.wx);
  return 44 + wxBytes + std::max(*wxLeft, wxBytes);
}

}  // namespace quadrel
