// Scaling and quarter turns of planar and semi-planar YUV frames, on libyuv.
#include <cstdint>
#include <vector>

#include <libyuv.h>

#include "yuv.h"

namespace {

// True when a plane of `rows` rows of `rowBytes` bytes can be addressed through (data, pitch).
bool PlaneOk(const void* data, int pitch, int rowBytes) { return data && pitch >= rowBytes && rowBytes > 0; }

// 16-bit planes go to libyuv as uint16_t*, with pitches counted in samples.
bool Plane16Ok(const void* data, int pitch, int samples) {
    return PlaneOk(data, pitch, samples * 2) && pitch % 2 == 0 && reinterpret_cast<uintptr_t>(data) % 2 == 0;
}

bool FilterOk(int filter) { return filter >= 0 && filter <= 3; }

libyuv::FilterMode Filter(int filter) { return static_cast<libyuv::FilterMode>(filter); }

int Half(int n) { return (n + 1) / 2; }

// One chroma component out of interleaved pairs, or back into them; pitches in samples.
template <typename T>
void SplitComponent(const T* uv, int pitch, int width, int height, int component, T* out) {
    for (int y = 0; y < height; ++y) {
        const T* row = uv + static_cast<size_t>(pitch) * y;
        T* o = out + static_cast<size_t>(width) * y;
        for (int x = 0; x < width; ++x) o[x] = row[2 * x + component];
    }
}

template <typename T>
void MergeComponent(const T* in, int width, int height, int component, T* uv, int pitch) {
    for (int y = 0; y < height; ++y) {
        const T* i = in + static_cast<size_t>(width) * y;
        T* row = uv + static_cast<size_t>(pitch) * y;
        for (int x = 0; x < width; ++x) row[2 * x + component] = i[x];
    }
}

inline void ScaleOne(const uint8_t* s, int sp, int sw, int sh, uint8_t* d, int dp, int dw, int dh,
                     libyuv::FilterMode f) {
    libyuv::ScalePlane(s, sp, sw, sh, d, dp, dw, dh, f);
}
inline void ScaleOne(const uint16_t* s, int sp, int sw, int sh, uint16_t* d, int dp, int dw, int dh,
                     libyuv::FilterMode f) {
    libyuv::ScalePlane_16(s, sp, sw, sh, d, dp, dw, dh, f);
}

// Interleaved pairs scaled one component at a time through scratch planes that stay with the
// thread. libyuv's own pair scalers are not used: the 16-bit one handles only a few ratios and
// the 8-bit one picks the wrong pairs when halving wide rows without filtering; its plane scaler
// is right for both, and scales chroma exactly as it scales luma.
template <typename T>
void ScalePairs(const T* src, int srcPitch, int srcWidth, int srcHeight, T* dst, int dstPitch, int dstWidth,
                int dstHeight, libyuv::FilterMode filter) {
    thread_local std::vector<T> in, out;
    in.resize(static_cast<size_t>(srcWidth) * srcHeight);
    out.resize(static_cast<size_t>(dstWidth) * dstHeight);
    for (int c = 0; c < 2; ++c) {
        SplitComponent(src, srcPitch, srcWidth, srcHeight, c, in.data());
        ScaleOne(in.data(), srcWidth, srcWidth, srcHeight, out.data(), dstWidth, dstWidth, dstHeight, filter);
        MergeComponent(out.data(), dstWidth, dstHeight, c, dst, dstPitch);
    }
}

// Quarter turn or mirror of one plane of `bytes`-byte samples; (width, height) are the source's.
template <typename T>
void TurnPlane(const uint8_t* src, int srcPitch, uint8_t* dst, int dstPitch, int width, int height, int type) {
    auto in = [&](int x, int y) { return reinterpret_cast<const T*>(src + static_cast<size_t>(srcPitch) * y)[x]; };
    const bool swap = type == 0 || type == 2;
    const int outW = swap ? height : width, outH = swap ? width : height;
    for (int y = 0; y < outH; ++y) {
        T* row = reinterpret_cast<T*>(dst + static_cast<size_t>(dstPitch) * y);
        for (int x = 0; x < outW; ++x) {
            switch (type) {
            case 1: row[x] = in(width - 1 - x, height - 1 - y); break;
            case 2: row[x] = in(width - 1 - y, x); break;
            case 3: row[x] = in(width - 1 - x, y); break;
            case 4: row[x] = in(x, height - 1 - y); break;
            default: row[x] = in(y, height - 1 - x); break;  // 90 degrees clockwise
            }
        }
    }
}

libyuv::RotationMode Rotation(int type) {
    switch (type) {
    case 1: return libyuv::kRotate180;
    case 2: return libyuv::kRotate270;
    default: return libyuv::kRotate90;
    }
}

}  // namespace

