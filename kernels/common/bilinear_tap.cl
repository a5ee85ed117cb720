#include "real.cl"
// One axis of the bit-exact bilinear resize from ssize to dsize samples: the first source index
// and the weights (c0, c1) in 1/256, c1 = rint(fraction x 256); outside the source the edge sample
// with weight 256. On a device without doubles a weight may differ by 1/256 at
// rounding ties.
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
