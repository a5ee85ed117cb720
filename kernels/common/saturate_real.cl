#include "real.cl"
#include "saturate.cl"
// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_real(real v) { return v >= (real)255 ? 255 : (v > (real)0 ? (int)v : 0); }
int sat_rint(real v) { return sat_real(rint(v)); }
