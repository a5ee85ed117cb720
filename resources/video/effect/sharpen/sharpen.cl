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

// Small-frame entries a work-group's tile may span per side. A 16 x 16 group over a 1080p frame
// reads about 8 x 8 of the 686 x 386 edge map; a group whose span is larger works item by item.
#define SHARPEN_TILE 32

__kernel void video_effect_sharpen(read_only image2d_t src, write_only image2d_t dst, float amount,
                                   __global const int4* down_x, __global const int4* down_y,
                                   __global const int4* up_x, __global const int4* up_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    // The 1e-3 guard restores the exact products the float argument lost (0.4f x 255 is 101.99999).
    const int a = (int)clamp(amount * 255.0f + 1e-3f, 0.0f, 255.0f);
    int sw = W, sh = H;
    if (W > H && W > 1080) sw = 686, sh = 386;
    else if (H > W && H > 1080) sw = 386, sh = 686;
    if (sw == W && sh == H) {
        if (x >= W || y >= H) return;
        const int4 in = LoadPixel(src, x, y);
        const int4 boost = (FullEdge(src, x, y, W, H) * a + 127) / 255;
        StorePixel(dst, x, y, (int4)(min(in.xyz + boost.xyz, 255), in.w));
        return;
    }
    // The group's outputs read the small edge map over [i0, i1] x [j0, j1] (the taps grow with x
    // and y); each edge entry needs the small frame one entry further on every side. The group
    // scales that block of the small frame once into local memory and takes the Laplacian there,
    // instead of every output recomputing its four edge entries from 80 input pixels.
    __local uchar4 smallTile[SHARPEN_TILE * SHARPEN_TILE];
    __local uchar4 edgeTile[SHARPEN_TILE * SHARPEN_TILE];
    const int lw = get_local_size(0), lh = get_local_size(1);
    const int gx0 = min((int)get_group_id(0) * lw, W - 1), gy0 = min((int)get_group_id(1) * lh, H - 1);
    const int gx1 = min(gx0 + lw - 1, W - 1), gy1 = min(gy0 + lh - 1, H - 1);
    const int i0 = ResizeTap(up_x, gx0).x, i1 = min(ResizeTap(up_x, gx1).x + 1, sw - 1);
    const int j0 = ResizeTap(up_y, gy0).x, j1 = min(ResizeTap(up_y, gy1).x + 1, sh - 1);
    const int ew = i1 - i0 + 1, eh = j1 - j0 + 1, tw = ew + 2, th = eh + 2;
    const bool tiled = tw <= SHARPEN_TILE && th <= SHARPEN_TILE;
    if (tiled) {
        const int lid = get_local_id(1) * lw + get_local_id(0), n = lw * lh;
        for (int k = lid; k < tw * th; k += n) {
            const int i = reflect101(i0 - 1 + k % tw, sw), j = reflect101(j0 - 1 + k / tw, sh);
            smallTile[k] = convert_uchar4(Small(src, down_x, down_y, i, j));
        }
        barrier(CLK_LOCAL_MEM_FENCE);
        for (int k = lid; k < ew * eh; k += n) {
            const int c = (k / ew + 1) * tw + k % ew + 1;
            const int4 e = 4 * convert_int4(smallTile[c]) - convert_int4(smallTile[c - tw]) -
                           convert_int4(smallTile[c + tw]) - convert_int4(smallTile[c - 1]) -
                           convert_int4(smallTile[c + 1]);
            edgeTile[k] = convert_uchar4(clamp(e, 0, 255));
        }
        barrier(CLK_LOCAL_MEM_FENCE);
    }
    if (x >= W || y >= H) return;
    const int4 in = LoadPixel(src, x, y);
    const int3 tx = ResizeTap(up_x, x), ty = ResizeTap(up_y, y);
    const int i1x = min(tx.x + 1, sw - 1), j1y = min(ty.x + 1, sh - 1);
    int4 e00, e10, e01, e11;
    if (tiled) {
        e00 = convert_int4(edgeTile[(ty.x - j0) * ew + tx.x - i0]);
        e10 = convert_int4(edgeTile[(ty.x - j0) * ew + i1x - i0]);
        e01 = convert_int4(edgeTile[(j1y - j0) * ew + tx.x - i0]);
        e11 = convert_int4(edgeTile[(j1y - j0) * ew + i1x - i0]);
    } else {
        e00 = SmallEdge(src, down_x, down_y, tx.x, ty.x, sw, sh);
        e10 = SmallEdge(src, down_x, down_y, i1x, ty.x, sw, sh);
        e01 = SmallEdge(src, down_x, down_y, tx.x, j1y, sw, sh);
        e11 = SmallEdge(src, down_x, down_y, i1x, j1y, sw, sh);
    }
    const int4 h0 = e00 * tx.y + e10 * tx.z, h1 = e01 * tx.y + e11 * tx.z;
    const int4 E = (h0 * ty.y + h1 * ty.z + 32768) >> 16;
    const int4 boost = (E * a + 127) / 255;
    StorePixel(dst, x, y, (int4)(min(in.xyz + boost.xyz, 255), in.w));
}