int imageYV12Resize(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU, const uint8_t* srcV,
                    int srcPitchV, int srcWidth, int srcHeight, uint8_t* dstY, int dstPitchY, uint8_t* dstU,
                    int dstPitchU, uint8_t* dstV, int dstPitchV, int dstWidth, int dstHeight, int filter) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !FilterOk(filter)) return 1;
    if (!PlaneOk(srcY, srcPitchY, srcWidth) || !PlaneOk(srcU, srcPitchU, Half(srcWidth)) ||
        !PlaneOk(srcV, srcPitchV, Half(srcWidth)) || !PlaneOk(dstY, dstPitchY, dstWidth) ||
        !PlaneOk(dstU, dstPitchU, Half(dstWidth)) || !PlaneOk(dstV, dstPitchV, Half(dstWidth)))
        return 1;
    return libyuv::I420Scale(srcY, srcPitchY, srcU, srcPitchU, srcV, srcPitchV, srcWidth, srcHeight, dstY, dstPitchY,
                             dstU, dstPitchU, dstV, dstPitchV, dstWidth, dstHeight, Filter(filter)) == 0
               ? 0
               : 1;
}

int imageNV12Resize(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV, int srcWidth,
                    int srcHeight, uint8_t* dstY, int dstPitchY, uint8_t* dstUV, int dstPitchUV, int dstWidth,
                    int dstHeight, int filter, int sampleBytes) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !FilterOk(filter)) return 1;
    const int scw = Half(srcWidth), sch = Half(srcHeight), dcw = Half(dstWidth), dch = Half(dstHeight);
    if (sampleBytes == 1) {
        if (!PlaneOk(srcY, srcPitchY, srcWidth) || !PlaneOk(srcUV, srcPitchUV, scw * 2) ||
            !PlaneOk(dstY, dstPitchY, dstWidth) || !PlaneOk(dstUV, dstPitchUV, dcw * 2))
            return 1;
        libyuv::ScalePlane(srcY, srcPitchY, srcWidth, srcHeight, dstY, dstPitchY, dstWidth, dstHeight, Filter(filter));
        ScalePairs(srcUV, srcPitchUV, scw, sch, dstUV, dstPitchUV, dcw, dch, Filter(filter));
        return 0;
    }
    if (sampleBytes != 2) return 1;
    if (!Plane16Ok(srcY, srcPitchY, srcWidth) || !Plane16Ok(srcUV, srcPitchUV, scw * 2) ||
        !Plane16Ok(dstY, dstPitchY, dstWidth) || !Plane16Ok(dstUV, dstPitchUV, dcw * 2))
        return 1;
    libyuv::ScalePlane_16(reinterpret_cast<const uint16_t*>(srcY), srcPitchY / 2, srcWidth, srcHeight,
                          reinterpret_cast<uint16_t*>(dstY), dstPitchY / 2, dstWidth, dstHeight, Filter(filter));
    ScalePairs(reinterpret_cast<const uint16_t*>(srcUV), srcPitchUV / 2, scw, sch, reinterpret_cast<uint16_t*>(dstUV),
               dstPitchUV / 2, dcw, dch, Filter(filter));
    return 0;
}

