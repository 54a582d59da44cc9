// Interpreting the options before the names.
#include "converter/run_options.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "converter/rejection.h"

namespace quadrel {
namespace {

// Words are quoted in refusals cut to this length, so that the record
// stays within one console line.
constexpr std::size_t quotedLength = 32;

std::string quoted(std::string_view word) {
  return word.size() <= quotedLength ? std::string(word) : std::string(word.substr(0, quotedLength)) + "...";
}

// A whole number with an optional sign, nothing else.
std::optional<std::int64_t> wholeNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::variant<RunOptions, std::string> interpretOptions(const OptionWords& words) {
  RunOptions options;
  options.firstName = words.firstName;
  bool align = false;
  bool offset = false;
  for (const std::string& word : words.options) {
    constexpr std::string_view offsetOption = "--offset=";
    if (word == "--ambix") {
      options.ambix = true;
    } else if (word == "--align" || word == "--align=timecode") {
      align = true;
    } else if (word.starts_with(offsetOption)) {
      const std::optional<std::int64_t> frames =
          wholeNumber(std::string_view(word).substr(offsetOption.size()));
      if (!frames) return "ERROR - --offset takes a whole number of frames: " + quoted(word);
      offset = true;
      options.offset = *frames;
    } else if (word == "--help" || word == "--version") {
      return "ERROR - " + word + " goes alone, without other words";
    } else {
      return "ERROR - Unknown option " + quoted(word);
    }
  }
  if (align && offset) return std::string("ERROR - --align and --offset exclude each other");
  if (words.lateOption) return "ERROR - Options go before the names: " + quoted(*words.lateOption);
  options.alignment = align ? Alignment::timecode : offset ? Alignment::offset : Alignment::none;
  return options;
}

RunOptions readRunOptions() {
  std::variant<RunOptions, std::string> options = interpretOptions(commandOptionWords());
  if (const std::string* refusal = std::get_if<std::string>(&options)) rejectInputPair(*refusal);
  return std::get<RunOptions>(options);
}

}  // namespace quadrel
