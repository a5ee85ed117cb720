// Every creatable built-in effect against broken frames and parameter values: Render answers with the
// result code the frames call for, leaves the output untouched when it fails and never writes
// outside the planes.
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
    void SetUp() override {
        row_ = FindBuiltinEffect(GetParam().c_str());
        effect_.reset(row_->create());
    }
    const BuiltinEffect* row_ = nullptr;
    std::unique_ptr<EffectSurface> effect_;
};

EffectFramePtr View(GuardedFrame& g) { return EffectFramePtr(std::shared_ptr<void>(), &g.frame); }

// What Render owes a frame case: InvalidArgument for frames no body can read or write safely, Ok
// for frames it renders, the row's reject code for another pixel format, and for an output of
// another size whatever the row's output-size rule says.
enum class Owed { Refusal, Picture, Reject, BySizeRule };

ResultCode OwedResult(Owed owed, const BuiltinEffect& row) {
    switch (owed) {
    case Owed::Refusal: return InvalidArgument;
    case Owed::Picture: return Ok;
    case Owed::Reject: return row.reject;
    case Owed::BySizeRule: return row.outputSize == OutputSize::Any ? Ok : InvalidArgument;
    }
    return Failed;
}

// One input and one output frame, both shaped by `make`, then `edit`ed.
struct FrameCase {
    std::string name;
    Owed owed;
    std::function<GuardedFrame*()> make;
    std::function<void(EffectFrame& in, EffectFrame& out)> edit = [](EffectFrame&, EffectFrame&) {};
};

std::vector<FrameCase> FrameCases() {
    auto bgra = [] { return new GuardedFrame(BGRA32, 12, 9); };
    std::vector<FrameCase> list = {
        {"empty frames", Owed::Refusal, [] { return new GuardedFrame(); }},
        {"null input plane", Owed::Refusal, bgra, [](EffectFrame& in, EffectFrame&) { in.data[0] = nullptr; }},
        {"null output plane", Owed::Refusal, bgra, [](EffectFrame&, EffectFrame& out) { out.data[0] = nullptr; }},
        {"short pitch", Owed::Refusal, bgra, [](EffectFrame& in, EffectFrame& out) { in.pitch[0] = out.pitch[0] = 40; }},
        {"output pitch a byte short", Owed::Refusal, bgra, [](EffectFrame&, EffectFrame& out) { out.pitch[0] = 12 * 4 - 1; }},
        {"negative pitch", Owed::Refusal, bgra, [](EffectFrame& in, EffectFrame&) { in.pitch[0] = -in.pitch[0]; }},
        {"zero size", Owed::Refusal, bgra, [](EffectFrame& in, EffectFrame& out) { in.width[0] = out.width[0] = 0; }},
        {"size beyond any frame", Owed::Refusal, bgra,
         [](EffectFrame& in, EffectFrame& out) { in.height[0] = out.height[0] = 0x80000000u; }},
        {"odd size", Owed::Picture, [] { return new GuardedFrame(BGRA32, 7, 3); }},
        {"one pixel", Owed::Picture, [] { return new GuardedFrame(BGRA32, 1, 1); }},
        {"narrower output", Owed::BySizeRule, bgra, [](EffectFrame&, EffectFrame& out) { out.width[0] = 5; }},
        {"shorter output", Owed::BySizeRule, bgra, [](EffectFrame&, EffectFrame& out) { out.height[0] = 8; }},
        {"larger output than input", Owed::BySizeRule, bgra,
         [](EffectFrame& in, EffectFrame&) { in.width[0] = 11, in.height[0] = 7; }},
    };
    // Every other format, on both sides: refused before any body looks at the planes.
    for (uint32_t fmt = 0; fmt <= PIXFMT_COUNT; ++fmt) {
        if (fmt == BGRA32 || fmt == BGRA32_ALT) continue;
        list.push_back({"format " + std::to_string(fmt), Owed::Reject, [fmt] { return new GuardedFrame(fmt, 12, 9); }});
    }
    return list;
}

// Renders, expects the `owed` result, and checks the frames around the planes.
void RenderAndCheck(EffectSurface& effect, GuardedFrame& in, GuardedFrame& out, ResultCode owed, int64_t position = 0) {
    const auto inBefore = in.Snapshot();
    const auto outBefore = out.Snapshot();
    in.Poison();
    out.Poison();
    EffectFramePtr output = View(out);
    const ResultCode result = effect.Render(nullptr, position, nullptr, {View(in)}, output);
    EXPECT_EQ(result, owed);
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
        RenderAndCheck(*effect_, *in, *out, OwedResult(c.owed, *row_));
    }
}

// A parameter at the ends of its type, alone or with every other one, still gives a picture: no
// crash, no hang, nothing written outside the planes. Two frame positions, for the effects whose
// picture draws from the position.
TEST_P(EffectBadInput, NonFiniteAndExtremeParametersStillRenderTheFrame) {
    const float floats[] = {std::numeric_limits<float>::quiet_NaN(),  std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max(),      std::numeric_limits<float>::denorm_min(),
                            1e-30f, 0.0f, -1.0f, 1e6f, -1e6f};
    const int32_t integers[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -1, 0};
    auto set = [&](EffectSurface& e, const ParamDecl& p, size_t i) {
        const EffectParamValue v = p.type == ParamFloat ? EffectParamValue::Float(floats[i])
                                   : p.type == ParamInt ? EffectParamValue::Int(integers[i % std::size(integers)])
                                                        : EffectParamValue::Bool(i % 2 != 0);
        const ResultCode result = e.SetParam(p.name.c_str(), p.type, v);
        EXPECT_TRUE(result == Ok || result == InvalidArgument) << result;
    };
    auto renders = [](EffectSurface& e) {
        for (int64_t position : {0, 12}) {
            GuardedFrame in(BGRA32, 17, 11), out(BGRA32, 17, 11);
            RenderAndCheck(e, in, out, Ok, position);
        }
    };
    for (const ParamDecl& p : effect_->Params()) {
        if (p.type != ParamFloat && p.type != ParamInt) continue;
        for (size_t i = 0; i < (p.type == ParamFloat ? std::size(floats) : std::size(integers)); ++i) {
            SCOPED_TRACE(p.name + " alone, value " + std::to_string(i));
            std::unique_ptr<EffectSurface> fresh(row_->create());
            set(*fresh, p, i);
            renders(*fresh);
        }
        // A value of the wrong type is refused by type, whatever its bytes say.
        EXPECT_NE(effect_->SetParam(p.name.c_str(), static_cast<EffectParamType>(99), EffectParamValue()), Ok);
    }
    for (size_t i = 0; i < std::size(floats); ++i) {
        SCOPED_TRACE("every parameter, value " + std::to_string(i));
        std::unique_ptr<EffectSurface> fresh(row_->create());
        for (const ParamDecl& p : fresh->Params())
            if (p.field != ParamDecl::Field::Text) set(*fresh, p, i);
        renders(*fresh);
    }
}

INSTANTIATE_TEST_SUITE_P(Builtin, EffectBadInput, ::testing::ValuesIn(CreatableNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(info.param.rfind('/') + 1);
                         });
