// The opacity byte of a percentage: trunc(alpha 255 / 100).
int opacity_byte(int percent) { return clamp(percent, 0, 100) * 255 / 100; }

// trunc(size * fraction) in float, held to +-1e9 (NaN gives 0).
int scaled_position(int size, float fraction) {
    float p = (float)size * fraction;
    if (!(p > -1e9f)) return p == p ? -1000000000 : 0;
    if (!(p < 1e9f)) return 1000000000;
    return (int)p;
}
