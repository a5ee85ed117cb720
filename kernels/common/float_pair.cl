// Float pairs: a value held as hi + lo, two floats, for the few positions that single precision
// alone would round differently from the CPU bodies (about 48 bits against its 24). Products and
// sums carry their rounding error exactly (fma and two-sum), so a pair is right to a few units of
// 2^-48 of its size and exact wherever the value is a short binary fraction.
typedef float2 fpair;

fpair fp_fast_sum(float a, float b) {
    const float s = a + b;
    return (fpair)(s, b - (s - a));
}
fpair fp_sum(float a, float b) {
    const float s = a + b, bb = s - a;
    return (fpair)(s, (a - (s - bb)) + (b - bb));
}
fpair fp_add(fpair a, fpair b) {
    fpair s = fp_sum(a.x, b.x);
    const fpair t = fp_sum(a.y, b.y);
    s = fp_fast_sum(s.x, s.y + t.x);
    return fp_fast_sum(s.x, s.y + t.y);
}
fpair fp_mul(fpair a, fpair b) {
    const float p = a.x * b.x;
    return fp_fast_sum(p, fma(a.x, b.x, -p) + (a.x * b.y + a.y * b.x));
}
fpair fp_div(fpair a, fpair b) {
    const float q1 = a.x / b.x;
    fpair r = fp_add(a, -fp_mul(b, (fpair)(q1, 0.0f)));
    const float q2 = r.x / b.x;
    r = fp_add(r, -fp_mul(b, (fpair)(q2, 0.0f)));
    const float q3 = r.x / b.x;
    return fp_add(fp_fast_sum(q1, q2), (fpair)(q3, 0.0f));
}
fpair fp_int(int v) { return fp_sum((float)v, (float)(v - (int)(float)v)); }
// The nearest whole number, halves to even, held to an int.
int fp_rint_sat(fpair v) {
    if (!(v.x == v.x)) return 0;
    if (v.x >= 2147483647.0f) return INT_MAX;
    if (v.x <= -2147483648.0f) return INT_MIN;
    const float f0 = floor(v.x);
    float f = (v.x - f0) + v.y;  // v.x - f0 is exact
    long r = (long)f0;
    if (f >= 1.0f) r += 1, f -= 1.0f;
    if (f < 0.0f) r -= 1, f += 1.0f;
    if (f > 0.5f || (f == 0.5f && (r & 1))) r += 1;
    return (int)clamp(r, (long)INT_MIN, (long)INT_MAX);
}
