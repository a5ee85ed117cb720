// The flip effects and the visual process share one source for these kernels.
#include "flip.cl"
