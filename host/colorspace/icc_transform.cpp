// ICC profile application on lcms2: pixels encoded in the profile's space are converted in place
// to sRGB, the working space of the host's pictures; alpha is copied.
#include <lcms2.h>

#include "colorspace.h"

namespace ColorSpace {

bool pl_icc_profile_transform(const pl_icc_profile* profile, uint8_t* pixels, int rows, int pixelsPerRow) {
    if (!profile || !profile->data || profile->len == 0 || !pixels || rows <= 0 || pixelsPerRow <= 0) return false;
    cmsHPROFILE in = cmsOpenProfileFromMem(profile->data, static_cast<cmsUInt32Number>(profile->len));
    if (!in) return false;
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = out ? cmsCreateTransform(in, TYPE_BGRA_8, out, TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                               cmsFLAGS_COPY_ALPHA)
                          : nullptr;
    if (t) {
        // Row by row, so the pixel count of one call never overflows the library's 32-bit count.
        for (int y = 0; y < rows; ++y) {
            uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(pixelsPerRow) * 4;
            cmsDoTransform(t, row, row, static_cast<cmsUInt32Number>(pixelsPerRow));
        }
        cmsDeleteTransform(t);
    }
    if (out) cmsCloseProfile(out);
    cmsCloseProfile(in);
    return t != nullptr;
}

}  // namespace ColorSpace
