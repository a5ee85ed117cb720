// What every creatable effect owes its host, created through the lab as a host creates it: a frame
// it cannot render is refused with UnsupportedFrame and left untouched, a frame rendered in place
// gets the picture of separate frames, and an output that partly overlaps the input in one buffer
// gets that picture too.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "guarded_frame.h"
#include "log_capture.h"
#include "orvex/orvex.h"

using namespace orvex;
using orvextest::GuardedFrame;

namespace {

class EffectContract : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { lab_ = CreateOrvex(); }
    void TearDown() override { ReleaseOrvex(lab_); }

    // A fresh effect per render: the automatic effects keep measurements from frame to frame.
    std::shared_ptr<IOrvexEffect> Fresh() {
        IOrvexEffect* e = lab_->CreateOrvexEffect(GetParam().c_str());
        EXPECT_NE(e, nullptr);
        return std::shared_ptr<IOrvexEffect>(e, [lab = lab_](IOrvexEffect* p) {
            if (p) lab->ReleaseOrvexEffect(p);
        });
    }

    IOrvex* lab_ = nullptr;
};

ResultCode RenderOnce(IOrvexEffect& effect, const EffectFramePtr& in, EffectFramePtr out) {
    return effect.Render(nullptr, 0, nullptr, {in}, out);
}

EffectFramePtr View(GuardedFrame& g) { return EffectFramePtr(std::shared_ptr<void>(), &g.frame); }

// A w x h BGRA32 frame over caller memory at `data` with `pitch` bytes per row.
EffectFramePtr FrameOver(uint8_t* data, int w, int h, int pitch) {
    auto f = std::make_shared<EffectFrame>();
    f->planes = 1;
    f->pixel_fmt = BGRA32;
    f->width[0] = static_cast<uint32_t>(w);
    f->height[0] = static_cast<uint32_t>(h);
    f->data[0] = data;
    f->pitch[0] = pitch;
    return f;
}

// The w x h picture bytes of a frame with `pitch`, padding left out.
std::vector<uint8_t> Picture(const uint8_t* data, int w, int h, int pitch) {
    std::vector<uint8_t> bytes;
    for (int y = 0; y < h; ++y) bytes.insert(bytes.end(), data + y * pitch, data + y * pitch + w * 4);
    return bytes;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 2654435761u + seed * 97u) >> 7);
    return v;
}

struct Shape {
    int w, h, pad;
};
// Odd sizes, padded rows; the last is above the 10000-pixel serial limit, so the bands run.
const Shape kShapes[] = {{7, 5, 12}, {33, 17, 4}, {101, 100, 8}};

}  // namespace

TEST_P(EffectContract, RefusesFramesItCannotRenderAndLeavesThemUntouched) {
    struct Case {
        const char* what;
        uint32_t inFmt, outFmt;
        uint32_t claimedIn = 0;  // a format number the input claims over BGRA memory, when set
    };
    const Case cases[] = {
        {"NV12 output", BGRA32, NV12},
        {"BGRA64 output", BGRA32, BGRA64},
        {"YV12 output", BGRA32, YV12},
        {"NV12 input", NV12, BGRA32},
        {"input format 15", BGRA32, BGRA32, 15},
        {"input format 0xFFFFFFFF", BGRA32, BGRA32, 0xFFFFFFFFu},
    };
    std::shared_ptr<IOrvexEffect> effect = Fresh();
    ASSERT_NE(effect, nullptr);
    // The refusal the effect's manifest row names; every built-in row says UnsupportedFrame.
    const BuiltinEffect* row = FindBuiltinEffect(GetParam().c_str());
    ASSERT_NE(row, nullptr);
    const ResultCode reject = row->reject;
    EXPECT_EQ(reject, UnsupportedFrame);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuardedFrame in(c.inFmt, 12, 9), out(c.outFmt, 12, 9);
        if (c.claimedIn) in.frame.pixel_fmt = c.claimedIn;
        const auto before = out.Snapshot();
        orvextest::LogCapture log;
        EXPECT_EQ(RenderOnce(*effect, View(in), View(out)), reject);
        EXPECT_TRUE(out.SameAs(before)) << "output written";
        bool named = false;
        for (const auto& line : log.lines())
            named = named || (line.message.find(GetParam()) != std::string::npos &&
                              line.message.find("unsupported frame format") != std::string::npos);
        EXPECT_TRUE(named) << log.Dump();
    }
}

TEST_P(EffectContract, InPlaceGivesTheOutOfPlacePicture) {
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        const int pitch = s.w * 4 + s.pad;
        const size_t bytes = static_cast<size_t>(pitch) * s.h;
        std::vector<uint8_t> input = Pattern(bytes, 1), separate = Pattern(bytes, 2), inPlace = input;
        ASSERT_EQ(RenderOnce(*Fresh(), FrameOver(input.data(), s.w, s.h, pitch),
                             FrameOver(separate.data(), s.w, s.h, pitch)),
                  Ok);
        EffectFramePtr same = FrameOver(inPlace.data(), s.w, s.h, pitch);
        ASSERT_EQ(RenderOnce(*Fresh(), same, same), Ok);
        EXPECT_TRUE(Picture(separate.data(), s.w, s.h, pitch) == Picture(inPlace.data(), s.w, s.h, pitch))
            << "the picture rendered in place differs";
    }
}

TEST_P(EffectContract, AnOutputOverlappingTheInputGetsTheSeparatePicture) {
    const Shape s = kShapes[1];
    const int pitch = s.w * 4 + s.pad;
    const size_t frameBytes = static_cast<size_t>(pitch) * (s.h - 1) + s.w * 4;
    const size_t shift = static_cast<size_t>(pitch) + 4;  // one row and one pixel
    for (bool outputAfter : {true, false}) {
        SCOPED_TRACE(outputAfter ? "output one row and one pixel after the input" : "output before the input");
        std::vector<uint8_t> buffer = Pattern(frameBytes + shift, 3);
        uint8_t* inData = buffer.data() + (outputAfter ? 0 : shift);
        uint8_t* outData = buffer.data() + (outputAfter ? shift : 0);
        // The same two frames apart, as they stood before the render.
        std::vector<uint8_t> refIn(inData, inData + frameBytes), refOut(outData, outData + frameBytes);
        ASSERT_EQ(RenderOnce(*Fresh(), FrameOver(refIn.data(), s.w, s.h, pitch),
                             FrameOver(refOut.data(), s.w, s.h, pitch)),
                  Ok);
        ASSERT_EQ(RenderOnce(*Fresh(), FrameOver(inData, s.w, s.h, pitch), FrameOver(outData, s.w, s.h, pitch)), Ok);
        EXPECT_TRUE(Picture(refOut.data(), s.w, s.h, pitch) == Picture(outData, s.w, s.h, pitch));
    }
}

INSTANTIATE_TEST_SUITE_P(Builtin, EffectContract, ::testing::ValuesIn(orvextest::CreatableNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(info.param.rfind('/') + 1);
                         });
