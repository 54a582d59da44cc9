// Reading an input's header into its description.
//
// Every input begins with the read requests of the canonical header's
// groups, as far as its bytes keep the canonical layout, each group handed
// to the chunk parser as it arrives:
//   A  bytes  0-15  RIFF id, RIFF size, WAVE-fmt id     always
//   B  bytes 16-23  fmt length, format tag, channels    when "fmt " follows "WAVE"
//   C  bytes 24-31  sampling rate, byte rate            when the fmt chunk holds 16 bytes or more
//   D  bytes 32-43  block align, bits, data id, length  when it is a RIFF file with 16 of them
// A file whose group D holds "data", or that is no RIFF, RF64 or BW64
// WAVE file, is described from the groups. Any other file is read on as
// the parser asks, up to its data chunk, and described from what the
// parser found. A file that ends before that fails with end-of-file on its
// unit, at the group or the chunk where it ends.
#include "converter/input_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "converter/rejection.h"
#include "converter/tail_chunks.h"
#include "converter/wave_parser.h"
#include "services/units/binary_units.h"
#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr std::uint64_t canonicalHeaderLength = 44;

// The WX file is checked on its own; the YZ file against the WX file.
enum class Role : std::uint8_t { wx, yz };

// The groups of the canonical header, each one read request whose items
// carry the unit's byte-order settings to the numbers.
class HeaderGroups {
 public:
  HeaderGroups(int unit, WaveParser& parser) : unit_(unit), parser_(parser) {}

  void readA() {
    std::byte* a = image_.data();
    read({TransferItem::characters(a, 4), TransferItem::integer4(a + 4), TransferItem::characters(a + 8, 8)});
  }
  void readB() {
    std::byte* b = image_.data() + 16;
    read({TransferItem::integer4(b), TransferItem::integer2(b + 4), TransferItem::integer2(b + 6)});
  }
  void readC() {
    std::byte* c = image_.data() + 24;
    read({TransferItem::integer4(c), TransferItem::integer4(c + 4)});
  }
  void readD() {
    std::byte* d = image_.data() + 32;
    read({TransferItem::integer2(d), TransferItem::integer2(d + 2), TransferItem::characters(d + 4, 4),
          TransferItem::integer4(d + 8)});
  }

  bool idAt(std::size_t offset, std::string_view id) const {
    return read_ >= offset + 4 && std::memcmp(image_.data() + offset, id.data(), 4) == 0;
  }
  std::uint32_t fmtLength() const { return loadUint32Le(image_.data() + 16); }

  // The format fields at their fixed positions: tag 20, channels 22, rate
  // 24, byte rate 28, block align 32, bits 34; 0 where not read yet.
  FormatFields format() const {
    const std::byte* h = image_.data();
    FormatFields format{loadUint16Le(h + 20), loadUint16Le(h + 22), loadUint32Le(h + 24),
                        loadUint32Le(h + 28), loadUint16Le(h + 32), loadUint16Le(h + 34)};
    format.kind = sampleKindOf(format.formatTag, nullptr);
    format.validBits = format.bitsPerSample;
    return format;
  }

  FixedHeader fixedHeader() const {
    const std::byte* h = image_.data();
    FixedHeader fixed;
    std::memcpy(fixed.riffId.data(), h, 4);
    fixed.riffSize = loadUint32Le(h + 4);
    std::memcpy(fixed.waveFmtId.data(), h + 8, 8);
    fixed.fmtLength = fmtLength();
    std::memcpy(fixed.dataId.data(), h + 36, 4);
    fixed.dataLength = loadUint32Le(h + 40);
    return fixed;
  }

 private:
  // The parser takes the bytes as read; the image keeps the numbers of a
  // RIFX file little-endian, as the rest reads them.
  void read(std::initializer_list<TransferItem> items) {
    std::size_t length = 0;
    for (const TransferItem& item : items)
      length += item.length;
    readStatement(unit_, std::span(items.begin(), items.size()));
    parser_.take(std::span(image_).subspan(read_, length));
    for (const TransferItem& item : items)
      if (parser_.parsed().bigEndian && item.kind != ItemKind::characters)
        reverseNumber(item.image, item.length);
    read_ += length;
  }

  int unit_;
  WaveParser& parser_;
  std::array<std::byte, canonicalHeaderLength> image_{};
  std::size_t read_ = 0;
};

