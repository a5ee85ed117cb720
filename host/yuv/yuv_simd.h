#pragma once
// The vector bodies of the conversions written in host/yuv (the BGRA -> YV12 encoders other than
// BT.601 limited, and the YUV -> BGRA decoders; libyuv's own calls pick their bodies themselves). Every body writes the same bytes as plain C; the fastest
// the processor runs is taken unless a test or benchmark caps it lower to compare them.

enum class YuvSimd { Scalar = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };

// The level the conversions take now: the processor's best, at most the cap.
YuvSimd imageYuvSimd();
// The best level this processor runs.
YuvSimd imageYuvHardwareSimd();
// Caps the level (YuvSimd::Avx512 lifts the cap); for tests and benchmarks, not while a conversion runs.
void imageYuvCapSimd(YuvSimd cap);
