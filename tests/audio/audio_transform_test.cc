// The real transforms against their defining sums, evaluated in double.
#include "audio/audio_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Work {
  std::vector<int32_t> ip;
  std::vector<float> w;
  Work(uint32_t n, bool dct) : ip(AudioTransformIndexEntries(n), 0), w(AudioTransformTableFloats(n, dct)) {}
};

std::vector<double> RealDftSum(const std::vector<float>& a) {
  const size_t n = a.size();
  std::vector<double> x(n);
  for (size_t k = 0; k < n; ++k) {
    double s = (a[0] + a[1] * ((k & 1) ? -1.0 : 1.0)) / 2;
    for (size_t j = 1; j < n / 2; ++j) {
      const double t = 2 * kPi * double((j * k) % n) / double(n);
      s += a[2 * j] * std::cos(t) + a[2 * j + 1] * std::sin(t);
    }
    x[k] = s;
  }
  return x;
}

std::vector<double> DctSum(const std::vector<float>& a) {
  const size_t n = a.size();
  std::vector<double> x(n);
  for (size_t k = 0; k < n; ++k) {
    double s = 0;
    for (size_t j = 0; j < n; ++j) s += a[j] * std::cos(kPi * double(j) * (double(k) + 0.5) / double(n));
    x[k] = s;
  }
  return x;
}

// Largest difference relative to the largest magnitude of the exact result.
double RelativeError(const std::vector<float>& got, const std::vector<double>& want) {
  double peak = 1e-30, err = 0;
  for (size_t k = 0; k < want.size(); ++k) {
    peak = std::max(peak, std::fabs(want[k]));
    err = std::max(err, std::fabs(double(got[k]) - want[k]));
  }
  return err / peak;
}

std::vector<float> Random(uint32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
  std::vector<float> a(n);
  for (float& v : a) v = d(rng);
  return a;
}

TEST(AudioTransform, RealDftMatchesSumForEveryLength) {
  for (uint32_t n = 4; n <= 4096; n *= 2) {
    Work wk(n, false);
    for (uint32_t seed = 1; seed <= 2; ++seed) {
      std::vector<float> a = Random(n, n + seed);
      const std::vector<double> want = RealDftSum(a);
      InverseRealDft(n, a.data(), wk.ip.data(), wk.w.data());
      EXPECT_LT(RelativeError(a, want), 2e-6) << "n=" << n << " call " << seed;
    }
  }
}

TEST(AudioTransform, DctMatchesSumForEveryLength) {
  for (uint32_t n = 4; n <= 4096; n *= 2) {
    Work wk(n, true);
    for (uint32_t seed = 1; seed <= 2; ++seed) {
      std::vector<float> a = Random(n, 7 * n + seed);
      const std::vector<double> want = DctSum(a);
      InverseDct(n, a.data(), wk.ip.data(), wk.w.data());
      EXPECT_LT(RelativeError(a, want), 2e-6) << "n=" << n << " call " << seed;
    }
  }
}

}  // namespace

namespace {

TEST(AudioTransform, SimpleInputsAndTablesBuiltOnce) {
  const uint32_t n = 512;
  Work rd(n, false);
  std::vector<float> a(n, 0.0f);
  a[0] = 2.0f;
  InverseRealDft(n, a.data(), rd.ip.data(), rd.w.data());
  for (float v : a) ASSERT_NEAR(v, 1.0f, 1e-5);
  EXPECT_EQ(rd.ip[0], int32_t(n / 4));
  EXPECT_EQ(rd.ip[1], int32_t(n / 4));
  const std::vector<float> table = rd.w;
  a.assign(n, 0.0f);
  a[3] = 1.0f;  // I1: sin(2 pi k / n)
  InverseRealDft(n, a.data(), rd.ip.data(), rd.w.data());
  EXPECT_NEAR(a[n / 4], 1.0f, 1e-5);
  EXPECT_NEAR(a[0], 0.0f, 1e-5);
  EXPECT_EQ(rd.w, table) << "the second call rebuilds nothing";
  a.assign(n, 0.0f);
  a[1] = 2.0f;  // R(n/2): +1, -1, ...
  InverseRealDft(n, a.data(), rd.ip.data(), rd.w.data());
  for (uint32_t k = 0; k < n; ++k) ASSERT_NEAR(a[k], (k & 1) ? -1.0f : 1.0f, 1e-5);

  Work dc(n, true);
  a.assign(n, 0.0f);
  a[1] = 1.0f;
  InverseDct(n, a.data(), dc.ip.data(), dc.w.data());
  EXPECT_EQ(dc.ip[1], int32_t(n));
  for (uint32_t k = 0; k < n; ++k) ASSERT_NEAR(a[k], std::cos(kPi * (k + 0.5) / n), 1e-5);
  EXPECT_GT(a[n / 2 - 1], 0.0f);
  EXPECT_LT(a[n / 2], 0.0f);
}

}  // namespace
