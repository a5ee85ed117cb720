#include "saturate_real.cl"
// k = trunc(percent 0.01 255) held to a byte.
int mix_weight(int percent) {
    real k = (real)percent * (real)0.01 * (real)255;
    return k >= (real)255 ? 255 : (k > (real)0 ? (int)k : 0);
}
// M[t][k] + M[c][255 - k]: the mapped byte t mixed with the original c.
int mix(int t, int c, int k) { return mul255(t, k) + mul255(c, 255 - k); }
// 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) from lo to hi, 255 from hi on.
int stretch(int v, int lo, int hi) {
    if (v < lo) return 0;
    if (v < hi) return sat_rint((real)((v - lo) * 255) / (real)(hi - lo));
    return 255;
}
