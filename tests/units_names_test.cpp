// Name fields to unit names: trimming, device names and full paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "services/units/name_resolution.h"

namespace quadrel {
namespace {

std::string cwd() { return std::filesystem::current_path().string(); }

std::string field(std::string name) {
  name.resize(80, ' ');
  return name;
}

struct DeviceCase {
  std::string name;
  std::optional<std::string> device;
};

TEST(DeviceNames, MatchOnTheStemWithTheExtensionRules) {
  const DeviceCase cases[] = {
      {"CON", "CON"},         {"con", "CON"},      {"Con.wav", "CON"}, {"CON.", "CON"},
      {"CONOUT$", "CONOUT$"}, {"conout$.txt", {}}, {"USER", "USER"},   {"user.x", {}},
      {"CONIN$", "CONIN$"},   {"conin$.wav", {}},  {"ERR", "ERR"},     {"err.log", {}},
      {"nul", "NUL"},         {"NUL.wav", "NUL"},  {"aux.wav", "AUX"}, {"COM1.x", "COM1"},
      {"com4", "COM4"},       {"LPT1", "LPT1"},    {"lpt2.txt", {}},   {"LINE", "LINE"},
      {"line.dat", {}},       {"PRN.prn", "PRN"},  {"COM5", {}},       {"CONS", {}},
      {"CON.x.y", {}},        {"a.CON", {}},       {"", {}},           {"CO", {}},
      {"NULL", {}},           {".CON", {}},
  };
  for (const DeviceCase& c : cases)
    EXPECT_EQ(matchDeviceName(c.name), c.device) << "name: " << c.name;
}

struct ResolveCase {
  std::string field;
  std::string fileName;
  std::string openPath;
  std::optional<ConsoleDevice> console;
  bool device;
};

TEST(NameResolution, TrimsMatchesDevicesAndExpandsTheRest) {
  const std::string here = cwd();
  const ResolveCase cases[] = {
      {field("out.wav"), here + "/out.wav", here + "/out.wav", {}, false},
      {field("   out.wav"), here + "/out.wav", here + "/out.wav", {}, false},
      {std::string("out.wav\0\0  \0", 12), here + "/out.wav", here + "/out.wav", {}, false},
      {std::string("a.wav\0b.wav", 11), here + "/a.wav", here + "/a.wav", {}, false},
      {field(""), "", "", {}, false},
      {std::string(80, '\0'), "", "", {}, false},
      {field("/abs/./x/../y.wav"), "/abs/y.wav", "/abs/y.wav", {}, false},
      {field("sub//dir/../f.wav"), here + "/sub/f.wav", here + "/sub/f.wav", {}, false},
      {field("con.wav"), "CON", "", ConsoleDevice::standardOutput, true},
      {field("CONOUT$"), "CONOUT$", "", ConsoleDevice::standardOutput, true},
      {field("user"), "USER", "", ConsoleDevice::standardOutput, true},
      {field("conin$"), "CONIN$", "", ConsoleDevice::standardInput, true},
      {field("Err"), "ERR", "", ConsoleDevice::standardError, true},
      {field("  nul.wav"), "NUL", "/dev/null", {}, true},
      {field("aux.wav"), here + "/aux.wav", here + "/aux.wav", {}, false},
      {field("COM1"), here + "/COM1", here + "/COM1", {}, false},
      {field("err.log"), here + "/err.log", here + "/err.log", {}, false},
      {field("dir/CON"), here + "/dir/CON", here + "/dir/CON", {}, false},
  };
  for (const ResolveCase& c : cases) {
    const ResolvedName resolved = resolveName(c.field);
    EXPECT_EQ(resolved.fileName, c.fileName) << "field: " << c.field;
    EXPECT_EQ(resolved.openPath, c.openPath) << "field: " << c.field;
    EXPECT_EQ(resolved.console, c.console) << "field: " << c.field;
    EXPECT_EQ(resolved.device, c.device) << "field: " << c.field;
  }
}

TEST(NameResolution, TakesAtMost256BytesAndKeepsNamesTooLongToExpand) {
  // 300 characters: only the first 256 are the name, and its expansion is
  // too long, so the trimmed name is used as it is.
  const std::string longName(300, 'n');
  EXPECT_EQ(resolveName(longName).fileName, std::string(256, 'n'));
  EXPECT_EQ(resolveName("  " + std::string(254, 'n')).fileName, std::string(254, 'n'));
}

TEST(FullPath, NormalisesLexicallyAndRefusesLongResults) {
  const std::string here = cwd();
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"/", "/"},
      {"/a/b/c", "/a/b/c"},
      {"//a///b", "/a/b"},
      {"/a/./b/.", "/a/b"},
      {"/a/b/../../..", "/"},
      {"/../x", "/x"},
      {"/a/b/", "/a/b/"},
      {"x.wav", here + "/x.wav"},
      {"./x.wav", here + "/x.wav"},
      {"", std::nullopt},
      {"/" + std::string(254, 'a'), "/" + std::string(254, 'a')},
      {"/" + std::string(255, 'a'), std::nullopt},
      {"/" + std::string(300, 'a') + "/..", "/"},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(platform::fullPath(name), expected) << "name: " << name;
}

}  // namespace
}  // namespace quadrel
