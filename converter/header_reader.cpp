// Reading the two input headers from units 1 and 2, and checking them in
// their order.
//
// Every input begins with the group reads of the canonical header, as far
// as its bytes are the canonical ones: group A; group B when "fmt " follows
// "WAVE"; group C when that fmt chunk holds its 16 bytes of fields; group D
// when the file is RIFF with a 16-byte fmt chunk. A file whose group D
// holds "data", or that is no RIFF, RF64 or BW64 WAVE file at all, is read
// at those fixed positions. Any other file has its chunks walked from byte
// 0, the bytes of the groups read replayed first, so the checks that the
// group fields allowed have already been made on the same values.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "converter/chunk_walker.h"
#include "converter/rejection.h"
#include "converter/wave_header.h"
#include "services/units/binary_units.h"

namespace quadrel {
namespace {

constexpr int wxUnit = 1;
constexpr int yzUnit = 2;
constexpr std::uint64_t canonicalHeaderLength = 44;

enum class Role { wx, yz };

// The bytes that the group reads delivered, in file order.
class HeaderPrefix {
 public:
  std::byte* append(std::size_t length) {
    std::byte* at = bytes_.data() + length_;
    length_ += length;
    return at;
  }
  std::span<const std::byte> bytes() const { return {bytes_.data(), length_}; }
  bool idAt(std::size_t offset, std::string_view id) const {
    return length_ >= offset + 4 && std::memcmp(bytes_.data() + offset, id.data(), 4) == 0;
  }

 private:
  std::array<std::byte, canonicalHeaderLength> bytes_{};
  std::size_t length_ = 0;
};

// Group A: RIFF id, RIFF size, WAVE-fmt id.
void readGroupA(int unit, HeaderPrefix& prefix, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::byte* a = prefix.append(groupALength);
  const TransferItem groupA[] = {TransferItem::characters(a, 4), TransferItem::integer4(a + 4),
                                 TransferItem::characters(a + 8, 8)};
  readStatement(unit, groupA);
  decodeGroupA(a, shared, input);
}

// Group B: fmt length, format tag, channel count.
void readGroupB(int unit, HeaderPrefix& prefix, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::byte* b = prefix.append(groupBLength);
  const TransferItem groupB[] = {TransferItem::integer4(b), TransferItem::integer2(b + 4),
                                 TransferItem::integer2(b + 6)};
  readStatement(unit, groupB);
  decodeGroupB(b, shared, input);
}

// Group C: sampling rate, byte rate.
void readGroupC(int unit, HeaderPrefix& prefix, InputHeaderFields& input) {
  std::byte* c = prefix.append(groupCLength);
  const TransferItem groupC[] = {TransferItem::integer4(c), TransferItem::integer4(c + 4)};
  readStatement(unit, groupC);
  decodeGroupC(c, input);
}

// Group D: block align, bits per sample, data id, data length.
void readGroupD(int unit, HeaderPrefix& prefix, SharedHeaderFields& shared, InputHeaderFields& input) {
  std::byte* d = prefix.append(groupDLength);
  const TransferItem groupD[] = {TransferItem::integer2(d), TransferItem::integer2(d + 2),
                                 TransferItem::characters(d + 4, 4), TransferItem::integer4(d + 8)};
  readStatement(unit, groupD);
  decodeGroupD(d, shared, input);
}

// A unit read on from where the group reads stopped, their bytes replayed
// first. It never reports an end: a read past the end of the file is
// reported by the unit as "end-of-file during read", which ends the run.
class UnitSource final : public ByteSource {
 public:
  UnitSource(int unit, std::span<const std::byte> replay) : unit_(unit), replay_(replay) {}

  bool read(std::byte* into, std::size_t size) override {
    const std::size_t replayed = std::min(size, replay_.size());
    if (replayed > 0) std::memcpy(into, replay_.data(), replayed);
    replay_ = replay_.subspan(replayed);
    if (size > replayed) {
      const TransferItem rest[] = {TransferItem::characters(into + replayed, size - replayed)};
      readStatement(unit_, rest);
    }
    return true;
  }

