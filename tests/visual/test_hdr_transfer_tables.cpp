// The table form of SDR2HDR, PQToHLG and HLGToPQ on host frames gives the bytes of their plain
// double-precision body (TransferSteps::Pixel on every pixel, read and written as BGRAPlane does),
// at every pair of 8- and 16-bit frames, opaque and translucent, on the vector rows and the plain.
#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "planar_frames.h"
#include "visual/HdrTransferCpu.h"
#include "visual/PixelMap.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using hdr64::Transfer;
using hdr64::TransferSteps;
using orvextest::PlanarFrame;

struct Case {
    const char* name;
    TransferSteps steps;
};

const Case kCases[] = {
    {"sdr2hdr_pq_709", {Transfer::SDR2HDR, 1, 2}},
    {"sdr2hdr_hlg_pal", {Transfer::SDR2HDR, 0, 0}},
    {"sdr2hdr_hlg_ntsc", {Transfer::SDR2HDR, 0, 1}},
    {"pq2hlg", {Transfer::PQToHLG}},
    {"hlg2pq", {Transfer::HLGToPQ}},
};

ResultCode RunTransfer(VisualProcess& vp, const TransferSteps& s, const EffectFrame& in, EffectFrame& out) {
    switch (s.op) {
        case Transfer::SDR2HDR: return vp.SDR2HDR(in, out, s.pqMode, s.sdrMode);
        case Transfer::PQToHLG: return vp.PQToHLG(in, out);
        case Transfer::HLGToPQ: return vp.HLGToPQ(in, out);
    }
    return Failed;
}

void PlainBody(const TransferSteps& s, const EffectFrame& in, EffectFrame& out) {
    const BGRAPlane src = BGRAPlane::Of(in), dst = BGRAPlane::Of(out);
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x) {
            double px[4];
            src.Read(x, y, px);
            s.Pixel(px, px[3]);
            dst.Write(x, y, px);
        }
}

TEST(HdrTransferTables, EncodeStepsMatchThePlainEncodeDensely) {
    // Every binade from 2^-64 up to 2^4 (past any Mix result of a 0..1 frame), random mantissas,
    // plus a uniform sweep of 0..1.5 where most pixels land.
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Case& c : kCases)
        for (bool sixteen : {false, true}) {
            int mismatches = 0;
            std::string first;
            for (int i = 0; i < 200000; ++i) {
                const double x =
                    i % 2 ? std::ldexp(1.0 + unit(rng), static_cast<int>(rng() % 68) - 64) : 1.5 * unit(rng);
                const int plain = HdrEncodeCodePlain(c.steps, sixteen, x);
                const int tabled = HdrEncodeCodeTabled(c.steps, sixteen, x);
                if (plain != tabled && mismatches++ == 0)
                    first = std::to_string(x) + ": " + std::to_string(tabled) + " vs " + std::to_string(plain);
            }
            EXPECT_EQ(mismatches, 0) << c.name << (sixteen ? " 16-bit" : " 8-bit") << ", first at x = " << first;
        }
}

TEST(HdrTransferTables, FramesMatchThePlainBodyAtEveryDepth) {
    // 256 greys, then random pixels; a quarter of them translucent (alpha 0 among them).
    for (const Case& c : kCases)
        for (uint32_t inFmt : {BGRA32, BGRA64})
            for (uint32_t outFmt : {BGRA32, BGRA64}) {
                const int w = 301, h = inFmt == BGRA32 ? 500 : 300;
                PlanarFrame in(inFmt, w, h), fast(outFmt, w, h), plain(outFmt, w, h);
                std::mt19937 rng(11);
                const int top = in.MaxValue();
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int i = y * w + x;
                        const int alpha = rng() % 4 ? top : (rng() % 2 ? 0 : static_cast<int>(rng() % (top + 1)));
                        for (int s = 0; s < 3; ++s)
                            in.Put(0, 4 * x + s, y, i < 256 ? i * top / 255 : static_cast<int>(rng() % (top + 1)));
                        in.Put(0, 4 * x + 3, y, alpha);
                    }
                PlainBody(c.steps, in.frame, plain.frame);
                // Through the operation (the processor's vector rows where it has them), then the
                // plain rows alone.
                for (bool vectors : {true, false}) {
                    VisualProcess vp;
                    if (vectors) ASSERT_EQ(RunTransfer(vp, c.steps, in.frame, fast.frame), Ok) << c.name;
                    else HdrTransferFrame(c.steps, in.frame, fast.frame, false);
                    std::string where;
                    EXPECT_EQ(fast.MaxDiff(plain, 0, &where), 0)
                        << c.name << ", " << (inFmt == BGRA64 ? 16 : 8) << " to " << (outFmt == BGRA64 ? 16 : 8)
                        << " bits, " << (vectors ? "vector" : "plain") << " rows, first at " << where;
                    EXPECT_TRUE(fast.GuardsIntact());
                }
            }
}

}  // namespace
}  // namespace orvex
