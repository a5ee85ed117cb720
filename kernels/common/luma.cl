#include "real.cl"
// The integer luma: trunc(0.114 B) + trunc(0.587 G) + trunc(0.299 R).
int luma(int b, int g, int r) {
    return (int)((real)b * (real)0.114) + (int)((real)g * (real)0.587) + (int)((real)r * (real)0.299);
}
