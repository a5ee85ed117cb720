// ORVEX_SIMD caps every run-time choice of a vector body. ctest runs this suite again under
// ORVEX_SIMD=avx2 and =scalar (simd_cap_*), since the variable is read once per process.
#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "host/simd/simd_level.h"
#include "host/yuv/yuv_simd.h"
#include "imagecpu/TableLookup.h"

using orvexhost::SimdLevel;

TEST(SimdCap, ValuesNameTheLevels) {
    const struct {
        const char* value;
        SimdLevel cap;
    } cases[] = {{nullptr, SimdLevel::Avx512}, {"", SimdLevel::Avx512},         {"scalar", SimdLevel::Scalar},
                 {"sse2", SimdLevel::Sse2},    {"avx2", SimdLevel::Avx2},       {"avx512", SimdLevel::Avx512},
                 {"AVX2", SimdLevel::Avx512},  {"avx2 ", SimdLevel::Avx512}};
    for (const auto& c : cases)
        EXPECT_EQ(orvexhost::SimdCapOf(c.value), c.cap) << (c.value ? c.value : "(unset)");
}

TEST(SimdCap, EveryDispatchStaysUnderTheEnvironmentsCap) {
    const SimdLevel cap = orvexhost::SimdCapOf(std::getenv("ORVEX_SIMD"));
    ASSERT_EQ(orvexhost::SimdCap(), cap);
    // The table lookups, and the blend, cube and gradient rows that follow them.
    const orvex::LookupPath capPath = cap >= SimdLevel::Avx512 ? orvex::LookupPath::Avx512Vbmi
                                      : cap == SimdLevel::Avx2  ? orvex::LookupPath::Avx2
                                                                : orvex::LookupPath::Scalar;
    const orvex::LookupPath hardware = orvex::SupportedLookupPaths().back();
    EXPECT_EQ(orvex::BestLookupPath(), std::min(hardware, capPath));
    // The YUV conversions: under ORVEX_SIMD=avx2 an AVX-512 machine takes the AVX2 bodies.
    EXPECT_EQ(imageYuvSimd(), std::min(imageYuvHardwareSimd(), static_cast<YuvSimd>(cap)));
}
