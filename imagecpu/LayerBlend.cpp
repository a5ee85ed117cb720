#include "imagecpu/LayerBlend.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagecpu/BlendRows.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/RowBands.h"

namespace orvex {

namespace {

// --- the per-pixel rules, shared by the row bodies and the single-pixel blend --------------------

inline int At(int x, int y) { return x * 256 + y; }

// Row y of M: M[x][y] = round(x*y/255) is symmetric, so M[x][y] = Row(M, y)[x]. Reading along one
// 256-byte row keeps a body's scaling for a given weight in a few cache lines.
inline const uint8_t* Row(const uint8_t* M, int y) { return M + y * 256; }

inline void Copy4(const uint8_t* from, uint8_t* to) { std::memcpy(to, from, 4); }

// The straight-alpha mix L[p][q][k] = (p*k + q*(255 - k)) div 255 from two 64 KB byte tables
// instead of L's 17 MB: with x*y = 255*D[x][y] + R[x][y] (R < 255), the quotient of the sum is
// D[p][k] + D[q][255 - k], plus one when the two remainders reach 255 -- the same bytes as L. For
// one weight the four rows used stay in cache, where reads of L scatter over all of it.
struct MixTables {
    uint8_t D[256 * 256];
    uint8_t R[256 * 256];
};

const MixTables& Mix() {
    static const MixTables* const tables = [] {
        auto* t = new MixTables;
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 256; ++y) {
                t->D[At(x, y)] = static_cast<uint8_t>(x * y / 255);
                t->R[At(x, y)] = static_cast<uint8_t>(x * y % 255);
            }
        return t;
    }();
    return *tables;
}

// L[.][.][k] for one weight k.
struct MixRows {
    const uint8_t *dk, *dn, *rk, *rn;
    MixRows(const MixTables& m, int k)
        : dk(Row(m.D, k)), dn(Row(m.D, 255 - k)), rk(Row(m.R, k)), rn(Row(m.R, 255 - k)) {}
    uint8_t operator()(int p, int q) const { return static_cast<uint8_t>(dk[p] + dn[q] + (rk[p] + rn[q] >= 255)); }
};

struct Luts {
    const uint8_t* M = MulTable();
    const MixTables* mix = &Mix();
    const uint8_t* U = GetBlendTables().table(kTableAlphaUnion);
};

inline void TableInPlace(const uint8_t* o, uint8_t* d, const uint8_t* T, const uint8_t* M, int op) {
    if (o[3] == 0) return;
    const int a = Row(M, op)[o[3]];
    const uint8_t *Ma = Row(M, a), *Minv = Row(M, 255 - a);
    // Each term is at most its weight (a or inv), so the sum never passes 255.
    for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>(Ma[T[At(d[c], o[c])]] + Minv[d[c]]);
}

inline void TableAlone(const uint8_t* o, const uint8_t* b, uint8_t* out, const uint8_t* T, const uint8_t* M, int op) {
    if (o[3] == 0) {
        Copy4(b, out);
        return;
    }
    const int a = Row(M, op)[o[3]];
    const uint8_t *Ma = Row(M, a), *Minv = Row(M, 255 - a);
    uint8_t px[4];
    for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(std::min(255, Ma[T[At(b[c], o[c])]] + Minv[b[c]]));
    px[3] = static_cast<uint8_t>(std::min(255, a + Minv[b[3]]));
    Copy4(px, out);
}

inline void NormalPre(const uint8_t* o, uint8_t* d, const uint8_t* M, int op) {
    if (o[3] == 0) return;
    const uint8_t* Mop = Row(M, op);
    const int a = Mop[o[3]];
    const uint8_t* Minv = Row(M, 255 - a);
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::min(255, Minv[d[c]] + Mop[o[c]]));
    d[3] = static_cast<uint8_t>(std::min(255, a + Minv[d[3]]));
}

inline void NormalStraight(const uint8_t* o, uint8_t* d, const Luts& t, int op) {
    const int a = Row(t.M, op)[o[3]];
    if (a == 0) return;
    if (a == 255) {
        // L[p][q][255] = p and U[255][y] = 255: the table values, without reaching into L.
        d[0] = o[0], d[1] = o[1], d[2] = o[2], d[3] = 255;
        return;
    }
    const MixRows L(*t.mix, a);
    for (int c = 0; c < 3; ++c) d[c] = L(o[c], d[c]);
    d[3] = t.U[At(a, d[3])];
}

