#include "effects/blur/BlurEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "effects/ColorEffectsShared.h"
#include "effects/EffectFrames.h"
#include "effects/EffectMath.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/CpuSupport.h"

namespace orvex {
namespace {

inline uint8_t SatAdd(int a, int b) { return static_cast<uint8_t>(std::min(255, a + b)); }

// out = T[a][b] per colour byte from two pictures; alpha from `alphaFrom`. The per-pixel work of
// the unsharp mask and find edges: a 64K table built once per frame.
class parallelPairTable final : public RowBandBody {
public:
    parallelPairTable(const cv::Mat& a, const cv::Mat& b, const cv::Mat& alphaFrom, cv::Mat& out, const uint8_t* t)
        : a_(a), b_(b), alpha_(alphaFrom), out_(out), t_(t) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* pa = a_.ptr(y);
            const uint8_t* pb = b_.ptr(y);
            const uint8_t* pc = alpha_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < out_.cols; ++x, pa += 4, pb += 4, pc += 4, d += 4) {
                const uint8_t b = t_[pa[0] * 256 + pb[0]], g = t_[pa[1] * 256 + pb[1]], r = t_[pa[2] * 256 + pb[2]];
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = pc[3];
            }
        }
    }

private:
    const cv::Mat& a_;
    const cv::Mat& b_;
    const cv::Mat& alpha_;
    cv::Mat& out_;
    const uint8_t* t_;
};

// Sharpen's last pass: out = min(255, in + M[E][a]); alpha copied. E comes from the reduced-size
// map (three channels) when there is one, else from the 3 x 3 filter evaluated in place
// (reflect-101 rows and columns), as the kernel does, which spares a frame-sized map.
class parallelSharpen final : public RowBandBody {
public:
    parallelSharpen(const cv::Mat& in, const cv::Mat* edges, cv::Mat& out, const uint8_t* boost)
        : in_(in), e_(edges), out_(out), boost_(boost) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols, h = in_.rows;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* up = in_.ptr(Reflect101(y - 1, h));
            const uint8_t* s = in_.ptr(y);
            const uint8_t* down = in_.ptr(Reflect101(y + 1, h));
            uint8_t* d = out_.ptr(y);
            if (e_) {
                const uint8_t* e = e_->ptr(y);
                for (int x = 0; x < w; ++x, s += 4, d += 4, e += 3) {
                    const uint8_t b = SatAdd(s[0], boost_[e[0]]), g = SatAdd(s[1], boost_[e[1]]),
                                  r = SatAdd(s[2], boost_[e[2]]);
                    d[0] = b, d[1] = g, d[2] = r, d[3] = s[3];
                }
                continue;
            }
            for (int x = 0; x < w; ++x) {
                const int l = (x > 0 ? x - 1 : Reflect101(-1, w)) * 4, r = (x < w - 1 ? x + 1 : Reflect101(w, w)) * 4;
                const int m = x * 4;
                uint8_t px[4];
                for (int c = 0; c < 3; ++c) {
                    const int e = std::clamp(4 * s[m + c] - up[m + c] - down[m + c] - s[l + c] - s[r + c], 0, 255);
                    px[c] = SatAdd(s[m + c], boost_[e]);
                }
                px[3] = s[m + 3];
                std::memcpy(d + m, px, 4);
            }
        }
    }

private:
    const cv::Mat& in_;
    const cv::Mat* e_;
    cv::Mat& out_;
    const uint8_t* boost_;
};

// Emboss: colour from T[I][J], J one row away; alpha copied.
class parallelEmboss final : public RowBandBody {
public:
    parallelEmboss(const cv::Mat& in, cv::Mat& out, int offset, const uint8_t* t)
        : in_(in), out_(out), offset_(offset), t_(t) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            const uint8_t* j = in_.ptr(std::clamp(y + offset_, 0, in_.rows - 1));
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < out_.cols; ++x, s += 4, j += 4, d += 4) {
                const uint8_t b = t_[s[0] * 256 + j[0]], g = t_[s[1] * 256 + j[1]], r = t_[s[2] * 256 + j[2]];
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int offset_;
    const uint8_t* t_;
};