 private:
  int unit_;
  std::span<const std::byte> replay_;
};

void rejectIf(std::optional<std::string_view> failure) {
  if (failure) rejectInputPair(*failure);
}

// The checks that the fields of groups B and C allow, made as soon as they
// are known: the WX stereo check, the YZ comparisons of channel count,
// sampling rate and byte rate.
void checkFormatFields(Role role, const WaveHeader& header) {
  rejectIf(role == Role::wx ? checkWxStereo(header.wx) : compareAfterGroupC(header.wx, header.yz));
}

// Sets the data length of an input whose samples begin at the unit's
// position: the declared one, or when the file runs "up to its end" what a
// regular file still holds. `heldToFile` keeps it within a regular file.
void settleDataLength(int unit, std::optional<std::uint64_t> declared, bool heldToFile, InputLayout& layout) {
  // A canonical file with a declared length is taken at its word, as ever.
  const std::optional<std::uint64_t> left =
      heldToFile || !declared ? bytesLeftInUnit(unit) : std::optional<std::uint64_t>();
  std::optional<std::uint64_t> length = declared ? declared : left;
  if (heldToFile && length && left) length = std::min(*length, *left);
  layout.dataLength = length;
  layout.lengthFromTheEnd = !declared;
  if (!length) return;
  const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - layout.dataStart;
  std::uint64_t end = layout.dataStart + (*length < room ? *length + (*length & 1) : room);
  if (left) end = std::min(end, layout.dataStart + *left);
  layout.dataEnd = end;
}

void finishFixedReading(int unit, const SharedHeaderFields& shared, const InputHeaderFields& input,
                        InputLayout& layout) {
  layout.walked = false;
  layout.formatTag = static_cast<std::uint16_t>(shared.formatTag);
  layout.sampleKind = sampleKindOf(layout.formatTag, nullptr);
  layout.blockAlign = shared.blockAlign;
  layout.dataStart = canonicalHeaderLength;
  const auto declared = static_cast<std::uint32_t>(input.dataLength);
  const bool upToTheEnd = layout.form == WaveForm::riff && declared == sizeUpToTheEnd;
  settleDataLength(unit, upToTheEnd ? std::nullopt : std::optional<std::uint64_t>(declared), false, layout);
}

// The canonical header that describes a walked input's samples.
void takeWalkedFormat(const FormatFields& format, SharedHeaderFields& shared, InputHeaderFields& input) {
  shared.riffId = {'R', 'I', 'F', 'F'};
  shared.waveFmtId = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  shared.fmtLength = 16;
  shared.formatTag = static_cast<std::int16_t>(format.kind == SampleKind::ieeeFloat ? 3
                                               : format.kind == SampleKind::pcm     ? 1
                                                                                    : format.formatTag);
  shared.blockAlign = static_cast<std::int16_t>(format.blockAlign);
  shared.dataId = {'d', 'a', 't', 'a'};
  input.channelCount = static_cast<std::int16_t>(format.channels);
  input.samplingRate = static_cast<std::int32_t>(format.sampleRate);
  input.byteRate = static_cast<std::int32_t>(format.byteRate);
  input.bitsPerSample = static_cast<std::int16_t>(format.bitsPerSample);
}

void walkInput(int unit, Role role, const HeaderPrefix& prefix, bool formatChecked, WaveHeader& header) {
  InputHeaderFields& input = role == Role::wx ? header.wx : header.yz;
  InputLayout& layout = role == Role::wx ? header.wxLayout : header.yzLayout;
  UnitSource source(unit, prefix.bytes());
  // The form is known to be a WAVE one, and a unit source never ends
  // short, so the walk always stops at the data chunk.
  ChunkWalk walk = walkChunks(source, role == Role::wx);
  rejectIf(checkWalkedFormat(walk));
  takeWalkedFormat(*walk.format, header.shared, input);
  if (!formatChecked) checkFormatFields(role, header);

  layout.walked = true;
  layout.formatTag = walk.format->formatTag;
  layout.sampleKind = walk.format->kind;
  layout.blockAlign = static_cast<std::int16_t>(walk.format->blockAlign);
  layout.dataStart = walk.dataStart;
  layout.bext = std::move(walk.bext);
  rejectIf(checkSampleKind(layout));
  settleDataLength(unit, walk.dataLength, true, layout);
  const auto length32 = static_cast<std::uint32_t>(layout.dataLength.value_or(sizeUpToTheEnd));
  input.dataLength = static_cast<std::int32_t>(length32);
  input.riffSize = static_cast<std::int32_t>(36 + length32);
}

// Reads one input's header and makes the checks that its own fields allow
// (those of the WX file, or the YZ comparisons up to the byte rate).
void readInput(int unit, Role role, WaveHeader& header) {
  SharedHeaderFields& shared = header.shared;
  InputHeaderFields& input = role == Role::wx ? header.wx : header.yz;
  InputLayout& layout = role == Role::wx ? header.wxLayout : header.yzLayout;
  HeaderPrefix prefix;
  readGroupA(unit, prefix, shared, input);
  layout.form = waveFormOf(prefix.bytes().first<12>());
  const bool fixed = layout.form == WaveForm::other;

  bool formatChecked = false;
  if (fixed || prefix.idAt(12, "fmt ")) {
    readGroupB(unit, prefix, shared, input);
    if (fixed || static_cast<std::uint32_t>(shared.fmtLength) >= 16) {
      if (role == Role::wx) checkFormatFields(role, header);
      readGroupC(unit, prefix, input);
      if (role == Role::yz) checkFormatFields(role, header);
      formatChecked = true;
      if (fixed || (layout.form == WaveForm::riff && shared.fmtLength == 16)) {
        readGroupD(unit, prefix, shared, input);
        if (fixed || prefix.idAt(36, "data")) {
          finishFixedReading(unit, shared, input, layout);
          return;
        }
      }
    }
  }
  walkInput(unit, role, prefix, formatChecked, header);
}

Frames framesOrReject(std::optional<std::uint64_t> dataLength, std::int16_t blockAlign) {
  if (blockAlign == 0) rejectInputPair("ERROR - Invalid block align");
  if (!dataLength) return std::nullopt;
  return frameCount(*dataLength, blockAlign);
}

}  // namespace

Frames readWxHeader(WaveHeader& header) {
  readInput(wxUnit, Role::wx, header);
  return framesOrReject(header.wxLayout.dataLength, header.wxLayout.blockAlign);
}

Frames readAndCompareYzHeader(WaveHeader& header) {
  readInput(yzUnit, Role::yz, header);
  rejectIf(compareAfterGroupD(header.wx, header.wxLayout, header.yz, header.yzLayout));
  const Frames frames = framesOrReject(header.wxLayout.dataLength, header.yzLayout.blockAlign);
  rejectIf(checkSampleWidth(header.wx, header.wxLayout));
  rejectIf(checkSampleWidth(header.yz, header.yzLayout));
  return frames;
}

}  // namespace quadrel
