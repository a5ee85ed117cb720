#pragma once
// The image library's 8-bit BGR -> HLS -> BGR conversions (hue bytes 0..180) as its AVX2 build
// computes them in vector lanes, 8 pixels at a time, so that the HLS balance can run both per
// pixel in registers instead of through two float pictures. The library's lanes fuse the
// multiply-adds its scalar row tails do not, so these bodies match the lanes only: a row's last
// width % 8 pixels (its scalar tail) stay with the library.
#include <cstdint>

namespace orvex::hlsrows {

// True when this processor runs the bodies below and they give the library's bytes: checked once
// against cv::cvtColor on a sample, so a library built or dispatched otherwise keeps its own path.
bool Available();

// H and L bytes of `pixels` BGRA pixels (a multiple of 8), two bytes a pixel.
void HueLightness(const uint8_t* bgra, uint8_t* hl, int pixels);
// B, G, R bytes of `pixels` HLS pixels (a multiple of 8), three bytes a pixel each side.
void BgrOfHls(const uint8_t* hls, uint8_t* bgr, int pixels);

// The HLS balance of one row: H' = H + hueShift (less 180 once at 180 or more), (L', S') =
// ls[2 (max * 256 + min)], [.. + 1] of the pixel's largest and smallest channel (the table holds
// two bytes past its last entry); BGR of (H', L', S') with the source's alpha. Does the leading
// multiple of 8 pixels and returns how many; src and dst are the same row or apart.
int BalanceBGRA(const uint8_t* ls, int hueShift, const uint8_t* src, uint8_t* dst, int pixels);

}  // namespace orvex::hlsrows
