#pragma once
// The one reader of ORVEX_SIMD. Every run-time choice of a vector body (table lookups, blend
// rows, cube rows, gradient rows, YUV conversions) takes the lower of its processor's best and
// this cap, so that one setting measures or tests a machine's slower paths everywhere at once:
//   ORVEX_SIMD=scalar  plain C only
//   ORVEX_SIMD=sse2    no AVX (only the YUV conversions have SSE2 bodies)
//   ORVEX_SIMD=avx2    no AVX-512
// Unset, empty or any other value caps nothing.

namespace orvexhost {

// Ordered: a level allows every level below it.
enum class SimdLevel { Scalar = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };

// The cap ORVEX_SIMD sets, read once per process.
SimdLevel SimdCap();
// The cap a value of ORVEX_SIMD names (null for unset).
SimdLevel SimdCapOf(const char* value);

}  // namespace orvexhost
