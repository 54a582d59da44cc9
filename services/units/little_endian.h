// Little-endian field images, as WAV headers store them and as the byte
// images of transfer items are held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quadrel {

inline std::uint32_t loadUint32Le(const std::byte* image) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | std::to_integer<std::uint32_t>(image[i]);
  return value;
}

inline void storeUint32Le(std::byte* image, std::uint32_t bits) {
  for (int i = 0; i < 4; ++i)
    image[i] = static_cast<std::byte>((bits >> (8 * i)) & 0xFF);
}

inline std::int16_t loadInt16Le(const std::byte* image) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(std::to_integer<unsigned>(image[0]) |
                                                              (std::to_integer<unsigned>(image[1]) << 8)));
}

inline std::int32_t loadInt32Le(const std::byte* image) {
  return static_cast<std::int32_t>(loadUint32Le(image));
}

inline std::uint16_t loadUint16Le(const std::byte* image) {
  return static_cast<std::uint16_t>(loadInt16Le(image));
}

inline std::uint64_t loadUint64Le(const std::byte* image) {
  return loadUint32Le(image) | static_cast<std::uint64_t>(loadUint32Le(image + 4)) << 32;
}

inline void storeInt16Le(std::byte* image, std::int16_t value) {
  auto bits = static_cast<std::uint16_t>(value);
  image[0] = static_cast<std::byte>(bits & 0xFF);
  image[1] = static_cast<std::byte>(bits >> 8);
}

inline void storeInt32Le(std::byte* image, std::int32_t value) {
  storeUint32Le(image, static_cast<std::uint32_t>(value));
}

}  // namespace quadrel
