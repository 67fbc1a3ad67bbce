// Forward transforms of the audio encoder: the exact inverses of the
// decoder's InverseRealDft and InverseDct, computed in double precision.
#pragma once
#include <complex>
#include <cstdint>
#include <vector>

struct AudioForward {
  uint32_t n = 0;                            // transform length (power of two)
  std::vector<std::complex<double>> roots;  // e^(-2 pi i k / n), k < n/2
  std::vector<uint32_t> reverse;            // bit reversal over n
  std::vector<std::complex<double>> work;   // n complex values
};

// Prepares the tables for length n (a power of two, 4 .. 4096).
void AudioForwardInit(AudioForward* f, uint32_t n);

// Coefficients a[0 .. n-1] such that InverseRealDft(a) gives back x:
// a[0] = R0, a[1] = R(n/2), a[2j] = Rj, a[2j+1] = Ij.
void AudioForwardRealDft(AudioForward* f, const double* x, double* a);

// Coefficients a[0 .. n-1] such that InverseDct(a) gives back x.
void AudioForwardDct(AudioForward* f, const double* x, double* a);
