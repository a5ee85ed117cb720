// Every visual-processing slot against broken frames and values: each call returns a result code,
// never writes outside the caller's planes, never writes an input, and leaves the output as it was
// whenever it reports failure. Slots whose routines have not landed are called too, so the table
// guards them from the day they do.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guarded_frame.h"
#include "log_capture.h"
#include "visual/GuardedVisualProcess.h"
#include "visual/VisualProcess.h"
#include "visual_slots.h"

using namespace orvex;
using orvextest::GuardedFrame;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Inputs 0..2 and the output of one call.
struct Frames {
    std::unique_ptr<GuardedFrame> f[4];
    void All(const std::function<GuardedFrame*()>& make) {
        for (auto& p : f) p.reset(make());
    }
};

struct Scenario {
    std::string name;
    bool broken;  // every frame is unusable: a slot that takes frames must fail
    std::function<void(Frames&)> make;
    double value = 0.5;
    int32_t mode = 1;
    bool nullPointers = false;
};

GuardedFrame* Bgra(uint32_t w = 8, uint32_t h = 6) { return new GuardedFrame(BGRA32, w, h); }

// A BGRA frame, then `edit` applied to what it claims (its memory stays as allocated).
Scenario Edited(const std::string& name, const std::function<void(EffectFrame&)>& edit) {
    return {name, true, [edit](Frames& fr) {
                fr.All([] { return Bgra(); });
                for (auto& p : fr.f) edit(p->frame);
            }};
}

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> list = {
        {"empty frames", true, [](Frames& fr) { fr.All([] { return new GuardedFrame(); }); }},
        Edited("null planes", [](EffectFrame& f) { f.data[0] = nullptr; }),
        Edited("pitch one byte short of a row", [](EffectFrame& f) { f.pitch[0] -= 5; }),
        Edited("zero pitch", [](EffectFrame& f) { f.pitch[0] = 0; }),
        Edited("negative pitch", [](EffectFrame& f) { f.pitch[0] = -f.pitch[0]; }),
        Edited("zero width", [](EffectFrame& f) { f.width[0] = 0; }),
        Edited("zero height", [](EffectFrame& f) { f.height[0] = 0; }),
        {"chroma plane missing", true, [](Frames& fr) {
             fr.All([] { return new GuardedFrame(NV12, 8, 6); });
             for (auto& p : fr.f) p->frame.data[1] = nullptr;
         }},
        {"chroma plane shorter than the frame needs", true, [](Frames& fr) {
             fr.All([] { return new GuardedFrame(NV12, 8, 6); });
             for (auto& p : fr.f) p->frame.height[1] = 2;
         }},
        Edited("size beyond any frame", [](EffectFrame& f) { f.width[0] = f.height[0] = 0x80000000u; }),
        {"odd size 7x5", false, [](Frames& fr) { fr.All([] { return Bgra(7, 5); }); }},
        {"one pixel", false, [](Frames& fr) { fr.All([] { return Bgra(1, 1); }); }},
        {"odd size NV12", false, [](Frames& fr) { fr.All([] { return new GuardedFrame(NV12, 7, 5); }); }},
        {"odd size YV12", false, [](Frames& fr) { fr.All([] { return new GuardedFrame(YV12, 7, 5); }); }},
        {"mismatched sizes", false, [](Frames& fr) {
             fr.All([] { return Bgra(8, 6); });
             fr.f[1].reset(Bgra(4, 4));
             fr.f[3].reset(Bgra(5, 3));
         }},
        {"mismatched formats", false, [](Frames& fr) {
             fr.All([] { return Bgra(); });
             fr.f[3].reset(new GuardedFrame(NV12, 8, 6));
         }},
        {"16-bit BGRA at odd size", false, [](Frames& fr) { fr.All([] { return new GuardedFrame(BGRA64, 7, 5); }); }},
        {"16-bit output of 8-bit inputs", false, [](Frames& fr) {
             fr.All([] { return Bgra(7, 5); });
             fr.f[3].reset(new GuardedFrame(BGRA64, 7, 5));
         }},
        {"16-bit frames of mismatched sizes", false, [](Frames& fr) {
             fr.All([] { return new GuardedFrame(BGRA64, 8, 6); });
             fr.f[2].reset(new GuardedFrame(BGRA64, 3, 9));
             fr.f[3].reset(new GuardedFrame(BGRA64, 5, 3));
         }},
        {"16-bit NaN values", false, [](Frames& fr) { fr.All([] { return new GuardedFrame(BGRA64, 8, 6); }); }, kNaN},
        {"NaN values", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, kNaN},
        {"infinite values", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, kInf},
        {"negative infinite values", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, -kInf},
        {"huge values", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, 1e300},
        {"lowest integers", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, 0.5,
         std::numeric_limits<int32_t>::min()},
        {"highest integers", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, 0.5,
         std::numeric_limits<int32_t>::max()},
        {"null result pointers", false, [](Frames& fr) { fr.All([] { return Bgra(); }); }, 0.5, 1, true},
    };
    // The host routines of the matrix conversions, each on its format pair at an odd size, whole
    // and with the input's second plane a row short.
    const struct {
        uint32_t in, out;
    } pairs[] = {{YV12P10, BGRA32}, {YUVAP10, BGRA64}, {P010, BGRA64}, {YUV422, BGRA32},  {YUV422_16, BGRA64},
                 {YUVA422, BGRA32}, {YUVA422_16, BGRA32}, {BGRA32, NV12}, {BGRA64, P010}, {P010, NV12}};
    for (const auto& p : pairs) {
        const std::string name = "format " + std::to_string(p.in) + " into " + std::to_string(p.out);
        for (bool shortPlane : {false, true}) {
            list.push_back({name + (shortPlane ? ", second plane short" : ""), false, [p, shortPlane](Frames& fr) {
                                fr.All([p] { return new GuardedFrame(p.in, 7, 5); });
                                fr.f[3].reset(new GuardedFrame(p.out, 7, 5));
                                if (shortPlane) fr.f[0]->frame.height[1] -= 1;
                            }});
        }
    }
    // Every pixel format, and the first number past them; 2 and 10 have no layout to work on.
    for (uint32_t fmt : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 0xFFFFFFFFu}) {
        const bool noLayout = fmt == 2 || fmt == 10 || fmt >= PIXFMT_COUNT;
        list.push_back({"format " + std::to_string(fmt), noLayout,
                        [fmt](Frames& fr) { fr.All([fmt] { return new GuardedFrame(fmt, 8, 6); }); }});
    }
    return list;
}

}  // namespace