// Compound blur's mix: out = M[B][g] + M[in][255 - g], g the map's byte.
class parallelCompoundBlur final : public RowBandBody {
public:
    parallelCompoundBlur(const cv::Mat& in, const cv::Mat& blurred, const cv::Mat& map, cv::Mat& out)
        : in_(in), b_(blurred), g_(map), out_(out), m_(MulTable()) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            const uint8_t* b = b_.ptr(y);
            const uint8_t* g = g_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < out_.cols; ++x, s += 4, b += 4, d += 4) {
                const int gx = g[x];
                const uint8_t* mb = m_ + gx;          // M[.][g]
                const uint8_t* mi = m_ + (255 - gx);  // M[.][255 - g]
                const uint8_t c0 = SatAdd(mb[b[0] * 256], mi[s[0] * 256]), c1 = SatAdd(mb[b[1] * 256], mi[s[1] * 256]),
                              c2 = SatAdd(mb[b[2] * 256], mi[s[2] * 256]);
                d[0] = c0;
                d[1] = c1;
                d[2] = c2;
                d[3] = s[3];
            }
        }
    }

private:
    const cv::Mat& in_;
    const cv::Mat& b_;
    const cv::Mat& g_;
    cv::Mat& out_;
    const uint8_t* m_;
};

// k = trunc(alpha 0.01 255) for an integer percentage, held to 0..255: in integers, since in float
// 40 x 0.01f x 255 is 101.99999 where the exact product is 102.
int AlphaWeight(int32_t alpha) { return std::clamp(alpha, 0, 100) * 255 / 100; }

// The sharpen weight a = trunc(255 amount), amount = Amount x 0.01 as the kernel receives it. The
// 1e-3 guard restores the exact products that the float argument lost (0.4f x 255 is 101.99999).
int SharpenWeight(float amount) { return static_cast<int>(std::clamp(amount * 255.0f + 1e-3f, 0.0f, 255.0f)); }

// T[x][y] = min(255, M[x][wx] + M[y][wy]): a weighted mix of two bytes through the multiply table.
std::vector<uint8_t> MixTable(int wx, int wy) {
    std::vector<uint8_t> t(256 * 256);
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 256; ++y) t[x * 256 + y] = SatAdd(Mul(x, wx), Mul(y, wy));
    return t;
}

}  // namespace

// --- Gaussian blur --------------------------------------------------------------------------------------

VideoEffectGaussianBlur::VideoEffectGaussianBlur() {
    DeclareInt("Blurriness", &blurriness_, 1, 0, 50, 1);
}

const std::vector<float>& VideoEffectGaussianBlur::KernelTable() {
    if (tableRadius_ == blurriness_) return table_;
    const int r = blurriness_, n = 2 * r + 1;
    std::vector<double> w(static_cast<size_t>(n) * n);
    double sum = 0;
    for (int i = -r; i <= r; ++i)
        for (int j = -r; j <= r; ++j) sum += w[(i + r) * n + (j + r)] = std::exp(-(i * i + j * j) / 200.0);
    table_.resize(w.size());
    for (size_t k = 0; k < w.size(); ++k) table_[k] = static_cast<float>(w[k] / sum);
    tableRadius_ = r;
    return table_;
}

ResultCode VideoEffectGaussianBlur::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const int n = 2 * blurriness_ + 1;
        cv::GaussianBlur(ReadableInput(WrapBGRA(*input), out), out, cv::Size(n, n), 10, 0, cv::BORDER_REFLECT_101);
        return Ok;
    });
}

ResultCode VideoEffectGaussianBlur::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    const std::vector<float>& table = KernelTable();
    KernelArgs args;
    args.Block("kernel_array", table.data(), table.size() * sizeof(float)).Int("mask_length", 2 * tableRadius_ + 1);
    return RunKernel(args, input, output);
}

// --- direction blur ----------------------------------------------------------------------------------------

VideoEffectDirectionBlur::VideoEffectDirectionBlur() {
    DeclareFloat("direction", &direction_, 45);
    DeclareFloat("blur_length", &length_, 5);
}

cv::Mat VideoEffectDirectionBlur::Kernel() const {
    // Lengths beyond 1000 pixels are held at 1000: the kernel is k x k floats.
    const int half = std::isfinite(length_) ? static_cast<int>(std::clamp(length_, 0.0f, 1000.0f)) : 0;
    const int k = 2 * half + 1;
    const float centre = std::isfinite(length_) ? std::clamp(length_, 0.0f, 1000.0f) : 0.0f;
    const cv::Mat line = cv::Mat::eye(k, k, CV_32F);
    const cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(centre, centre), 135.0 - direction_, 1.0);
    cv::Mat kernel;
    cv::warpAffine(line, kernel, turn, line.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    return kernel / k;
}

