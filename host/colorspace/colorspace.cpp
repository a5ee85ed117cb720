// The colour-management functions on libplacebo: the host's compact records are copied field by
// field into libplacebo's own (same numbering), and the results copied back.
#include <libplacebo/colorspace.h>

#include <cstring>

#include "colorspace.h"

namespace ColorSpace {
namespace {

::pl_color_repr ToPlacebo(const pl_color_repr& r) {
    ::pl_color_repr p{};
    p.sys = static_cast<::pl_color_system>(r.sys);
    p.levels = static_cast<::pl_color_levels>(r.levels);
    p.alpha = static_cast<::pl_alpha_mode>(r.alpha);
    p.bits.sample_depth = r.bits.sample_depth;
    p.bits.color_depth = r.bits.color_depth;
    p.bits.bit_shift = r.bits.bit_shift;
    p.dovi = nullptr;
    return p;
}

bool InRange(int32_t v, int32_t count) { return v >= 0 && v < count; }

}  // namespace

const pl_matrix3x3 pl_matrix3x3_identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

const pl_color_space pl_color_space_nle = {PL_COLOR_PRIM_BT_709, PL_COLOR_TRC_BT_1886, PL_COLOR_LIGHT_UNKNOWN,
                                           0.0f, 0.0f, 0.0f};

pl_transform3x3 pl_color_repr_decode(pl_color_repr* repr, const pl_color_adjustment* params) {
    pl_transform3x3 out{};
    out.mat = pl_matrix3x3_identity;
    if (!repr) return out;
    // Values outside the enumerations would index libplacebo's tables out of range; they decode
    // as unknown (BT.601 for YCbCr, limited range), as libplacebo treats unknown.
    if (!InRange(repr->sys, PL_COLOR_SYSTEM_COUNT)) repr->sys = PL_COLOR_SYSTEM_UNKNOWN;
    if (!InRange(repr->levels, PL_COLOR_LEVELS_COUNT)) repr->levels = PL_COLOR_LEVELS_UNKNOWN;
    if (!InRange(repr->alpha, PL_ALPHA_MODE_COUNT)) repr->alpha = PL_ALPHA_UNKNOWN;
    // Dolby Vision needs its per-frame metadata, which the host's record does not carry: decode it
    // as the BT.2020 matrix its base layer uses.
    if (repr->sys == PL_COLOR_SYSTEM_DOLBYVISION) repr->sys = PL_COLOR_SYSTEM_BT_2020_NC;
    ::pl_color_repr p = ToPlacebo(*repr);
    ::pl_color_adjustment adj = ::pl_color_adjustment_neutral;
    if (params) std::memcpy(&adj, params, sizeof adj);
    const ::pl_transform3x3 t = ::pl_color_repr_decode(&p, &adj);
    std::memcpy(&out.mat, &t.mat, sizeof out.mat);
    std::memcpy(out.c, t.c, sizeof out.c);
    repr->sys = static_cast<pl_color_system>(p.sys);
    repr->levels = static_cast<pl_color_levels>(p.levels);
    repr->alpha = static_cast<pl_alpha_mode>(p.alpha);
    repr->bits = {p.bits.sample_depth, p.bits.color_depth, p.bits.bit_shift};
    return out;
}

const pl_raw_primaries* pl_raw_primaries_get(pl_color_primaries prim) {
    static_assert(sizeof(pl_raw_primaries) == sizeof(::pl_raw_primaries), "same layout as libplacebo's");
    if (!InRange(prim, PL_COLOR_PRIM_COUNT) || prim == PL_COLOR_PRIM_UNKNOWN) prim = PL_COLOR_PRIM_BT_709;
    return reinterpret_cast<const pl_raw_primaries*>(::pl_raw_primaries_get(static_cast<::pl_color_primaries>(prim)));
}

pl_matrix3x3 pl_get_color_mapping_matrix(const pl_raw_primaries* src, const pl_raw_primaries* dst,
                                         pl_rendering_intent intent) {
    if (!src || !dst) return pl_matrix3x3_identity;
    ::pl_raw_primaries s, d;
    std::memcpy(&s, src, sizeof s);
    std::memcpy(&d, dst, sizeof d);
    const ::pl_matrix3x3 m = ::pl_get_color_mapping_matrix(&s, &d, static_cast<::pl_rendering_intent>(intent));
    pl_matrix3x3 out;
    std::memcpy(&out, &m, sizeof out);
    return out;
}

float pl_color_transfer_nominal_peak(pl_color_transfer trc) {
    if (!InRange(trc, PL_COLOR_TRC_COUNT)) return 1.0f;
    return ::pl_color_transfer_nominal_peak(static_cast<::pl_color_transfer>(trc));
}

bool pl_color_space_equal(const pl_color_space* c1, const pl_color_space* c2) {
    if (!c1 || !c2) return c1 == c2;
    // libplacebo compares primaries, transfer and its HDR metadata; the host record keeps the
    // signal values beside them, and those count too.
    ::pl_color_space a{}, b{};
    a.primaries = static_cast<::pl_color_primaries>(c1->primaries);
    a.transfer = static_cast<::pl_color_transfer>(c1->transfer);
    b.primaries = static_cast<::pl_color_primaries>(c2->primaries);
    b.transfer = static_cast<::pl_color_transfer>(c2->transfer);
    return ::pl_color_space_equal(&a, &b) && c1->light == c2->light && c1->sig_peak == c2->sig_peak &&
           c1->sig_avg == c2->sig_avg && c1->sig_scale == c2->sig_scale;
}

// --- CPU conversions with caller-supplied matrices ---------------------------------------------------

namespace {

bool PlaneOk(const void* data, int pitch, int rowBytes) { return data && rowBytes > 0 && pitch >= rowBytes; }

// The 3x3 products folded into one affine transform on 0..255 codes, in float.
struct Affine {
    float m[3][3];
    float c[3];
};

Affine Fold(const pl_transform3x3& decode, const pl_matrix3x3& mapping) {
    Affine a{};
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            float s = 0;
            for (int j = 0; j < 3; ++j) s += mapping.m[r][j] * decode.mat.m[j][k];
            a.m[r][k] = s / 255.0f;
        }
        float s = 0;
        for (int j = 0; j < 3; ++j) s += mapping.m[r][j] * decode.c[j];
        a.c[r] = s;
    }
    return a;
}