// Reads on from where the groups stopped, as the parser asks, up to the
// first byte of the data.
void readToData(int unit, WaveParser& parser) {
  std::array<std::byte, 8192> piece;
  while (const std::uint64_t wanted = parser.wanted()) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, piece.size()));
    const TransferItem item[] = {TransferItem::characters(piece.data(), size)};
    readStatement(unit, item);
    parser.take(std::span(piece).first(size));
  }
}

// The checks that an input's format fields allow, made as soon as they are
// known: the WX stereo check, or the YZ comparisons up to the byte rate.
void checkFormat(Role role, const FormatFields& format, const FormatFields& wx) {
  rejectIf(role == Role::wx ? checkWxStereo(format) : compareFormats(wx, format));
}

// What a RIFF file's data size declares: nothing for "up to the end", which
// 0xFFFFFFFF says, and sox's placeholder where a stream or the file's end
// shows that it is one.
std::optional<std::uint64_t> declaredRiffLength(int unit, std::uint32_t size, std::uint32_t riffSize,
                                                std::uint64_t dataStart, std::uint16_t blockAlign) {
  if (size == sizeUpToTheEnd) return std::nullopt;
  if (isStreamingPlaceholder(size, riffSize, dataStart, blockAlign)) {
    const std::optional<std::uint64_t> left = bytesLeftInUnit(unit);
    if (!left || size > *left) return std::nullopt;
  }
  return size;
}

// Sets the data length of an input whose samples begin at the unit's
// position, and where they end: the declared length, or what a regular file
// holds when the file runs "up to its end". `heldToFile` keeps it within a
// regular file.
void settleDataLength(int unit, std::optional<std::uint64_t> declared, bool heldToFile,
                      InputDescription& input) {
  const std::optional<std::uint64_t> left =
      heldToFile || !declared ? bytesLeftInUnit(unit) : std::optional<std::uint64_t>();
  std::optional<std::uint64_t> length = declared ? declared : left;
  if (heldToFile && length && left) length = std::min(*length, *left);
  input.dataLength = length;
  input.lengthFromTheEnd = !declared;
  if (!length) return;
  const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - input.dataStart;
  std::uint64_t end = input.dataStart + (*length < room ? *length + (*length & 1) : room);
  if (left) end = std::min(end, input.dataStart + *left);
  input.dataEnd = end;
}

// Where a RIFF file's size ends it, unless the size says "up to the end"
// or nothing at all.
std::optional<std::uint64_t> riffEndOf(std::uint32_t riffSize, bool upToTheEnd) {
  if (upToTheEnd || riffSize == sizeUpToTheEnd || riffSize == 0) return std::nullopt;
  return std::uint64_t{riffSize} + 8;
}

// The WX file's length is asked for, which its RIFF size must match.
InputDescription describeFixed(int unit, Role role, const HeaderGroups& groups, const ParsedWave& parsed) {
  const WaveForm form = parsed.form;
  InputDescription input;
  input.bigEndian = parsed.bigEndian;
  input.form = form == WaveForm::other ? InputForm::notWave : InputForm::canonical;
  input.format = groups.format();
  input.fixed = groups.fixedHeader();
  input.dataStart = canonicalHeaderLength;
  const FixedHeader& fixed = *input.fixed;
  // The placeholders of a recording never closed: a RIFF size that stops
  // before the data and a data size of 0, over samples that go on.
  const bool neverClosed =
      form == WaveForm::riff && fixed.dataLength == 0 && std::uint64_t{fixed.riffSize} + 8 <= input.dataStart;
  std::optional<std::uint64_t> left;
  if (role == Role::wx || neverClosed) left = bytesLeftInUnit(unit);
  if (left) input.fileEnd = input.dataStart + *left;
  // Taken at its word, but for the sizes of a stream.
  std::optional<std::uint64_t> declared = fixed.dataLength;
  if (form == WaveForm::riff) {
    declared =
        declaredRiffLength(unit, fixed.dataLength, fixed.riffSize, input.dataStart, input.format.blockAlign);
    if (neverClosed && left.value_or(0) > 0) declared.reset();
    input.riffEnd = riffEndOf(fixed.riffSize, !declared);
  }
  settleDataLength(unit, declared, false, input);
  return input;
}

