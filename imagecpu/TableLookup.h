#pragma once
// 256-entry byte table lookups, the inner loop of every per-channel table effect:
//   BGRA:  d.b = Tb[s.b], d.g = Tg[s.g], d.r = Tr[s.r], d.a = s.a, then an optional finish
//   bytes: d[i] = T[s[i]]
// Three bodies give the same bytes: AVX-512 VBMI (vpermi2b looks up 128 entries, two of them and
// a select on bit 7 cover 256), AVX2 (sixteen 16-entry pshufb lookups whose exclusive or keeps
// the segment the high nibble names) and plain C. The fastest the processor runs is chosen at run time; ORVEX_SIMD and CapLookupPath
// lower it (to measure and test the slower paths).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex {

enum class LookupPath { Scalar, Avx2, Avx512Vbmi };

// The path the dispatching calls below take on this processor: its best, at most ORVEX_SIMD's cap
// (host/simd/simd_level.h) and CapLookupPath's. The blend, cube and gradient rows follow it too.
LookupPath BestLookupPath();
// Every path this processor can run, plain C first (the tests compare them).
std::vector<LookupPath> SupportedLookupPaths();
const char* LookupPathName(LookupPath path);
// Caps the path the dispatching calls take (and the vector blend rows with it); for benchmarks
// and tests.
void CapLookupPath(LookupPath cap);

// What is done to a looked-up pixel before it is stored. Done in the registers of the lookup, a
// finish costs a few instructions where a second pass over the row would cost a load and a store.
enum class LookupFinish {
    None,
    // Each colour byte times alpha: d.c = (T[s.c] * s.a + 127) div 255.
    Premultiply,
    // d.b = d.g = d.r = min(255, Tb[s.b] + Tg[s.g] + Tr[s.r]).
    GraySum,
};

// `pixels` BGRA pixels; src and dst are either the same row or do not overlap.
void LookupBGRA(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* blue, const uint8_t* green,
                const uint8_t* red, LookupFinish finish = LookupFinish::None);
void LookupBGRA(LookupPath path, const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* blue,
                const uint8_t* green, const uint8_t* red, LookupFinish finish = LookupFinish::None);

// `bytes` bytes; src and dst are either the same or do not overlap.
void LookupBytes(const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* table);
void LookupBytes(LookupPath path, const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* table);

}  // namespace orvex
