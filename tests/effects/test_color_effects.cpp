// The colour effects as a family: parameter tables, substitutes, serial versus banded rendering,
// creation through the lab and the orvex command.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <typeinfo>

#include <gtest/gtest.h>

#include "color_support.h"
#include "orvex/orvex.h"

using namespace colortest;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// One row of an effect's parameter table: display name, type, default and, when ranged, the
// accepted range and the substitute stored on a value outside it.
struct ParamRow {
    std::string name;
    EffectParamType type;
    double def;
    double lo = kNone, hi = kNone, substitute = kNone;
    bool Ranged() const { return !std::isnan(lo); }
};

struct EffectTable {
    const char* effect;
    std::vector<ParamRow> params;
};

std::vector<ParamRow> MixerRows() {
    std::vector<ParamRow> rows;
    const char* out[3] = {"red", "green", "blue"};
    const char* term[4] = {"red", "green", "blue", "const"};
    for (int o = 0; o < 3; ++o)
        for (int t = 0; t < 4; ++t) {
            const double def = o == t ? 100 : 0;
            rows.push_back({std::string(out[o]) + "_channel_" + term[t], ParamInt, def, -200, 200, def});
        }
    rows.push_back({"monochrome", ParamBool, 0});
    return rows;
}

std::vector<ParamRow> LevelsRows() {
    std::vector<ParamRow> rows;
    for (const char* prefix : {"rgb_", "red_", "green_", "blue_"}) {
        const std::pair<const char*, double> fields[] = {{"input_black_level", 0},
                                                         {"input_white_level", 255},
                                                         {"output_black_level", 0},
                                                         {"output_white_level", 255},
                                                         {"gray_level", 100}};
        for (const auto& [field, def] : fields)
            rows.push_back({std::string(prefix) + field, ParamInt, def});
    }
    rows.push_back({"auto_level", ParamBool, 0});
    return rows;
}

