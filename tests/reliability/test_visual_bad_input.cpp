// Every visual-processing slot against broken frames and values: each call returns a result code,
// never writes outside the caller's planes, never writes an input, and leaves the output as it was
// whenever it reports failure. Slots whose routines have not landed are called too, so the table
// guards them from the day they do.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guarded_frame.h"
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
            VisualProcess process;
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