inline void HollowIn(const uint8_t* o, uint8_t* d, const uint8_t* M) {
    const uint8_t* Ma = Row(M, o[3]);
    for (int c = 0; c < 4; ++c) d[c] = Ma[d[c]];
}

inline void HollowOut(const uint8_t* o, uint8_t* d, const uint8_t* M) {
    if (d[3] == 0) {
        Copy4(o, d);
        return;
    }
    const uint8_t* Mkeep = Row(M, 255 - o[3]);
    for (int c = 0; c < 4; ++c) d[c] = Mkeep[d[c]];
}

inline void BgHollowIn(const uint8_t* o, uint8_t* d, const uint8_t* M) {
    const uint8_t* Ma = Row(M, d[3]);
    for (int c = 0; c < 4; ++c) d[c] = Ma[o[c]];
}

// The body a mode number selects (the routing of the blend modes onto the CPU bodies).
enum class Body { Table, Normal, HollowIn, HollowOut, BgHollowIn, Replace };

Body Route(int mode, int* table) {
    *table = BlendModeTable(mode);
    if (*table >= 0) return Body::Table;
    switch (mode) {
    case 19: return Body::HollowIn;
    case 20: return Body::HollowOut;
    case 21: return Body::BgHollowIn;
    case 22: return Body::Replace;
    default: return Body::Normal;  // 0, 18, 24 and up, negatives
    }
}

bool IsBGRA(const cv::Mat& m) { return !m.empty() && m.type() == CV_8UC4 && m.dims == 2; }
bool SameBGRA(const cv::Mat& a, const cv::Mat& b) { return IsBGRA(a) && IsBGRA(b) && a.size() == b.size(); }

}  // namespace

// --- the row bodies --------------------------------------------------------------------------------

