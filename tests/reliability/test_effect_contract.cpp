// What every creatable effect owes its host, created through the lab as a host creates it, at its
// defaults, at two settings across every declared range and at the settings that reach its other
// code paths: a frame it cannot render is refused with its row's code and left untouched; either
// 8-bit BGRA layout renders alike; a frame rendered in place, or into an output overlapping the
// input, gets the picture of separate frames; padded rows are read and written only within the
// picture, odd sizes and a single pixel included; and a parameter it refuses leaves every stored
// value as the refusal says.
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "effect_settings.h"
#include "guarded_frame.h"
#include "log_capture.h"
#include "orvex/orvex.h"
#include "output_pins.h"

using namespace orvex;
using orvextest::GuardedFrame;

namespace {

// A setting an effect is rendered at: its defaults, the two spread over the declared ranges that
// the output pins use, and its path settings.
struct Setting {
    std::string label;
    std::function<void(EffectSurface&)> apply;
};

std::vector<Setting> SettingsOf(const std::string& effect) {
    std::vector<Setting> settings = {{"defaults", [](EffectSurface&) {}}};
    for (int pin : {1, 2})
        settings.push_back({"spread " + std::to_string(pin),
                            [pin](EffectSurface& e) { orvextest::ApplyPinSetting(&e, e.Params(), pin); }});
    for (const orvextest::ParamValues& values : orvextest::PathSettingsOf(effect))
        settings.push_back({orvextest::Describe(values), [values](EffectSurface& e) { orvextest::ApplySetting(e, values); }});
    return settings;
}

class EffectContract : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { lab_ = CreateOrvex(); }
    void TearDown() override { ReleaseOrvex(lab_); }

