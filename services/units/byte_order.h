// Byte-order settings of a unit, chosen by FORT_CONVERTn at its opening
// (settings.h says when it is read).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "services/units/transfer_item.h"

namespace quadrel {

enum class RealFormat { ieee, ibm, vax };

struct ByteOrderSettings {
  bool convert = false;
  bool reverseIntegers = false;
  bool reverseReals = false;
  RealFormat realFormat = RealFormat::ieee;
};

// Parses a FORT_CONVERTn value: at most 20 characters, upper-cased,
// compared whole. Nothing for an unknown value.
std::optional<ByteOrderSettings> parseByteOrder(std::string_view value);

// Converts an item image read from the file into memory order in place.
// False when a real could not be represented (the image is then left as
// the conversion routine left it).
bool fileToMemory(const ByteOrderSettings& settings, ItemKind kind, std::byte* image);

// Converts an item image in place from memory order to file order.
bool memoryToFile(const ByteOrderSettings& settings, ItemKind kind, std::byte* image);

}  // namespace quadrel
