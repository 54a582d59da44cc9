// Expected bytes of the Linux program and of the Windows program under Wine.
#include "tests/support/program_under_wine.h"

#include <cstdlib>

namespace quadrel::harness {

bool programRunsUnderWine() {
#ifdef QUADREL_UNDER_WINE
  return true;
#else
  const char* wine = std::getenv("QUADREL_TEST_UNDER_WINE");
  return wine != nullptr && *wine != '\0';
#endif
}

namespace {

// The name under which the program reports `linuxPath`.
std::string reportedPath(std::string_view linuxPath) {
  if (!programRunsUnderWine() || linuxPath.substr(0, 1) != "/") return std::string(linuxPath);
  std::string path = "Z:";
  for (char c : linuxPath)
    path += c == '/' ? '\\' : c;
  return path;
}

// The system error line at the start of `err`, or for the Windows program
// one that cannot match when `err` does not start with a well-formed one.
std::string systemLine(std::string_view err, std::string_view linuxText) {
  constexpr std::string_view prefix = "forrtl: ";
  constexpr std::string_view lineEnd = "\r\r\n";
  if (!programRunsUnderWine()) return std::string(prefix) + std::string(linuxText) + std::string(lineEnd);
  const std::size_t end = err.find(lineEnd);
  const bool formed =
      err.substr(0, prefix.size()) == prefix && end != std::string_view::npos && end > prefix.size() &&
      err.substr(prefix.size(), end - prefix.size()).find_first_of("\r\n") == std::string_view::npos;
  if (!formed) return "forrtl: <one line of the system's text>\r\r\n";
  return std::string(err.substr(0, end + lineEnd.size()));
}

}  // namespace

std::string unitFailureReport(std::string_view err, std::string_view linuxText, int number,
                              std::string_view text, int unit, std::string_view file) {
  const std::string system = linuxText.empty() ? std::string() : systemLine(err, linuxText);
  return system + "forrtl: severe (" + std::to_string(number) + "): " + std::string(text) + ", unit " +
         std::to_string(unit) + ", file " + reportedPath(file) + "\r\r\n";
}

}  // namespace quadrel::harness
