// SDR2HDR, PQToHLG and HLGToPQ on host frames through cached tables; see HdrTransferCpu.h.
#include "visual/HdrTransferCpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>

#include "visual/PixelMap.h"

namespace orvex {
namespace {

using hdr64::Transfer;
using hdr64::TransferSteps;

// Mix results above this take the plain Encode: the thresholds are searched below it, where
// every transfer's Encode is finite and rising (no pixel of a 0..1 frame gets near it).
constexpr double kMaxTabled = 1024.0;

uint64_t BitsOf(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double DoubleOf(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// What BGRAPlane::Write stores for a value.
int Quantized(double v, double max) {
    return static_cast<int>(std::nearbyint(std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0) * max));
}

int PlainCode(const TransferSteps& steps, double max, double x) { return Quantized(steps.Encode(x), max); }

// Decode of every input code as BGRAPlane reads it (code times 1 / max).
std::vector<double> DecodeTable(const TransferSteps& steps, bool sixteen) {
    const int n = sixteen ? 65536 : 256;
    const double k = 1.0 / (n - 1);
    std::vector<double> t(n);
    for (int c = 0; c < n; ++c) t[c] = steps.Decode(c * k);
    return t;
}

// The smallest Mix result in (lo, hi] whose output code is at least j, given
// Code(lo) < j <= Code(hi).
double FirstWithCode(const TransferSteps& steps, double max, int j, double xlo, double xhi) {
    // The bracket as bits of non-negative doubles, ordered as the values are. Illinois steps on
    // the unrounded value (the secant through the bracket, the stale end's value halved when one
    // end stays twice) land near the crossing of j - 1/2 in a few steps; a halving of the bits
    // after any step that did not halve the bracket bounds the search where the curve is flat or
    // steep.
    const double target = j - 0.5;
    uint64_t lo = BitsOf(xlo), hi = BitsOf(xhi);
    double flo = steps.Encode(xlo) * max - target, fhi = steps.Encode(xhi) * max - target;
    bool secant = true;
    int kept = 0;  // +1: hi moved last, -1: lo moved last
    while (hi - lo > 1) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (secant && flo < 0.0 && fhi > 0.0) {
            const double a = DoubleOf(lo), b = DoubleOf(hi);
            mid = std::clamp(BitsOf(std::clamp(a + (-flo / (fhi - flo)) * (b - a), a, b)), lo + 1, hi - 1);
        }
        const uint64_t width = hi - lo;
        const double e = steps.Encode(DoubleOf(mid));
        if (Quantized(e, max) >= j) {
            hi = mid, fhi = e * max - target;
            if (kept == 1) flo /= 2;
            kept = 1;
        } else {
            lo = mid, flo = e * max - target;
            if (kept == -1) fhi /= 2;
            kept = -1;
        }
        secant = !secant || hi - lo <= width / 2;
    }
    return DoubleOf(hi);
}

// t[j0..j1) of EncodeTable below: each from the bracket its predecessor gives, widened from the
// last step until it holds the code.
void Thresholds(const TransferSteps& steps, int max, int j0, int j1, double* t) {
    const double dmax = max;
    const auto code = [&](double x) { return PlainCode(steps, dmax, x); };
    const double inf = std::numeric_limits<double>::infinity();
    const int bottom = code(0.0), top = code(kMaxTabled);
    double prev = 0.0, step = 0.0;
    for (int j = j0; j < j1; ++j) {
        if (bottom >= j) {
            t[j] = 0.0;
            continue;
        }
        if (top < j) {
            t[j] = inf;
            continue;
        }
        double lo = j == j0 ? 0.0 : prev, hi = kMaxTabled;
        if (code(lo) >= j) {
            t[j] = lo;  // two codes begin at one value where the curve is steep
            continue;
        }
        if (step > 0.0) {
            for (double s = step; lo + s < kMaxTabled; s *= 2) {
                if (code(lo + s) >= j) {
                    hi = lo + s;
                    break;
                }
                lo += s;
            }
        }
        t[j] = FirstWithCode(steps, dmax, j, lo, hi);
        if (j > j0 && t[j] > prev) step = t[j] - prev;
        prev = t[j];
    }
}

// An output channel's code as a function of its Mix result x (opaque pixels): the number of
// thresholds t[1..max] at or below x. A bucket per run of leading bits of x holds the count
// below it, so a lookup walks only the few thresholds inside one bucket.
class EncodeTable {
public:
    EncodeTable(const TransferSteps& steps, bool sixteen) {
        const int max = sixteen ? 65535 : 255;
        t_.assign(max + 2, 0.0);
        t_[0] = -std::numeric_limits<double>::infinity();
        t_[max + 1] = std::numeric_limits<double>::infinity();
        cv::parallel_for_(cv::Range(1, max + 1),
                          [&](const cv::Range& r) { Thresholds(steps, max, r.start, r.end, t_.data()); });
        // Buckets over the finite positive thresholds, no more than 2^16 of them.
        double lo = 0.0, hi = 0.0;
        int finite = 0;
        for (int j = 1; j <= max; ++j) {
            if (t_[j] > 0.0 && lo == 0.0) lo = t_[j];
            if (std::isfinite(t_[j])) hi = t_[j], finite = j;
        }
        if (lo == 0.0) lo = hi = 1.0;
        shift_ = 30;
        while (((BitsOf(hi) >> shift_) - (BitsOf(lo) >> shift_)) >= 65536) ++shift_;
        keyLo_ = BitsOf(lo) >> shift_;
        keyHi_ = BitsOf(hi) >> shift_;
        start_.assign(keyHi_ - keyLo_ + 1, 0);
        std::vector<int> inBucket(start_.size(), 0);
        for (int j = 1; j <= finite; ++j)
            if (t_[j] > 0.0) ++inBucket[(BitsOf(t_[j]) >> shift_) - keyLo_];
        int below = finite - std::count_if(t_.begin() + 1, t_.begin() + finite + 1, [](double v) { return v > 0.0; });
        int most = 0;
        for (size_t k = 0; k < start_.size(); ++k) {
            start_[k] = static_cast<uint16_t>(below);
            below += inBucket[k];
            most = std::max(most, inBucket[k]);
        }
        // A binary search of steps span, span / 2, ..., 1 reaches 2 span - 1 thresholds past a
        // bucket's start; the table runs on past the last with infinities for it.
        span_ = 1;
        while (2 * span_ - 1 < most) span_ *= 2;
        t_.resize(max + 2 + 2 * span_, std::numeric_limits<double>::infinity());
    }

