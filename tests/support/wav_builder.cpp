// WAV files for tests: building, reading the header, and the expected
// four-channel result of a pair.
#include "tests/support/wav_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quadrel::harness {
namespace {

void putId(std::string& out, std::string_view id, std::size_t width) {
  std::string field(id.substr(0, std::min(id.size(), width)));
  field.resize(width, '\0');
  out += field;
}

void put32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out += static_cast<char>((value >> shift) & 0xFF);
}

void put16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

std::uint32_t get32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::string headerBytes(const WavHeaderFields& h) {
  std::string out;
  putId(out, h.riffId, 4);
  put32(out, static_cast<std::uint32_t>(h.riffSize));
  putId(out, h.waveFmtId, 8);
  put32(out, static_cast<std::uint32_t>(h.fmtLength));
  put16(out, static_cast<std::uint16_t>(h.formatTag));
  put16(out, static_cast<std::uint16_t>(h.channels));
  put32(out, static_cast<std::uint32_t>(h.sampleRate));
  put32(out, static_cast<std::uint32_t>(h.byteRate));
  put16(out, static_cast<std::uint16_t>(h.blockAlign));
  put16(out, static_cast<std::uint16_t>(h.bitsPerSample));
  putId(out, h.dataId, 4);
  put32(out, static_cast<std::uint32_t>(h.dataLength));
  return out;
}

// The frame count: the data length, unsigned, by the block align, signed,
// truncated toward zero; nothing when the block align is 0.
std::optional<std::int64_t> framesOf(std::int32_t dataLength, std::int16_t blockAlign) {
  if (blockAlign == 0) return std::nullopt;
  return std::int64_t{static_cast<std::uint32_t>(dataLength)} / blockAlign;
}

}  // namespace

std::string samplePattern(std::uint32_t seed, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    // splitmix64 of (seed, index): every byte value occurs, NaN patterns included.
    std::uint64_t z = (static_cast<std::uint64_t>(seed) << 32) + i + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    bytes[i] = static_cast<char>((z ^ (z >> 31)) & 0xFF);
  }
  return bytes;
}

WavSpec stereo16(std::int32_t frames, std::uint32_t seed) {
  WavSpec recipe;
  recipe.frames = frames;
  recipe.seed = seed;
  return recipe;
}

std::string chunkWithSize(std::string_view id, std::uint32_t size, std::string_view body) {
  std::string out;
  putId(out, id, 4);
  put32(out, size);
  out += body;
  return out;
}

std::string chunk(std::string_view id, std::string_view body) {
  std::string out = chunkWithSize(id, static_cast<std::uint32_t>(body.size()), body);
  if (body.size() % 2 != 0) out += '\0';
  return out;
}

std::string buildWav(const WavSpec& recipe) {
  int bytesPerSample = std::max(1, (recipe.bitsPerSample + 7) / 8);
  int channels = std::max<int>(1, recipe.channels);
  std::string data = recipe.sampleBytes.value_or(samplePattern(
      recipe.seed, static_cast<std::size_t>(std::max(0, recipe.frames)) * channels * bytesPerSample));

  WavHeaderFields h;
  h.riffId = recipe.riffId;
  h.riffSize = recipe.riffSize.value_or(static_cast<std::int32_t>(36 + data.size() + recipe.trailing.size()));
  h.waveFmtId = recipe.waveFmtId;
  h.fmtLength = recipe.fmtLength;
  h.formatTag = recipe.formatTag;
  h.channels = recipe.channels;
  h.sampleRate = recipe.sampleRate;
  h.blockAlign = recipe.blockAlign.value_or(static_cast<std::int16_t>(recipe.channels * bytesPerSample));
  h.byteRate = recipe.byteRate.value_or(static_cast<std::int32_t>(
      static_cast<std::uint32_t>(recipe.sampleRate) * static_cast<std::uint32_t>(h.blockAlign)));
  h.bitsPerSample = recipe.bitsPerSample;
  h.dataId = recipe.dataId;
  h.dataLength = recipe.dataLength.value_or(static_cast<std::int32_t>(data.size()));

  return headerBytes(h) + data + recipe.trailing;
}