namespace imageC {

// Runs stripes of rows: stripe i of the range covers BandRows(i, n, height).
class StripeBody : public cv::ParallelLoopBody {
public:
    StripeBody(int rows, int stripes) : rows_(rows), stripes_(std::max(stripes, 1)) {}
    void operator()(const cv::Range& range) const override {
        for (int i = range.start; i < range.end; ++i) {
            const cv::Range r = BandRows(i, stripes_, rows_);
            for (int y = r.start; y < r.end; ++y) Row(y);
        }
    }
    void Run() const { RunBands(*this, stripes_); }

protected:
    virtual void Row(int y) const = 0;
    const Luts t_;

private:
    int rows_;
    int stripes_;
};

// A vector row of an in-place rule: blends a prefix of the row, returns its length in pixels. The
// table is the mode's, for the rules that read one.
using VectorRow = int (*)(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity,
                          const uint8_t* table);

// The rows that compute their rule without a table, in VectorRow's form.
template <int (*Row)(const uint8_t*, uint8_t*, int, int)>
int Untabled(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity, const uint8_t*) {
    return Row(overlay, destination, pixels, opacity);
}

// Overlay over a background that is also the destination; Rule(o, d) per pixel, after the vector
// row where the rule has one.
template <typename Rule>
class InPlaceBody : public StripeBody {
public:
    InPlaceBody(const cv::Mat& overlay, cv::Mat& destination, int stripes, Rule rule, VectorRow vector = nullptr,
                int opacity = 0, const uint8_t* table = nullptr)
        : StripeBody(destination.rows, stripes),
          o_(overlay),
          d_(destination),
          rule_(rule),
          vector_(vector),
          opacity_(opacity),
          table_(table) {}

protected:
    void Row(int y) const override {
        const uint8_t* o = o_.ptr<uint8_t>(y);
        uint8_t* d = d_.ptr<uint8_t>(y);
        int x = vector_ ? vector_(o, d, d_.cols, opacity_, table_) : 0;
        for (o += 4 * x, d += 4 * x; x < d_.cols; ++x, o += 4, d += 4) rule_(o, d);
    }

private:
    const cv::Mat& o_;
    cv::Mat& d_;
    Rule rule_;
    VectorRow vector_;
    int opacity_;
    const uint8_t* table_;
};

// Overlay over a background into a separate output: out starts as the background pixel and the
// in-place rule runs on it, so skipped pixels come out as the background.
template <typename Rule>
class AloneBody : public StripeBody {
public:
    AloneBody(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, int stripes, Rule rule)
        : StripeBody(out.rows, stripes), o_(overlay), b_(background), out_(out), rule_(rule) {}

protected:
    void Row(int y) const override {
        const uint8_t* o = o_.ptr<uint8_t>(y);
        const uint8_t* b = b_.ptr<uint8_t>(y);
        uint8_t* d = out_.ptr<uint8_t>(y);
        for (int x = 0; x < out_.cols; ++x, o += 4, b += 4, d += 4) rule_(o, b, d);
    }

private:
    const cv::Mat& o_;
    const cv::Mat& b_;
    cv::Mat& out_;
    Rule rule_;
};

// The separate-output form of an in-place rule whose pixels work on a copy of the background:
// each background row is copied to the output and the in-place row (vector part first) runs on
// it there. For an output that overlaps the overlay in no byte, and the background at most as
// the very same image.
template <typename Rule>
class CopyThenInPlaceBody : public StripeBody {
public:
    CopyThenInPlaceBody(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, int stripes, Rule rule,
                        VectorRow vector, int opacity)
        : StripeBody(out.rows, stripes),
          o_(overlay),
          b_(background),
          out_(out),
          rule_(rule),
          vector_(vector),
          opacity_(opacity) {}

protected:
    void Row(int y) const override {
        const uint8_t* o = o_.ptr<uint8_t>(y);
        const uint8_t* b = b_.ptr<uint8_t>(y);
        uint8_t* d = out_.ptr<uint8_t>(y);
        if (d != b) std::memcpy(d, b, 4 * static_cast<size_t>(out_.cols));
        int x = vector_(o, d, out_.cols, opacity_, nullptr);
        for (o += 4 * x, d += 4 * x; x < out_.cols; ++x, o += 4, d += 4) rule_(o, d);
    }

private:
    const cv::Mat& o_;
    const cv::Mat& b_;
    cv::Mat& out_;
    Rule rule_;
    VectorRow vector_;
    int opacity_;
};

template <typename Rule>
void RunCopyThenInPlace(const cv::Mat& o, const cv::Mat& b, cv::Mat& out, int stripes, Rule rule, VectorRow vector,
                        int opacity) {
    CopyThenInPlaceBody<Rule>(o, b, out, stripes, rule, vector, opacity).Run();
}

// The frame is the overlay and the destination; the colour (B, G, R, A) is the background.
template <typename Rule>
class SolidBody : public StripeBody {
public:
    SolidBody(cv::Mat& frame, int stripes, Rule rule) : StripeBody(frame.rows, stripes), f_(frame), rule_(rule) {}

protected:
    void Row(int y) const override {
        uint8_t* f = f_.ptr<uint8_t>(y);
        for (int x = 0; x < f_.cols; ++x, f += 4) rule_(f);
    }

private:
    cv::Mat& f_;
    Rule rule_;
};

// The named bodies: one class per rule and image arrangement.
#define ORVEX_BODY(Name, Base)                              \
    template <typename Rule>                                \
    class Name : public Base<Rule> {                        \
    public:                                                 \
        using Base<Rule>::Base;                             \
    };
ORVEX_BODY(parallelBlendAdobeInvoker, InPlaceBody)
ORVEX_BODY(parallelBlendAdobeInvoker_alone, AloneBody)
ORVEX_BODY(parallelBlendAdobeSolidColorInvoker, SolidBody)
ORVEX_BODY(parallelBlendNormalRRPreAlphaInvoker, InPlaceBody)
ORVEX_BODY(parallelBlendNormalRRPreAlphaInvoker_alone, AloneBody)
ORVEX_BODY(parallelBlendNormalRRStrenAlphaInvoker, InPlaceBody)
ORVEX_BODY(parallelBlendNormalRRStrenAlphaInvoker_alone, AloneBody)
ORVEX_BODY(parallelBlendNormalSolidColorRRPreAlphaInvoker, SolidBody)
ORVEX_BODY(parallelBlendNormalSolidColorRRStrenAlphaInvoker, SolidBody)
ORVEX_BODY(parallelHollowinInvoker, InPlaceBody)
ORVEX_BODY(parallelHollowinInvoker_alone, AloneBody)
ORVEX_BODY(parallelHollowOutInvoker, InPlaceBody)
ORVEX_BODY(parallelHollowOutInvoker_alone, AloneBody)
ORVEX_BODY(parallelTextBgHollowInInvoker, InPlaceBody)
ORVEX_BODY(parallelTextBgHollowInInvoker_alone, AloneBody)
ORVEX_BODY(parallelHollowinSolidColorInvoker, SolidBody)
ORVEX_BODY(parallelHollowOutSolidColorInvoker, SolidBody)
ORVEX_BODY(parallelTextBgHollowInSolidColorInvoker, SolidBody)
#undef ORVEX_BODY

template <template <typename> class B, typename Rule>
void RunInPlace(const cv::Mat& o, cv::Mat& d, int stripes, Rule rule, VectorRow vector = nullptr, int opacity = 0,
                const uint8_t* table = nullptr) {
    B<Rule>(o, d, stripes, rule, vector, opacity, table).Run();
}
template <template <typename> class B, typename Rule>
void RunAlone(const cv::Mat& o, const cv::Mat& b, cv::Mat& out, int stripes, Rule rule) {
    B<Rule>(o, b, out, stripes, rule).Run();
}
template <template <typename> class B, typename Rule>
void RunSolid(cv::Mat& f, int stripes, Rule rule) {
    B<Rule>(f, stripes, rule).Run();
}

}  // namespace imageC

