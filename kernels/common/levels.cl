#include "saturate_float.cl"
// k = trunc(percent 0.01 255) held to a byte, in integers: the same byte for every percentage.
int mix_weight(int percent) { return percent >= 100 ? 255 : (percent > 0 ? percent * 255 / 100 : 0); }
// M[t][k] + M[c][255 - k]: the mapped byte t mixed with the original c.
int mix(int t, int c, int k) { return mul255(t, k) + mul255(c, 255 - k); }
// 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) from lo to hi, 255 from hi on. The quotient is
// never within 1/510 of a half but at one, so single precision rounds it as the CPU body does.
int stretch(int v, int lo, int hi) {
    if (v < lo) return 0;
    if (v < hi) return sat_rint((float)((v - lo) * 255) / (float)(hi - lo));
    return 255;
}
