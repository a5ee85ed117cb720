#pragma once
// CPU layer blending of 8-bit BGRA pictures (bytes B, G, R, A), every step a byte-table lookup.
// With o the overlay pixel, d the background (destination) pixel, op the opacity byte,
// M[x][y] = x*y/255 rounded, T the mode's table, L the straight-alpha mix and U the alpha union:
//   a' = M[o.a][op], inv = 255 - a'
//   table mode, in place:     d.c = M[T[d.c][o.c]][a'] + M[d.c][inv]            (alpha too)
//   table mode, separate out: out.c = min(255, M[T[b.c][o.c]][a'] + M[b.c][inv]),
//                             out.a = min(255, a' + M[b.a][inv])
//   normal, premultiplied:    d.c = min(255, M[d.c][inv] + M[o.c][op]), d.a = min(255, a' + M[d.a][inv])
//   normal, straight:         d.c = L[o.c][d.c][a'], d.a = U[a'][d.a]
//   hollow in:                d = M[d][o.a]; hollow out: d = d.a ? M[d][255 - o.a] : o
//   background hollow in:     d = M[o][d.a]
// Pixels whose overlay alpha is 0 keep the background, except in the three hollow rules.
//
// Every entry point checks its images (8-bit four-channel, equal sizes, not empty) and returns
// false without writing anything when they do not fit.
#include <cstdint>

#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvex {

// Background = destination.
bool BlendLayers(const cv::Mat& overlay, cv::Mat& background, int mode, uint8_t opacity, bool premultiplied,
                 int stripes);
// Separate output; the background is only read.
bool BlendLayersAlone(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, int mode, uint8_t opacity,
                      bool premultiplied, int stripes);
// The frame laid over a constant colour, written back into the frame. colour packs red in the
// lowest byte, then green, blue, and alpha in the highest byte. Mode 22 leaves the frame as it is.
bool BlendSolidColor(cv::Mat& frame, uint32_t colour, int mode, uint8_t opacity, bool premultiplied, int stripes);
// The in-place rules for one BGRA pixel (antialiased edges).
void BlendOnePixel(const uint8_t* overlay, uint8_t* destination, int mode, uint8_t opacity, bool premultiplied);

// Mask blend into out (the background's size) at the background region. Regions are fractions of
// their pictures, made whole pixels as value * size + 0.5 truncated, clipped to the picture, and
// cut to their common size; out outside the background region is not written. Modes:
//   0 keep the background where the overlay covers, 1 alpha-weighted mix, 2 over.
bool BlendMaskLayers(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, fxRectf overlayRoi,
                     fxRectf backgroundRoi, int maskMode);

// Constant-opacity mix of two YV12 pictures: out = (first*op + second*(255 - op)) div 255 on
// every byte of the three planes (8-bit single-channel, each triple of one size).
bool BlendYV12(const cv::Mat& firstY, const cv::Mat& firstU, const cv::Mat& firstV, const cv::Mat& secondY,
               const cv::Mat& secondU, const cv::Mat& secondV, cv::Mat& outY, cv::Mat& outU, cv::Mat& outV,
               uint8_t opacity, int stripes);

// Colour copied, alpha made 255.
bool IgnoreAlpha(const cv::Mat& source, cv::Mat& destination, int stripes);
// Colour bytes times alpha (M[c][a], rounded to nearest), alpha kept.
bool AlphaMultiply(const cv::Mat& source, cv::Mat& destination);
// The premultiplication of `rows` rows of `width` BGRA pixels; source and destination may be one.
void PremultiplyAlphaRows(const uint8_t* source, size_t sourceStride, uint8_t* destination,
                          size_t destinationStride, int width, int rows);

}  // namespace orvex
