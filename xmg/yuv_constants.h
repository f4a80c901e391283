// The conversion constants of the codec: the single-precision values the
// game's coder was built with, widened exactly to double. Using the float
// literals themselves keeps them bit for bit.
#pragma once

#include <cstdint>

namespace vh::xmgconst {

// YUV to RGB.
inline constexpr double k1402 = static_cast<double>(1.402f);  // 1.4019999504089355
inline constexpr double k0344 = static_cast<double>(0.344f);  // 0.34400001168251038
inline constexpr double k0714 = static_cast<double>(0.714f);  // 0.71399998664855957
inline constexpr double k1772 = static_cast<double>(1.772f);  // 1.7719999551773071

// RGB to YUV.
inline constexpr double k0299 = static_cast<double>(0.299f);  // 0.29899999499320984
inline constexpr double k0587 = static_cast<double>(0.587f);  // 0.58700001239776611
inline constexpr double k0114 = static_cast<double>(0.114f);  // 0.11400000005960464
inline constexpr double k0564 = static_cast<double>(0.564f);  // 0.56400001049041748
inline constexpr double k0713 = static_cast<double>(0.713f);  // 0.71299999952316284

static_assert(k1402 == 1.4019999504089355 && k0344 == 0.34400001168251038 && k0714 == 0.71399998664855957 &&
              k1772 == 1.7719999551773071);
static_assert(k0299 == 0.29899999499320984 && k0587 == 0.58700001239776611 && k0114 == 0.11400000005960464 &&
              k0564 == 0.56400001049041748 && k0713 == 0.71299999952316284);

// The same constants in units of 2^-27. Each is a single-precision value
// below 2, so it is a whole number of these units and the products and sums
// formed with byte values are exact in 64-bit integers: flooring them is a
// right shift, and gives what the double-precision formulas give.
inline constexpr int kFixedShift = 27;
inline constexpr double kFixedScale = 134217728.0;  // 2^27
inline constexpr int64_t k1402Fixed = static_cast<int64_t>(k1402 * kFixedScale);
inline constexpr int64_t k0344Fixed = static_cast<int64_t>(k0344 * kFixedScale);
inline constexpr int64_t k0714Fixed = static_cast<int64_t>(k0714 * kFixedScale);
inline constexpr int64_t k1772Fixed = static_cast<int64_t>(k1772 * kFixedScale);
inline constexpr int64_t k0299Fixed = static_cast<int64_t>(k0299 * kFixedScale);
inline constexpr int64_t k0587Fixed = static_cast<int64_t>(k0587 * kFixedScale);
inline constexpr int64_t k0114Fixed = static_cast<int64_t>(k0114 * kFixedScale);
static_assert(k1402Fixed == k1402 * kFixedScale && k0344Fixed == k0344 * kFixedScale &&
              k0714Fixed == k0714 * kFixedScale && k1772Fixed == k1772 * kFixedScale);
static_assert(k0299Fixed == k0299 * kFixedScale && k0587Fixed == k0587 * kFixedScale &&
              k0114Fixed == k0114 * kFixedScale);

// The chroma constants in units of 2^-24 (both lie in [0.5, 1)).
inline constexpr int kChromaShift = 24;
inline constexpr int64_t k0564Units = static_cast<int64_t>(k0564 * 16777216.0);
inline constexpr int64_t k0713Units = static_cast<int64_t>(k0713 * 16777216.0);
static_assert(k0564Units == k0564 * 16777216.0 && k0713Units == k0713 * 16777216.0);

}  // namespace vh::xmgconst
