#pragma once
// Vector rows of the in-place blend rules (LayerBlend.h gives them). The table lookups become
// 16-bit arithmetic that gives the same bytes:
//   M[x][y] = (x*y + 127) div 255  ==  (t + (t >> 8)) >> 8 with t = x*y + 128
//   s div 255 (s <= 65025)         ==  (s + 1 + (s >> 8)) >> 8
// Each returns how many leading pixels of the row it blended (16 at a time with AVX-512BW, then 8
// with AVX2; none without AVX2); the caller's per-pixel rule does the rest.
#include <cstdint>

namespace orvex {

// Multiply in place: d.c = M[M[d.c][o.c]][a'] + M[d.c][255 - a'] with a' = M[o.a][op], alpha too.
int MultiplyRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity);
// Any table mode in place: d.c = M[T[d.c][o.c]][a'] + M[d.c][255 - a'] with a' = M[o.a][op], alpha
// too; T is a 256 x 256 table (T[d * 256 + o]).
int TableRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity, const uint8_t* table);
// Normal, premultiplied: d.c = min(255, M[d.c][inv] + M[o.c][op]), d.a = min(255, a' + M[d.a][inv]).
int NormalPremultipliedRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity);
// Normal, straight: d.c = (o.c a' + d.c (255 - a')) div 255, d.a = a' + (255 - a') d.a div 255.
int NormalStraightRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity);

// Premultiplication: d.c = M[s.c][s.a], d.a = s.a; source and destination may be one row.
int PremultiplyRowVector(const uint8_t* source, uint8_t* destination, int pixels);

// False makes every function above return 0 (tests compare the vector rows with the plain ones).
void EnableBlendVectors(bool enable);

}  // namespace orvex
