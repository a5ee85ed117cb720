// Assembled from kernels/effects/sharpen.cl and kernels/common/: edit those.
// Sharpen: a = trunc(clamp(255 amount, 0, 255)); out = min(255, in + M[E][a]) per colour byte,
// alpha kept, M[x][y] = (x y + 127) div 255, E = sat(4 c - n - s - e - w) with a reflect-101 border.
// Above 1080 pixels (landscape width or portrait height) E is computed on the frame scaled to
// 686 x 386 (386 x 686) and scaled back, both with the image library's bit-exact bilinear, which
// this kernel reproduces tap for tap:
//   per axis, f = (val + 0.5) ssize/dsize - 0.5, i = floor(f), weights (256 - c1, c1),
//   c1 = rint((f - i) 256), edge samples outside (the effect's tables down_x, down_y to the small
//   frame and up_x, up_y back); rows in 1/256 first, then
//   (h0 cy0 + h1 cy1 + 32768) >> 16.
#pragma OPENCL FP_CONTRACT OFF

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes in
// the image's lane order.
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4_rte(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

float4 Bytes(read_only image2d_t img, int x, int y) {
    return convert_float4(convert_int4_rte(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f));
}

// The index of a reflect-101 border (dcb|abcd|cba).
int reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
}

// One axis of the bit-exact bilinear resize: the effect computes each output index's first source
// index and weights (c0, c1) in 1/256 once per frame, as the image library does, so every device
// picks the CPU's samples.
int3 ResizeTap(__global const int4* taps, int val) { return taps[val].xyz; }

// Pixel (i, j) of the frame scaled to sw x sh.
int4 Small(read_only image2d_t src, __global const int4* down_x, __global const int4* down_y, int i, int j) {
    const int W = get_image_width(src), H = get_image_height(src);
    const int3 tx = ResizeTap(down_x, i), ty = ResizeTap(down_y, j);
    const int x1 = min(tx.x + 1, W - 1), y1 = min(ty.x + 1, H - 1);
    const int4 h0 = LoadPixel(src, tx.x, ty.x) * tx.y + LoadPixel(src, x1, ty.x) * tx.z;
    const int4 h1 = LoadPixel(src, tx.x, y1) * tx.y + LoadPixel(src, x1, y1) * tx.z;
    return (h0 * ty.y + h1 * ty.z + 32768) >> 16;
}

int4 SmallEdge(read_only image2d_t src, __global const int4* dx, __global const int4* dy, int i, int j, int sw,
               int sh) {
    const int4 c = Small(src, dx, dy, i, j);
    const int4 n = Small(src, dx, dy, i, reflect101(j - 1, sh)), s = Small(src, dx, dy, i, reflect101(j + 1, sh));
    const int4 w = Small(src, dx, dy, reflect101(i - 1, sw), j), e = Small(src, dx, dy, reflect101(i + 1, sw), j);
    return clamp(4 * c - n - s - w - e, 0, 255);
}

int4 FullEdge(read_only image2d_t src, int x, int y, int W, int H) {
    const int4 c = LoadPixel(src, x, y);
    const int4 n = LoadPixel(src, x, reflect101(y - 1, H)), s = LoadPixel(src, x, reflect101(y + 1, H));
    const int4 w = LoadPixel(src, reflect101(x - 1, W), y), e = LoadPixel(src, reflect101(x + 1, W), y);
    return clamp(4 * c - n - s - w - e, 0, 255);
}

__kernel void video_effect_sharpen(read_only image2d_t src, write_only image2d_t dst, float amount,
                                   __global const int4* down_x, __global const int4* down_y,
                                   __global const int4* up_x, __global const int4* up_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    // The 1e-3 guard restores the exact products the float argument lost (0.4f x 255 is 101.99999).
    const int a = (int)clamp(amount * 255.0f + 1e-3f, 0.0f, 255.0f);
    const int4 in = LoadPixel(src, x, y);
    int sw = W, sh = H;
    if (W > H && W > 1080) sw = 686, sh = 386;
    else if (H > W && H > 1080) sw = 386, sh = 686;
    int4 E;
    if (sw == W && sh == H) {
        E = FullEdge(src, x, y, W, H);
    } else {
        const int3 tx = ResizeTap(up_x, x), ty = ResizeTap(up_y, y);
        const int i1 = min(tx.x + 1, sw - 1), j1 = min(ty.x + 1, sh - 1);
        const int4 h0 = SmallEdge(src, down_x, down_y, tx.x, ty.x, sw, sh) * tx.y +
                        SmallEdge(src, down_x, down_y, i1, ty.x, sw, sh) * tx.z;
        const int4 h1 = SmallEdge(src, down_x, down_y, tx.x, j1, sw, sh) * tx.y +
                        SmallEdge(src, down_x, down_y, i1, j1, sw, sh) * tx.z;
        E = (h0 * ty.y + h1 * ty.z + 32768) >> 16;
    }
    const int4 boost = (E * a + 127) / 255;
    StorePixel(dst, x, y, (int4)(min(in.xyz + boost.xyz, 255), in.w));
}
