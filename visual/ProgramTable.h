#pragma once
// The visual-processing OpenCL programs (visual/cl, compiled into the library as text) and the
// algorithm names they are registered under.
#include "gpu/GpuDispatch.h"

namespace orvex {

// One GPUKernelData per program, entered under the name of each of its kernels; a program's
// names share its entry, so registering one name registers them all.
AlgorithmMap BuildOpenCLProgramTable();
// The GLSL programs of visual/glsl, one algorithm per program, for the OpenGL platform.
AlgorithmMap BuildOpenGLProgramTable();

}  // namespace orvex
