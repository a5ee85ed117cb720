// Crop: the kept rectangle [x0, x1) x [y0, y1) with x0 = trunc(left 0.01 w + 0.5),
// x1 = w - trunc(right 0.01 w + 0.5) (likewise y); nothing kept gives transparent black. Otherwise
//   zoom:         the rectangle resized to the frame with the image library's bit-exact bilinear;
//   feather e > 0: colour x mask / 255 (truncated), alpha kept, mask the e x e box filter
//                  (reflect-101) of 255 on the rectangle grown by e: 255 x cx cy / e^2 to the
//                  nearest, cx and cy the window positions falling inside along each axis;
//   otherwise:    the rectangle in place on transparent black.
#pragma OPENCL FP_CONTRACT OFF
#ifdef cl_khr_fp64
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
#else
typedef float real;  // devices without doubles: a resize weight may differ by 1/256 at rounding ties
#endif

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes.
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4_rte(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

// Reflect-101: -1 reads 1, len reads len - 2.
int Reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
}

// One axis of the bit-exact bilinear resize from ssize to dsize samples: the first source index
// and the weights (c0, c1) in 1/256, c1 = rint(fraction x 256); outside the source the edge sample
// with weight 256.
int3 ResizeTap(int val, int ssize, int dsize) {
    const real scale = (real)1 / ((real)dsize / (real)ssize);
    const real f = scale * ((real)val + (real)0.5) - (real)0.5;
    const int i = (int)floor(f);
    if (i >= 0 && ssize > 1) {
        if (i < ssize - 1) {
            const int c1 = (int)rint((f - (real)i) * 256);
            return (int3)(i, 256 - c1, c1);
        }
        return (int3)(ssize - 1, 256, 0);
    }
    return (int3)(0, 256, 0);
}

int Coverage(int p, int len, int lo, int hi, int k) {
    lo = max(lo, 0);
    hi = min(hi, len);
    if (lo >= hi) return 0;
    int n = 0;
    for (int i = 0; i < k; ++i) {
        const int q = Reflect101(p - k / 2 + i, len);
        n += q >= lo && q < hi;
    }
    return n;
}

__kernel void video_effect_crop(read_only image2d_t src, write_only image2d_t dst, float left_percent,
                                float top_percent, float right_percent, float bottom_percent, int is_zoom,
                                int edge_feather) {
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
        const int3 tx = ResizeTap(x, x1 - x0, w), ty = ResizeTap(y, y1 - y0, h);
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
    const int e = edge_feather;
    const long covered = (long)Coverage(x, w, x0 - e, x1 + e, e) * Coverage(y, h, y0 - e, y1 + e, e);
    const long area = (long)e * e;
    const int mask = (int)((covered * 510 + area) / (2 * area));
    StorePixel(dst, x, y, (int4)(p.xyz * mask / 255, p.w));
}