ResultCode VideoEffectDirectionBlur::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        cv::Mat& filtered = filtered_;
        cv::filter2D(in, filtered, -1, Kernel(), cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
        // Stretch the colour (the three channels together) to span 0..255; alpha is the input's.
        int lo = 255, hi = 0;
        for (int y = 0; y < filtered.rows; ++y) {
            const uint8_t* p = filtered.ptr(y);
            for (int x = 0; x < filtered.cols * 4; x += 4)
                for (int c = 0; c < 3; ++c) lo = std::min<int>(lo, p[x + c]), hi = std::max<int>(hi, p[x + c]);
        }
        uint8_t stretch[256];
        // A picture without any contrast left (a flat frame) keeps its filtered value rather than
        // turning black.
        const double scale = hi > lo ? 255.0 / (hi - lo) : 1.0, shift = hi > lo ? -lo * scale : 0.0;
        for (int v = 0; v < 256; ++v) stretch[v] = cv::saturate_cast<uint8_t>(v * scale + shift);
        for (int y = 0; y < out.rows; ++y) {
            const uint8_t* f = filtered.ptr(y);
            const uint8_t* s = in.ptr(y);
            uint8_t* d = out.ptr(y);
            for (int x = 0; x < out.cols * 4; x += 4) {
                d[x] = stretch[f[x]], d[x + 1] = stretch[f[x + 1]], d[x + 2] = stretch[f[x + 2]];
                d[x + 3] = s[x + 3];
            }
        }
        return Ok;
    });
}

// --- camera blur ------------------------------------------------------------------------------------------

VideoEffectCameraBlur::VideoEffectCameraBlur() {
    DeclareInt("percent_blur", &percent_, 25, 0, 100, 25);
}

ResultCode VideoEffectCameraBlur::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        if (percent_ == 0) {
            CopyFrame(in, out);
        } else {
            ThreeBoxBlur(in, out, percent_);
        }
        return Ok;
    });
}

// --- compound blur -----------------------------------------------------------------------------------------

VideoEffectCompoundBlur::VideoEffectCompoundBlur() {
    DeclareFloat("Maximum_Blur", &maximum_, 20);
    DeclareBool("Reverse", &reverse_, false);
}

ResultCode VideoEffectCompoundBlur::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        if (!(maximum_ >= 1e-6f)) {
            CopyFrame(in, out);
            return Ok;
        }
        cv::cvtColor(in, map_, cv::COLOR_BGRA2GRAY);
        if (reverse_) cv::bitwise_not(map_, map_);
        ThreeBoxBlur(in, blurred_, maximum_);
        parallelCompoundBlur body(in, blurred_, map_, out);
        RunRowBands(body, out.cols, out.rows);
        return Ok;
    });
}

// --- channel blur ------------------------------------------------------------------------------------------

VideoEffectChannelBlur::VideoEffectChannelBlur() {
    DeclareInt("Red_Blurriness", &red_, 0);
    DeclareInt("Green_Blurriness", &green_, 0);
    DeclareInt("Blue_Blurriness", &blue_, 0);
    DeclareInt("Alpha_Blurriness", &alpha_, 0);
    DeclareBool("Repeat_Edge_Pixel", &repeatEdge_, false);
    DeclareInt("Mode", &mode_, 0);
}

ResultCode VideoEffectChannelBlur::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        if (red_ == 0 && green_ == 0 && blue_ == 0 && alpha_ == 0) {
            CopyFrame(in, out);
            return Ok;
        }
        std::vector<cv::Mat>& planes = planes_;
        cv::split(in, planes);
        const int amounts[4] = {blue_, green_, red_, alpha_};
        const int border = repeatEdge_ ? cv::BORDER_REFLECT_101 : cv::BORDER_CONSTANT;
        for (int c = 0; c < 4; ++c) {
            if (amounts[c] <= 1 || mode_ < 0 || mode_ > 2) continue;
            planes[c].copyTo(scratch_);
            ThreeBoxBlur(scratch_, planes[c], amounts[c], border, mode_ != 2, mode_ != 1);
        }
        cv::merge(planes, out);
        return Ok;
    });
}

// --- sharpen ----------------------------------------------------------------------------------------------

VideoEffectSharpen::VideoEffectSharpen() {
    DeclareFloat("Amount", &amount_, 100, 0, 100, 100);
}

cv::Size VideoEffectSharpen::EdgeMapSize(int w, int h) {
    if (w > h && w > 1080) return {686, 386};
    if (h > w && h > 1080) return {386, 686};
    return {w, h};
}