    // A fresh effect per render: the automatic effects keep measurements from frame to frame.
    std::shared_ptr<EffectSurface> Fresh(const Setting* setting = nullptr) {
        IOrvexEffect* e = lab_->CreateOrvexEffect(GetParam().c_str());
        EXPECT_NE(e, nullptr);
        std::shared_ptr<EffectSurface> effect(dynamic_cast<EffectSurface*>(e), [lab = lab_](EffectSurface* p) {
            if (p) lab->ReleaseOrvexEffect(p);
        });
        if (effect && setting) setting->apply(*effect);
        return effect;
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
// Odd sizes, a single pixel, padded rows; the last is above the 10000-pixel serial limit, so the
// bands run.
const Shape kShapes[] = {{1, 1, 4}, {7, 5, 12}, {33, 17, 4}, {37, 23, 12}, {101, 100, 8}};

std::string Named(const Shape& s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

// A frame's bytes with `guard` bytes before and after: the frame starts at data().
struct GuardedBytes {
    static constexpr size_t kGuard = 64;
    GuardedBytes(size_t frameBytes, uint8_t fill) : bytes(frameBytes + 2 * kGuard, fill) {}
    uint8_t* data() { return bytes.data() + kGuard; }
    std::vector<uint8_t> bytes;
};

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
        {"P010 input", P010, BGRA32},
        {"YV12 input", YV12, BGRA32},
        {"input format 15", BGRA32, BGRA32, 15},
        {"input format 0xFFFFFFFF", BGRA32, BGRA32, 0xFFFFFFFFu},
    };
    std::shared_ptr<EffectSurface> effect = Fresh();
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
    for (const Setting& setting : SettingsOf(GetParam())) {
        for (const Shape& s : kShapes) {
            SCOPED_TRACE(setting.label + " at " + Named(s));
            const int pitch = s.w * 4 + s.pad;
            const size_t bytes = static_cast<size_t>(pitch) * s.h;
            std::vector<uint8_t> input = Pattern(bytes, 1), separate = Pattern(bytes, 2), inPlace = input;
            ASSERT_EQ(RenderOnce(*Fresh(&setting), FrameOver(input.data(), s.w, s.h, pitch),
                                 FrameOver(separate.data(), s.w, s.h, pitch)),
                      Ok);
            EffectFramePtr same = FrameOver(inPlace.data(), s.w, s.h, pitch);
            ASSERT_EQ(RenderOnce(*Fresh(&setting), same, same), Ok);
            EXPECT_TRUE(Picture(separate.data(), s.w, s.h, pitch) == Picture(inPlace.data(), s.w, s.h, pitch))
                << "the picture rendered in place differs";
        }
    }
}

// Rows padded past the picture: the output is the picture of packed rows, whatever the input's
// padding holds, and not one byte of the output's padding, or before or after its rows, changes.
TEST_P(EffectContract, PaddedRowsAreReadAndWrittenOnlyWithinThePicture) {
    for (const Setting& setting : SettingsOf(GetParam())) {
        for (const Shape& s : kShapes) {
            SCOPED_TRACE(setting.label + " at " + Named(s));
            const int packedPitch = s.w * 4, pitch = packedPitch + s.pad;
            std::vector<uint8_t> packedIn = Pattern(static_cast<size_t>(packedPitch) * s.h, 4);
            std::vector<uint8_t> packedOut(packedIn.size(), 0);
            ASSERT_EQ(RenderOnce(*Fresh(&setting), FrameOver(packedIn.data(), s.w, s.h, packedPitch),
                                 FrameOver(packedOut.data(), s.w, s.h, packedPitch)),
                      Ok);
            for (uint8_t padding : {uint8_t{0x00}, uint8_t{0xFF}}) {
                GuardedBytes in(static_cast<size_t>(pitch) * s.h, padding), out(static_cast<size_t>(pitch) * s.h, 0xA5);
                for (int y = 0; y < s.h; ++y)
                    std::memcpy(in.data() + y * pitch, packedIn.data() + y * packedPitch, packedPitch);
                const std::vector<uint8_t> inBefore = in.bytes, outBefore = out.bytes;
                ASSERT_EQ(RenderOnce(*Fresh(&setting), FrameOver(in.data(), s.w, s.h, pitch),
                                     FrameOver(out.data(), s.w, s.h, pitch)),
                          Ok);
                EXPECT_TRUE(Picture(out.data(), s.w, s.h, pitch) == packedOut)
                    << "the picture depends on the row padding (input padding " << int(padding) << ")";
                EXPECT_TRUE(in.bytes == inBefore) << "the input was written";
                // Only the picture's bytes may change.
                std::vector<uint8_t> outside = out.bytes, outsideBefore = outBefore;
                for (int y = 0; y < s.h; ++y) {
                    const size_t row = GuardedBytes::kGuard + static_cast<size_t>(y) * pitch;
                    std::memset(outside.data() + row, 0, packedPitch);
                    std::memset(outsideBefore.data() + row, 0, packedPitch);
                }
                EXPECT_TRUE(outside == outsideBefore) << "written outside the picture";
            }
        }
    }
}

TEST_P(EffectContract, AnOutputOverlappingTheInputGetsTheSeparatePicture) {
    const Shape s = kShapes[2];
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

// The two 8-bit BGRA layouts differ only in how a host tags them: any pair renders the picture of
// BGRA32 on both sides.
TEST_P(EffectContract, BothBgraLayoutsRenderAlike) {
    const Shape s = kShapes[3];
    const int pitch = s.w * 4 + s.pad;
    const size_t bytes = static_cast<size_t>(pitch) * s.h;
    std::vector<uint8_t> input = Pattern(bytes, 5), reference = Pattern(bytes, 6);
    ASSERT_EQ(RenderOnce(*Fresh(), FrameOver(input.data(), s.w, s.h, pitch), FrameOver(reference.data(), s.w, s.h, pitch)),
              Ok);
    for (uint32_t inFmt : {BGRA32, BGRA32_ALT})
        for (uint32_t outFmt : {BGRA32, BGRA32_ALT}) {
            SCOPED_TRACE(std::to_string(inFmt) + " -> " + std::to_string(outFmt));
            std::vector<uint8_t> output = Pattern(bytes, 6);
            EffectFramePtr in = FrameOver(input.data(), s.w, s.h, pitch), out = FrameOver(output.data(), s.w, s.h, pitch);
            in->pixel_fmt = inFmt;
            out->pixel_fmt = outFmt;
            ASSERT_EQ(RenderOnce(*Fresh(), in, out), Ok);
            EXPECT_TRUE(Picture(output.data(), s.w, s.h, pitch) == Picture(reference.data(), s.w, s.h, pitch));
        }
}

namespace {

// Every declared parameter's stored value, as text so that text parameters compare too.
std::vector<std::string> StoredValues(const EffectSurface& e) {
    std::vector<std::string> values;
    for (const ParamDecl& p : e.Params())
        values.push_back(p.field == ParamDecl::Field::Text ? EffectSurface::StoredText(p)
                                                           : std::to_string(EffectSurface::StoredValue(p)));
    return values;
}

EffectParamValue ValueOf(EffectParamType type, double v) {
    switch (type) {
    case ParamBool: return EffectParamValue::Bool(v != 0);
    case ParamInt: return EffectParamValue::Int(static_cast<int32_t>(v));
    case ParamText: return EffectParamValue::Text("1");
    default: return EffectParamValue::Float(static_cast<float>(v));
    }
}

}  // namespace

// An unknown name or a value of another type is refused and changes no stored value; a value
// outside a declared range stores the parameter's substitute (and nothing else) and returns the
// result the declaration names; the bounds themselves are accepted.
TEST_P(EffectContract, ParameterErrorsLeaveTheStoredValuesAsTheRefusalSays) {
    std::shared_ptr<EffectSurface> effect = Fresh();
    ASSERT_NE(effect, nullptr);
    EffectSurface& e = *effect;
    const std::vector<std::string> defaults = StoredValues(e);
    for (const char* name : {"no such parameter", ""}) {
        EXPECT_EQ(e.SetParam(name, ParamFloat, EffectParamValue::Float(1)), NotFound) << '"' << name << '"';
        EXPECT_EQ(e.SetParam(name, ParamInt, EffectParamValue::Int(1)), NotFound) << '"' << name << '"';
    }
    EXPECT_EQ(e.SetParam(nullptr, ParamFloat, EffectParamValue::Float(1)), NotFound);
    EXPECT_EQ(StoredValues(e), defaults);

    for (size_t i = 0; i < e.Params().size(); ++i) {
        const ParamDecl p = e.Params()[i];
        SCOPED_TRACE(p.name);
        // Names compare exactly: another case is another name.
        std::string upper = p.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper != p.name) {
            EXPECT_EQ(e.SetParam(upper.c_str(), p.type, ValueOf(p.type, 1)), NotFound);
        }
        for (EffectParamType wrong : {ParamFloat, ParamInt, ParamBool, ParamText}) {
            if (wrong == p.type) continue;
            EXPECT_EQ(e.SetParam(p.name.c_str(), wrong, ValueOf(wrong, 1)), WrongFormat) << "type " << wrong;
        }
        EXPECT_EQ(StoredValues(e), defaults);
        if (!p.hasRange || p.type == ParamBool) continue;

        std::vector<double> outside;
        if (p.type == ParamInt) {
            outside = {p.minValue - 1, p.maxValue + 1, INT_MIN, INT_MAX};
        } else {
            outside = {p.minValue - 0.5, p.maxValue + 0.5, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), -1e30};
        }
        // Start from the bound farther from the substitute, so that storing the substitute shows.
        const double away = std::abs(p.substitute - p.minValue) > std::abs(p.substitute - p.maxValue) ? p.minValue
                                                                                                         : p.maxValue;
        for (double v : outside) {
            if (p.type == ParamInt && (v < INT_MIN || v > INT_MAX)) continue;
            // A range up to the type's limit has nothing beyond it.
            const double given = p.type == ParamInt ? v : static_cast<double>(static_cast<float>(v));
            if (given >= p.minValue && given <= p.maxValue) continue;
            SCOPED_TRACE("value " + std::to_string(v));
            ASSERT_EQ(e.SetParam(p.name.c_str(), p.type, ValueOf(p.type, away)), Ok);
            std::vector<std::string> expected = StoredValues(e);
            EXPECT_EQ(e.SetParam(p.name.c_str(), p.type, ValueOf(p.type, v)), p.onSubstitute);
            EXPECT_NEAR(EffectSurface::StoredValue(e.Params()[i]), p.substitute, 1e-4 * (1 + std::abs(p.substitute)));
            expected[i] = StoredValues(e)[i];
            EXPECT_EQ(StoredValues(e), expected) << "another parameter changed";
        }
        for (double v : {p.minValue, p.maxValue}) {
            EXPECT_EQ(e.SetParam(p.name.c_str(), p.type, ValueOf(p.type, v)), Ok) << v;
            EXPECT_NEAR(EffectSurface::StoredValue(e.Params()[i]), v, 1e-4 * (1 + std::abs(v)));
        }
        ASSERT_EQ(e.SetParam(p.name.c_str(), p.type, ValueOf(p.type, p.defaultValue)), Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(Builtin, EffectContract, ::testing::ValuesIn(orvextest::CreatableNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(info.param.rfind('/') + 1);
                         });
