// The per-pixel arithmetic of the SDR2HDR, PQToHLG and HLGToPQ kernels (sdr2hdr.cl, pq_hlg.cl)
// in double precision: the reference of the CPU frame routine (HdrTransferCpu).
#include <algorithm>
#include <cmath>

#include "visual/HdrCurves.h"

namespace orvex::hdr64 {
namespace {

// BT.709, BT.601 625-line (PAL) and 525-line (NTSC) primaries to BT.2020, as the kernel holds them.
constexpr double kToBT2020[3][9] = {
    {0.627401710, 0.329291970, 0.0433061570, 0.0690954551, 0.919544280, 0.0113602169, 0.0163937025, 0.0880281180,
     0.895578265},
    {0.655035615, 0.302169114, 0.0427953303, 0.0721387640, 0.916634977, 0.0112262145, 0.0171157643, 0.0978699923,
     0.885014236},
    {0.595252275, 0.349324703, 0.0554230213, 0.0812415406, 0.891510427, 0.0272480603, 0.0155144883, 0.0819257423,
     0.902559757}};

}  // namespace

const HlgTarget& SdrToHlg() {
    // Inverse OOTF of a 1000 cd/m2 display, ahead of the HLG OETF on the HLG reference white.
    static const HlgTarget t = [] {
        const double peak = 1000.0 / MP_REF_WHITE;
        const double gamma = std::max(1.0, 1.2 + 0.42 * std::log10(peak * MP_REF_WHITE / 1000.0));
        return HlgTarget{std::pow(12.0 / MP_REF_WHITE_HLG, gamma) / peak, (gamma - 1.0) / gamma};
    }();
    return t;
}

const double* BT2020Matrix(int sdrMode) { return kToBT2020[sdrMode == 0 ? 1 : sdrMode == 1 ? 2 : 0]; }

double TransferSteps::Decode(double v) const {
    switch (op) {
        case Transfer::SDR2HDR: return BT1886_EOTF(v) * (200.0 / MP_REF_WHITE);
        // Display light relative to the 1000 cd/m2 peak, clipped there.
        case Transfer::PQToHLG: return std::min(PQ_EOTF(v) * 10.0, 1.0);
        case Transfer::HLGToPQ: return HLG_INV_OETF(v);
    }
    return 0.0;
}

void TransferSteps::Mix(double rgb[3]) const {
    double &r = rgb[0], &g = rgb[1], &b = rgb[2];
    if (op == Transfer::PQToHLG) {
        HLG_INV_OOTF(&r, &g, &b);
        return;
    }
    if (op == Transfer::HLGToPQ) {
        HLG_OOTF(&r, &g, &b);
        return;
    }
    mat3_apply(BT2020Matrix(sdrMode), &r, &g, &b);
    const double mx = std::max(r, std::max(g, b));
    if (mx > 0.0) {
        const double k = inv_hable(mx * hable(1000.0 / MP_REF_WHITE)) / mx;
        r *= k;
        g *= k;
        b *= k;
    }
    if (pqMode == 0) {
        const HlgTarget& t = SdrToHlg();
        r *= t.scale;
        g *= t.scale;
        b *= t.scale;
        const double ys = 0.2627 * r + 0.6780 * g + 0.0593 * b;
        const double d = std::max(1e-6, std::pow(std::max(ys, 0.0), t.exponent));
        r /= d;
        g /= d;
        b /= d;
    }
}

double TransferSteps::Encode(double x) const {
    switch (op) {
        case Transfer::SDR2HDR:
            if (pqMode == 0) {
                const double e = x * MP_REF_WHITE_HLG;
                return hdr_clamp01(e <= 1.0 ? 0.5 * std::sqrt(std::max(e, 0.0)) : HLG_A * std::log(e - HLG_B) + HLG_C);
            }
            return hdr_clamp01(PQ_INV_EOTF(x * MP_REF_WHITE / 10000.0));
        case Transfer::PQToHLG: return hdr_clamp01(HLG_OETF(x));
        case Transfer::HLGToPQ: return hdr_clamp01(PQ_INV_EOTF(std::min(x * 0.1, 1.0)));
    }
    return 0.0;
}

}  // namespace orvex::hdr64
