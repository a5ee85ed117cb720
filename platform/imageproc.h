#pragma once
// The host's image-processing library: an initialisation and a release, nothing else is used.
#include <cstdint>

using ImageProcHandle = uintptr_t;

// Writes a handle into *handle; returns 1 on success.
extern "C" int ImageInitEx(ImageProcHandle* handle);
extern "C" void ImageRelease(ImageProcHandle handle);