// The parameter tables of the family, written out independently of the effects' declarations.
const std::vector<EffectTable>& Tables() {
    static const std::vector<EffectTable> tables = {
        {"brightness_contrast",
         {{"bright", ParamFloat, 20, -100, 100, 20}, {"contrast", ParamFloat, 20, -100, 100, 20}}},
        {"gamma_correction", {{"Gamma", ParamFloat, 10, 0, 28, 10}}},
        {"tint",
         {{"black_red", ParamInt, 0, 0, 255, 0},
          {"black_green", ParamInt, 0, 0, 255, 0},
          {"black_blue", ParamInt, 0, 0, 255, 0},
          {"white_red", ParamInt, 255, 0, 255, 255},
          {"white_green", ParamInt, 255, 0, 255, 255},
          {"white_blue", ParamInt, 255, 0, 255, 255},
          {"amount", ParamFloat, 100, 0, 100, 100}}},
        {"channel_mixer", MixerRows()},
        {"color_banlance",
         {{"Red", ParamFloat, 100, 0, 200, 100},
          {"Green", ParamFloat, 100, 0, 200, 100},
          {"Blue", ParamFloat, 100, 0, 200, 100}}},
        {"black_white_hitfilm",
         {{"Red", ParamFloat, 100, 0, 300, 100},
          {"Yellow", ParamFloat, 100, 0, 300, 100},
          {"Green", ParamFloat, 100, 0, 300, 100},
          {"Cyan", ParamFloat, 100, 0, 300, 100},
          {"Blue", ParamFloat, 100, 0, 300, 100},
          {"Magenta", ParamFloat, 100, 0, 300, 100}}},
        {"color_balance_hls",
         {{"hue", ParamFloat, 0, 0, 360, 0},
          {"lightness", ParamFloat, 0, -100, 100, 0},
          {"saturation", ParamFloat, 0, -100, 100, 0}}},
        {"color_correction_color_balance",
         {{"shadow_red", ParamFloat, 0},
          {"shadow_green", ParamFloat, 0},
          {"shadow_blue", ParamFloat, 0},
          {"midtone_red", ParamFloat, 0},
          {"midtone_green", ParamFloat, 0},
          {"midtone_blue", ParamFloat, 0},
          {"highlight_red", ParamFloat, 0},
          {"highlight_green", ParamFloat, 0},
          {"highlight_blue", ParamFloat, 0},
          {"reserve_luminosity", ParamBool, 0}}},
        {"channel_invert",
         {{"channel_index", ParamInt, 0, 0, 12, 0}, {"alpha_blend", ParamInt, 0, 0, 100, 0}}},
        {"adjust_levels", LevelsRows()},
        {"color_pass",
         {{"Reverse", ParamBool, 0},
          {"Similar", ParamInt, 8, 0, 100, 8},
          {"Pass_Red", ParamInt, 255},
          {"Pass_Green", ParamInt, 0},
          {"Pass_Blue", ParamInt, 0}}},
        {"color_replace",
         {{"Solid", ParamBool, 0},
          {"Similar", ParamInt, 8, 0, 100, 8},
          {"Target_Red", ParamInt, 255},
          {"Target_Green", ParamInt, 0},
          {"Target_Blue", ParamInt, 0},
          {"Replace_Red", ParamInt, 0},
          {"Replace_Green", ParamInt, 0},
          {"Replace_Blue", ParamInt, 255}}},
        {"leave_color",
         {{"red_leave", ParamInt, 255, 0, 255, 255},
          {"green_leave", ParamInt, 0, 0, 255, 255},  // substitute 255, not the default
          {"blue_leave", ParamInt, 0, 0, 255, 255},
          {"amount", ParamFloat, 100, 0, 100, 100},
          {"tolerance", ParamFloat, 15, 0, 100, 15}}},
        {"change_to_color",
         {{"from_h", ParamFloat, 0},
          {"from_l", ParamFloat, 100},
          {"from_s", ParamFloat, 0},
          {"to_h", ParamFloat, 0},
          {"to_l", ParamFloat, 100},
          {"to_s", ParamFloat, 0},
          {"tolerance_h", ParamFloat, 10},
          {"tolerance_l", ParamFloat, 100},
          {"tolerance_s", ParamFloat, 100},
          {"softness", ParamFloat, 50},
          {"changeModeType", ParamInt, 0},
          {"changeType", ParamInt, 0},
          {"view_correction_matte", ParamBool, 0}}},
    };
    return tables;
}

// Byte parameters keep the low byte of an int, so a large value does not read back as given.
bool IsByte(const std::string& name) {
    return name.starts_with("Pass_") || name.starts_with("Target_") || name.starts_with("Replace_");
}

double Stored(const EffectSurface& e, const std::string& name) {
    const ParamDecl* p = FindParam(e, name);
    return p ? EffectSurface::StoredValue(*p) : kNone;
}

}  // namespace

TEST(ColorEffects, EveryEffectDeclaresItsTableInOrder) {
    ASSERT_EQ(Tables().size(), ColorEffects().size());
    for (const EffectTable& t : Tables()) {
        SCOPED_TRACE(t.effect);
        auto e = Create(t.effect);
        ASSERT_TRUE(e);
        ASSERT_EQ(e->Params().size(), t.params.size());
        for (size_t i = 0; i < t.params.size(); ++i) {
            const ParamRow& row = t.params[i];
            const ParamDecl& p = e->Params()[i];
            EXPECT_EQ(p.name, row.name);
            EXPECT_EQ(p.type, row.type) << row.name;
            // Values stored as fractions read back in the host's units within float precision.
            EXPECT_NEAR(EffectSurface::StoredValue(p), row.def, 1e-4) << row.name;
        }
    }
}

