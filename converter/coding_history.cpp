// Composing the conversion's CodingHistory line and adding it to a bext body.
#include "converter/coding_history.h"

#include "services/units/little_endian.h"

namespace quadrel {
namespace {

// bext fields: TimeReference at 338, 64 bits; CodingHistory from 602 on.
constexpr std::size_t timeReferenceOffset = 338;
constexpr std::size_t codingHistoryOffset = 602;

void append(std::vector<std::byte>& body, std::string_view text) {
  for (const char c : text)
    body.push_back(static_cast<std::byte>(c));
}

}  // namespace

std::string conversionHistoryLine(const HistoryFacts& facts) {
  const bool pcm = facts.formatTag == 1 || facts.formatTag == 3;
  return std::string(pcm ? "A=PCM," : "") + "F=" + std::to_string(facts.sampleRate) +
         ",W=" + std::to_string(facts.wordLength) +
         ",T=quadrel " QUADREL_VERSION "; two stereo files to 4 channels; " +
         (facts.formatTag == 3 ? "IEEE float; "
          : pcm                ? ""
                               : "format tag " + std::to_string(facts.formatTag) + "; ") +
         std::string(conventionNote(facts.convention));
}

std::vector<std::byte> withHistoryLine(std::span<const std::byte> bext, std::string_view line) {
  std::vector<std::byte> body(bext.begin(), bext.end());
  if (body.size() < codingHistoryOffset) body.resize(codingHistoryOffset, std::byte{0});
  while (body.size() > codingHistoryOffset && body.back() == std::byte{0})
    body.pop_back();
  if (body.size() > codingHistoryOffset && body.back() != std::byte{'\n'}) append(body, "\r\n");
  append(body, line);
  append(body, "\r\n");
  if (body.size() % 2 != 0) body.push_back(std::byte{0});
  return body;
}

std::optional<std::uint64_t> timeReferenceOf(std::span<const std::byte> bext) {
  if (bext.size() < timeReferenceOffset + 8) return std::nullopt;
  return loadUint64Le(bext.data() + timeReferenceOffset);
}

}  // namespace quadrel