InputDescription describeWalked(int unit, ParsedWave parsed) {
  InputDescription input;
  input.form = InputForm::walked;
  input.bigEndian = parsed.bigEndian;
  input.format = *parsed.format;
  input.dataStart = parsed.dataStart;
  input.bext = std::move(parsed.bext);
  input.ixml = std::move(parsed.ixml);
  rejectIf(checkSampleKind(input));

  std::optional<std::uint64_t> declared;
  if (parsed.form == WaveForm::riff) {
    declared =
        declaredRiffLength(unit, parsed.dataSize, parsed.riffSize, input.dataStart, input.format.blockAlign);
    input.riffEnd = riffEndOf(parsed.riffSize, !declared);
  } else {
    declared = parsed.dataSize == sizeUpToTheEnd ? parsed.ds64DataSize : parsed.dataSize;
    const std::optional<std::uint64_t> riffSize =
        parsed.riffSize == sizeUpToTheEnd ? parsed.ds64RiffSize : parsed.riffSize;
    if (riffSize && *riffSize != 0 && *riffSize <= std::numeric_limits<std::uint64_t>::max() - 8) {
      input.riffEnd = *riffSize + 8;
    }
  }
  if (declared == 0u) declared.reset();
  settleDataLength(unit, declared, true, input);
  return input;
}

// Reads one input's header and makes the checks that its own format fields
// allow; `wx` is the WX file's format, which the YZ file is compared with.
InputDescription readInput(int unit, Role role, const FormatFields& wx, bool keepBext) {
  WaveParser parser(keepBext, !byteOrderOf(unit).convert);
  HeaderGroups groups(unit, parser);
  groups.readA();
  const bool fixed = parser.notWave();
  bool formatChecked = false;
  if (fixed || groups.idAt(12, "fmt ")) {
    groups.readB();
    if (fixed || groups.fmtLength() >= plainFormatLength) {
      if (role == Role::wx) checkFormat(role, groups.format(), wx);
      groups.readC();
      if (role == Role::yz) checkFormat(role, groups.format(), wx);
      formatChecked = true;
      if (fixed || (parser.parsed().form == WaveForm::riff && groups.fmtLength() == plainFormatLength)) {
        groups.readD();
        if (fixed || groups.idAt(36, "data")) return describeFixed(unit, role, groups, parser.parsed());
      }
    }
  }
  readToData(unit, parser);
  rejectIf(checkParsedFormat(parser.parsed()));
  if (!formatChecked) checkFormat(role, *parser.parsed().format, wx);
  return describeWalked(unit, parser.parsed());
}

Frames framesOrReject(std::optional<std::uint64_t> dataLength, std::uint16_t blockAlign) {
  rejectIf(checkBlockAlign(blockAlign));
  if (!dataLength) return std::nullopt;
  return frameCount(*dataLength, static_cast<std::int16_t>(blockAlign));
}

}  // namespace

CheckedInput readWxInput(const ConversionFiles& files) {
  InputDescription wx = readInput(files.wx, Role::wx, {}, true);
  const Frames frames = framesOrReject(wx.dataLength, wx.format.blockAlign);
  return {std::move(wx), frames};
}

CheckedInput readYzInput(const ConversionFiles& files, const InputDescription& wx, bool aligned) {
  InputDescription yz = readInput(files.yz, Role::yz, wx.format, aligned);
  rejectIf(compareLengthsAndBits(wx, yz, aligned));
  const Frames frames = framesOrReject(wx.dataLength, yz.format.blockAlign);
  rejectIf(checkSampleWidth(wx));
  rejectIf(checkSampleWidth(yz));
  return {std::move(yz), frames};
}

std::optional<ListedTail> listWxTail(const ConversionFiles& files, const InputDescription& wx) {
  if (!wx.dataEnd) return ListedTail();
  // Nothing of the data is handed out yet: the unit stands at its start.
  const std::optional<std::uint64_t> left = bytesLeftInUnit(files.wx);
  if (!left) return std::nullopt;
  const std::uint64_t fileEnd = wx.dataStart + *left;
  const std::uint64_t limit = std::min(fileEnd, wx.riffEnd.value_or(fileEnd));
  const ChunkHeaderReader read = [&](std::uint64_t offset, std::span<std::byte, chunkHeaderLength> header) {
    const bool whole = peekAt(files.wx, offset, header);
    if (wx.bigEndian) reverseNumber(header.data() + 4, 4);
    return whole;
  };
  ListedTail tail{listTailChunks(*wx.dataEnd, limit, read), std::nullopt};
  const std::optional<TailChunk> ixml = wx.ixml ? std::nullopt : findTailIxml(*wx.dataEnd, limit, read);
  if (ixml && ixml->size <= ixmlLimit) {
    tail.ixml.emplace(ixml->size);
    if (!peekAt(files.wx, ixml->offset + chunkHeaderLength, *tail.ixml)) tail.ixml.reset();
  }
  return tail;
}

}  // namespace quadrel
