// AutoWhiteBalance: the three gain estimates and the temperature / tint mapping.
#include "imagecpu/WhiteBalance.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

namespace orvex {
namespace {

constexpr double kLimit = 500.0;

float ClampSetting(double v) {
    if (std::isnan(v)) return 0.0f;
    // + 0.0 turns a negative zero (no correction) into 0.
    return static_cast<float>(std::clamp(v, -kLimit, kLimit) + 0.0);
}

// m = (r + g + b) / 3 against each channel.
WhiteBalanceGains GainsOf(double r, double g, double b, int luma) {
    const double L = luma;
    const double m = L * ((r + g + b) / (L * 3));
    return {m / r, m / g, m / b};
}

}  // namespace

AutoWhiteBalance::AutoWhiteBalance() {
    for (int v = 0; v < 256; ++v) {
        const float f = static_cast<float>(v);
        yR_[v] = f * 0.2568f, yG_[v] = f * 0.5041f, yB_[v] = f * 0.0979f;
        cbR_[v] = f * -0.1482f, cbG_[v] = f * -0.291f, cbB_[v] = f * 0.4392f;
        crR_[v] = f * 0.4392f, crG_[v] = f * -0.3678f, crB_[v] = f * -0.0714f;
    }
}

void AutoWhiteBalance::ToYCbCr(int b, int g, int r, uint8_t* y, uint8_t* cb, uint8_t* cr) const {
    // Red term, offset, green term, blue term: the order the sums have always been formed in.
    *y = cv::saturate_cast<uint8_t>(static_cast<int>(yR_[r] + 16.0f + yG_[g] + yB_[b]));
    *cb = cv::saturate_cast<uint8_t>(static_cast<int>(cbR_[r] + 128.0f + cbG_[g] + cbB_[b]));
    *cr = cv::saturate_cast<uint8_t>(static_cast<int>(crR_[r] + 128.0f + crG_[g] + crB_[b]));
}

int AutoWhiteBalance::MaxLuma(const uint8_t* pixels, int width, int height, int stride, int channels) const {
    int best = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += channels) {
            const int l = static_cast<int>(yR_[p[2]] + 16.0f + yG_[p[1]] + yB_[p[0]]);
            best = std::max(best, l);
        }
    }
    return best;
}

WhiteBalanceGains AutoWhiteBalance::FromPicture(const uint8_t* pixels, int width, int height, int stride,
                                                int channels) {
    const size_t count = static_cast<size_t>(width) * height;
    y_.resize(count);
    cb_.resize(count);
    cr_.resize(count);
    candidate_.assign(count, 0);
    double sumCb = 0, sumCr = 0;
    for (int y = 0, i = 0; y < height; ++y) {
        const uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += channels, ++i) {
            ToYCbCr(p[0], p[1], p[2], &y_[i], &cb_[i], &cr_[i]);
            sumCb += cb_[i];
            sumCr += cr_[i];
        }
    }
    const double Mb = sumCb / count, Mr = sumCr / count;
    double sumDb = 0, sumDr = 0;
    for (size_t i = 0; i < count; ++i) {
        // Differences saturate to bytes: below the mean counts as 0.
        sumDb += cv::saturate_cast<uint8_t>(cb_[i] - Mb);
        sumDr += cv::saturate_cast<uint8_t>(cr_[i] - Mr);
    }
    const double Db = sumDb / count, Dr = sumDr / count;
    const double tb = Mb >= 0 ? Mb + Db : Mb - Db;
    const double tr = Mr >= 0 ? 1.5 * Mr + Dr : 1.5 * Mr - Dr;

    int histogram[256] = {};
    size_t candidates = 0;
    int yMax = 0;
    for (size_t i = 0; i < count; ++i) {
        yMax = std::max<int>(yMax, y_[i]);
        if (cb_[i] - tb < 1.5 * Db && cr_[i] - tr < 1.5 * Dr) {
            ++candidates;
            ++histogram[y_[i]];
            candidate_[i] = y_[i];
        }
    }
    // The brightest tenth of the candidates are the reference white.
    const size_t wanted = candidates / 10;
    int T = 255;
    for (int level = 255, sum = 0; level >= 0; --level) {
        sum += histogram[level];
        if (static_cast<size_t>(sum) >= wanted) {
            T = level;
            break;
        }
    }
    double S[3] = {0, 0, 0};  // red, green, blue
    bool any = false;
    for (int y = 0, i = 0; y < height; ++y) {
        const uint8_t* p = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x, p += channels, ++i)
            if (candidate_[i] > T) {
                S[0] += p[2];
                S[1] += p[1];
                S[2] += p[0];
                any = true;
            }
    }
    // Without a reference pixel there is nothing to correct against: neutral gains rather than
    // infinite ones.
    if (!any) return {};
    const double L = yMax / 15;
    return {L / (S[0] / count), L / (S[1] / count), L / (S[2] / count)};
}

WhiteBalanceGains AutoWhiteBalance::FromPoint(const uint8_t* pixels, int width, int height, int stride, int channels,
                                              int x, int y) {
    const uint8_t* p = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * channels;
    return GainsOf(p[2], p[1], p[0], MaxLuma(pixels, width, height, stride, channels));
}

WhiteBalanceGains AutoWhiteBalance::FromColor(const uint8_t* pixels, int width, int height, int stride, int channels,
                                              uint32_t colour) {
    return GainsOf((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF,
                   MaxLuma(pixels, width, height, stride, channels));
}

void AutoWhiteBalance::ToTemperatureTint(const WhiteBalanceGains& gains, float* temperature, float* tint) {
    if (tint) *tint = ClampSetting((gains.green - 1) * -200.0);
    if (temperature) *temperature = ClampSetting((gains.red - (1 - (gains.green - 1) * 0.5)) * 200.0);
}

}  // namespace orvex
