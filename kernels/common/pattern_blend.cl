#include "luma.cl"
#include "hls8.cl"
// The pattern colour (B, G, R) laid over the frame pixel through mask byte m: modes 0 no blend,
// 1 normal, 2 alpha, 3..14 the blend table T, 15..18 HLS (15..17 with a gray colour desaturate
// toward the luma instead). `two_step` mixes the normal mode like the table modes.
int4 blend_pattern(int4 p, int m, int3 col, int k0, int mode, int two_step, __global const uchar* T) {
    int x[3] = {p.x, p.y, p.z};
    int y[3] = {col.x, col.y, col.z};
    int o[3];
    const int gray = col.x == col.y && col.y == col.z;
    if (mode == 0 || (mode == 1 && !two_step) || mode == 2) {
        const int a = mul255(m, k0);
        for (int c = 0; c < 3; ++c)
            o[c] = mode == 0 ? mul255(y[c], a) : (mode == 2 ? mul255(x[c], a) : mul255(x[c], 255 - a) + mul255(y[c], a));
    } else if (mode <= 14) {
        for (int c = 0; c < 3; ++c) {
            const int bl = mode >= 3 ? T[x[c] * 256 + y[c]] : y[c];
            const int u = mul255(bl, m) + mul255(x[c], 255 - m);
            o[c] = mul255(u, k0) + mul255(x[c], 255 - k0);
        }
    } else if (gray && mode <= 17) {
        const int Y = luma(p.x, p.y, p.z);
        for (int c = 0; c < 3; ++c) {
            const int g = mul255(x[c], 255 - k0) + mul255(Y, k0);
            o[c] = mul255(g, m) + mul255(x[c], 255 - m);
        }
    } else {
        const int3 P = hls_replace(p, bgr_to_hls8(col.x, col.y, col.z), mode - 15);
        const int q[3] = {P.x, P.y, P.z};
        for (int c = 0; c < 3; ++c) {
            const int u = mul255(q[c], m) + mul255(x[c], 255 - m);
            o[c] = mul255(u, k0) + mul255(x[c], 255 - k0);
        }
    }
    return (int4)(o[0], o[1], o[2], p.w);
}
