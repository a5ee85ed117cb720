#include "host/simd/simd_level.h"

#include <cstdlib>
#include <cstring>

namespace orvexhost {

SimdLevel SimdCapOf(const char* value) {
    if (!value) return SimdLevel::Avx512;
    if (std::strcmp(value, "scalar") == 0) return SimdLevel::Scalar;
    if (std::strcmp(value, "sse2") == 0) return SimdLevel::Sse2;
    if (std::strcmp(value, "avx2") == 0) return SimdLevel::Avx2;
    return SimdLevel::Avx512;
}

SimdLevel SimdCap() {
    static const SimdLevel cap = SimdCapOf(std::getenv("ORVEX_SIMD"));
    return cap;
}

}  // namespace orvexhost