ResultCode VideoEffectSharpen::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        const int a = SharpenWeight(amount_ * 0.01f);
        if (a == 0) {
            CopyFrame(in, out);  // M[E][0] = 0
            return Ok;
        }
        const cv::Size mapSize = EdgeMapSize(in.cols, in.rows);
        const cv::Mat* edges = nullptr;
        if (mapSize != in.size()) {
            // The library's bit-exact bilinear both ways, which the kernel reproduces. The frame is
            // reduced with its alpha and the small copy dropped to three channels: each channel is
            // scaled on its own, and the frame-sized steps run on the fewest bytes.
            const cv::Matx33f laplace(0, -1, 0, -1, 4, -1, 0, -1, 0);
            cv::resize(in, small_, mapSize, 0, 0, cv::INTER_LINEAR_EXACT);
            cv::cvtColor(small_, small3_, cv::COLOR_BGRA2BGR);
            cv::filter2D(small3_, smallEdges_, -1, laplace, cv::Point(-1, -1), 0, cv::BORDER_REFLECT_101);
            cv::resize(smallEdges_, edges_, in.size(), 0, 0, cv::INTER_LINEAR_EXACT);
            edges = &edges_;
        }
        uint8_t boost[256];
        for (int e = 0; e < 256; ++e) boost[e] = Mul(e, a);
        parallelSharpen body(in, edges, out, boost);
        RunRowBands(body, out.cols, out.rows);
        return Ok;
    });
}

ResultCode VideoEffectSharpen::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                             const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    const int w = input->GetContext()->GetWidth(), h = input->GetContext()->GetHeight();
    const cv::Size small = EdgeMapSize(w, h);
    const std::vector<int32_t> downX = ResizeTaps(w, small.width), downY = ResizeTaps(h, small.height);
    const std::vector<int32_t> upX = ResizeTaps(small.width, w), upY = ResizeTaps(small.height, h);
    KernelArgs args;
    args.Float("amount", amount_ * 0.01f);
    args.Block("down_x", downX.data(), downX.size() * 4).Block("down_y", downY.data(), downY.size() * 4);
    args.Block("up_x", upX.data(), upX.size() * 4).Block("up_y", upY.data(), upY.size() * 4);
    return RunKernel(args, input, output);
}

// --- unsharp mask ---------------------------------------------------------------------------------------

VideoEffectUnsharpenMask::VideoEffectUnsharpenMask() {
    DeclareFloat("Amount", &amount_, 50, 0, 100, 50);
    DeclareFloat("Radius", &radius_, 1, 0.1f, 100, 1);
    DeclareInt("Threshold", &threshold_, 0, 0, 255, 0);
}

ResultCode VideoEffectUnsharpenMask::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        ThreeBoxBlur(in, blurred_, radius_ * 0.5);
        // T[in][blur]: the weighted sum in float with halves to even, as the library's weighted
        // sum rounds it.
        if (table_.empty() || tableAmount_ != amount_ || tableThreshold_ != threshold_) {
            const float a = amount_ * 0.01f;
            table_.resize(256 * 256);
            for (int i = 0; i < 256; ++i) {
                for (int b = 0; b < 256; ++b) {
                    const float v = std::nearbyint(static_cast<float>(i) * (1.0f + a) + static_cast<float>(b) * -a);
                    table_[i * 256 + b] = std::abs(i - b) < threshold_
                                              ? static_cast<uint8_t>(i)
                                              : static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
                }
            }
            tableAmount_ = amount_;
            tableThreshold_ = threshold_;
        }
        parallelPairTable body(in, blurred_, in, out, table_.data());
        RunRowBands(body, out.cols, out.rows);
        return Ok;
    });
}

// --- emboss and colour emboss ---------------------------------------------------------------------------

EmbossEffect::EmbossEffect(bool colour, float concave)
    : colour_(colour), concave_(concave) {
    DeclareFloat("angle", &angle_, 45);
    // An out-of-range concave is replaced by the default and still reported as accepted.
    DeclareFloat("concave", &concave_, concave, 0, 10, concave).onSubstitute = Ok;
    Kernel(DeclareInt("contrast", &contrast_, 100, 0, std::numeric_limits<int32_t>::max(), 100), "contrast");
    Kernel(DeclareInt("alpha", &alpha_, 100, 0, 100, 100), "alpha");
}

int EmbossEffect::RowOffset() const {
    // d = sin(135 - angle) concave, rounded half up to a whole row. The 1e-4 row guard keeps the
    // last bit of sin from deciding: sin 30 degrees is 0.49999999999999994 in double and 0.5 in
    // float, and both bodies must pick the same row.
    const double d = std::sin((135.0 - angle_) * 0.017453292519944444) * concave_;
    return std::isfinite(d) ? static_cast<int>(std::floor(d + 0.5 + 1e-4)) : 0;
}