void PrintTo(const WavHeaderFields& h, std::ostream* out) {
  auto id = [](const std::string& text) {
    std::string shown;
    for (char c : text)
      shown += (c >= 0x20 && c < 0x7F) ? std::string(1, c) : "\\x" + std::to_string(c & 0xFF);
    return '"' + shown + '"';
  };
  *out << "{riffId " << id(h.riffId) << ", riffSize " << h.riffSize << ", waveFmtId " << id(h.waveFmtId)
       << ", fmtLength " << h.fmtLength << ", formatTag " << h.formatTag << ", channels " << h.channels
       << ", sampleRate " << h.sampleRate << ", byteRate " << h.byteRate << ", blockAlign " << h.blockAlign
       << ", bitsPerSample " << h.bitsPerSample << ", dataId " << id(h.dataId) << ", dataLength "
       << h.dataLength << "}";
}

std::optional<WavHeaderFields> readWavHeader(std::string_view bytes) {
  if (bytes.size() < 44) return std::nullopt;
  WavHeaderFields h;
  h.riffId = std::string(bytes.substr(0, 4));
  h.riffSize = static_cast<std::int32_t>(get32(bytes, 4));
  h.waveFmtId = std::string(bytes.substr(8, 8));
  h.fmtLength = static_cast<std::int32_t>(get32(bytes, 16));
  h.formatTag = static_cast<std::int16_t>(get16(bytes, 20));
  h.channels = static_cast<std::int16_t>(get16(bytes, 22));
  h.sampleRate = static_cast<std::int32_t>(get32(bytes, 24));
  h.byteRate = static_cast<std::int32_t>(get32(bytes, 28));
  h.blockAlign = static_cast<std::int16_t>(get16(bytes, 32));
  h.bitsPerSample = static_cast<std::int16_t>(get16(bytes, 34));
  h.dataId = std::string(bytes.substr(36, 4));
  h.dataLength = static_cast<std::int32_t>(get32(bytes, 40));
  return h;
}

std::optional<std::string> expectedConversion(std::string_view wx, std::string_view yz) {
  std::optional<WavHeaderFields> w = readWavHeader(wx);
  std::optional<WavHeaderFields> y = readWavHeader(yz);
  if (!w || !y || !framesOf(w->dataLength, w->blockAlign)) return std::nullopt;
  std::optional<std::int64_t> frames = framesOf(w->dataLength, y->blockAlign);
  if (!frames) return std::nullopt;

  // Identifiers, fmt length, format tag and block align come from the YZ
  // header; rate, bits and the sizes from the WX one. Sums and products wrap.
  auto outBlockAlign = static_cast<std::int16_t>(2 * y->blockAlign);
  auto wrapped = [](std::int64_t a, std::int64_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
  };
  WavHeaderFields out = *y;
  out.riffSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(w->riffSize) +
                                           static_cast<std::uint32_t>(w->dataLength));
  out.channels = 4;
  out.sampleRate = w->sampleRate;
  out.byteRate = wrapped(w->sampleRate, outBlockAlign);
  out.blockAlign = outBlockAlign;
  out.bitsPerSample = w->bitsPerSample;
  out.dataLength = wrapped(outBlockAlign, *frames);
  std::string result = headerBytes(out);

  // Bytes of one input frame: two samples of whole bytes, whatever the width.
  const std::size_t half = w->bitsPerSample > 0 ? 2 * ((w->bitsPerSample + 7) / 8) : 0;
  std::size_t taken = 0;
  if (half != 0 && *frames > 0) {
    taken = half * static_cast<std::size_t>(*frames);
    if (wx.size() < 44 + taken || yz.size() < 44 + taken) return std::nullopt;
    for (std::size_t at = 44; at < 44 + taken; at += half) {
      result += wx.substr(at, half);
      result += yz.substr(at, half);
    }
  }
  result += wx.substr(44 + taken);
  return result;
}

}  // namespace quadrel::harness

