// Parsing the chunks of a WAVE file up to its data chunk.
#include "converter/wave_parser.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

constexpr std::size_t fileHeaderLength = 12;
// ds64 body: RIFF size 0, data size 8, each 64 bits.
constexpr std::size_t ds64SizesLength = 16;

}  // namespace

std::uint64_t WaveParser::wanted() const {
  switch (stage_) {
    case Stage::fileHeader:
      return fileHeaderLength - headFilled_;
    case Stage::chunkHeader:
      return chunkHeaderLength - headFilled_;
    case Stage::body:
      return bodyLeft_;
    case Stage::data:
    case Stage::notWave:
      break;
  }
  return 0;
}

void WaveParser::take(std::span<const std::byte> bytes) {
  while (!bytes.empty() && wanted() > 0) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), wanted()));
    offset_ += count;
    if (stage_ == Stage::body) {
      // The kept part of the body first; the rest, and the pad byte, pass.
      const std::size_t keeping = std::min(count, keep_ - std::min(keep_, kept_));
      if (taking_ != Taking::none) {
        taken_.insert(taken_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keeping));
      } else {
        std::memcpy(head_.data() + kept_, bytes.data(), keeping);
      }
      kept_ += keeping;
      bodyLeft_ -= count;
      if (bodyLeft_ == 0) finishBody();
    } else {
      std::memcpy(head_.data() + headFilled_, bytes.data(), count);
      headFilled_ += count;
      if (wanted() == 0) finishHead();
    }
    bytes = bytes.subspan(count);
  }
}

// A whole file header or chunk header has been taken.
void WaveParser::finishHead() {
  headFilled_ = 0;
  if (stage_ == Stage::fileHeader) {
    parsed_.form = waveFormOf(std::span(head_).first<fileHeaderLength>());
    if (readsRifx_ && hasId(head_.data(), "RIFX") && hasId(head_.data() + 8, "WAVE")) {
      parsed_.form = WaveForm::riff;
      parsed_.bigEndian = true;
    }
    if (parsed_.bigEndian) reverseNumber(head_.data() + 4, 4);
    parsed_.riffSize = loadUint32Le(head_.data() + 4);
    stage_ = parsed_.form == WaveForm::other ? Stage::notWave : Stage::chunkHeader;
    return;
  }
  std::memcpy(chunkId_.data(), head_.data(), 4);
  if (parsed_.bigEndian) reverseNumber(head_.data() + 4, 4);
  const std::uint32_t size = loadUint32Le(head_.data() + 4);
  const std::byte* id = chunkId_.data();
  if (hasId(id, "data")) {
    parsed_.dataStart = offset_;
    parsed_.dataSize = size;
    stage_ = Stage::data;
    return;
  }
  keep_ = 0;
  kept_ = 0;
  taking_ = Taking::none;
  if (hasId(id, "fmt ") && !formatSeen_) {
    keep_ = std::min<std::size_t>(size, extensibleFormatLength);
  } else if (hasId(id, "ds64") && parsed_.form != WaveForm::riff && !ds64Seen_) {
    keep_ = std::min<std::size_t>(size, ds64SizesLength);
  } else if (hasId(id, "bext") && keepMetadata_ && !parsed_.bext && size <= bextLimit) {
    taking_ = Taking::bext;
  } else if (hasId(id, "iXML") && keepMetadata_ && !parsed_.ixml && size <= ixmlLimit) {
    taking_ = Taking::ixml;
  }
  if (taking_ != Taking::none) {
    keep_ = size;
    taken_.clear();
    taken_.reserve(size);
  }
  bodyLeft_ = std::uint64_t{size} + (size & 1);
  stage_ = Stage::body;
  if (bodyLeft_ == 0) finishBody();
}

// A whole body, with its pad byte, has been taken.
void WaveParser::finishBody() {
  stage_ = Stage::chunkHeader;
  const std::byte* id = chunkId_.data();
  if (taking_ != Taking::none) {
    (taking_ == Taking::bext ? parsed_.bext : parsed_.ixml) = std::move(taken_);
    taken_ = {};
    taking_ = Taking::none;
  } else if (hasId(id, "fmt ") && !formatSeen_) {
    formatSeen_ = true;
    if (kept_ >= plainFormatLength) {
      if (parsed_.bigEndian) reverseFormatNumbers(head_.data(), kept_);
      parsed_.format = decodeFormat(head_.data(), kept_);
    } else {
      parsed_.shortFormat = true;
    }
  } else if (hasId(id, "ds64") && parsed_.form != WaveForm::riff && !ds64Seen_) {
    ds64Seen_ = true;
    if (kept_ == ds64SizesLength) {
      parsed_.ds64RiffSize = loadUint64Le(head_.data());
      parsed_.ds64DataSize = loadUint64Le(head_.data() + 8);
    }
  }
}

}  // namespace quadrel
