// The frame geometry of every visual-processing slot: formats 0..16, zero, odd and oversized
// sizes, short, zero and negative pitches, missing planes and wrong plane heights, with NaN and
// infinite values. Each plane is its own heap block, so any access outside it is reported.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "tests/support/visual_slots.h"
#include "visual/VisualProcess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    using namespace orvexfuzz;
    Bytes in(data, size);
    const auto& slots = orvextest::VisualSlots();
    const orvextest::VisualSlot& slot = slots[in.Below(static_cast<uint32_t>(slots.size()))];
    FuzzFrame frames[4];
    frames[0].Shape(in);
    for (int i = 1; i < 4; ++i) frames[i].Shape(in, &frames[0]);
    orvextest::SlotArgs args;
    for (int i = 0; i < 3; ++i) args.in[i] = &frames[i].frame;
    args.out = &frames[3].frame;
    args.value = in.Double();
    args.mode = in.Below(4) ? static_cast<int32_t>(in.Below(8)) : in.Int();
    args.nullPointers = in.Below(4) == 0;
    orvex::VisualProcess process;
    const orvex::ResultCode result = slot.call(process, args);
    if (result < orvex::Ok || result > orvex::UnsupportedFrame) __builtin_trap();
    return 0;
}