namespace quadrel::harness {
namespace {

void put64(std::string& out, std::uint64_t value) {
  put32(out, static_cast<std::uint32_t>(value));
  put32(out, static_cast<std::uint32_t>(value >> 32));
}

const std::string ambisonicGuidTail("\x21\x07\xD3\x11\x86\x44\xC8\xC1\xCA\x00\x00\x00", 12);

// The SubFormat GUID of a format tag: the tag, then the standard tail.
std::string subFormatGuid(std::uint16_t tag) {
  std::string guid;
  put32(guid, tag);
  return guid + std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
}

int sampleKindOfGuid(std::string_view guid) {
  for (std::uint16_t tag : {1, 3}) {
    if (guid == subFormatGuid(tag) || guid == subFormatGuid(tag).substr(0, 4) + ambisonicGuidTail) return tag;
  }
  return 0;
}

}  // namespace

std::uint16_t FormatSpec::align() const {
  return blockAlign.value_or(static_cast<std::uint16_t>(channels * ((bitsPerSample + 7) / 8)));
}

std::string formatBody(const FormatSpec& f) {
  std::string out;
  put16(out, f.tag);
  put16(out, f.channels);
  put32(out, f.sampleRate);
  put32(out, f.byteRate.value_or(f.sampleRate * f.align()));
  put16(out, f.align());
  put16(out, f.bitsPerSample);
  return out;
}

std::string extensibleBody(FormatSpec format, std::uint16_t validBits, std::uint16_t subFormat) {
  format.tag = 0xFFFE;
  std::string out = formatBody(format);
  put16(out, 22);
  put16(out, validBits);
  put32(out, 3);
  return out + subFormatGuid(subFormat);
}

std::string ds64Body(std::uint64_t riffSize, std::uint64_t dataSize, std::uint64_t sampleCount) {
  std::string out;
  put64(out, riffSize);
  put64(out, dataSize);
  put64(out, sampleCount);
  put32(out, 0);
  return out;
}

std::string waveFile(std::string_view form, const std::vector<std::string>& chunks,
                     std::optional<std::uint32_t> riffSize) {
  std::string body = "WAVE";
  for (const std::string& c : chunks)
    body += c;
  std::string out;
  putId(out, form, 4);
  put32(out, riffSize.value_or(form == "RIFF" ? static_cast<std::uint32_t>(body.size()) : 0xFFFFFFFF));
  return out + body;
}

std::optional<WavLayout> readWavLayout(std::string_view file) {
  if (file.size() < 12 || file.substr(8, 4) != "WAVE") return std::nullopt;
  WavLayout layout;
  layout.form = std::string(file.substr(0, 4));
  if (layout.form != "RIFF" && layout.form != "RF64" && layout.form != "BW64") return std::nullopt;
  const std::uint32_t riffSize = get32(file, 4);
  if (riffSize != 0xFFFFFFFF && riffSize != 0) layout.riffEnd = std::uint64_t{riffSize} + 8;
  bool fmtSeen = false, ds64Seen = false;
  std::optional<std::uint64_t> ds64DataSize;
  for (std::uint64_t at = 12; file.size() >= at + 8;) {
    const std::string_view id = file.substr(at, 4);
    const std::uint32_t size = get32(file, at + 4);
    const std::uint64_t body = at + 8;
    if (id == "data") {
      layout.dataStart = body;
      if (size != 0xFFFFFFFF) layout.dataLength = size;
      if (size == 0xFFFFFFFF && layout.form != "RIFF") layout.dataLength = ds64DataSize;
      if (layout.dataLength == 0u) layout.dataLength.reset();
      // What sox states when it streams: 0x7FFFF000 in whole frames, and
      // the RIFF size to match.
      const std::uint16_t align = layout.format ? layout.format->align() : 0;
      if (layout.form == "RIFF" && align != 0 && size == 0x7FFFF000 / align * align &&
          riffSize == body - 8 + size && size > file.size() - body) {
        layout.dataLength.reset();
        layout.riffEnd.reset();
      }
      return layout;
    }
    // Every chunk before the data lies whole in the file, pad byte included.
    if (file.size() - body < std::uint64_t{size} + size % 2) return std::nullopt;
    const std::string_view content = file.substr(body, size);
    if (id == "fmt " && !fmtSeen) {
      fmtSeen = true;
      layout.formatTooShort = size < 16;
      if (size >= 16) {
        layout.format = FormatSpec{get16(content, 0),  get16(content, 2),  get32(content, 4),
                                   get16(content, 14), get16(content, 12), get32(content, 8)};
        const std::uint16_t tag = layout.format->tag;
        layout.sampleKind = tag == 1 || tag == 3 ? tag : 0;
        layout.validBits = layout.format->bitsPerSample;
        if (tag == 0xFFFE && size >= 40) {
          layout.sampleKind = sampleKindOfGuid(content.substr(24, 16));
          const std::uint16_t valid = get16(content, 18);
          if (valid > 0 && valid < layout.validBits) layout.validBits = valid;
        }
      }
    }
    if (id == "ds64" && layout.form != "RIFF" && !ds64Seen) {
      ds64Seen = true;
      if (size >= 16) {
        ds64DataSize = get32(content, 8) | std::uint64_t{get32(content, 12)} << 32;
        const std::uint64_t ds64RiffSize = get32(content, 0) | std::uint64_t{get32(content, 4)} << 32;
        if (riffSize == 0xFFFFFFFF && ds64RiffSize != 0) layout.riffEnd = ds64RiffSize + 8;
      }
    }
    if (id == "bext" && !layout.bext && size <= (1u << 20)) layout.bext = std::string(content);
    if (id == "iXML" && !layout.ixml && size <= (1u << 20)) layout.ixml = std::string(content);
    at = body + size + size % 2;
  }
  return std::nullopt;
}

namespace {

// AmbiX samples, computed in quadruple precision: an integer sample is
// exactly its value over 2 to the container bits less 1 (8-bit ones less
// their offset of 128); the product of W with the square root of 2 keeps 113
// bits, far more than the float it is rounded to can tell apart.
__float128 ambixValue(std::string_view bytes, int kind) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bits |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  if (kind == 3)
    return bytes.size() == 4 ? std::bit_cast<float>(static_cast<std::uint32_t>(bits))
                             : std::bit_cast<double>(bits);
  const int width = 8 * static_cast<int>(bytes.size());
  const auto integer = width == 8 ? static_cast<std::int64_t>(bits) - 128
                                  : static_cast<std::int64_t>(bits << (64 - width)) >> (64 - width);
  return integer / static_cast<__float128>(std::ldexp(1.0, width - 1));
}

bool ambixInDoubles(const FormatSpec& format, int kind) {
  return format.align() / format.channels >= (kind == 3 ? 8u : 4u);
}

std::string ambixFrames(std::string_view wx, std::string_view yz, std::uint64_t frames,
                        const FormatSpec& format, int kind) {
  const __float128 root2 = static_cast<__float128>(0x1.6a09e667f3bcdp+0) +
                           static_cast<__float128>(-0x1.bdd3413b26456p-54) +
                           static_cast<__float128>(0x1.57d3e3adec175p-108);
  const std::size_t size = format.align() / format.channels;
  std::string out;
  auto put = [&](std::string_view sample, __float128 times) {
    const __float128 value = ambixValue(sample, kind) * times;
    const std::uint64_t bits = ambixInDoubles(format, kind)
                                   ? std::bit_cast<std::uint64_t>(static_cast<double>(value))
                                   : std::bit_cast<std::uint32_t>(static_cast<float>(value));
    for (std::size_t i = 0; i < (ambixInDoubles(format, kind) ? 8u : 4u); ++i)
      out += static_cast<char>(bits >> (8 * i));
  };
  for (std::uint64_t at = 0; at < 2 * size * frames; at += 2 * size) {
    put(wx.substr(at, size), root2);
    put(yz.substr(at, size), 1);
    put(yz.substr(at + size, size), 1);
    put(wx.substr(at + size, size), 1);
  }
  return out;
}

}  // namespace

