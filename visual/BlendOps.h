#pragma once
// The CPU side of the blend and transform operations: the placement geometry shared with
// TransformPoint, the fixed-point transform samplers and the four-channel blend of `overlay`.
//
// Placement of an overlay Wo x Ho on a background Wb x Hb (anchor a and background centre b
// normalised, theta in degrees, c = cos, s = sin, scale sx, sy, skew kx, ky):
//   M = [[c sx + s sx ky, c sy kx + s sy], [c sx ky - s sx, c sy - s sy kx]]   (= R K S)
//   P = (Wo ax, Ho ay); t = -M P - min over the corners of M (corner - P)
// so that overlay pixel p lands at M p + t in the transformed overlay's bounding box, whose
// origin is its top-left corner; the anchor lands at Q = M P + t in the box and on (Wb bx, Hb by)
// in the background. The box is clipped to the background; `matrix` maps overlay pixels straight
// into the clipped box region and `toBackground` into background pixels.
#include <cstdint>

#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvex {

struct PlacementGeometry {
    cv::Matx22d linear;          // M
    cv::Matx23d matrix;          // overlay pixel -> clipped box region pixel
    cv::Matx23d toBackground;    // overlay pixel -> background pixel
    double boxWidth = 0;         // Bw, Bh: the transformed overlay's bounding box
    double boxHeight = 0;
    cv::Rect2d backgroundRegion; // where the clipped box lies in the background
    cv::Point2d boxOrigin;       // (ox, oy): where the clipped region starts inside the box
    // The background pixels the region touches, whole pixels clipped to the background.
    cv::Rect pixels() const;
};

// False for sizes below one pixel, values that are not finite or a scale or skew that flattens
// the overlay (no inverse).
bool MakePlacement(int Wo, int Ho, int Wb, int Hb, double ax, double ay, double bx, double by, double theta,
                   double scaleX, double scaleY, double skewX, double skewY, PlacementGeometry* g);

// The BGRA transform-and-blend of the CPU: every pixel of `region` of dst maps back through
// `inverse` (background pixel centre -> overlay position) into the overlay; the sample (fixed-
// point bilinear with 8-bit weights, or nearest with sampler 0; transparent outside the overlay),
// faded over one pixel at the overlay's borders (edge-clamped there) when `fade` is set, is
// blended with the layer blender's pixel rule. Overlay and dst 8-bit BGRA, not overlapping.
void TransformBlendBGRA(const cv::Mat& overlay, cv::Mat& dst, const cv::Rect& region, const cv::Matx23d& inverse,
                        int sampler, bool fade, int mode, uint8_t opacity, bool premultiplied);

// One plane of the YV12 transform: dst sample centres map back through `inverse` (plane pixel
// units) into src; 16-bit fixed-point bilinear weights, neighbours outside src count as `black`,
// results clamped to [lo, hi]; positions that reach no source sample give `black`.
void TransformPlane(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& inverse, int black, int lo, int hi);

// The four-channel blend (the `overlay` kernel's) of straight or premultiplied BGRA pixels in
// floats 0..1 (B, G, R, A order), for the CPU `overlay`.
void BlendFourChannel(const float* bg, const float* ovl, float matt, float tempMatt, int mode, float opacity,
                      int ovlAlphaPreMul, float* out);

}  // namespace orvex
