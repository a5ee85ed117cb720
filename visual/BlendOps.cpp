// Blend, CenterPointAlignBlend, BlendMask, BlendMask2, solidColorBlend, overlay and Motion, on host
// frames and on OpenCL textures.
#include "visual/BlendOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "corelog.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/RowBands.h"
#include "visual/AffineWarp.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/MixCpu.h"
#include "visual/VisualProcess.h"
#include "visual/BlendFormula.h"

namespace orvex {

// --- the four-channel blend, as the overlay kernel computes it ---------------------------------------

namespace {

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

}  // namespace

void BlendFourChannel(const float* bgIn, const float* ovl, float matt, float tempMatt, int mode, float opacity,
                      int ovlAlphaPreMul, float* out) {
    float bg[4] = {bgIn[0], bgIn[1], bgIn[2], bgIn[3]};
    float o[4];
    for (int c = 0; c < 4; ++c) o[c] = ovl[c] * tempMatt;
    const float t = opacity * matt, it = 1.0f - t;
    const float t2 = ovlAlphaPreMul == 0 ? opacity * matt : opacity * tempMatt;
    if (mode == 0) {
        out[3] = o[3] + (1.0f - o[3]) * bg[3];
        for (int c = 0; c < 3; ++c) out[c] = Clamp01(Clamp01(o[c]) * t2 + it * bg[c]);
        return;
    }
    if (mode >= 1 && mode <= 17) {
        float f[4];
        for (int c = 0; c < 3; ++c) f[c] = BlendModeFormula(mode, bg[c], o[c]);
        f[3] = 1.0f;
        switch (mode) {
        case 3:
            if (std::abs(matt) < 1e-9f) std::memcpy(f, bg, sizeof f);
            break;
        case 8: case 9: case 10: case 12: case 13: case 14: f[3] = BlendModeFormula(mode, bg[3], o[3]); break;
        case 11:
            if (o[3] == 0.0f) {
                std::memcpy(f, bg, sizeof f);
            } else {
                for (int c = 0; c < 3; ++c) f[c] = bg[c] + (f[c] - bg[c]) * t;
                f[3] = t + bg[3] * it;
            }
            break;
        default: break;
        }
        for (int c = 0; c < 4; ++c) out[c] = f[c] * t + it * bg[c];
        return;
    }
    switch (mode) {
    case 19: for (int c = 0; c < 4; ++c) out[c] = Clamp01(bg[c] * o[3]); return;
    case 20: for (int c = 0; c < 4; ++c) out[c] = Clamp01(bg[c] * (1.0f - o[3])); return;
    case 21: for (int c = 0; c < 4; ++c) out[c] = Clamp01(o[c] * bg[3]); return;
    case 22: std::memcpy(out, tempMatt > 0.0001f ? o : bg, 4 * sizeof(float)); return;
    default: break;
    }
    for (int c = 0; c < 3; ++c) bg[c] *= bg[3];
    const float a = Clamp01(o[3]) + (1.0f - Clamp01(o[3])) * bg[3];
    out[3] = a;
    for (int c = 0; c < 3; ++c) out[c] = a > 0.0f ? Clamp01((Clamp01(o[c]) * t2 + it * bg[c]) / a) : 0.0f;
}

namespace {

bool HostBGRA8(const EffectFrame& f, FrameLayout* l) {
    return (f.pixel_fmt == BGRA32 || f.pixel_fmt == BGRA32_ALT) && LayoutOf(f, l) && HostPlanesOk(f, *l);
}

bool BGRATexture(const EffectFrame& f, TextureInfo* info) {
    return f.texture && QueryTexture(f.texture, info) && info->colorSpace == zrp::kColorSpaceBGRA;
}

uint8_t OpacityByte(double opacity) {
    return static_cast<uint8_t>(std::clamp(std::isfinite(opacity) ? opacity : 0.0, 0.0, 1.0) * 255.0);
}

bool Finite(fxRectf r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// The pixels whose centres lie in [from, from + span) along one axis, clipped to [0, size).
cv::Range CentresIn(double from, double span, int size) {
    const int a = std::clamp(static_cast<int>(std::ceil(std::clamp(from - 0.5, -1e9, 1e9))), 0, size);
    const int b = std::clamp(static_cast<int>(std::ceil(std::clamp(from + span - 0.5, -1e9, 1e9))), 0, size);
    return cv::Range(a, std::max(a, b));
}

// A region of a picture in pixels from its fractions: x, y below 1e-5 in magnitude are 0, and a
// region running past the right or bottom edge ends at the edge.
cv::Rect2d BlendRegion(fxRectf r, int w, int h) {
    const double x = std::abs(r.x) < 1e-5 ? 0.0 : static_cast<double>(r.x) * w;
    const double y = std::abs(r.y) < 1e-5 ? 0.0 : static_cast<double>(r.y) * h;
    double rw = static_cast<double>(r.width) * w, rh = static_cast<double>(r.height) * h;
    if (x + rw > w) rw = w - x;
    if (y + rh > h) rh = h - y;
    return cv::Rect2d(x, y, rw, rh);
}

void PutRect(KernelArgs& args, const char* name, const cv::Rect2d& r) {
    const fxRectf f{static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.width),
                    static_cast<float>(r.height)};
    args.Block(name, &f, sizeof f);
}

bool SetFloat2(KernelArgs& args, const char* name, double x, double y) {
    const float v[2] = {static_cast<float>(x), static_cast<float>(y)};
    return args.params() && args.params()->SetParamValue(name, zrp::kParamFloat2, v, sizeof v) == 0;
}

}  // namespace

// --- Blend ----------------------------------------------------------------------------------------------

ResultCode VisualProcess::Blend(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                                fxRectf backgroundRoi, EffectFrame& out, int32_t sampler, int32_t blendMode,
                                double opacity, int32_t ovlAlphaPreMul) {
    constexpr const char* kTag = "orvex:Blend";
    if (!IsBGRALike(overlay.pixel_fmt) || !IsBGRALike(background.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return WrongFormat;
    }
    if (!Finite(overlayRoi) || !Finite(backgroundRoi)) {
        ORVEX_LOG(6, kTag, "roi is not a finite rectangle!!");
        return InvalidArgument;
    }
    // Sizes from the textures on the GPU, from the frames on the CPU.
    TextureInfo to, ti, tb;
    const bool gpu = out.texture != nullptr;
    if (gpu && (!BGRATexture(out, &to) || !BGRATexture(overlay, &ti) || !BGRATexture(background, &tb))) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    const int Wo = gpu ? ti.width : static_cast<int>(overlay.width[0]);
    const int Ho = gpu ? ti.height : static_cast<int>(overlay.height[0]);
    const int Wb = gpu ? tb.width : static_cast<int>(background.width[0]);
    const int Hb = gpu ? tb.height : static_cast<int>(background.height[0]);
    const cv::Rect2d ro = BlendRegion(overlayRoi, Wo, Ho), rb = BlendRegion(backgroundRoi, Wb, Hb);
    if (!(ro.width > 0 && ro.height > 0 && rb.width > 0 && rb.height > 0)) {
        ORVEX_LOG(6, kTag, "roi is empty!!");
        return InvalidArgument;
    }
    if (Wb != (gpu ? to.width : static_cast<int>(out.width[0])) || Hb != (gpu ? to.height : static_cast<int>(out.height[0]))) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    if (gpu) {
        KernelArgs args;
        PutRect(args, "overlay_roi", ro);
        PutRect(args, "background_roi", rb);
        args.Int("sampertype", sampler).Int("blendMode", blendMode);
        args.Float("kRender_Alpha", static_cast<float>(opacity)).Int("ovlAlphaPreMul", ovlAlphaPreMul);
        return RunVisualKernel(kTag, "MAIN1", args, to, {overlay.texture, background.texture}, {out.texture});
    }
    FrameLayout lo, lb, ld;
    if (!HostBGRA8(overlay, &lo) || !HostBGRA8(background, &lb) || !HostBGRA8(out, &ld) ||
        overlay.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat ovl = PlaneMat(overlay, 0, lo, 4), bg = PlaneMat(background, 0, lb, 4);
        cv::Mat dst = PlaneMat(out, 0, ld, 4);
        // The overlay region scaled onto the background region of a transparent canvas, then the
        // whole canvas blended: the modes that cut the background act outside the region too, as
        // on the GPU.
        blendScratch_.create(bg.size(), CV_8UC4);
        blendScratch_.setTo(cv::Scalar::all(0));
        const cv::Range cols = CentresIn(rb.x, rb.width, Wb), rows = CentresIn(rb.y, rb.height, Hb);
        if (!cols.empty() && !rows.empty()) {
            cv::Mat part = blendScratch_(rows, cols);
            const double kx = rb.width / ro.width, ky = rb.height / ro.height;
            const cv::Matx23d M(kx, 0, rb.x - ro.x * kx - cols.start, 0, ky, rb.y - ro.y * ky - rows.start);
            AffineWarp(ovl, part, M, 1);
        }
        const uint8_t op = OpacityByte(opacity);
        const int stripes = BandsFor(static_cast<int64_t>(dst.total()));
        if (bg.data == dst.data) BlendLayers(blendScratch_, dst, blendMode, op, ovlAlphaPreMul != 0, stripes);
        else BlendLayersAlone(blendScratch_, bg, dst, blendMode, op, ovlAlphaPreMul != 0, stripes);
        return Ok;
    });
}

// --- CenterPointAlignBlend ------------------------------------------------------------------------------

namespace {

ResultCode CenterPointAlignYV12Blend(const EffectFrame& overlay, fxRectf rect, const EffectFrame& background,
                                     double bx, double by, EffectFrame& out, float opacity) {
    constexpr const char* kTag = "orvex:CenterPointAlignYV12Blend";
    FrameLayout lo, lb, ld;
    if (overlay.pixel_fmt != YV12 || background.pixel_fmt != YV12 || !LayoutOf(overlay, &lo) ||
        !LayoutOf(background, &lb) || !LayoutOf(out, &ld) || !HostPlanesOk(overlay, lo) ||
        !HostPlanesOk(background, lb) || !HostPlanesOk(out, ld) || background.width[0] != out.width[0] ||
        background.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    // Whole samples: a rectangle on even luma positions keeps chroma aligned with luma.
    auto even = [](double v) { return static_cast<int>(std::floor(std::clamp(v, -1e9, 1e9) / 2.0 + 0.5)) * 2; };
    const int ox = even(rect.x), oy = even(rect.y), dx = even(bx), dy = even(by);
    const int w = static_cast<int>(std::clamp<double>(rect.width, 0, kMaxFrameSide));
    const int h = static_cast<int>(std::clamp<double>(rect.height, 0, kMaxFrameSide));
    const cv::Rect src(ox, oy, w, h), dst(dx, dy, w, h);
    // The part of the rectangle inside both pictures, the same shift on either side.
    cv::Rect common = (src & cv::Rect(0, 0, lo.plane[0].width, lo.plane[0].height)) - src.tl();
    common &= (dst & cv::Rect(0, 0, ld.plane[0].width, ld.plane[0].height)) - dst.tl();
    for (int i = 0; i < 3; ++i) {
        if (background.data[i] != out.data[i]) PlaneMat(background, i, lb).copyTo(PlaneMat(out, i, ld));
    }
    if (common.empty()) return Ok;
    const uint8_t op = OpacityByte(opacity);
    cv::Mat planesO[3], planesD[3];
    for (int i = 0; i < 3; ++i) {
        const int s = i == 0 ? 0 : 1;
        const cv::Rect c(common.x >> s, common.y >> s, std::max(1, (common.width + s) >> s),
                         std::max(1, (common.height + s) >> s));
        const cv::Mat o = PlaneMat(overlay, i, lo), d = PlaneMat(out, i, ld);
        const cv::Rect co = (c + cv::Point(ox >> s, oy >> s)) & cv::Rect(0, 0, o.cols, o.rows);
        const cv::Rect cd = (c + cv::Point(dx >> s, dy >> s)) & cv::Rect(0, 0, d.cols, d.rows);
        const cv::Size size(std::min(co.width, cd.width), std::min(co.height, cd.height));
        planesO[i] = o(cv::Rect(co.tl(), size));
        planesD[i] = d(cv::Rect(cd.tl(), size));
    }
    // The output region already holds the background: the mix reads each byte before it writes
    // that byte, so it runs in place.
    BlendYV12(planesO[0], planesO[2], planesO[1], planesD[0], planesD[2], planesD[1], planesD[0], planesD[2],
              planesD[1], op, kBandCount);
    return Ok;
}

}  // namespace

ResultCode VisualProcess::CenterPointAlignBlend(const EffectFrame& overlay, fxRectf overlayRect,
                                                const EffectFrame& background, fxRectf backgroundPos, bool backBlank,
                                                EffectFrame& out, int32_t blendMode, float opacity,
                                                int32_t ovlAlphaPreMul, float offsetX, float offsetY,
                                                bool useWarpAffine) {
    constexpr const char* kTag = "orvex:CenterPointAlignBlend";
    if (!Finite(overlayRect) || !Finite(backgroundPos) || !std::isfinite(offsetX) || !std::isfinite(offsetY) ||
        overlayRect.width <= 0 || overlayRect.height <= 0) {
        ORVEX_LOG(6, kTag, "rectangle is empty!!");
        return InvalidArgument;
    }
    const double bx = static_cast<double>(backgroundPos.x) + offsetX, by = static_cast<double>(backgroundPos.y) + offsetY;
    if (out.texture) {
        TextureInfo to, ti, tb;
        if (!BGRATexture(out, &to) || !BGRATexture(overlay, &ti) || (!backBlank && !BGRATexture(background, &tb))) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Block("overlay_rect", &overlayRect, sizeof overlayRect);
        if (!SetFloat2(args, "background_pos", bx, by)) return Failed;
        args.Int("blendMode", blendMode).Float("kRender_Alpha", opacity).Int("ovlAlphaPreMul", ovlAlphaPreMul);
        args.Int("useWarpAffine", useWarpAffine ? 1 : 0);
        if (!args.ok()) return Failed;
        zrp::ImageFormat* format = nullptr;
        if (ZRPImageFormatAlloc(to.colorSpace, to.bits, to.width, to.height, 0, &format) != 0 || !format) {
            ORVEX_LOG(4, kTag, "ZRPImageFormatAlloc Failed!");
            return Failed;
        }
        const int r = backBlank ? ProcessGPU_OpenCL(args.get(), "CenterAlignBlend_backBlank", format,
                                                    {overlay.texture}, {out.texture})
                                : ProcessGPU_OpenCL(args.get(), "CenterAlignBlend", format,
                                                    {overlay.texture, background.texture}, {out.texture});
        ZRPObjectFree(format);
        return r == 0 ? Ok : Failed;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        if (out.pixel_fmt == YV12)
            return CenterPointAlignYV12Blend(overlay, overlayRect, background, bx, by, out, opacity);
        FrameLayout lo, lb, ld;
        if (!HostBGRA8(overlay, &lo) || !HostBGRA8(out, &ld) || (!backBlank && !HostBGRA8(background, &lb)) ||
            overlay.data[0] == out.data[0]) {
            ORVEX_LOG(6, kTag, "input or output is nullptr!!");
            return InvalidArgument;
        }
        if (!backBlank && (background.width[0] != out.width[0] || background.height[0] != out.height[0])) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        const cv::Mat ovl = PlaneMat(overlay, 0, lo, 4);
        cv::Mat dst = PlaneMat(out, 0, ld, 4);
        if (backBlank) dst.setTo(cv::Scalar::all(0));
        else if (background.data[0] != out.data[0]) PlaneMat(background, 0, lb, 4).copyTo(dst);
        // Destination pixels inside the placed rectangle whose source lies inside the overlay.
        const double shiftX = overlayRect.x - bx, shiftY = overlayRect.y - by;
        cv::Range cols = CentresIn(bx, overlayRect.width, dst.cols), rows = CentresIn(by, overlayRect.height, dst.rows);
        const cv::Range inX = CentresIn(-shiftX, ovl.cols, dst.cols), inY = CentresIn(-shiftY, ovl.rows, dst.rows);
        cols = cv::Range(std::max(cols.start, inX.start), std::max(std::max(cols.start, inX.start), std::min(cols.end, inX.end)));
        rows = cv::Range(std::max(rows.start, inY.start), std::max(std::max(rows.start, inY.start), std::min(rows.end, inY.end)));
        if (cols.empty() || rows.empty()) return Ok;
        cv::Mat target = dst(rows, cols);
        // A pure translation: the warp's scale-and-translate path, exact for whole-pixel offsets.
        blendScratch_.create(target.size(), CV_8UC4);
        const cv::Matx23d M(1, 0, -shiftX - cols.start, 0, 1, -shiftY - rows.start);
        AffineWarp(ovl, blendScratch_, M, 1);
        const uint8_t op = OpacityByte(opacity);
        const int stripes = BandsFor(static_cast<int64_t>(target.total()));
        // A separate background blends with the separate-output rule (alpha is coverage, as on
        // the GPU); a blank or shared one in place.
        if (!backBlank && background.data[0] != out.data[0])
            BlendLayersAlone(blendScratch_, PlaneMat(background, 0, lb, 4)(rows, cols), target, blendMode, op,
                             ovlAlphaPreMul != 0, stripes);
        else
            BlendLayers(blendScratch_, target, blendMode, op, ovlAlphaPreMul != 0, stripes);
        return Ok;
    });
}

// --- BlendMask and BlendMask2 ---------------------------------------------------------------------------

namespace {

// Whole pixels of a fractional region: value * size + 0.5, truncated.
cv::Rect2d WholeRegion(fxRectf r, int w, int h) {
    auto whole = [](float v, int size) { return std::trunc(std::clamp(static_cast<double>(v) * size + 0.5, -1e9, 1e9)); };
    return cv::Rect2d(whole(r.x, w), whole(r.y, h), whole(r.width, w), whole(r.height, h));
}

class parallelMaskCut : public cv::ParallelLoopBody {
public:
    parallelMaskCut(const cv::Mat& ovl, const cv::Mat& bg, cv::Mat& dst, const std::vector<int>& cols,
                    const std::vector<int>& rows, int stripes)
        : o_(ovl), b_(bg), d_(dst), cols_(cols), rows_(rows), stripes_(stripes), M_(MulTable()) {}
    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, stripes_, d_.rows);
            for (int y = rows.start; y < rows.end; ++y) {
                const uint8_t* b = b_.ptr<uint8_t>(y);
                uint8_t* d = d_.ptr<uint8_t>(y);
                const uint8_t* o = rows_[y] >= 0 ? o_.ptr<uint8_t>(rows_[y]) : nullptr;
                for (int x = 0; x < d_.cols; ++x, b += 4, d += 4) {
                    const int a = o && cols_[x] >= 0 ? o[4 * cols_[x] + 3] : 0;
                    const uint8_t* Ma = M_ + a * 256;
                    for (int c = 0; c < 4; ++c) d[c] = Ma[b[c]];
                }
            }
        }
    }

