// Splitting a command-line string into words, for platforms that hand the
// program one string instead of a word list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// Tells whether a byte leads a double-byte character in the active code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// Splits `commandLine` into words: word 0 by its own quote rule, the others
// by backslash runs, quote mode and doubled quotes. Blanks are space and tab.
std::vector<std::string> splitCommandLine(std::string_view commandLine,
                                          LeadBytePredicate isLeadByte = nullptr);

}  // namespace quadrel