std::string expectedTrackList(bool ambix, std::string_view newline) {
  const std::string nl(newline);
  std::string list = "<TRACK_LIST>" + nl + "<TRACK_COUNT>4</TRACK_COUNT>" + nl;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    list += "<TRACK>" + nl + "<CHANNEL_INDEX>" + n + "</CHANNEL_INDEX>" + nl + "<INTERLEAVE_INDEX>" + n +
            "</INTERLEAVE_INDEX>" + nl + "<NAME>" + (ambix ? "WYZX" : "WXYZ")[i] + "</NAME>" + nl +
            "</TRACK>" + nl;
  }
  return list + "</TRACK_LIST>";
}

std::string expectedConventionNote(bool ambix) {
  return ambix ? "First-order ambisonics AmbiX: ACN channel order 0 1 2 3 (W Y Z X) with SN3D normalisation"
               : "First-order ambisonics B-format: traditional channel order W X Y Z with W 3 dB down";
}

std::string expectedSmallIxml(bool ambix) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n<IXML_VERSION>1.5</IXML_VERSION>\n<NOTE>" +
         expectedConventionNote(ambix) + "</NOTE>\n" + expectedTrackList(ambix) + "\n</BWFXML>\n";
}

std::string expectedRecorderIxml(std::string ixml, bool ambix, std::optional<std::uint64_t> timeReference) {
  ixml.erase(ixml.find_last_not_of('\0') + 1);
  const std::size_t list = ixml.find("<TRACK_LIST>");
  ixml.replace(list, ixml.find("</TRACK_LIST>") + 13 - list, expectedTrackList(ambix, "\r\n"));
  ixml.insert(ixml.find("</NOTE>"), "; " + expectedConventionNote(ambix));
  if (!timeReference) return ixml;
  // Each reference as two 32-bit halves; the recorder's high halves say 0.
  const std::string low = std::to_string(*timeReference & 0xFFFFFFFF);
  const std::string high = std::to_string(*timeReference >> 32);
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{">2073600000<", std::string(">").append(low)},
        {"HI>0<", std::string("HI>").append(high)},
        {"HIGH>0<", std::string("HIGH>").append(high)}}) {
    for (std::size_t at = 0; (at = ixml.find(from, at)) != std::string::npos; at += to.size())
      ixml.replace(at, from.size() - 1, to);
  }
  return ixml;
}

