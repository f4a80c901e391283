// The conversion constants of the codec: the single-precision values the
// game's coder was built with, widened exactly to double. Using the float
// literals themselves keeps them bit for bit.
#pragma once

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

}  // namespace vh::xmgconst
