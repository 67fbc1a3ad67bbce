// The two frequency-to-time transforms of the audio decoder. Both work in
// place on n floats (n a power of two, at least 4), apply no scale, and keep
// their tables in caller-owned storage shared by all calls of one track:
//   ip: integer index area, round(sqrt(n/2)) + 2 entries; ip[0] = 0 before
//       the first call means "no tables built yet".
//   w:  float table, n/2 floats for InverseRealDft, 5n/4 for InverseDct.
// The tables are built by the first call and reused by later ones with the
// same (or a smaller) n. The storage belongs to one decoder and one thread
// at a time; there is no shared state between tracks.
#pragma once
#include <cstdint>

// Input a[0] = R0, a[1] = R(n/2), a[2j] = Rj, a[2j+1] = Ij (0 < j < n/2).
// Output x[k] = (R0 + R(n/2)(-1)^k)/2 + sum_j (Rj cos(2 pi jk/n) + Ij sin(2 pi jk/n)).
void InverseRealDft(uint32_t n, float* a, int32_t* ip, float* w);

// Output x[k] = sum_{j=0}^{n-1} a[j] cos(pi j (k + 1/2) / n).
void InverseDct(uint32_t n, float* a, int32_t* ip, float* w);

// Table sizes for a transform of n floats.
uint32_t AudioTransformIndexEntries(uint32_t n);
uint32_t AudioTransformTableFloats(uint32_t n, bool dct);

// Table builders, exposed for tests: the twiddle part (nw floats at w) and
// the cosine part (nc floats at c).
void AudioBuildTwiddles(uint32_t nw, int32_t* ip, float* w);
void AudioBuildCosines(uint32_t nc, int32_t* ip, float* c);