    // x in 0..kMaxTabled.
    int Code(double x) const {
        const uint64_t k = std::clamp(BitsOf(x) >> shift_, keyLo_, keyHi_) - keyLo_;
        int c = start_[k];
        for (int s = span_; s > 0; s >>= 1) c += t_[c + s] <= x ? s : 0;
        return c;
    }

private:
    std::vector<double> t_;
    std::vector<uint16_t> start_;
    int shift_ = 0, span_ = 1;
    uint64_t keyLo_ = 0, keyHi_ = 0;
};

struct Tables {
    std::vector<double> decode;    // by input code
    std::vector<uint16_t> alpha;   // the output alpha code of each input alpha code
    EncodeTable encode;
};

std::vector<uint16_t> AlphaTable(bool sixteenIn, bool sixteenOut) {
    const int n = sixteenIn ? 65536 : 256;
    const double k = 1.0 / (n - 1), outMax = sixteenOut ? 65535.0 : 255.0;
    std::vector<uint16_t> t(n);
    for (int c = 0; c < n; ++c) t[c] = static_cast<uint16_t>(Quantized(c * k, outMax));
    return t;
}

// Built on first use, kept for the process: a table set is a few hundred kilobytes and a frame
// of its transfer would otherwise pay for its build.
std::shared_ptr<const Tables> TablesFor(const TransferSteps& steps, bool sixteenIn, bool sixteenOut) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, bool, bool>, std::shared_ptr<const Tables>> cache;
    // Decode and Encode depend on the transfer and, for SDR2HDR, on whether it targets PQ.
    const int curve = steps.op == Transfer::SDR2HDR && steps.pqMode != 0 ? 1 : 0;
    const auto key = std::make_tuple(static_cast<int>(steps.op), curve, sixteenIn, sixteenOut);
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = cache[key];
    if (!slot)
        slot = std::make_shared<const Tables>(
            Tables{DecodeTable(steps, sixteenIn), AlphaTable(sixteenIn, sixteenOut), EncodeTable(steps, sixteenOut)});
    return slot;
}

template <typename In, typename Out>
void Rows(const TransferSteps& steps, const Tables& t, const BGRAPlane& src, const BGRAPlane& dst, int y0, int y1) {
    const double inK = 1.0 / src.max(), outMax = dst.max();
    const bool premultiplies = steps.op == Transfer::SDR2HDR;
    for (int y = y0; y < y1; ++y) {
        const In* s = reinterpret_cast<const In*>(src.data + src.pitch * static_cast<size_t>(y));
        Out* d = reinterpret_cast<Out*>(dst.data + dst.pitch * static_cast<size_t>(y));
        for (int x = 0; x < src.width; ++x, s += 4, d += 4) {
            double rgb[3] = {t.decode[s[2]], t.decode[s[1]], t.decode[s[0]]};
            const double alpha = s[3] * inK;
            steps.Mix(rgb);
            int code[3];
            for (int c = 0; c < 3; ++c) {
                const double v = rgb[c];
                if (premultiplies && alpha != 1.0)
                    code[c] = alpha == 0.0 ? 0 : Quantized(steps.Encode(v) * alpha, outMax);
                else if (v >= 0.0 && v <= kMaxTabled) code[c] = t.encode.Code(v);
                else code[c] = Quantized(steps.Encode(v), outMax);
            }
            d[0] = static_cast<Out>(code[2]);
            d[1] = static_cast<Out>(code[1]);
            d[2] = static_cast<Out>(code[0]);
            d[3] = static_cast<Out>(t.alpha[s[3]]);
        }
    }
}

}  // namespace

