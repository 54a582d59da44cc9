// From an 80-byte name field to the name a unit opens and reports.
#include "services/units/name_resolution.h"

#include <array>
#include <cctype>

#include "platform/platform.h"

namespace quadrel {
namespace {

constexpr std::size_t longestFieldTaken = 256;

struct DeviceName {
  std::string_view name;
  std::optional<ConsoleDevice> console;
  bool ordinaryWithExtension;  // "NAME.ext" is a plain file name
};

constexpr std::array<DeviceName, 17> deviceNames{{
    {"CON", ConsoleDevice::standardOutput, false},
    {"CONOUT$", ConsoleDevice::standardOutput, true},
    {"USER", ConsoleDevice::standardOutput, true},
    {"CONIN$", ConsoleDevice::standardInput, true},
    {"ERR", ConsoleDevice::standardError, true},
    {"COM1", std::nullopt, false},
    {"AUX", std::nullopt, false},
    {"LINE", std::nullopt, true},
    {"PRN", std::nullopt, false},
    {"COM2", std::nullopt, false},
    {"COM3", std::nullopt, false},
    {"COM4", std::nullopt, false},
    {"LPT1", std::nullopt, true},
    {"LPT2", std::nullopt, true},
    {"LPT3", std::nullopt, true},
    {"LPT4", std::nullopt, true},
    {"NUL", std::nullopt, false},
}};

const DeviceName* findDevice(std::string_view upperName) {
  for (const DeviceName& device : deviceNames) {
    if (device.name == upperName) return &device;
  }
  return nullptr;
}

// A name with a directory part, in the notation of any platform, is never a
// device name.
bool isBareName(std::string_view name) { return name.find_first_of("/\\:") == std::string_view::npos; }

std::string_view trimmedName(std::string_view field) {
  std::string_view name = field.substr(0, longestFieldTaken);
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  name.remove_prefix(first);
  const std::size_t last = name.find_last_not_of(std::string_view(" \0", 2));
  name = last == std::string_view::npos ? std::string_view{} : name.substr(0, last + 1);
  return name.substr(0, name.find('\0'));
}

}  // namespace

std::optional<std::string> matchDeviceName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  const bool hasExtension = dot != std::string_view::npos && dot + 1 < name.size();
  if (stem.size() != 3 && stem.size() != 4 && stem.size() != 6 && stem.size() != 7) return std::nullopt;

  std::string upper(stem);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const DeviceName* device = findDevice(upper);
  if (device == nullptr || (hasExtension && device->ordinaryWithExtension)) return std::nullopt;
  return upper;
}

ResolvedName resolveName(std::string_view nameField) {
  const std::string name(trimmedName(nameField));
  ResolvedName resolved;

  if (isBareName(name)) {
    if (std::optional<std::string> device = matchDeviceName(name)) {
      const DeviceName* entry = findDevice(*device);
      if (entry->console) {
        resolved.fileName = *device;
        resolved.console = entry->console;
        resolved.device = true;
        return resolved;
      }
      if (std::optional<std::string> path = platform::devicePath(*device)) {
        resolved.fileName = *device;
        resolved.openPath = *path;
        resolved.device = true;
        return resolved;
      }
    }
  }

  std::optional<std::string> full = platform::fullPath(name);
  resolved.fileName = full ? *full : name;
  resolved.openPath = resolved.fileName;
  return resolved;
}

}  // namespace quadrel