private:
    const cv::Mat& o_;
    const cv::Mat& b_;
    cv::Mat& d_;
    const std::vector<int>& cols_;
    const std::vector<int>& rows_;
    int stripes_;
    const uint8_t* M_;
};

// Overlay index of each output index along one axis (-1 outside the background region), with the
// kernel's float arithmetic so that both pick the same pixel.
void MaskIndices(int count, float bFrom, float bSpan, float oFrom, float oSpan, int size, std::vector<int>* out) {
    out->assign(count, -1);
    for (int i = 0; i < count; ++i) {
        const float p = i + 0.5f;
        if (!(p >= bFrom && p < bFrom + bSpan)) continue;
        const float q = (p - bFrom) * oSpan / bSpan + oFrom;
        (*out)[i] = std::clamp(static_cast<int>(std::floor(q)), 0, size - 1);
    }
}

}  // namespace

ResultCode VisualProcess::BlendMask(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                                    fxRectf backgroundRoi, EffectFrame& out, int32_t blendMode) {
    constexpr const char* kTag = "orvex:BlendMask";
    const auto bgra32 = [](uint32_t f) { return f == BGRA32 || f == BGRA32_ALT; };
    if (!bgra32(overlay.pixel_fmt) || !bgra32(background.pixel_fmt) || !bgra32(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32 !!");
        return WrongFormat;
    }
    if (!Finite(overlayRoi) || !Finite(backgroundRoi)) {
        ORVEX_LOG(6, kTag, "roi is not a finite rectangle!!");
        return InvalidArgument;
    }
    TextureInfo to, ti, tb;
    const bool gpu = out.texture != nullptr;
    if (gpu && (!BGRATexture(out, &to) || !BGRATexture(overlay, &ti) || !BGRATexture(background, &tb))) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    const int Wo = gpu ? ti.width : static_cast<int>(overlay.width[0]);
    const int Ho = gpu ? ti.height : static_cast<int>(overlay.height[0]);
    const int Wd = gpu ? to.width : static_cast<int>(out.width[0]);
    const int Hd = gpu ? to.height : static_cast<int>(out.height[0]);
    if ((gpu ? tb.width : static_cast<int>(background.width[0])) != Wd ||
        (gpu ? tb.height : static_cast<int>(background.height[0])) != Hd) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    const cv::Rect2d ro = WholeRegion(overlayRoi, Wo, Ho);
    const cv::Rect2d rb = WholeRegion(backgroundRoi, Wd, Hd);
    if (!(ro.width >= 1 && ro.height >= 1 && rb.width >= 1 && rb.height >= 1)) {
        ORVEX_LOG(6, kTag, "roi is empty!!");
        return InvalidArgument;
    }
    if (gpu) {
        KernelArgs args;
        PutRect(args, "overlay_roi", ro);
        PutRect(args, "background_roi", rb);
        args.Int("blendMode", blendMode);
        return RunVisualKernel(kTag, "BlendMask", args, to, {overlay.texture, background.texture}, {out.texture});
    }
    FrameLayout lo, lb, ld;
    if (!HostBGRA8(overlay, &lo) || !HostBGRA8(background, &lb) || !HostBGRA8(out, &ld) ||
        overlay.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    // The kernel's picture: the background times the overlay alpha found at each pixel.
    const cv::Mat ovl = PlaneMat(overlay, 0, lo, 4), bg = PlaneMat(background, 0, lb, 4);
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    std::vector<int> cols, rows;
    MaskIndices(dst.cols, static_cast<float>(rb.x), static_cast<float>(rb.width), static_cast<float>(ro.x),
                static_cast<float>(ro.width), ovl.cols, &cols);
    MaskIndices(dst.rows, static_cast<float>(rb.y), static_cast<float>(rb.height), static_cast<float>(ro.y),
                static_cast<float>(ro.height), ovl.rows, &rows);
    const int stripes = BandsFor(static_cast<int64_t>(dst.total()));
    const parallelMaskCut body(ovl, bg, dst, cols, rows, stripes);
    RunBands(body, stripes);
    return Ok;
}

namespace {

// BlendMask2 on host BGRA frames (8 or 16 bits each), all four of one size.
ResultCode BlendMask2Host(const char* tag, const EffectFrame& first, const EffectFrame& second,
                          const EffectFrame& alphaFrame, int32_t alphaChannel, EffectFrame& out, int32_t constAlpha) {
    if (const ResultCode r = HostBGRAFrames(tag, "input format is not rgba format!", {&first, &second, &alphaFrame, &out});
        r != Ok)
        return r;
    for (const EffectFrame* f : {&first, &second, &alphaFrame})
        if (f->width[0] != out.width[0] || f->height[0] != out.height[0]) {
            ORVEX_LOG(6, tag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
    BlendMask2Cpu(first, second, alphaFrame, alphaChannel, static_cast<float>(constAlpha) / 100.0f, out);
    return Ok;
}

}  // namespace

ResultCode VisualProcess::BlendMask2(const EffectFrame& first, const EffectFrame& second,
                                     const EffectFrame& alphaFrame, int32_t alphaChannel, EffectFrame& out,
                                     int32_t constAlpha) {
    constexpr const char* kTag = "orvex:BlendMask2";
    if (!first.texture && !second.texture && !alphaFrame.texture && !out.texture)
        return BlendMask2Host(kTag, first, second, alphaFrame, alphaChannel, out, constAlpha);
    TextureInfo ta, tb, tm, to;
    if (!BGRATexture(first, &ta) || !BGRATexture(second, &tb) || !BGRATexture(alphaFrame, &tm) ||
        !BGRATexture(out, &to)) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    for (const TextureInfo* t : {&ta, &tb, &tm}) {
        if (t->width != to.width || t->height != to.height) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
    }
    KernelArgs args;
    args.Int("alphachannel", alphaChannel).Float("constalpha", static_cast<float>(constAlpha) / 100.0f);
    return RunVisualKernel(kTag, "BlendMask2", args, to, {first.texture, second.texture, alphaFrame.texture},
                           {out.texture});
}

// --- solidColorBlend -------------------------------------------------------------------------------------

ResultCode VisualProcess::solidColorBlend(const EffectFrame& overlay, EffectFrame& out, int32_t blue, int32_t green,
                                          int32_t red, int32_t alpha, int32_t blendMode, double opacity,
                                          int32_t ovlAlphaPreMul) {
    constexpr const char* kTag = "orvex:solidColorBlend";
    if (!IsBGRALike(overlay.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return WrongFormat;
    }
    // Channels are bytes: values outside 0..255 are held at the nearest end.
    const int b = std::clamp(blue, 0, 255), g = std::clamp(green, 0, 255), r = std::clamp(red, 0, 255);
    const int a = std::clamp(alpha, 0, 255);
    if (out.texture) {
        TextureInfo to, ti;
        if (!BGRATexture(out, &to) || !BGRATexture(overlay, &ti)) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        if (ti.width != to.width || ti.height != to.height) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("blueValue", b).Int("greenValue", g).Int("redValue", r).Int("alphaValue", a);
        args.Int("blendMode", blendMode).Float("kRender_Alpha", static_cast<float>(opacity));
        args.Int("ovlAlphaPreMul", ovlAlphaPreMul);
        return RunVisualKernel(kTag, "solidColorBlend", args, to, {overlay.texture}, {out.texture});
    }
    FrameLayout lo, ld;
    if (!HostBGRA8(overlay, &lo) || !HostBGRA8(out, &ld)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (overlay.width[0] != out.width[0] || overlay.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    if (overlay.data[0] != out.data[0]) PlaneMat(overlay, 0, lo, 4).copyTo(dst);
    const uint32_t packed = static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16 |
                            static_cast<uint32_t>(a) << 24;
    BlendSolidColor(dst, packed, blendMode, OpacityByte(opacity), ovlAlphaPreMul != 0,
                    BandsFor(static_cast<int64_t>(dst.total())));
    return Ok;
}

// --- overlay ------------------------------------------------------------------------------------------------

namespace {

class parallelOverlayBlend : public cv::ParallelLoopBody {
public:
    parallelOverlayBlend(const cv::Mat& bg, const cv::Mat& ovl, cv::Mat& dst, const std::vector<int>* idx, int mode,
                         float opacity, int pre, int stripes)
        : b_(bg), o_(ovl), d_(dst), idx_(idx), mode_(mode), op_(opacity), pre_(pre), stripes_(stripes) {}
    void operator()(const cv::Range& range) const override {
        constexpr float k = 1.0f / 255.0f;
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, stripes_, d_.rows);
            for (int y = rows.start; y < rows.end; ++y) {
                const uint8_t* ob = o_.ptr<uint8_t>(idx_[1][y]);
                const uint8_t* bb = b_.ptr<uint8_t>(idx_[3][y]);
                uint8_t* d = d_.ptr<uint8_t>(y);
                for (int x = 0; x < d_.cols; ++x, d += 4) {
                    const uint8_t* op = ob + 4 * idx_[0][x];
                    const uint8_t* bp = bb + 4 * idx_[2][x];
                    float o[4], bgv[4], out[4];
                    for (int c = 0; c < 4; ++c) {
                        o[c] = op[c] * k;
                        bgv[c] = bp[c] * k;
                    }
                    BlendFourChannel(bgv, o, o[3], 1.0f, mode_, op_, pre_, out);
                    for (int c = 0; c < 4; ++c)
                        d[c] = static_cast<uint8_t>(std::clamp(std::lrintf(out[c] * 255.0f), 0L, 255L));
                }
            }
        }
    }

private:
    const cv::Mat& b_;
    const cv::Mat& o_;
    cv::Mat& d_;
    const std::vector<int>* idx_;  // overlay columns, overlay rows, background columns, background rows
    int mode_;
    float op_;
    int pre_;
    int stripes_;
};

}  // namespace

ResultCode VisualProcess::overlay(const EffectFrame& background, const EffectFrame& overlayFrame, EffectFrame& out,
                                  int32_t blendingMode, float opacity, int32_t inPlace, int32_t ovlAlphaPreMul) {
    constexpr const char* kTag = "orvex:overlay";
    if (!IsBGRALike(background.pixel_fmt) || !IsBGRALike(overlayFrame.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return Failed;
    }
    if (background.texture && overlayFrame.texture && out.texture) {
        TextureInfo to, tb, ti;
        if (!BGRATexture(out, &to) || !BGRATexture(background, &tb) || !BGRATexture(overlayFrame, &ti)) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        KernelArgs args;
        // This operation never turns the overlay and reads it pixel for pixel (mode 2).
        args.Int("width", to.width).Int("height", to.height).Float("theta", 0.0f).Int("mode", 2);
        args.Int("blendingMode", blendingMode).Float("kRender_Alpha", opacity);
        args.Int("ovlAlphaPreMul", ovlAlphaPreMul).Int("inPlace", inPlace);
        return RunVisualKernel(kTag, "overlay", args, to, {background.texture, overlayFrame.texture}, {out.texture});
    }
    FrameLayout lb, lo, ld;
    if (!HostBGRA8(background, &lb) || !HostBGRA8(overlayFrame, &lo) || !HostBGRA8(out, &ld) ||
        overlayFrame.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat bg = PlaneMat(background, 0, lb, 4), ovl = PlaneMat(overlayFrame, 0, lo, 4);
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    if (bg.data == dst.data && bg.size() != dst.size()) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    // Where each output pixel reads, as the kernel reads: the overlay at (Wo - 1)/(W - 1) (x + 0.5)
    // truncated, the background at the nearest pixel of the normalised centre.
    const int W = dst.cols, H = dst.rows;
    std::vector<int> idx[4];
    auto fill = [](std::vector<int>& v, int n, const auto& f) {
        v.resize(n);
        for (int i = 0; i < n; ++i) v[i] = f(i);
    };
    const float kx = W > 1 ? static_cast<float>(ovl.cols - 1) / static_cast<float>(W - 1) : 0.0f;
    const float ky = H > 1 ? static_cast<float>(ovl.rows - 1) / static_cast<float>(H - 1) : 0.0f;
    fill(idx[0], W, [&](int x) { return std::clamp(static_cast<int>(kx * (x + 0.5f)), 0, ovl.cols - 1); });
    fill(idx[1], H, [&](int y) { return std::clamp(static_cast<int>(ky * (y + 0.5f)), 0, ovl.rows - 1); });
    fill(idx[2], W, [&](int x) {
        return std::clamp(static_cast<int>(std::floor((x + 0.5f) / W * bg.cols)), 0, bg.cols - 1);
    });
    fill(idx[3], H, [&](int y) {
        return std::clamp(static_cast<int>(std::floor((y + 0.5f) / H * bg.rows)), 0, bg.rows - 1);
    });
    const int stripes = BandsFor(static_cast<int64_t>(dst.total()));
    const parallelOverlayBlend body(bg, ovl, dst, idx, blendingMode, opacity, ovlAlphaPreMul, stripes);
    RunBands(body, stripes);
    return Ok;
}

// --- Motion ---------------------------------------------------------------------------------------------------

ResultCode VisualProcess::Motion(const EffectFrame& in, EffectFrame& out, fxRectf sourceRoi, fxRectf resultRoi) {
    constexpr const char* kTag = "orvex:Motion";
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    if (!IsBGRALike(in.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return WrongFormat;
    }
    if (!Finite(sourceRoi) || !Finite(resultRoi) || !(sourceRoi.width > 0 && sourceRoi.height > 0) ||
        !(resultRoi.width > 0 && resultRoi.height > 0)) {
        ORVEX_LOG(6, kTag, "roi is empty!!");
        return InvalidArgument;
    }
    if (out.texture) {
        TextureInfo to, ti;
        if (!BGRATexture(out, &to) || !BGRATexture(in, &ti)) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        struct {
            float origROI[4];
            float resultROI[4];
        } param{{sourceRoi.x, sourceRoi.y, sourceRoi.width, sourceRoi.height},
                {resultRoi.x, resultRoi.y, resultRoi.width, resultRoi.height}};
        KernelArgs args;
        args.Block("param", &param, sizeof param);
        return RunVisualKernel(kTag, "Motion", args, to, {in.texture}, {out.texture});
    }
    FrameLayout li, lo;
    if (!HostBGRA8(in, &li) || !HostBGRA8(out, &lo) || in.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat src = PlaneMat(in, 0, li, 4);
        cv::Mat dst = PlaneMat(out, 0, lo, 4);
        const double sx = sourceRoi.x * static_cast<double>(src.cols), sy = sourceRoi.y * static_cast<double>(src.rows);
        const double sw = sourceRoi.width * static_cast<double>(src.cols);
        const double sh = sourceRoi.height * static_cast<double>(src.rows);
        const double rx = resultRoi.x * static_cast<double>(dst.cols), ry = resultRoi.y * static_cast<double>(dst.rows);
        const double rw = resultRoi.width * static_cast<double>(dst.cols);
        const double rh = resultRoi.height * static_cast<double>(dst.rows);
        dst.setTo(cv::Scalar::all(0));
        const cv::Range cols = CentresIn(rx, rw, dst.cols), rows = CentresIn(ry, rh, dst.rows);
        if (cols.empty() || rows.empty()) return Ok;
        // A strong reduction is box-filtered first so that it does not alias; mild ones read the
        // picture directly, as the kernel does.
        const cv::Mat* from = &src;
        const double areaRatio = (sw * sh) / (rw * rh);
        if (areaRatio >= 4.0) {
            const int r = std::min(5, static_cast<int>(std::floor(std::sqrt(areaRatio))) >> 1);
            motionScratch_.create(src.size(), CV_8UC4);
            BoxFilterBGRA(src, motionScratch_, r);
            from = &motionScratch_;
        }
        cv::Mat part = dst(rows, cols);
        const double kx = rw / sw, ky = rh / sh;
        const cv::Matx23d M(kx, 0, rx - sx * kx - cols.start, 0, ky, ry - sy * ky - rows.start);
        AffineWarp(*from, part, M, 1);
        return Ok;
    });
}

}  // namespace orvex