namespace {

// Hollow bodies always run in 8 stripes, whatever the caller asks.
constexpr int kHollowStripes = 8;

}  // namespace

bool BlendLayers(const cv::Mat& overlay, cv::Mat& background, int mode, uint8_t opacity, bool premultiplied,
                 int stripes) {
    using namespace imageC;
    if (!SameBGRA(overlay, background)) return false;
    const Luts t;
    const uint8_t* M = t.M;
    const int op = opacity;
    int table = -1;
    switch (Route(mode, &table)) {
    case Body::Table: {
        const uint8_t* T = GetBlendTables().table(table);
        // Multiply's table is M itself, which its vector row computes; the others gather theirs.
        RunInPlace<parallelBlendAdobeInvoker>(
            overlay, background, stripes, [=](const uint8_t* o, uint8_t* d) { TableInPlace(o, d, T, M, op); },
            table == kTableMultiply ? Untabled<MultiplyRowVector> : TableRowVector, op, T);
        break;
    }
    case Body::Normal:
        if (premultiplied)
            RunInPlace<parallelBlendNormalRRPreAlphaInvoker>(
                overlay, background, stripes, [=](const uint8_t* o, uint8_t* d) { NormalPre(o, d, M, op); },
                Untabled<NormalPremultipliedRowVector>, op);
        else
            RunInPlace<parallelBlendNormalRRStrenAlphaInvoker>(
                overlay, background, stripes, [=](const uint8_t* o, uint8_t* d) { NormalStraight(o, d, t, op); },
                Untabled<NormalStraightRowVector>, op);
        break;
    case Body::HollowIn:
        RunInPlace<parallelHollowinInvoker>(overlay, background, kHollowStripes,
                                            [=](const uint8_t* o, uint8_t* d) { HollowIn(o, d, M); });
        break;
    case Body::HollowOut:
        RunInPlace<parallelHollowOutInvoker>(overlay, background, kHollowStripes,
                                             [=](const uint8_t* o, uint8_t* d) { HollowOut(o, d, M); });
        break;
    case Body::BgHollowIn:
        RunInPlace<parallelTextBgHollowInInvoker>(overlay, background, kHollowStripes,
                                                  [=](const uint8_t* o, uint8_t* d) { BgHollowIn(o, d, M); });
        break;
    case Body::Replace:
        // The overlay replaces the background whole, transparent pixels included.
        if (overlay.data != background.data) overlay.copyTo(background);
        break;
    }
    return true;
}

