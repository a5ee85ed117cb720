#pragma once
// Automatic white balance: per-channel gains estimated from a picture (dynamic-threshold white
// point search in studio-range YCbCr), from one picked pixel or from a reference colour, and
// their mapping to a temperature and a tint:
//   tint = (gG - 1) (-200),  temperature = (gR - (1 - (gG - 1) 0.5)) 200,  both in -500..500.
// A picked pixel or colour (r, g, b) gives m = (r + g + b) / 3 and gains m / r, m / g, m / b.
#include <cstdint>
#include <vector>

namespace orvex {

struct WhiteBalanceGains {
    double red = 1, green = 1, blue = 1;
};

class AutoWhiteBalance {
public:
    AutoWhiteBalance();

    // Pictures are 8-bit B, G, R(, A): `channels` 3 or 4, rows `stride` bytes apart.
    WhiteBalanceGains FromPicture(const uint8_t* pixels, int width, int height, int stride, int channels);
    WhiteBalanceGains FromPoint(const uint8_t* pixels, int width, int height, int stride, int channels, int x, int y);
    // colour is 0xRRGGBB.
    WhiteBalanceGains FromColor(const uint8_t* pixels, int width, int height, int stride, int channels,
                                uint32_t colour);
    static void ToTemperatureTint(const WhiteBalanceGains& gains, float* temperature, float* tint);

    // Studio-range Y, Cb, Cr of one pixel, truncated, from the tables.
    void ToYCbCr(int b, int g, int r, uint8_t* y, uint8_t* cb, uint8_t* cr) const;

private:
    int MaxLuma(const uint8_t* pixels, int width, int height, int stride, int channels) const;

    // v * c for the luma, blue-difference and red-difference coefficients of red, green, blue.
    float yR_[256], yG_[256], yB_[256], cbR_[256], cbG_[256], cbB_[256], crR_[256], crG_[256], crB_[256];
    std::vector<uint8_t> y_, cb_, cr_, candidate_;
};

}  // namespace orvex