void HdrTransferFrame(const TransferSteps& steps, const EffectFrame& in, EffectFrame& out) {
    const BGRAPlane src = BGRAPlane::Of(in), dst = BGRAPlane::Of(out);
    const std::shared_ptr<const Tables> t = TablesFor(steps, src.sixteen, dst.sixteen);
    cv::parallel_for_(cv::Range(0, src.height), [&](const cv::Range& r) {
        if (src.sixteen && dst.sixteen) Rows<uint16_t, uint16_t>(steps, *t, src, dst, r.start, r.end);
        else if (src.sixteen) Rows<uint16_t, uint8_t>(steps, *t, src, dst, r.start, r.end);
        else if (dst.sixteen) Rows<uint8_t, uint16_t>(steps, *t, src, dst, r.start, r.end);
        else Rows<uint8_t, uint8_t>(steps, *t, src, dst, r.start, r.end);
    });
}

int HdrEncodeCodePlain(const TransferSteps& steps, bool sixteenOut, double x) {
    return PlainCode(steps, sixteenOut ? 65535.0 : 255.0, x);
}

int HdrEncodeCodeTabled(const TransferSteps& steps, bool sixteenOut, double x) {
    if (!(x >= 0.0 && x <= kMaxTabled)) return HdrEncodeCodePlain(steps, sixteenOut, x);
    return TablesFor(steps, sixteenOut, sixteenOut)->encode.Code(x);
}

}  // namespace orvex