TEST(VisualBadInput, EverySlotAnswersWithACodeAndKeepsToTheCallersPlanes) {
    const std::vector<Scenario> scenarios = Scenarios();
    for (const orvextest::VisualSlot& slot : orvextest::VisualSlots()) {
        for (const Scenario& s : scenarios) {
            SCOPED_TRACE(std::string(slot.name) + " / " + s.name);
            Frames fr;
            s.make(fr);
            std::vector<std::vector<uint8_t>> before[4];
            for (int i = 0; i < 4; ++i) before[i] = fr.f[i]->Snapshot();
            for (auto& p : fr.f) p->Poison();

            orvextest::SlotArgs args;
            for (int i = 0; i < 3; ++i) args.in[i] = &fr.f[i]->frame;
            args.out = &fr.f[3]->frame;
            args.value = s.value;
            args.mode = s.mode;
            args.nullPointers = s.nullPointers;
            GuardedVisualProcess process;  // what CreateVisualProcess gives a host
            const ResultCode result = slot.call(process, args);

            EXPECT_GE(result, Ok);
            EXPECT_LE(result, UnsupportedFrame);
            if (s.broken && slot.takesFrames) {
                EXPECT_NE(result, Ok);
            }
            for (int i = 0; i < 3; ++i) EXPECT_TRUE(fr.f[i]->SameAs(before[i])) << "input " << i << " was written";
            EXPECT_TRUE(fr.f[3]->GuardsAsIn(before[3])) << "written outside the output planes";
            if (result != Ok) {
                EXPECT_TRUE(fr.f[3]->SameAs(before[3])) << "output changed by a failing call";
            }
        }
    }
}