bool BlendLayersAlone(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, int mode, uint8_t opacity,
                      bool premultiplied, int stripes) {
    using namespace imageC;
    if (!SameBGRA(overlay, background) || !SameBGRA(background, out)) return false;
    const Luts t;
    const uint8_t* M = t.M;
    const int op = opacity;
    // Every rule but the table one works on a copy of the background pixel.
    auto onCopy = [](auto rule) {
        return [=](const uint8_t* o, const uint8_t* b, uint8_t* d) {
            uint8_t px[4];
            Copy4(b, px);
            rule(o, px);
            Copy4(px, d);
        };
    };
    int table = -1;
    switch (Route(mode, &table)) {
    case Body::Table: {
        const uint8_t* T = GetBlendTables().table(table);
        RunAlone<parallelBlendAdobeInvoker_alone>(
            overlay, background, out, stripes,
            [=](const uint8_t* o, const uint8_t* b, uint8_t* d) { TableAlone(o, b, d, T, M, op); });
        break;
    }
    case Body::Normal: {
        // Copied rows and the in-place vector rows where the output stands apart from the
        // overlay (and is the background itself or apart from it too); per pixel otherwise.
        auto overlaps = [](const cv::Mat& a, const cv::Mat& b) {
            return a.datastart < b.dataend && b.datastart < a.dataend;
        };
        const bool rows = !overlaps(out, overlay) &&
                          (!overlaps(out, background) || (out.data == background.data && out.step == background.step));
        if (premultiplied) {
            auto rule = [=](const uint8_t* o, uint8_t* d) { NormalPre(o, d, M, op); };
            if (rows)
                RunCopyThenInPlace(overlay, background, out, stripes, rule, Untabled<NormalPremultipliedRowVector>, op);
            else
                RunAlone<parallelBlendNormalRRPreAlphaInvoker_alone>(overlay, background, out, stripes, onCopy(rule));
        } else {
            auto rule = [=](const uint8_t* o, uint8_t* d) { NormalStraight(o, d, t, op); };
            if (rows)
                RunCopyThenInPlace(overlay, background, out, stripes, rule, Untabled<NormalStraightRowVector>, op);
            else
                RunAlone<parallelBlendNormalRRStrenAlphaInvoker_alone>(overlay, background, out, stripes, onCopy(rule));
        }
        break;
    }
    case Body::HollowIn:
        RunAlone<parallelHollowinInvoker_alone>(overlay, background, out, kHollowStripes,
                                                onCopy([=](const uint8_t* o, uint8_t* d) { HollowIn(o, d, M); }));
        break;
    case Body::HollowOut:
        RunAlone<parallelHollowOutInvoker_alone>(overlay, background, out, kHollowStripes,
                                                 onCopy([=](const uint8_t* o, uint8_t* d) { HollowOut(o, d, M); }));
        break;
    case Body::BgHollowIn:
        RunAlone<parallelTextBgHollowInInvoker_alone>(overlay, background, out, kHollowStripes,
                                                      onCopy([=](const uint8_t* o, uint8_t* d) { BgHollowIn(o, d, M); }));
        break;
    case Body::Replace:
        if (overlay.data != out.data) overlay.copyTo(out);
        break;
    }
    return true;
}

