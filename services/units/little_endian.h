// Little-endian field images, as WAV headers store them, as the byte images
// of transfer items are held in memory, and as samples are converted, on a
// host of either byte order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quadrel {

template <typename Bits>
Bits swapOnBigEndian(Bits bits) {
  if constexpr (std::endian::native == std::endian::big) {
    if constexpr (sizeof(Bits) == 8) return __builtin_bswap64(bits);
    if constexpr (sizeof(Bits) == 4) return __builtin_bswap32(bits);
    if constexpr (sizeof(Bits) == 2) return __builtin_bswap16(bits);
  }
  return bits;
}

// One unaligned load or store of an unsigned integer of 2, 4 or 8 bytes.
template <typename Bits>
Bits loadLe(const std::byte* at) {
  Bits bits;
  std::memcpy(&bits, at, sizeof bits);
  return swapOnBigEndian(bits);
}

template <typename Bits>
void storeLe(std::byte* at, Bits bits) {
  bits = swapOnBigEndian(bits);
  std::memcpy(at, &bits, sizeof bits);
}

inline std::uint16_t loadUint16Le(const std::byte* image) { return loadLe<std::uint16_t>(image); }
inline std::uint32_t loadUint32Le(const std::byte* image) { return loadLe<std::uint32_t>(image); }
inline std::uint64_t loadUint64Le(const std::byte* image) { return loadLe<std::uint64_t>(image); }
inline std::int16_t loadInt16Le(const std::byte* image) {
  return static_cast<std::int16_t>(loadUint16Le(image));
}
inline std::int32_t loadInt32Le(const std::byte* image) {
  return static_cast<std::int32_t>(loadUint32Le(image));
}

inline void storeUint32Le(std::byte* image, std::uint32_t bits) { storeLe(image, bits); }
inline void storeInt16Le(std::byte* image, std::int16_t value) {
  storeLe(image, static_cast<std::uint16_t>(value));
}
inline void storeInt32Le(std::byte* image, std::int32_t value) {
  storeLe(image, static_cast<std::uint32_t>(value));
}

}  // namespace quadrel
