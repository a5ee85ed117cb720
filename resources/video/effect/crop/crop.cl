// Assembled from kernels/effects/crop.cl and kernels/common/: edit those.
// Crop: the kept rectangle [x0, x1) x [y0, y1) with x0 = trunc(left 0.01 w + 0.5),
// x1 = w - trunc(right 0.01 w + 0.5) (likewise y); nothing kept gives transparent black. Otherwise
//   zoom:         the rectangle resized to the frame with the image library's bit-exact bilinear;
//   feather e > 0: colour x mask / 255 (truncated), alpha kept, mask the e x e box filter
//                  (reflect-101) of 255 on the rectangle grown by e: 255 cx cy / e^2 to the
//                  nearest (halves up), cx and cy the window positions falling inside along each
//                  axis;
//   otherwise:    the rectangle in place on transparent black.
#pragma OPENCL FP_CONTRACT OFF

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes in
// the image's lane order. Samples lie in 0..1, so +0.5 and truncation round them (a rounding-mode
// conversion costs a CPU device such as PoCL far more).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

float4 Bytes(read_only image2d_t img, int x, int y) {
    return convert_float4(LoadPixel(img, x, y));
}

// One axis of the bit-exact bilinear resize: the effect computes each output index's first source
// index and weights (c0, c1) in 1/256 once per frame, as the image library does, so every device
// picks the CPU's samples.
int3 ResizeTap(__global const int4* taps, int val) { return taps[val].xyz; }

long Overlap(long a, long b, long lo, long hi) { return max(0L, min(b, hi) - max(a, lo)); }

// How many p in [0, n) read (reflect-101) a sample in [lo, hi); one period [0, 2 len - 2) visits
// 0..len-1 going up and len-2..1 coming down.
long CoveredBelow(long n, long len, long lo, long hi) {
    const long period = 2 * len - 2;
    const long r = n % period;
    long count = (n / period) * (Overlap(0, len, lo, hi) + Overlap(1, len - 1, lo, hi)) + Overlap(0, min(r, len), lo, hi);
    if (r > len) count += Overlap(period - r + 1, len - 1, lo, hi);
    return count;
}

// How many of the k window positions [x - k/2, x - k/2 + k) read a sample in [lo, hi), in constant
// time: negative positions read like their mirror.
long Coverage(int x, int len, int lo, int hi, long k) {
    lo = max(lo, 0);
    hi = min(hi, len);
    if (lo >= hi || k <= 0) return 0;
    if (len == 1) return k;
    const long s = (long)x - k / 2, e = s + k;
    if (s >= 0) return CoveredBelow(e, len, lo, hi) - CoveredBelow(s, len, lo, hi);
    if (e <= 0) return CoveredBelow(-s + 1, len, lo, hi) - CoveredBelow(-e + 1, len, lo, hi);
    return CoveredBelow(-s + 1, len, lo, hi) - CoveredBelow(1, len, lo, hi) + CoveredBelow(e, len, lo, hi);
}

__kernel void video_effect_crop(read_only image2d_t src, write_only image2d_t dst, float left_percent,
                                float top_percent, float right_percent, float bottom_percent, int is_zoom,
                                int edge_feather, __global const int4* zoom_x, __global const int4* zoom_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const int x0 = (int)(left_percent * 0.01f * (float)w + 0.5f);
    const int y0 = (int)(top_percent * 0.01f * (float)h + 0.5f);
    const int x1 = w - (int)(right_percent * 0.01f * (float)w + 0.5f);
    const int y1 = h - (int)(bottom_percent * 0.01f * (float)h + 0.5f);
    if (x0 >= x1 || y0 >= y1) {
        StorePixel(dst, x, y, (int4)(0));
        return;
    }
    if (is_zoom) {
        const int3 tx = ResizeTap(zoom_x, x), ty = ResizeTap(zoom_y, y);
        const int sx = x0 + tx.x, sy = y0 + ty.x;
        const int sx1 = min(sx + 1, x1 - 1), sy1 = min(sy + 1, y1 - 1);
        const int4 h0 = LoadPixel(src, sx, sy) * tx.y + LoadPixel(src, sx1, sy) * tx.z;
        const int4 h1 = LoadPixel(src, sx, sy1) * tx.y + LoadPixel(src, sx1, sy1) * tx.z;
        StorePixel(dst, x, y, (h0 * ty.y + h1 * ty.z + 32768) >> 16);
        return;
    }
    const int4 p = LoadPixel(src, x, y);
    if (edge_feather <= 0) {
        const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
        StorePixel(dst, x, y, inside ? p : (int4)(0));
        return;
    }
    const long e = edge_feather;
    const int gx0 = (int)clamp(x0 - e, -1L, 1L << 30), gx1 = (int)clamp(x1 + e, -1L, 1L << 30);
    const int gy0 = (int)clamp(y0 - e, -1L, 1L << 30), gy1 = (int)clamp(y1 + e, -1L, 1L << 30);
    const long cx = Coverage(x, w, gx0, gx1, e), cy = Coverage(y, h, gy0, gy1, e);
    const long area = e * e;
    int mask;
    if (area > (1L << 26)) {
        mask = (int)floor((float)cx * (float)cy * (float)255 / (float)area + (float)0.5);
    } else {
        mask = (int)((cx * cy * 510 + area) / (2 * area));
    }
    StorePixel(dst, x, y, (int4)(p.xyz * mask / 255, p.w));
}