namespace {

// One refusal of a CPU form: the frames it gets (inputs 0..2 and the output), the code and the
// line it must answer with.
struct Refusal {
    const char* name;
    uint32_t fmt[4];  // formats of in0, in1, in2 and out (all 9 x 7, pad 4)
    std::function<void(EffectFrame* f[4])> spoil;  // then this is done to the claims
    ResultCode want;
    const char* message;
    const char* tag;
    std::function<ResultCode(VisualProcess&, EffectFrame* f[4])> call;
};

void Nothing(EffectFrame**) {}

}  // namespace

TEST(VisualBadInput, CpuFormsRefuseWithTheirCodeAndLineAndKeepTheOutput) {
    const MotionAnimationParam motion{1, 1, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 9, 7, 0, 0};
    const GradientData gradient{};
    const fxPointd centre{0.5, 0.5};
    auto placed = [centre](VisualProcess& vp, EffectFrame** f) {
        return vp.BlendAndTransform(*f[0], centre, *f[1], centre, false, *f[3], 0, 0, 1.0, 0, 1, 10, 1, 1, 0, 0);
    };
    const Refusal rows[] = {
        {"SDR2HDR: YV12 output", {BGRA32, BGRA32, BGRA32, YV12}, Nothing, Failed, "input format is not rgba!!",
         "orvex::HDR2SDR", [](VisualProcess& vp, EffectFrame** f) { return vp.SDR2HDR(*f[0], *f[3], 1, 2); }},
        {"SDR2HDR: sizes differ", {BGRA64, BGRA64, BGRA64, BGRA64}, [](EffectFrame** f) { f[0]->width[0] = 5; },
         InvalidArgument, "input resolution is not equal output!!", "orvex::HDR2SDR",
         [](VisualProcess& vp, EffectFrame** f) { return vp.SDR2HDR(*f[0], *f[3], 0, 0); }},
        {"PQToHLG: NV12 input", {NV12, BGRA32, BGRA32, BGRA32}, Nothing, WrongFormat, "input format is not rgba!!",
         "orvex:PQToHLG", [](VisualProcess& vp, EffectFrame** f) { return vp.PQToHLG(*f[0], *f[3]); }},
        {"HLGToPQ: null input plane", {BGRA64, BGRA64, BGRA64, BGRA32}, [](EffectFrame** f) { f[0]->data[0] = nullptr; },
         InvalidArgument, "input or output is nullptr!!", "orvex:HLGToPQ",
         [](VisualProcess& vp, EffectFrame** f) { return vp.HLGToPQ(*f[0], *f[3]); }},
        {"BlendMask2: YV12 alpha frame", {BGRA32, BGRA32, YV12, BGRA32}, Nothing, WrongFormat,
         "input format is not rgba format!", "orvex:BlendMask2",
         [](VisualProcess& vp, EffectFrame** f) { return vp.BlendMask2(*f[0], *f[1], *f[2], 3, *f[3], 100); }},
        {"BlendMask2: alpha frame of another size", {BGRA64, BGRA64, BGRA64, BGRA64},
         [](EffectFrame** f) { f[2]->height[0] = 3; }, InvalidArgument, "input resolution is not equal output!!",
         "orvex:BlendMask2",
         [](VisualProcess& vp, EffectFrame** f) { return vp.BlendMask2(*f[0], *f[1], *f[2], 0, *f[3], 50); }},
        {"Blend_Mask_NoType: YV12 mask", {BGRA32, BGRA32, YV12, BGRA32}, Nothing, WrongFormat,
         "input format is not rgba!!", "orvex:Blend_Mask_NoType",
         [](VisualProcess& vp, EffectFrame** f) { return vp.Blend_Mask_NoType(*f[0], *f[1], *f[2], *f[3]); }},
        {"Blend_Mask_NoType: overlay pitch short of a row", {BGRA64, BGRA32, BGRA32, BGRA64},
         [](EffectFrame** f) { f[0]->pitch[0] = 9 * 8 - 2; }, InvalidArgument, "input or output is nullptr!!",
         "orvex:Blend_Mask_NoType",
         [](VisualProcess& vp, EffectFrame** f) { return vp.Blend_Mask_NoType(*f[0], *f[1], *f[2], *f[3]); }},
        {"Do_Gradient: NV12 output", {BGRA32, BGRA32, BGRA32, NV12}, Nothing, WrongFormat, "input format is not rgba!!",
         "orvex:Do_Gradient",
         [&gradient](VisualProcess& vp, EffectFrame** f) { return vp.Do_Gradient(*f[3], 0, gradient); }},
        {"Do_Gradient: output rows missing", {BGRA32, BGRA32, BGRA32, BGRA64}, [](EffectFrame** f) { f[3]->height[0] = 1u << 20; },
         InvalidArgument, "input or output is nullptr!!", "orvex:Do_Gradient",
         [&gradient](VisualProcess& vp, EffectFrame** f) { return vp.Do_Gradient(*f[3], 4, gradient); }},
        {"Motion_Animation: P010 input", {P010, BGRA32, BGRA32, BGRA32}, Nothing, WrongFormat,
         "input format is not rgba!!", "orvex:Motion_Animation",
         [&motion](VisualProcess& vp, EffectFrame** f) { return vp.Motion_Animation(*f[0], *f[3], motion); }},
        {"Motion_Animation: empty ideal size", {BGRA64, BGRA64, BGRA64, BGRA64}, Nothing, InvalidArgument,
         "ideal size is empty!!", "orvex:Motion_Animation", [](VisualProcess& vp, EffectFrame** f) {
             const MotionAnimationParam p{1, 1, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 0, 7, 0, 0};
             return vp.Motion_Animation(*f[0], *f[3], p);
         }},
        {"Motion_Animation: input far larger than its ideal size", {BGRA32, BGRA32, BGRA32, BGRA32}, Nothing,
         InvalidArgument, "ideal size is too small for the input!!", "orvex:Motion_Animation",
         [](VisualProcess& vp, EffectFrame** f) {
             const MotionAnimationParam p{0.5f, 0.5f, 0, {0.5f, 0.5f}, {0.5f, 0.5f}, 0.01f, 0.01f, 0, 0};
             return vp.Motion_Animation(*f[0], *f[3], p);
         }},
        {"Premultiply: 16-bit output of another size", {BGRA64, BGRA64, BGRA64, BGRA64},
         [](EffectFrame** f) { f[3]->width[0] = 4; }, InvalidArgument, "input or output is nullptr!!",
         "orvex:Premultiply", [](VisualProcess& vp, EffectFrame** f) { return vp.Premultiply(*f[0], *f[3], 1, false); }},
        {"channelControl: 16-bit output of another size", {BGRA64, BGRA64, BGRA64, BGRA64},
         [](EffectFrame** f) { f[3]->height[0] = 2; }, InvalidArgument, "input resolution is not equal output!!",
         "orvex:channelControl",
         [](VisualProcess& vp, EffectFrame** f) { return vp.channelControl(*f[1], *f[0], *f[3], 3); }},
        {"BlendAndTransform: 16-bit background of another size", {BGRA64, BGRA64, BGRA64, BGRA64},
         [](EffectFrame** f) { f[1]->width[0] = 3; }, InvalidArgument, "input resolution is not equal output!!",
         "orvex:BlendAndTransform", placed},
        {"BlendAndTransform: 8-bit background under a 16-bit output", {BGRA64, BGRA32, BGRA64, BGRA64}, Nothing,
         InvalidArgument, "input or output is nullptr!!", "orvex:BlendAndTransform", placed},
    };
    for (const Refusal& r : rows) {
        SCOPED_TRACE(r.name);
        std::unique_ptr<GuardedFrame> g[4];
        EffectFrame* f[4];
        for (int i = 0; i < 4; ++i) {
            g[i] = std::make_unique<GuardedFrame>(r.fmt[i], 9, 7);
            f[i] = &g[i]->frame;
        }
        r.spoil(f);
        const auto before = g[3]->Snapshot();
        VisualProcess vp;
        orvextest::LogCapture cap;
        EXPECT_EQ(r.call(vp, f), r.want);
        EXPECT_TRUE(cap.Has(r.message, r.tag)) << cap.Dump();
        EXPECT_TRUE(g[3]->SameAs(before)) << "output written";
    }
}

