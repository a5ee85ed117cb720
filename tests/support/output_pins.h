#pragma once
// Output pins: a hash of what every built-in effect renders at its defaults and at two other
// settings, stored in tests/pins/. A restructuring that must not change a pixel is checked
// against them. ORVEX_WRITE_PINS=1 rewrites the pin file instead of comparing (for a change that
// means to alter pixels; the diff of the file then shows which effects moved).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/EffectSurface.h"
#include "frames.h"

namespace orvextest {

// A picture with structure (gradients, edges, flat patches) and some noise, so that analysis,
// edge and keying effects all have something to work on.
inline HostFrame PinCard(int w, int h, int padBytes = 12) {
    HostFrame hf = RandomFrame(w, h, 11, padBytes);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            cv::Vec4b& p = hf.image.at<cv::Vec4b>(y, x);
            const bool patch = (x / 8 + y / 8) % 3 == 0;
            p[0] = static_cast<uint8_t>(patch ? 200 : x * 255 / (w - 1) + (p[0] & 15) - 8);
            p[1] = static_cast<uint8_t>(patch ? 40 : y * 255 / (h - 1));
            p[2] = static_cast<uint8_t>(patch ? 90 : ((x * y) & 255));
            p[3] = static_cast<uint8_t>(x < w / 4 ? p[3] : 255);
        }
    }
    return hf;
}

// Setting 0 leaves the defaults; settings 1 and 2 move every declared number to 30% and 80% of
// its range (or half and one and a half times its default when it has none) and flip the flags
// one way, then the other.
inline void ApplyPinSetting(orvex::IOrvexEffect* e, const std::vector<orvex::ParamDecl>& params, int setting) {
    if (setting == 0) return;
    for (const orvex::ParamDecl& p : params) {
        using F = orvex::ParamDecl::Field;
        if (p.field == F::Text) continue;
        double v;
        if (p.field == F::Bool) {
            v = setting == 1 ? (p.defaultValue == 0) : (p.defaultValue != 0);
        } else if (p.hasRange) {
            v = p.minValue + (p.maxValue - p.minValue) * (setting == 1 ? 0.3 : 0.8);
        } else {
            v = setting == 1 ? p.defaultValue * 0.5 : p.defaultValue * 1.5 + 1;
        }
        orvex::EffectParamValue value = p.type == orvex::ParamFloat  ? orvex::EffectParamValue::Float(static_cast<float>(v))
                                        : p.type == orvex::ParamBool ? orvex::EffectParamValue::Bool(v != 0)
                                                                     : orvex::EffectParamValue::Int(static_cast<int32_t>(std::lround(v)));
        e->SetParam(p.name.c_str(), p.type, value);
    }
}

// The pin file of one path: "effect setting hash" a line.
class PinFile {
public:
    explicit PinFile(const std::string& name)
        : path_(std::string(ORVEX_SOURCE_DIR) + "/tests/pins/" + name), writing_(std::getenv("ORVEX_WRITE_PINS") != nullptr) {
        std::ifstream in(path_);
        std::string effect, hash;
        int setting;
        while (in >> effect >> setting >> hash) pins_[Key(effect, setting)] = hash;
    }
    ~PinFile() {
        if (!writing_) return;
        std::ofstream out(path_);
        for (const auto& [key, hash] : seen_) out << key << ' ' << hash << '\n';
    }
    bool writing() const { return writing_; }

    // Records (writing) or checks one rendered picture; `code` is the render's result.
    void Check(const std::string& effect, int setting, int code, const cv::Mat& picture) {
        std::ostringstream hash;
        hash << std::hex << (code == 0 ? PictureHash(picture) : 0) << "/" << std::dec << code;
        const std::string key = Key(effect, setting);
        seen_[key] = hash.str();
        if (writing_) return;
        auto it = pins_.find(key);
        if (it == pins_.end()) {
            ADD_FAILURE() << "no pin for " << key << " in " << path_ << " (ORVEX_WRITE_PINS=1 records it)";
            return;
        }
        EXPECT_EQ(it->second, hash.str()) << effect << " setting " << setting << " rendered another picture";
    }

private:
    static std::string Key(const std::string& effect, int setting) { return effect + " " + std::to_string(setting); }

    std::string path_;
    bool writing_;
    std::map<std::string, std::string> pins_, seen_;
};

}  // namespace orvextest
