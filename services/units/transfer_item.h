// One item of a raw read or write request on a binary unit.
//
// An item names the byte image of a value in memory, little-endian. The unit
// moves the image to or from the file; byte-order settings convert integer
// and real images item by item, never character fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quadrel {

enum class ItemKind : std::uint8_t { characters, integer2, integer4, real4 };

struct TransferItem {
  ItemKind kind;
  std::byte* image;
  std::size_t length;  // 2 or 4 for numbers, any length for characters

  static TransferItem characters(void* image, std::size_t length) {
    return {ItemKind::characters, static_cast<std::byte*>(image), length};
  }
  static TransferItem integer2(void* image) {
    return {ItemKind::integer2, static_cast<std::byte*>(image), 2};
  }
  static TransferItem integer4(void* image) {
    return {ItemKind::integer4, static_cast<std::byte*>(image), 4};
  }
};

inline constexpr std::size_t itemLength(ItemKind kind) {
  switch (kind) {
    case ItemKind::integer2:
      return 2;
    case ItemKind::integer4:
    case ItemKind::real4:
      return 4;
    case ItemKind::characters:
      break;
  }
  return 1;
}

}  // namespace quadrel
