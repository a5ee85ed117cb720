#include "imageproc.h"

#include <atomic>

// The handle only has to be non-zero and distinct per initialisation; nothing else reads it.
extern "C" int ImageInitEx(ImageProcHandle* handle) {
    static std::atomic<ImageProcHandle> next{1};
    if (!handle) return 0;
    *handle = next.fetch_add(1);
    return 1;
}

extern "C" void ImageRelease(ImageProcHandle) {}