bool BlendSolidColor(cv::Mat& frame, uint32_t colour, int mode, uint8_t opacity, bool premultiplied, int stripes) {
    using namespace imageC;
    if (!IsBGRA(frame)) return false;
    const Luts t;
    const uint8_t* M = t.M;
    const int op = opacity;
    // Packed red lowest: BGRA bytes are (byte 2, byte 1, byte 0, byte 3).
    const uint8_t bg[4] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                           static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 24)};
    // The premultiplied body takes the colour premultiplied too, scaled once here.
    const uint8_t bgPre[4] = {M[At(bg[0], bg[3])], M[At(bg[1], bg[3])], M[At(bg[2], bg[3])], bg[3]};
    // Where the frame is transparent the colour shows through, so "skipped" pixels take the colour
    // (the frame is the destination here, and leaving it would leave the transparent pixel).
    int table = -1;
    switch (Route(mode, &table)) {
    case Body::Table: {
        const uint8_t* T = GetBlendTables().table(table);
        RunSolid<parallelBlendAdobeSolidColorInvoker>(frame, stripes, [=](uint8_t* f) {
            const uint8_t o[4] = {f[0], f[1], f[2], f[3]};
            TableAlone(o, bg, f, T, M, op);
        });
        break;
    }
    case Body::Normal:
        if (premultiplied)
            RunSolid<parallelBlendNormalSolidColorRRPreAlphaInvoker>(frame, stripes, [=](uint8_t* f) {
                uint8_t d[4];
                Copy4(bgPre, d);
                NormalPre(f, d, M, op);
                Copy4(d, f);
            });
        else
            RunSolid<parallelBlendNormalSolidColorRRStrenAlphaInvoker>(frame, stripes, [=](uint8_t* f) {
                uint8_t d[4];
                Copy4(bg, d);
                NormalStraight(f, d, t, op);
                Copy4(d, f);
            });
        break;
    case Body::HollowIn:
        RunSolid<parallelHollowinSolidColorInvoker>(frame, kHollowStripes, [=](uint8_t* f) {
            const int alpha = f[3];
            for (int c = 0; c < 4; ++c) f[c] = M[At(bg[c], alpha)];
        });
        break;
    case Body::HollowOut:
        // A transparent colour takes the overlay, which is the frame itself.
        if (bg[3] != 0)
            RunSolid<parallelHollowOutSolidColorInvoker>(frame, kHollowStripes, [=](uint8_t* f) {
                uint8_t d[4];
                Copy4(bg, d);
                HollowOut(f, d, M);
                Copy4(d, f);
            });
        break;
    case Body::BgHollowIn:
        RunSolid<parallelTextBgHollowInSolidColorInvoker>(frame, kHollowStripes, [=](uint8_t* f) {
            for (int c = 0; c < 4; ++c) f[c] = M[At(f[c], bg[3])];
        });
        break;
    case Body::Replace:
        break;  // the frame already is the overlay
    }
    return true;
}

void BlendOnePixel(const uint8_t* overlay, uint8_t* destination, int mode, uint8_t opacity, bool premultiplied) {
    if (!overlay || !destination) return;
    const Luts t;
    int table = -1;
    switch (Route(mode, &table)) {
    case Body::Table: TableInPlace(overlay, destination, GetBlendTables().table(table), t.M, opacity); break;
    case Body::Normal:
        if (premultiplied) NormalPre(overlay, destination, t.M, opacity);
        else NormalStraight(overlay, destination, t, opacity);
        break;
    case Body::HollowIn: HollowIn(overlay, destination, t.M); break;
    case Body::HollowOut: HollowOut(overlay, destination, t.M); break;
    case Body::BgHollowIn: BgHollowIn(overlay, destination, t.M); break;
    case Body::Replace: std::memmove(destination, overlay, 4); break;
    }
}

// --- mask blend ---------------------------------------------------------------------------------

namespace {

// Mode 0 output alpha for overlay alpha a > 0 and background alpha b, as one table built once:
// the even/odd low bit tells later passes whether the background was opaque.
const uint8_t* KeepAlphaTable() {
    static const auto* table = [] {
        auto* t = new uint8_t[256 * 256];
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                int v;
                if (a == 0) v = 0;
                else if (a == 255) v = b == 255 ? 255 : (b & ~1);
                else if (b == 255) v = 2 * ((a * 255 / (a + 255)) / 2) + 1;
                else v = 2 * ((a * b / (a + b)) / 2);
                t[At(a, b)] = static_cast<uint8_t>(v);
            }
        }
        return t;
    }();
    return table;
}

struct MaskRule {
    int mode;
    const uint8_t* M;
    const uint8_t* keep;
    void operator()(const uint8_t* o, const uint8_t* g, uint8_t* out) const {
        const int a = o[3], b = g[3];
        switch (mode) {
        case 0:
            if (a == 0 || (g[0] | g[1] | g[2] | g[3]) == 0) {
                std::memset(out, 0, 4);
                return;
            }
            out[0] = g[0];
            out[1] = g[1];
            out[2] = g[2];
            out[3] = keep[At(a, b)];
            return;
        case 1: {
            if (a + b == 0) {
                std::memset(out, 0, 4);
                return;
            }
            const float r = static_cast<float>(a) / static_cast<float>(a + b);
            for (int c = 0; c < 3; ++c) {
                // lrintf rounds halves to even in the default rounding mode.
                const long v = std::lrintf(static_cast<float>(o[c]) * r + static_cast<float>(g[c]) * (1.0f - r));
                out[c] = static_cast<uint8_t>(std::clamp<long>(v, 0, 255));
            }
            out[3] = static_cast<uint8_t>((a & b & 1) ? 255 : std::min(255, a + b));
            return;
        }
        default:
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(M[At(a, o[c])] + M[At(255 - a, g[c])]);
            out[3] = static_cast<uint8_t>(M[At(255 - a, b)] + a);
            return;
        }
    }
};

