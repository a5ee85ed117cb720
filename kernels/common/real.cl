// `real` is the precision of the CPU bodies' double arithmetic where the device has it.
#ifdef cl_khr_fp64
#pragma OPENCL EXTENSION cl_khr_fp64 : enable
typedef double real;
#else
typedef float real;
#endif
