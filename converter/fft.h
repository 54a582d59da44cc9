// A radix-2 complex fast Fourier transform, for the correlations of the
// sound offset search. Plain and portable: the program takes no signal
// processing library.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace quadrel {

// Transforms of one power-of-two size, with their twiddles and bit-reversal
// table computed once.
class Fft {
 public:
  // `size` must be a power of two, at least 2.
  explicit Fft(std::size_t size);

  std::size_t size() const { return size_; }

  // In place, `data.size() == size()`: the forward transform (e^-i), or the
  // inverse (e^+i) scaled by 1/size, so that inverse(forward(x)) == x.
  void forward(std::span<std::complex<double>> data) const;
  void inverse(std::span<std::complex<double>> data) const;

 private:
  void transform(std::span<std::complex<double>> data, bool inverse) const;

  std::size_t size_;
  std::vector<std::complex<double>> twiddles_;  // e^(-2 pi i k / size), k < size / 2
  std::vector<std::size_t> reversed_;
};

// The smallest power of two not below `n` (and not below 2).
std::size_t fftSizeFor(std::size_t n);

}  // namespace quadrel