// A fractional region in whole pixels of a picture of size (w, h), clipped to it; empty when
// any value is not finite.
cv::Rect PixelRegion(fxRectf r, int w, int h) {
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.width) || !std::isfinite(r.height)) return {};
    auto whole = [](float v, int size) {
        const double p = static_cast<double>(v) * size + 0.5;
        return static_cast<int>(std::clamp(p, -1e9, 1e9));
    };
    const cv::Rect want(whole(r.x, w), whole(r.y, h), whole(r.width, w), whole(r.height, h));
    return want & cv::Rect(0, 0, w, h);
}

}  // namespace

namespace imageC {

class parallelBlendMask : public StripeBody {
public:
    parallelBlendMask(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, MaskRule rule, int stripes)
        : StripeBody(out.rows, stripes), o_(overlay), g_(background), out_(out), rule_(rule) {}

protected:
    void Row(int y) const override {
        const uint8_t* o = o_.ptr<uint8_t>(y);
        const uint8_t* g = g_.ptr<uint8_t>(y);
        uint8_t* d = out_.ptr<uint8_t>(y);
        for (int x = 0; x < out_.cols; ++x, o += 4, g += 4, d += 4) rule_(o, g, d);
    }

private:
    const cv::Mat& o_;
    const cv::Mat& g_;
    cv::Mat& out_;
    MaskRule rule_;
};

}  // namespace imageC

bool BlendMaskLayers(const cv::Mat& overlay, const cv::Mat& background, cv::Mat& out, fxRectf overlayRoi,
                     fxRectf backgroundRoi, int maskMode) {
    if (!IsBGRA(overlay) || !SameBGRA(background, out) || maskMode < 0 || maskMode > 2) return false;
    const cv::Rect ro = PixelRegion(overlayRoi, overlay.cols, overlay.rows);
    const cv::Rect rb = PixelRegion(backgroundRoi, background.cols, background.rows);
    const cv::Size common(std::min(ro.width, rb.width), std::min(ro.height, rb.height));
    if (common.width <= 0 || common.height <= 0) return true;  // nothing is covered
    const cv::Mat o = overlay(cv::Rect(ro.tl(), common));
    const cv::Mat g = background(cv::Rect(rb.tl(), common));
    cv::Mat d = out(cv::Rect(rb.tl(), common));
    const MaskRule rule{maskMode, MulTable(), KeepAlphaTable()};
    const imageC::parallelBlendMask body(o, g, d, rule, 8);
    if (common.area() <= 9999) body(cv::Range(0, 8));
    else body.Run();
    return true;
}

// --- YV12 blend and the alpha fix-ups ----------------------------------------------------------------