int ResizeOnlyOnePlane(const uint8_t* src, int srcPitch, int srcWidth, int srcHeight, uint8_t* dst, int dstPitch,
                       int dstWidth, int dstHeight, int filter) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !FilterOk(filter)) return 1;
    if (!PlaneOk(src, srcPitch, srcWidth) || !PlaneOk(dst, dstPitch, dstWidth)) return 1;
    libyuv::ScalePlane(src, srcPitch, srcWidth, srcHeight, dst, dstPitch, dstWidth, dstHeight, Filter(filter));
    return 0;
}

int ResizeUVPlane(const uint8_t* src, int srcPitch, int srcWidth, int srcHeight, uint8_t* dst, int dstPitch,
                  int dstWidth, int dstHeight, int filter) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !FilterOk(filter)) return 1;
    if (!PlaneOk(src, srcPitch, srcWidth * 2) || !PlaneOk(dst, dstPitch, dstWidth * 2)) return 1;
    ScalePairs(src, srcPitch, srcWidth, srcHeight, dst, dstPitch, dstWidth, dstHeight, Filter(filter));
    return 0;
}

int imageYV12Rotate(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU, const uint8_t* srcV,
                    int srcPitchV, uint8_t* dstY, int dstPitchY, uint8_t* dstU, int dstPitchU, uint8_t* dstV,
                    int dstPitchV, int width, int height, int rotateType, int sampleBytes) {
    if (width < 1 || height < 1 || (sampleBytes != 1 && sampleBytes != 2)) return 1;
    if (rotateType < 0 || rotateType > 4) rotateType = 0;
    const bool swap = rotateType == 0 || rotateType == 2;
    const int cw = Half(width), ch = Half(height);
    const int outW = swap ? height : width, outCW = swap ? ch : cw;
    const int b = sampleBytes;
    if (!PlaneOk(srcY, srcPitchY, width * b) || !PlaneOk(srcU, srcPitchU, cw * b) || !PlaneOk(srcV, srcPitchV, cw * b) ||
        !PlaneOk(dstY, dstPitchY, outW * b) || !PlaneOk(dstU, dstPitchU, outCW * b) ||
        !PlaneOk(dstV, dstPitchV, outCW * b))
        return 1;

    if (sampleBytes == 1) {
        if (rotateType <= 2)
            return libyuv::I420Rotate(srcY, srcPitchY, srcU, srcPitchU, srcV, srcPitchV, dstY, dstPitchY, dstU,
                                      dstPitchU, dstV, dstPitchV, width, height, Rotation(rotateType)) == 0
                       ? 0
                       : 1;
        if (rotateType == 3)
            return libyuv::I420Mirror(srcY, srcPitchY, srcU, srcPitchU, srcV, srcPitchV, dstY, dstPitchY, dstU,
                                      dstPitchU, dstV, dstPitchV, width, height) == 0
                       ? 0
                       : 1;
        // libyuv reads a negative height as "bottom row first": a copy that turns the frame over.
        return libyuv::I420Copy(srcY, srcPitchY, srcU, srcPitchU, srcV, srcPitchV, dstY, dstPitchY, dstU, dstPitchU,
                                dstV, dstPitchV, width, -height) == 0
                   ? 0
                   : 1;
    }
    if (!Plane16Ok(srcY, srcPitchY, width) || !Plane16Ok(srcU, srcPitchU, cw) || !Plane16Ok(srcV, srcPitchV, cw) ||
        !Plane16Ok(dstY, dstPitchY, outW) || !Plane16Ok(dstU, dstPitchU, outCW) || !Plane16Ok(dstV, dstPitchV, outCW))
        return 1;
    TurnPlane<uint16_t>(srcY, srcPitchY, dstY, dstPitchY, width, height, rotateType);
    TurnPlane<uint16_t>(srcU, srcPitchU, dstU, dstPitchU, cw, ch, rotateType);
    TurnPlane<uint16_t>(srcV, srcPitchV, dstV, dstPitchV, cw, ch, rotateType);
    return 0;
}
