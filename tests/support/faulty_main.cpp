// The program built with the fault-injection test layer.
//
// QUADREL_TEST_FAULTS holds faults separated by ";", each "kind:nth:errno"
// with kind one of open, read, write, cut, rewind, close, size: the nth call
// of that kind fails with that error number. Everything else is the program.
#include <cstdlib>
#include <sstream>
#include <string>

#include "converter/conversion_driver.h"
#include "platform/fault_injection.h"
#include "services/diagnostics/startup.h"

namespace {

using quadrel::platform::CallKind;

bool parseKind(const std::string& word, CallKind& kind) {
  static const std::pair<const char*, CallKind> names[] = {
      {"open", CallKind::open}, {"read", CallKind::read},     {"write", CallKind::write},
      {"cut", CallKind::cut},   {"rewind", CallKind::rewind}, {"close", CallKind::close},
      {"size", CallKind::size}};
  for (const auto& [name, value] : names) {
    if (word == name) {
      kind = value;
      return true;
    }
  }
  return false;
}

void installFaults(const char* faultList) {
  std::stringstream all(faultList);
  std::string fault;
  while (std::getline(all, fault, ';')) {
    std::stringstream fields(fault);
    std::string kindWord, nth, error;
    CallKind kind{};
    if (std::getline(fields, kindWord, ':') && std::getline(fields, nth, ':') &&
        std::getline(fields, error) && parseKind(kindWord, kind)) {
      quadrel::platform::failCall(kind, std::stoi(nth),
                                  static_cast<quadrel::platform::SystemError>(std::stoul(error)));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* faults = std::getenv("QUADREL_TEST_FAULTS")) installFaults(faults);
  quadrel::runProgram(argc, argv, quadrel::runConversion);
}