namespace imageC {

// out = L[first][second][opacity] over the rows of one or two planes.
class PlaneMixBody : public StripeBody {
public:
    struct Plane {
        const cv::Mat* a;
        const cv::Mat* b;
        cv::Mat* out;
    };
    PlaneMixBody(std::initializer_list<Plane> planes, int rows, uint8_t opacity, int stripes)
        : StripeBody(rows, stripes), planes_(planes), L_(Mix(), opacity) {}

protected:
    void Row(int y) const override {
        for (const Plane& p : planes_) {
            const uint8_t* a = p.a->ptr<uint8_t>(y);
            const uint8_t* b = p.b->ptr<uint8_t>(y);
            uint8_t* d = p.out->ptr<uint8_t>(y);
            for (int x = 0; x < p.out->cols; ++x) d[x] = L_(a[x], b[x]);
        }
    }

private:
    std::vector<Plane> planes_;
    MixRows L_;
};

class parallelYV12Blend_Y : public PlaneMixBody {
public:
    parallelYV12Blend_Y(const cv::Mat& a, const cv::Mat& b, cv::Mat& out, uint8_t opacity, int stripes)
        : PlaneMixBody({{&a, &b, &out}}, out.rows, opacity, stripes) {}
};

class parallelYV12Blend_UV : public PlaneMixBody {
public:
    parallelYV12Blend_UV(const cv::Mat& u1, const cv::Mat& u2, cv::Mat& uo, const cv::Mat& v1, const cv::Mat& v2,
                         cv::Mat& vo, uint8_t opacity, int stripes)
        : PlaneMixBody({{&u1, &u2, &uo}, {&v1, &v2, &vo}}, uo.rows, opacity, stripes) {}
};

class parallelIgnoreAlphaInvoker : public StripeBody {
public:
    parallelIgnoreAlphaInvoker(const cv::Mat& src, cv::Mat& dst, int stripes)
        : StripeBody(dst.rows, stripes), s_(src), d_(dst) {}

protected:
    void Row(int y) const override {
        const uint8_t* s = s_.ptr<uint8_t>(y);
        uint8_t* d = d_.ptr<uint8_t>(y);
        for (int x = 0; x < d_.cols; ++x, s += 4, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }

private:
    const cv::Mat& s_;
    cv::Mat& d_;
};

class parallelAlphaMultInvoker : public cv::ParallelLoopBody {
public:
    parallelAlphaMultInvoker(const cv::Mat& src, cv::Mat& dst, int stripes)
        : s_(src), d_(dst), stripes_(stripes) {}
    void operator()(const cv::Range& range) const override {
        for (int i = range.start; i < range.end; ++i) {
            const cv::Range r = BandRows(i, stripes_, d_.rows);
            if (r.empty()) continue;
            PremultiplyAlphaRows(s_.ptr<uint8_t>(r.start), s_.step[0], d_.ptr<uint8_t>(r.start), d_.step[0], d_.cols,
                                 r.size());
        }
    }

private:
    const cv::Mat& s_;
    cv::Mat& d_;
    int stripes_;
};

}  // namespace imageC

bool BlendYV12(const cv::Mat& firstY, const cv::Mat& firstU, const cv::Mat& firstV, const cv::Mat& secondY,
               const cv::Mat& secondU, const cv::Mat& secondV, cv::Mat& outY, cv::Mat& outU, cv::Mat& outV,
               uint8_t opacity, int stripes) {
    auto plane = [](const cv::Mat& m) { return !m.empty() && m.type() == CV_8UC1 && m.dims == 2; };
    auto same = [&](const cv::Mat& a, const cv::Mat& b, const cv::Mat& c) {
        return plane(a) && plane(b) && plane(c) && a.size() == b.size() && b.size() == c.size();
    };
    if (!same(firstY, secondY, outY) || !same(firstU, secondU, outU) || !same(firstV, secondV, outV) ||
        firstU.size() != firstV.size())
        return false;
    const imageC::parallelYV12Blend_Y y(firstY, secondY, outY, opacity, stripes);
    const imageC::parallelYV12Blend_UV uv(firstU, secondU, outU, firstV, secondV, outV, opacity, stripes);
    if (outY.total() <= 10000) {
        const int n = std::max(stripes, 1);
        y(cv::Range(0, n));
        uv(cv::Range(0, n));
    } else {
        y.Run();
        uv.Run();
    }
    return true;
}

bool IgnoreAlpha(const cv::Mat& source, cv::Mat& destination, int stripes) {
    if (!SameBGRA(source, destination)) return false;
    imageC::parallelIgnoreAlphaInvoker(source, destination, stripes).Run();
    return true;
}

void PremultiplyAlphaRows(const uint8_t* source, size_t sourceStride, uint8_t* destination,
                          size_t destinationStride, int width, int rows) {
    if (!source || !destination) return;
    const uint8_t* M = MulTable();
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = source + sourceStride * y;
        uint8_t* d = destination + destinationStride * y;
        int x = PremultiplyRowVector(s, d, width);
        for (s += 4 * x, d += 4 * x; x < width; ++x, s += 4, d += 4) {
            const int a = s[3];
            d[0] = M[At(s[0], a)];
            d[1] = M[At(s[1], a)];
            d[2] = M[At(s[2], a)];
            d[3] = static_cast<uint8_t>(a);
        }
    }
}

bool AlphaMultiply(const cv::Mat& source, cv::Mat& destination) {
    if (!SameBGRA(source, destination)) return false;
    constexpr int kStripes = 4;
    RunBands(imageC::parallelAlphaMultInvoker(source, destination, kStripes), kStripes);
    return true;
}

}  // namespace orvex
