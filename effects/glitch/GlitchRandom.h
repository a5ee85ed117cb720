#pragma once
// The random draws of the glitch effects. The engine is the 64-bit Mersenne Twister MT19937-64
// (std::mt19937_64: 312 words of state, the standard seeding from one 64-bit value and the
// standard tempering). The draws are written out here instead of taken from <random>'s
// distributions, whose algorithms the standard leaves to each library: a frame position must
// give the same picture on every build.
//
//   uniform float u:     the top 24 bits of one output times 2^-24, so 0 <= u < 1 exactly.
//   uniform_int(a, b):   a + r mod (b - a + 1), r the first output not below 2^64 mod (b - a + 1)
//                        (the rejection keeps every value equally likely); a > b is swapped.
//   uniform_real(a, b):  u (b - a) + a in float; a > b is swapped as for the integers.
//   normal(m, s):        Marsaglia's polar method: x = 2u - 1, y = 2u' - 1 until 0 < q = x^2 + y^2 < 1,
//                        then x sqrt(-2 ln q / q) and y sqrt(-2 ln q / q) are the next two standard
//                        draws; the value is the float m + s z.
//   normal_int(m, s):    trunc(normal(m, s) + 0.5), held inside +-2^40 (NaN gives 0).
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>

#include "imagecpu/SaturatingCasts.h"

namespace orvex {


class GlitchRandom {
public:
    explicit GlitchRandom(uint64_t seed) : engine_(seed) {}

    uint64_t Next() { return engine_(); }

    float Uniform() { return static_cast<float>(engine_() >> 40) * (1.0f / 16777216.0f); }

    int64_t UniformInt(int64_t a, int64_t b) {
        if (a > b) std::swap(a, b);
        const uint64_t span = static_cast<uint64_t>(b) - static_cast<uint64_t>(a) + 1;
        if (span == 0) return static_cast<int64_t>(engine_());  // the whole 64-bit range
        const uint64_t reject = (0 - span) % span;              // 2^64 mod span
        uint64_t r = engine_();
        while (r < reject) r = engine_();
        return static_cast<int64_t>(static_cast<uint64_t>(a) + r % span);
    }

    float UniformReal(float a, float b) {
        if (a > b) std::swap(a, b);
        return Uniform() * (b - a) + a;
    }

    float Normal(float mean, float sigma) { return static_cast<float>(mean + sigma * StandardNormal()); }

    int64_t NormalInt(float mean, float sigma) { return TruncToInt64(static_cast<double>(Normal(mean, sigma)) + 0.5); }

private:
    double StandardNormal() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        double x, y, q;
        do {
            x = 2.0 * Uniform() - 1.0;
            y = 2.0 * Uniform() - 1.0;
            q = x * x + y * y;
        } while (q >= 1.0 || q == 0.0);
        const double mult = std::sqrt(-2.0 * std::log(q) / q);
        spare_ = y * mult;
        hasSpare_ = true;
        return x * mult;
    }

    std::mt19937_64 engine_;
    double spare_ = 0;
    bool hasSpare_ = false;
};

}  // namespace orvex