namespace {

// The WX bext body with the conversion's line at the end of its
// CodingHistory (from byte 602): the NULs after the text dropped, a last
// line without CR LF given one, then the line and CR LF, and a NUL where
// the body would be odd.
std::string bextWithHistory(std::string body, std::uint32_t rate, std::uint16_t validBits, std::uint16_t tag,
                            bool ambix) {
  body.resize(std::max<std::size_t>(body.size(), 602), '\0');
  while (body.size() > 602 && body.back() == '\0')
    body.pop_back();
  if (body.size() > 602 && body.back() != '\n') body += "\r\n";
  const std::string kind = tag == 3   ? "IEEE float; "
                           : tag == 1 ? ""
                                      : "format tag " + std::to_string(tag) + "; ";
  body += std::string(tag == 1 || tag == 3 ? "A=PCM," : "") + "F=" + std::to_string(rate) +
          ",W=" + std::to_string(validBits) +
          ",T=quadrel " QUADREL_VERSION "; two stereo files to 4 channels; " + kind +
          expectedConventionNote(ambix) + "\r\n";
  if (body.size() % 2 != 0) body += '\0';
  return body;
}

}  // namespace

std::string bextBody(std::uint64_t timeReference, std::string_view history) {
  std::string body = "A take of two recorders";
  body.resize(338, '\0');
  put32(body, static_cast<std::uint32_t>(timeReference));
  put32(body, static_cast<std::uint32_t>(timeReference >> 32));
  put16(body, 1);
  body.resize(602, '\0');
  return body.append(history);
}

// The chunks after the data that a chunked output takes, from `from` on.
std::string expectedTailChunks(std::string_view wx, const WavLayout& w, std::uint64_t from) {
  const std::uint64_t limit = std::min<std::uint64_t>(wx.size(), w.riffEnd.value_or(wx.size()));
  std::string tail;
  for (std::uint64_t at = from; at < limit && limit - at >= 8;) {
    const std::string_view id = wx.substr(at, 4);
    if (!std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) break;
    const std::uint32_t size = get32(wx, at + 4);
    if (limit - at - 8 < size) break;
    const bool aboutTheInput = id == "PEAK" || id == "levl" || id == "chna" || id == "fact" || id == "fmt " ||
                               id == "ds64" || id == "data" || id == "iXML";
    if (!aboutTheInput) tail += chunk(id, wx.substr(at + 8, size));
    at += 8 + std::uint64_t{size} + size % 2;
  }
  return tail;
}

