// Building report lines: template filling, prefixes and line ends.
#include "services/diagnostics/report_text.h"

#include <cstdint>

#include "services/diagnostics/message_catalogue.h"

namespace quadrel {
namespace {

void appendDecimal(std::string& out, std::int64_t value) {
  if (value < 0) out += '-';
  std::uint64_t magnitude =
      value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0)
    out += digits[--count];
}

void appendArgument(std::string& out, const ReportArgument& argument) {
  if (const auto* number = std::get_if<std::int32_t>(&argument)) {
    appendDecimal(out, *number);
  } else {
    out += std::get<std::string_view>(argument);
  }
}

}  // namespace

std::string fillTemplate(std::string_view text, std::span<const ReportArgument> arguments) {
  std::string out;
  out.reserve(text.size() + 64);
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char conversion = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] != '%' ||
        (conversion != 'd' && conversion != 'i' && conversion != 's' && conversion != '%')) {
      out += text[i];
      continue;
    }
    ++i;
    if (conversion == '%') {
      out += '%';
    } else if (next < arguments.size()) {
      appendArgument(out, arguments[next++]);
    }
  }
  return out;
}

std::string catalogueLine(StatusCode code, std::span<const ReportArgument> arguments) {
  std::string line(severityPrefix(code.severity()));
  line += " (";
  appendDecimal(line, code.number());
  line += "): ";
  // The template is taken literally before it is filled, so a "%" inside a
  // file name is printed as it is.
  line += fillTemplate(messageTemplate(code), arguments);
  return line;
}

std::string systemErrorLine(platform::SystemError error, const std::optional<std::string>& text) {
  std::string line = "forrtl: ";
  if (text) {
    line += *text;
  } else {
    line += "FormatMessage failed for sysmem message number ";
    appendDecimal(line, static_cast<std::int32_t>(error));
  }
  return line;
}

std::string reportedFileName(const UnitRecord& unit) {
  if (!unit.fileName) return "\"Unknown\"";
  const std::string& name = *unit.fileName;
  return name.substr(0, name.find('\0'));
}

std::string toTextStream(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace quadrel
