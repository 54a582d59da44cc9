// The radix-2 transform: a bit-reversal permutation, then log2(size) passes
// of butterflies.
#include "converter/fft.h"

#include <cmath>
#include <numbers>

namespace quadrel {

Fft::Fft(std::size_t size) : size_(size), twiddles_(size / 2), reversed_(size) {
  for (std::size_t k = 0; k < size / 2; ++k) {
    const double angle = -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
    twiddles_[k] = {std::cos(angle), std::sin(angle)};
  }
  std::size_t bits = 0;
  while ((std::size_t{1} << bits) < size)
    ++bits;
  for (std::size_t i = 0; i < size; ++i) {
    std::size_t r = 0;
    for (std::size_t b = 0; b < bits; ++b)
      r |= ((i >> b) & 1) << (bits - 1 - b);
    reversed_[i] = r;
  }
}

void Fft::forward(std::span<std::complex<double>> data) const { transform(data, false); }

void Fft::inverse(std::span<std::complex<double>> data) const {
  transform(data, true);
  const double scale = 1.0 / static_cast<double>(size_);
  for (std::complex<double>& value : data)
    value *= scale;
}

void Fft::transform(std::span<std::complex<double>> data, bool inverse) const {
  for (std::size_t i = 0; i < size_; ++i) {
    if (i < reversed_[i]) std::swap(data[i], data[reversed_[i]]);
  }
  for (std::size_t half = 1; half < size_; half *= 2) {
    const std::size_t stride = size_ / (2 * half);
    for (std::size_t start = 0; start < size_; start += 2 * half) {
      for (std::size_t k = 0; k < half; ++k) {
        // Written out: std::complex's product checks for infinities.
        const double wr = twiddles_[k * stride].real();
        const double wi = inverse ? -twiddles_[k * stride].imag() : twiddles_[k * stride].imag();
        const double br = data[start + k + half].real();
        const double bi = data[start + k + half].imag();
        const std::complex<double> odd{wr * br - wi * bi, wr * bi + wi * br};
        data[start + k + half] = data[start + k] - odd;
        data[start + k] += odd;
      }
    }
  }
}

std::size_t fftSizeFor(std::size_t n) {
  std::size_t size = 2;
  while (size < n)
    size *= 2;
  return size;
}

}  // namespace quadrel