std::optional<std::string> expectedChunkedConversion(std::string_view wx, std::string_view yz,
                                                     const ChunkedOutput& output) {
  const std::optional<WavLayout> w = readWavLayout(wx);
  const std::optional<WavLayout> y = readWavLayout(yz);
  if (!w || !y || !w->format || !y->format) return std::nullopt;
  // The sample bytes: as declared, held to the file; to its end without a length.
  auto held = [](std::string_view file, const WavLayout& layout) {
    const std::uint64_t inFile = file.size() - layout.dataStart;
    return std::min(layout.dataLength.value_or(inFile), inFile);
  };
  const std::uint64_t align = y->format->align();
  const std::uint64_t frames = output.frames.value_or(held(wx, *w) / align);
  const ChunkedOutput::Aligned aligned = output.aligned.value_or(ChunkedOutput::Aligned{0, 0, w->bext});
  const std::uint64_t wxFrom = w->dataStart + aligned.skipWx * align;
  const std::uint64_t yzFrom = y->dataStart + aligned.skipYz * align;
  if (align == 0 || held(wx, *w) < (aligned.skipWx + frames) * align ||
      held(yz, *y) < (aligned.skipYz + frames) * align) {
    return std::nullopt;
  }

  FormatSpec format;
  format.tag = static_cast<std::uint16_t>(y->sampleKind != 0 ? y->sampleKind : y->format->tag);
  format.channels = 4;
  format.sampleRate = w->format->sampleRate;
  format.bitsPerSample = static_cast<std::uint16_t>(8 * (align / 2));
  format.blockAlign = static_cast<std::uint16_t>(2 * align);
  std::uint16_t validBits = w->validBits;
  if (output.ambix) {
    const std::uint16_t bytes = ambixInDoubles(*y->format, y->sampleKind) ? 8 : 4;
    format.tag = 3;
    format.bitsPerSample = validBits = static_cast<std::uint16_t>(8 * bytes);
    format.blockAlign = static_cast<std::uint16_t>(4 * bytes);
  }
  const std::uint16_t sampleTag = format.tag;
  std::string fmt;
  const bool extensible = output.ambisonic || output.ambix || validBits != format.bitsPerSample;
  const bool plainPcm = format.tag == 1 && !extensible;
  if (extensible) {
    const std::uint16_t tag = format.tag;
    format.tag = 0xFFFE;
    fmt = formatBody(format);
    put16(fmt, 22);
    put16(fmt, validBits);
    put32(fmt, 0);
    put32(fmt, tag);
    fmt += output.ambisonic ? ambisonicGuidTail : subFormatGuid(tag).substr(4);
  } else {
    fmt = formatBody(format);
  }

  std::string frameBytes;
  for (std::uint64_t i = 0; i < frames && !output.ambix; ++i) {
    frameBytes += wx.substr(wxFrom + i * align, align);
    frameBytes += yz.substr(yzFrom + i * align, align);
  }
  if (output.ambix)
    frameBytes = ambixFrames(wx.substr(wxFrom), yz.substr(yzFrom), frames, *y->format, y->sampleKind);
  const std::uint64_t dataEnd = w->dataStart + held(wx, *w) + held(wx, *w) % 2;

  std::string body = "WAVE";
  if (output.reserved) body += chunk("JUNK", std::string(28, '\0'));
  if (aligned.bext)
    body +=
        chunk("bext", bextWithHistory(*aligned.bext, format.sampleRate, validBits, sampleTag, output.ambix));
  body += chunk("iXML", output.ixml.value_or(expectedSmallIxml(output.ambix)));
  body += chunk("fmt ", fmt);
  if (!plainPcm) {
    std::string count;
    put32(count, static_cast<std::uint32_t>(frames));
    body += chunk("fact", count);
  }
  body += chunk("data", frameBytes);
  // A run whose input ended first stops before the tail.
  if (!output.frames || output.aligned) body += expectedTailChunks(wx, *w, dataEnd);
  std::string out = "RIFF";
  put32(out, static_cast<std::uint32_t>(body.size()));
  return out + body;
}

}  // namespace quadrel::harness
