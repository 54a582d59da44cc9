// The fixed 80-byte file-name field: blank padded, no terminator.
#pragma once

#include <array>
#include <string_view>

namespace quadrel {

inline constexpr std::size_t nameFieldLength = 80;

using NameField = std::array<char, nameFieldLength>;

inline NameField blankNameField() {
  NameField field;
  field.fill(' ');
  return field;
}

inline std::string_view asText(const NameField& field) { return {field.data(), field.size()}; }

}  // namespace quadrel