TEST(ColorEffects, OutOfRangeValuesStoreTheSubstituteAndReport3) {
    for (const EffectTable& t : Tables()) {
        for (const ParamRow& row : t.params) {
            SCOPED_TRACE(std::string(t.effect) + " " + row.name);
            auto e = Create(t.effect);
            ASSERT_TRUE(e);
            const char* name = row.name.c_str();
            if (row.type == ParamBool) continue;
            if (!row.Ranged()) {
                // No range: every value of the type is accepted as given.
                const double big = row.type == ParamInt ? INT_MAX : 1e6;
                EXPECT_EQ(e->SetParam(name, row.type, ValueFor(row.type, big)), Ok);
                if (!IsByte(row.name)) {
                    EXPECT_NEAR(Stored(*e, row.name), big, big * 1e-6);
                }
                continue;
            }
            const double step = row.type == ParamInt ? 1 : 0.5;
            std::vector<double> outside = {row.lo - step, row.hi + step};
            if (row.type == ParamInt) {
                outside.push_back(INT_MIN);
                outside.push_back(INT_MAX);
            } else {
                outside.push_back(kNone);
                outside.push_back(std::numeric_limits<double>::infinity());
                outside.push_back(-1e30);
            }
            const double away = row.substitute == row.lo ? row.hi : row.lo;
            for (double v : outside) {
                // Move away from the substitute first so that storing it is visible.
                ASSERT_EQ(e->SetParam(name, row.type, ValueFor(row.type, away)), Ok);
                EXPECT_EQ(e->SetParam(name, row.type, ValueFor(row.type, v)), InvalidArgument) << v;
                EXPECT_DOUBLE_EQ(Stored(*e, row.name), row.substitute) << v;
            }
            for (double v : {row.lo, row.hi}) {  // the range is inclusive
                EXPECT_EQ(e->SetParam(name, row.type, ValueFor(row.type, v)), Ok) << v;
                EXPECT_DOUBLE_EQ(Stored(*e, row.name), v);
            }
        }
    }
}

TEST(ColorEffects, ByteParametersKeepTheLowByte) {
    auto pass = Create("color_pass");
    EXPECT_EQ(pass->SetParam("Pass_Green", ParamInt, EffectParamValue::Int(256 + 7)), Ok);
    EXPECT_EQ(Stored(*pass, "Pass_Green"), 7);
    auto replace = Create("color_replace");
    EXPECT_EQ(replace->SetParam("Replace_Red", ParamInt, EffectParamValue::Int(-1)), Ok);
    EXPECT_EQ(Stored(*replace, "Replace_Red"), 255);
}

TEST(ColorEffects, SerialAndBandedRenderingGiveTheSamePixels) {
    // 103 x 100 pixels run in 8 bands; its left 100 x 100 (10000 pixels) runs serially. Every
    // pixel depends on that pixel alone, so both must agree. Rows of padding catch band overruns.
    HostFrame in = orvextest::RandomFrame(103, 100, 21, 12);
    for (const orvextest::EffectSetting& c : orvextest::PathSettings()) {
        if (!IsColorEffect(c.effect)) continue;
        SCOPED_TRACE(std::string(c.effect) + " " + orvextest::Describe(c.params));
        auto e = Create(c.effect);
        ASSERT_TRUE(e);
        Set(*e, c.params);
        HostFrame banded = orvextest::SolidFrame(103, 100, cv::Scalar::all(0));
        ASSERT_EQ(Render(*e, in, banded), Ok);
        cv::Mat left = in.image.colRange(0, 100);
        HostFrame serialIn{left, orvextest::WrapFrame(left)};
        HostFrame serial = orvextest::SolidFrame(100, 100, cv::Scalar::all(0));
        ASSERT_EQ(Render(*e, serialIn, serial), Ok);
        EXPECT_TRUE(SamePixels(banded.image.colRange(0, 100), serial.image));
        // A frame under 8 rows is one band on the serial path; tall and narrow frames too.
        for (cv::Size size : {cv::Size(3000, 5), cv::Size(7, 2000)}) {
            HostFrame small = orvextest::RandomFrame(size.width, size.height, 5);
            HostFrame smallOut = orvextest::SolidFrame(size.width, size.height, cv::Scalar::all(0));
            ASSERT_EQ(Render(*e, small, smallOut), Ok);
            cv::Mat part = small.image(cv::Rect(0, 0, std::min(size.width, 100), std::min(size.height, 100)));
            HostFrame partIn{part, orvextest::WrapFrame(part)};
            HostFrame partOut = orvextest::SolidFrame(part.cols, part.rows, cv::Scalar::all(0));
            ASSERT_EQ(Render(*e, partIn, partOut), Ok);
            EXPECT_TRUE(SamePixels(smallOut.image(cv::Rect(0, 0, part.cols, part.rows)), partOut.image))
                << size.width << "x" << size.height;
        }
    }
}

