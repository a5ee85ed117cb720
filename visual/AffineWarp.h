#pragma once
// The service's CPU affine warp and row-parallel box filter, shared by its geometric operations.
//
// Warp: M maps input coordinates to output coordinates, both continuous with pixel (i, j)
// covering [i, i+1) x [j, j+1). Each output pixel centre p = (x + 0.5, y + 0.5) reads the input
// at q = M^-1 p: transparent (all zero) when q lies outside the input, else the nearest pixel
// (sampler 0) or the bilinear mix of the four pixel centres around q, edges clamped. The GPU
// kernels sample with the same convention, so CPU and GPU agree to rounding.
#include <opencv2/core.hpp>

namespace orvex {

// src and dst: CV_8UC4 or CV_16UC4 of one depth, not overlapping. False (nothing written) for
// other images or a matrix that cannot be inverted.
bool AffineWarp(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& M, int sampler);

// Mean of the (2r+1) x (2r+1) window around each pixel, edges clamped (repeated), rounded to
// nearest; 8-bit BGRA, src and dst of one size and not overlapping; rows in 8 parallel stripes.
bool BoxFilterBGRA(const cv::Mat& src, cv::Mat& dst, int radius);

}  // namespace orvex