inline uint8_t ToByte(float v) {
    const float s = v * 255.0f + 0.5f;
    return static_cast<uint8_t>(s <= 0.0f ? 0 : s >= 255.0f ? 255 : static_cast<int>(s));
}

// Source sample index of destination index d: nearest pixel centre.
inline int Nearest(int d, int src, int dst) {
    const int s = static_cast<int>((static_cast<int64_t>(2 * d + 1) * src) / (2 * static_cast<int64_t>(dst)));
    return s < src ? s : src - 1;
}

template <typename ChromaAt>
void Convert(const uint8_t* srcY, int srcPitchY, int srcWidth, int srcHeight, uint8_t* dst, int dstPitch,
             int dstWidth, int dstHeight, const Affine& a, ChromaAt chroma) {
    for (int y = 0; y < dstHeight; ++y) {
        const int sy = Nearest(y, srcHeight, dstHeight);
        const uint8_t* yr = srcY + static_cast<size_t>(srcPitchY) * sy;
        uint8_t* d = dst + static_cast<size_t>(dstPitch) * y;
        for (int x = 0; x < dstWidth; ++x) {
            const int sx = Nearest(x, srcWidth, dstWidth);
            uint8_t cb, cr;
            chroma(sx / 2, sy / 2, &cb, &cr);
            const float Y = yr[sx];
            float rgb[3];
            for (int r = 0; r < 3; ++r) rgb[r] = a.m[r][0] * Y + a.m[r][1] * cb + a.m[r][2] * cr + a.c[r];
            d[4 * x + 0] = ToByte(rgb[2]);
            d[4 * x + 1] = ToByte(rgb[1]);
            d[4 * x + 2] = ToByte(rgb[0]);
            d[4 * x + 3] = 255;
        }
    }
}

}  // namespace

int ColorConvertTool::Process_YUV2RGB(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU,
                                      const uint8_t* srcV, int srcPitchV, int srcWidth, int srcHeight, uint8_t* dst,
                                      int dstPitch, int dstWidth, int dstHeight, const pl_transform3x3& decode,
                                      const pl_matrix3x3& mapping) {
    const int cw = (srcWidth + 1) / 2;
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !PlaneOk(srcY, srcPitchY, srcWidth) ||
        !PlaneOk(srcU, srcPitchU, cw) || !PlaneOk(srcV, srcPitchV, cw) || !PlaneOk(dst, dstPitch, dstWidth * 4))
        return 1;
    Convert(srcY, srcPitchY, srcWidth, srcHeight, dst, dstPitch, dstWidth, dstHeight, Fold(decode, mapping),
            [&](int cx, int cy, uint8_t* cb, uint8_t* cr) {
                *cb = srcU[static_cast<size_t>(srcPitchU) * cy + cx];
                *cr = srcV[static_cast<size_t>(srcPitchV) * cy + cx];
            });
    return 0;
}

int ColorConvertTool::Process_NV122RGB(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV,
                                       int srcWidth, int srcHeight, uint8_t* dst, int dstPitch, int dstWidth,
                                       int dstHeight, const pl_transform3x3& decode, const pl_matrix3x3& mapping) {
    const int cw = (srcWidth + 1) / 2;
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !PlaneOk(srcY, srcPitchY, srcWidth) ||
        !PlaneOk(srcUV, srcPitchUV, 2 * cw) || !PlaneOk(dst, dstPitch, dstWidth * 4))
        return 1;
    Convert(srcY, srcPitchY, srcWidth, srcHeight, dst, dstPitch, dstWidth, dstHeight, Fold(decode, mapping),
            [&](int cx, int cy, uint8_t* cb, uint8_t* cr) {
                const uint8_t* p = srcUV + static_cast<size_t>(srcPitchUV) * cy + 2 * cx;
                *cb = p[0];
                *cr = p[1];
            });
    return 0;
}

}  // namespace ColorSpace
