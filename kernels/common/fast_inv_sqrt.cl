float fast_inv_sqrt(float d) {
    const float y = as_float(1597463174 - (as_int(d) >> 1));
    return y * (1.5f - 0.5f * d * y * y);
}
float distance_to(float dx, float dy) { return 1.0f / fast_inv_sqrt(dx * dx + dy * dy); }