// A scalar outside its domain fails the call with InvalidArgument and a log line before any frame
// is read: non-finite numbers anywhere, opacities outside 0..1, colour channels outside 0..255 and
// percentages outside 0..100, resize types outside their table. Slots not listed for a row take that value (or may fail otherwise).
TEST(VisualBadInput, ScalarsOutsideTheirDomainAreRefused) {
    const std::vector<std::string> finite = {"Blend", "CenterPointAlignBlend", "BlendAndTransform", "Transform",
                                             "BlendMask", "Rotate", "Motion", "solidColorBlend", "CropFrame",
                                             "BlendAndTransform_BaseOnBackFrame", "FrameInterpolation", "overlay",
                                             "Motion_Animation", "Do_Gradient"};
    const std::vector<std::string> opacity = {"Blend", "CenterPointAlignBlend", "BlendAndTransform",
                                              "solidColorBlend", "BlendAndTransform_BaseOnBackFrame", "overlay"};
    struct Row {
        const char* what;
        double value;
        int32_t mode;
        const std::vector<std::string>& slots;
    };
    const std::vector<std::string> tables = {"solidColorBlend", "BlendMask2", "Resize", "Convert"};
    const Row rows[] = {
        {"NaN", kNaN, 1, finite},
        {"infinity", kInf, 1, finite},
        {"negative infinity", -kInf, 1, finite},
        {"opacity 1.5", 1.5, 1, opacity},
        {"opacity -0.25", -0.25, 1, opacity},
        {"channel, constant alpha percent and resize type 256", 0.5, 256, tables},
        {"channel, constant alpha percent and resize type -1", 0.5, -1, tables},
    };
    for (const Row& row : rows) {
        for (const orvextest::VisualSlot& slot : orvextest::VisualSlots()) {
            const bool listed = std::find(row.slots.begin(), row.slots.end(), slot.name) != row.slots.end();
            if (!listed) continue;
            SCOPED_TRACE(std::string(slot.name) + " / " + row.what);
            GuardedFrame in(BGRA32, 8, 6), out(BGRA32, 8, 6);
            const auto before = out.Snapshot();
            orvextest::SlotArgs args;
            for (auto& p : args.in) p = &in.frame;
            args.out = &out.frame;
            args.value = row.value;
            args.mode = row.mode;
            orvextest::LogCapture log;
            GuardedVisualProcess process;
            EXPECT_EQ(slot.call(process, args), InvalidArgument);
            EXPECT_TRUE(out.SameAs(before)) << "output changed";
            bool logged = false;
            for (const auto& line : log.lines()) logged = logged || line.message.find("invalid argument") == 0;
            EXPECT_TRUE(logged) << log.Dump();
        }
    }
}
