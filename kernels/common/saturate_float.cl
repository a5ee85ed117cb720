#include "saturate.cl"
// rint (ties to even), then clamped; NaN gives 0.
int sat_rint(float v) {
    float r = rint(v);
    return r >= 255.0f ? 255 : (r > 0.0f ? (int)r : 0);
}