ResultCode EmbossEffect::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    // e and the mix per (I, J), in float with halves to even, as the kernel computes them.
    const float c = static_cast<float>(contrast_) * 0.01f;
    const int k = AlphaWeight(alpha_);
    std::vector<uint8_t> t(256 * 256);
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 256; ++j) {
            const float base = colour_ ? static_cast<float>(i) : 128.0f;
            const float v = std::nearbyint(static_cast<float>(i - j) * c + base);
            const int e = static_cast<int>(std::clamp(v, 0.0f, 255.0f));
            t[i * 256 + j] = SatAdd(Mul(i, 255 - k), Mul(e, k));
        }
    }
    parallelEmboss body(in, out, RowOffset(), t.data());
    RunRowBands(body, out.cols, out.rows);
    return Ok;
}

ResultCode EmbossEffect::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                       const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    // The row offset (a sine of the angle) is the frame's, computed here as the CPU body does.
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    args.Int("row_offset", RowOffset());
    return RunKernel(args, input, output);
}

VideoEffectEmboss::VideoEffectEmboss() : EmbossEffect(false, 1) {}

VideoEffectColorEmboss::VideoEffectColorEmboss() : EmbossEffect(true, 5) {}

// --- find edges -----------------------------------------------------------------------------------------

VideoEffectFindEdges::VideoEffectFindEdges() {
    Kernel(DeclareBool("reverse", &reverse_, false), "reverse_flag");
    Kernel(DeclareInt("alpha", &alpha_, 100), "alpha");
}

namespace {

// Find edges in strips of rows: the library's 16-bit Sobel sums on a strip read the rows around
// it from the frame (reflect-101 only at the frame's own edges), so a strip's edges are the
// frame-wide ones; the intermediates never grow beyond a strip per band.
class parallelFindEdges final : public RowBandBody {
public:
    parallelFindEdges(const cv::Mat& in, cv::Mat& out, const uint8_t* table, BandScratchSet& scratch)
        : in_(in), out_(out), t_(table), scratch_(scratch) {}
    void Rows(int y0, int y1) const override {
        BandScratch& sc = scratch_[colorfx::BandOf(y0, height)];
        colorfx::ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat strip = in_.rowRange(y, y + n);
            cv::Mat gx = colorfx::ScratchRows(sc.m[0], n, in_.cols, CV_16SC4);
            cv::Mat gy = colorfx::ScratchRows(sc.m[1], n, in_.cols, CV_16SC4);
            cv::Mat ax = colorfx::ScratchRows(sc.m[2], n, in_.cols, CV_8UC4);
            cv::Mat ay = colorfx::ScratchRows(sc.m[3], n, in_.cols, CV_8UC4);
            cv::Sobel(strip, gx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REFLECT_101);
            cv::Sobel(strip, gy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REFLECT_101);
            cv::convertScaleAbs(gx, ax);
            cv::convertScaleAbs(gy, ay);
            cv::add(ax, ay, ax);
            for (int r = 0; r < n; ++r) {
                const uint8_t* e = ax.ptr(r);
                const uint8_t* s = in_.ptr(y + r);
                uint8_t* d = out_.ptr(y + r);
                for (int x = 0; x < in_.cols; ++x, e += 4, s += 4, d += 4) {
                    const uint8_t b = t_[e[0] * 256 + s[0]], g = t_[e[1] * 256 + s[1]], rr = t_[e[2] * 256 + s[2]];
                    d[0] = b, d[1] = g, d[2] = rr, d[3] = s[3];
                }
            }
        });
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const uint8_t* t_;
    BandScratchSet& scratch_;
};

}  // namespace

ResultCode VideoEffectFindEdges::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        const int k = AlphaWeight(alpha_);
        const std::vector<uint8_t> mix = MixTable(k, 255 - k);
        // T[E][in]; dark edges on white index the mix with 255 - E.
        table_.resize(mix.size());
        for (int e = 0; e < 256; ++e) std::copy_n(&mix[(reverse_ ? e : 255 - e) * 256], 256, &table_[e * 256]);
        parallelFindEdges body(in, out, table_.data(), scratch_);
        RunRowBands(body, out.cols, out.rows);
        return Ok;
    });
}

ResultCode VideoEffectFindEdges::ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                               const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    return EffectSurface::ProcessOpenCL(position, input, output);
}

}  // namespace orvex
