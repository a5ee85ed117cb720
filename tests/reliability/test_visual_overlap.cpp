// Every visual-processing slot with its output one row and one pixel away from its inputs in one
// buffer (both ways): the call answers as it does for separate frames and writes the same bytes,
// and (under AddressSanitizer) no routine copies between overlapping ranges.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvex/orvex.h"
#include "visual_slots.h"

using namespace orvex;

namespace {

constexpr int kW = 9, kH = 7, kPitch = kW * 4 + 8;
constexpr size_t kFrameBytes = static_cast<size_t>(kPitch) * (kH - 1) + kW * 4;
constexpr size_t kShift = kPitch + 4;  // one row and one pixel

EffectFrame FrameOver(uint8_t* data) {
    EffectFrame f;
    f.planes = 1;
    f.pixel_fmt = BGRA32;
    f.width[0] = kW;
    f.height[0] = kH;
    f.data[0] = data;
    f.pitch[0] = kPitch;
    return f;
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 2654435761u) >> 9);
    return v;
}

std::vector<uint8_t> Picture(const uint8_t* data) {
    std::vector<uint8_t> bytes;
    for (int y = 0; y < kH; ++y) bytes.insert(bytes.end(), data + y * kPitch, data + y * kPitch + kW * 4);
    return bytes;
}

ResultCode Call(const orvextest::VisualSlot& slot, const EffectFrame& in, EffectFrame& out) {
    std::unique_ptr<IVisualProcess, void (*)(IVisualProcess*)> vp(CreateVisualProcess(), ReleaseVisualProcess);
    orvextest::SlotArgs args;
    for (auto& p : args.in) p = &in;
    args.out = &out;
    args.value = 0.25;
    args.mode = 1;
    return slot.call(*vp, args);
}

}  // namespace

TEST(VisualOverlap, PartlyOverlappingFramesGiveTheResultOfSeparateFrames) {
    for (const orvextest::VisualSlot& slot : orvextest::VisualSlots()) {
        if (!slot.takesFrames) continue;
        for (bool outputAfter : {true, false}) {
            SCOPED_TRACE(std::string(slot.name) + (outputAfter ? " / output after the inputs" : " / output before"));
            std::vector<uint8_t> buffer = Pattern(kFrameBytes + kShift);
            uint8_t* inData = buffer.data() + (outputAfter ? 0 : kShift);
            uint8_t* outData = buffer.data() + (outputAfter ? kShift : 0);
            std::vector<uint8_t> refIn(inData, inData + kFrameBytes), refOut(outData, outData + kFrameBytes);

            EffectFrame apartIn = FrameOver(refIn.data()), apartOut = FrameOver(refOut.data());
            const ResultCode expected = Call(slot, apartIn, apartOut);
            EffectFrame in = FrameOver(inData), out = FrameOver(outData);
            EXPECT_EQ(Call(slot, in, out), expected);
            EXPECT_TRUE(Picture(outData) == Picture(refOut.data())) << "output differs from separate frames";
        }
    }
}

TEST(VisualOverlap, TheSameFrameIsRenderedInPlace) {
    // Identical frames are not copied aside: a flip in place reads the caller's rows directly.
    std::vector<uint8_t> buffer = Pattern(kFrameBytes), apart = buffer, result(kFrameBytes, 0);
    EffectFrame frame = FrameOver(buffer.data()), in = FrameOver(apart.data()), out = FrameOver(result.data());
    std::unique_ptr<IVisualProcess, void (*)(IVisualProcess*)> vp(CreateVisualProcess(), ReleaseVisualProcess);
    ASSERT_EQ(vp->VerticalFlip(in, out), Ok);
    ASSERT_EQ(vp->VerticalFlip(frame, frame), Ok);
    EXPECT_TRUE(Picture(buffer.data()) == Picture(result.data()));
}
