// Every creatable built-in effect against broken frames and parameter values: Render answers with a
// result code, leaves the output untouched when it fails and never writes outside the planes.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "effects/EffectSurface.h"
#include "guarded_frame.h"
#include "effects/Manifest.h"

using namespace orvex;
using orvextest::GuardedFrame;

namespace {

using orvextest::CreatableNames;

// One test per creatable effect, so that a fault names its effect and stops no other.
class EffectBadInput : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { effect_.reset(FindBuiltinEffect(GetParam().c_str())->create()); }
    std::unique_ptr<EffectSurface> effect_;
};

EffectFramePtr View(GuardedFrame& g) { return EffectFramePtr(std::shared_ptr<void>(), &g.frame); }

// One input and one output frame, both shaped by `make`, then `edit`ed.
struct FrameCase {
    std::string name;
    bool broken;
    std::function<GuardedFrame*()> make;
    std::function<void(EffectFrame& in, EffectFrame& out)> edit = [](EffectFrame&, EffectFrame&) {};
};

std::vector<FrameCase> FrameCases() {
    auto bgra = [] { return new GuardedFrame(BGRA32, 12, 9); };
    std::vector<FrameCase> list = {
        {"empty frames", true, [] { return new GuardedFrame(); }},
        {"null input plane", true, bgra, [](EffectFrame& in, EffectFrame&) { in.data[0] = nullptr; }},
        {"null output plane", true, bgra, [](EffectFrame&, EffectFrame& out) { out.data[0] = nullptr; }},
        {"short pitch", true, bgra, [](EffectFrame& in, EffectFrame& out) { in.pitch[0] = out.pitch[0] = 40; }},
        {"negative pitch", true, bgra, [](EffectFrame& in, EffectFrame&) { in.pitch[0] = -in.pitch[0]; }},
        {"zero size", true, bgra, [](EffectFrame& in, EffectFrame& out) { in.width[0] = out.width[0] = 0; }},
        {"size beyond any frame", true, bgra,
         [](EffectFrame& in, EffectFrame& out) { in.height[0] = out.height[0] = 0x80000000u; }},
        {"odd size", false, [] { return new GuardedFrame(BGRA32, 7, 3); }},
        {"one pixel", false, [] { return new GuardedFrame(BGRA32, 1, 1); }},
        {"mismatched sizes", false, bgra, [](EffectFrame&, EffectFrame& out) { out.width[0] = 5; }},
    };
    // Some bodies answer Ok for a format they leave alone, and some do not look at the format at
    // all: whatever they answer, they must stay inside the planes.
    for (uint32_t fmt = 0; fmt <= PIXFMT_COUNT; ++fmt) {
        if (fmt == BGRA32 || fmt == BGRA32_ALT) continue;
        list.push_back({"format " + std::to_string(fmt), false, [fmt] { return new GuardedFrame(fmt, 12, 9); }});
    }
    return list;
}

void RenderAndCheck(EffectSurface& effect, GuardedFrame& in, GuardedFrame& out, bool mustFail) {
    const auto inBefore = in.Snapshot();
    const auto outBefore = out.Snapshot();
    in.Poison();
    out.Poison();
    EffectFramePtr output = View(out);
    const ResultCode result = effect.Render(nullptr, 0, nullptr, {View(in)}, output);
    EXPECT_GE(result, Ok);
    EXPECT_LE(result, UnsupportedFrame);
    if (mustFail) {
        EXPECT_NE(result, Ok);
    }
    EXPECT_TRUE(in.SameAs(inBefore)) << "input written";
    EXPECT_TRUE(out.GuardsAsIn(outBefore)) << "written outside the output planes";
    if (result != Ok) {
        EXPECT_TRUE(out.SameAs(outBefore)) << "output changed by a failing render";
    }
}

}  // namespace

TEST_P(EffectBadInput, RenderRefusesBrokenFramesWithoutTouchingThem) {
    // Missing inputs and outputs.
    EffectFramePtr none;
    GuardedFrame frame(BGRA32, 4, 4);
    EXPECT_EQ(effect_->Render(nullptr, 0, nullptr, {}, none), Failed);
    EffectFramePtr output = View(frame);
    EXPECT_EQ(effect_->Render(nullptr, 0, nullptr, {nullptr}, output), Failed);
    EXPECT_EQ(effect_->Render(nullptr, 0, nullptr, {View(frame)}, none), Failed);

    for (const FrameCase& c : FrameCases()) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<GuardedFrame> in(c.make()), out(c.make());
        c.edit(in->frame, out->frame);
        RenderAndCheck(*effect_, *in, *out, c.broken);
    }
}

TEST_P(EffectBadInput, NonFiniteAndExtremeParametersStillRenderInsideTheFrame) {
    const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min()};
    const int32_t integers[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -1};
    for (const ParamDecl& p : effect_->Params()) {
        SCOPED_TRACE(p.name);
        std::vector<EffectParamValue> tries;
        if (p.type == ParamFloat)
            for (float v : values) tries.push_back(EffectParamValue::Float(v));
        if (p.type == ParamInt)
            for (int32_t v : integers) tries.push_back(EffectParamValue::Int(v));
        for (const EffectParamValue& v : tries) {
            const ResultCode set = effect_->SetParam(p.name.c_str(), p.type, v);
            EXPECT_GE(set, Ok);
            EXPECT_LE(set, UnsupportedFrame);
            GuardedFrame in(BGRA32, 17, 11), out(BGRA32, 17, 11);
            RenderAndCheck(*effect_, in, out, false);
        }
        // A value of the wrong type is refused by type, whatever its bytes say.
        EXPECT_NE(effect_->SetParam(p.name.c_str(), static_cast<EffectParamType>(99), EffectParamValue()), Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(Builtin, EffectBadInput, ::testing::ValuesIn(CreatableNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(info.param.rfind('/') + 1);
                         });
