// Fuzz target: turning a name field into the name a unit opens, and the
// device-name matching.
//
// The input is the name field. Whatever it holds, the result is a console
// device, the null device, or a file name that is either the trimmed name
// unchanged (no expansion possible) or an absolute path under 256
// characters with no ".", ".." or empty segment, ending in the trimmed name
// when that has none either. Device matching ignores case and answers with
// the upper-cased part before the last ".".
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "services/units/name_resolution.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string withCase(std::string_view text, int (*change)(int)) {
  std::string changed(text);
  for (char& byte : changed)
    byte = static_cast<char>(change(static_cast<unsigned char>(byte)));
  return changed;
}

// Leading blanks, then trailing blanks and NULs, go; the first NUL ends it.
std::string_view trimmed(std::string_view field) {
  field = field.substr(0, 256);
  while (!field.empty() && field.front() == ' ')
    field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\0'))
    field.remove_suffix(1);
  return field.substr(0, field.find('\0'));
}

bool hasDotOrEmptySegment(std::string_view path) {
  const std::string padded = "/" + std::string(path) + "/";
  return padded.find("/./") != std::string::npos || padded.find("/../") != std::string::npos ||
         padded.substr(1, padded.size() - 2).find("//") != std::string::npos;
}

void requireDeviceMatch(std::string_view name) {
  const std::optional<std::string> device = quadrel::matchDeviceName(name);
  require(device == quadrel::matchDeviceName(withCase(name, std::toupper)));
  require(device == quadrel::matchDeviceName(withCase(name, std::tolower)));
  if (!device) return;
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = name.substr(0, dot);
  require(device->size() == 3 || device->size() == 4 || device->size() == 6 || device->size() == 7);
  require(*device == withCase(stem, std::toupper));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view field(reinterpret_cast<const char*>(data), size);
  const std::string_view name = trimmed(field);
  requireDeviceMatch(name);

  const quadrel::ResolvedName resolved = quadrel::resolveName(field);
  if (resolved.console) {
    require(resolved.device && name.find('/') == std::string_view::npos);
    require(quadrel::matchDeviceName(name) == resolved.fileName);
    return 0;
  }
  if (resolved.device) {
    require(resolved.fileName == "NUL" && resolved.openPath == "/dev/null");
    return 0;
  }
  require(resolved.openPath == resolved.fileName);
  require(resolved.fileName.find('\0') == std::string::npos);
  if (resolved.fileName == name) return 0;
  require(!name.empty() && resolved.fileName.front() == '/' && resolved.fileName.size() < 256);
  require(!hasDotOrEmptySegment(resolved.fileName.substr(1)) || resolved.fileName == "/");
  if (!hasDotOrEmptySegment(name) && name.front() != '/') {
    const std::string suffix = "/" + std::string(name);
    require(resolved.fileName.size() >= suffix.size() &&
            resolved.fileName.compare(resolved.fileName.size() - suffix.size(), suffix.size(), suffix) == 0);
  }
  return 0;
}