TEST(ColorEffects, TheLabCreatesAndRendersEveryName) {
    IOrvex* lab = CreateOrvex();
    ASSERT_NE(lab, nullptr);
    for (const EffectInfo& info : ColorEffects()) {
        std::string upper = info.name;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (const std::string& name : {std::string(info.name), upper}) {
            IOrvexEffect* effect = lab->CreateOrvexEffect(name.c_str());
            ASSERT_NE(effect, nullptr) << name;
            std::unique_ptr<EffectSurface> expected(info.make());
            EXPECT_EQ(typeid(*effect), typeid(*expected)) << name;
            HostFrame in = orvextest::RandomFrame(40, 30, 2);
            HostFrame out = orvextest::SolidFrame(40, 30, cv::Scalar::all(0));
            std::vector<EffectFramePtr> inputs{in.frame};
            EXPECT_EQ(effect->Render(nullptr, 0, nullptr, inputs, out.frame), Ok) << name;
            EXPECT_EQ(lab->ReleaseOrvexEffect(effect), Ok);
        }
    }
    ReleaseOrvex(lab);
}

TEST(ColorEffects, TheOrvexCommandRendersEveryName) {
    namespace fs = std::filesystem;
    const fs::path cli = fs::path(ORVEX_BINARY_DIR) / "orvex";
    if (!fs::exists(cli)) GTEST_SKIP() << "the orvex command is not built in " << ORVEX_BINARY_DIR;
    const fs::path dir = fs::path(ORVEX_BINARY_DIR) / "tmp-color-cli";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string card = (dir / "card.png").string();
    auto run = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); };
    ASSERT_EQ(run(cli.string() + " testcard --size 64x36 " + card), 0);
    // One explicit parameter per effect, of each type the family uses.
    const std::pair<const char*, const char*> explicitParam[] = {
        {"brightness_contrast", "contrast=-40"},      {"gamma_correction", "Gamma=14.5"},
        {"tint", "black_blue=120"},                    {"channel_mixer", "monochrome=true"},
        {"color_banlance", "Green=160"},               {"black_white_hitfilm", "Yellow=250"},
        {"color_balance_hls", "hue=200"},              {"color_correction_color_balance", "midtone_red=-35.5"},
        {"channel_invert", "channel_index=4"},         {"adjust_levels", "auto_level=true"},
        {"color_pass", "Pass_Green=200"},              {"color_replace", "Solid=true"},
        {"leave_color", "tolerance=60"},               {"change_to_color", "to_h=240"},
    };
    ASSERT_EQ(std::size(explicitParam), ColorEffects().size());
    for (const auto& [shortName, param] : explicitParam) {
        const std::string name = std::string("video/effect/") + shortName;
        for (const std::string& extra : {std::string(), std::string(" --param ") + param}) {
            const fs::path out = dir / (std::string(shortName) + (extra.empty() ? "_default.png" : "_set.png"));
            EXPECT_EQ(run(cli.string() + " render --effect " + name + extra + " " + card + " " + out.string()), 0)
                << name << extra;
            EXPECT_GT(fs::exists(out) ? fs::file_size(out) : 0, 0u) << name << extra;
        }
    }
}
