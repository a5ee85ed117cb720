#include "cli_common.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "catalogue/FilterManager.h"
#include "effects/Manifest.h"

namespace orvexcli {

namespace {
thread_local MessageCapture* t_capture = nullptr;
}  // namespace

MessageCapture::MessageCapture() : previous_(t_capture) { t_capture = this; }
MessageCapture::~MessageCapture() { t_capture = previous_; }

void Say(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (!t_capture) {
        std::fputs(line, stderr);
        return;
    }
    std::string& text = t_capture->text_;
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += line;
    while (!text.empty() && text.back() == '\n') text.pop_back();
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "orvex: %s\n\n%s", message.c_str(), kHelp);
    return kUsage;
}

std::string FindResourceTree(const std::string& given, const char* inside) {
    std::vector<std::filesystem::path> candidates;
    if (!given.empty()) candidates.emplace_back(given);
    std::error_code ec;
    // prefix/bin/orvex -> prefix/share/orvex/resources
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) candidates.push_back(exe.parent_path().parent_path() / "share/orvex/resources");
    candidates.emplace_back(ORVEX_INSTALL_RESOURCES);
    candidates.emplace_back(ORVEX_SOURCE_RESOURCES);
    for (const auto& dir : candidates)
        if (std::filesystem::is_directory(dir / inside, ec)) return dir.string();
    return {};
}

std::string FindResources(const std::string& given) {
    return given.empty() ? FindResourceTree("", "video/effect") : given;
}

void UseResources(orvex::IOrvex* lab, const std::string& root) {
    if (root.empty() || !lab) return;
    lab->SetResourcePath(root.c_str(), 0);
    lab->SetResourcePath((root + "/video/effect").c_str(), 2);
}

bool ReadBGRA(const std::string& path, cv::Mat* out) {
    cv::Mat img;
    try {
        img = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        return false;
    }
    if (img.empty()) return false;
    if (img.depth() == CV_16U) img.convertTo(img, CV_8U, 1.0 / 257.0);
    else if (img.depth() != CV_8U) img.convertTo(img, CV_8U);
    switch (img.channels()) {
    case 1: cv::cvtColor(img, *out, cv::COLOR_GRAY2BGRA); break;
    case 3: cv::cvtColor(img, *out, cv::COLOR_BGR2BGRA); break;
    case 4: *out = img; break;
    default: return false;
    }
    return true;
}

bool WritePicture(const std::string& path, const cv::Mat& bgra) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    try {
        if (ext == ".jpg" || ext == ".jpeg") {
            cv::Mat bgr;
            cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
            return cv::imwrite(path, bgr);
        }
        return cv::imwrite(path, bgra);
    } catch (const cv::Exception&) {
        return false;
    }
}

orvex::EffectFrame FrameOf(cv::Mat& picture) {
    const bool wide = picture.depth() == CV_16U;
    orvex::EffectFrame f;
    f.planes = 1;
    f.bitDepth = wide ? 16 : 8;
    f.pixel_fmt = wide ? orvex::BGRA64 : orvex::BGRA32;
    f.width[0] = static_cast<uint32_t>(picture.cols);
    f.height[0] = static_cast<uint32_t>(picture.rows);
    f.data[0] = picture.data;
    f.pitch[0] = static_cast<int32_t>(picture.step[0]);
    return f;
}

const char* TypeName(orvex::EffectParamType t) {
    switch (t) {
    case orvex::ParamBool: return "bool";
    case orvex::ParamFloat: return "float";
    case orvex::ParamInt: return "int";
    case orvex::ParamText: return "text";
    }
    return "?";
}

bool ParseValue(const orvex::ParamDecl& p, const std::string& text, orvex::EffectParamValue* value) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    switch (p.type) {
    case orvex::ParamBool:
        if (text == "true" || text == "1") *value = orvex::EffectParamValue::Bool(true);
        else if (text == "false" || text == "0") *value = orvex::EffectParamValue::Bool(false);
        else return false;
        return true;
    case orvex::ParamInt: {
        long v = std::strtol(s, &end, 10);
        if (text.empty() || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
        *value = orvex::EffectParamValue::Int(static_cast<int32_t>(v));
        return true;
    }
    case orvex::ParamFloat: {
        float v = std::strtof(s, &end);
        if (text.empty() || *end || errno == ERANGE || !std::isfinite(v)) return false;
        *value = orvex::EffectParamValue::Float(v);
        return true;
    }
    case orvex::ParamText:
        *value = orvex::EffectParamValue::Text(s);
        return true;
    }
    return false;
}

std::string FormatStored(const orvex::ParamDecl& p) {
    if (p.type == orvex::ParamText) return "\"" + orvex::EffectSurface::StoredText(p) + "\"";
    if (p.type == orvex::ParamBool) return orvex::EffectSurface::StoredValue(p) != 0 ? "true" : "false";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", orvex::EffectSurface::StoredValue(p));
    return buf;
}

std::vector<std::string> CreatableEffects(orvex::IOrvex* lab) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].create && seen.insert(rows[i].name).second) names.push_back(rows[i].name);
    for (const auto& [name, factory] : orvex::SelfEffects())
        if (factory && seen.insert(name).second) names.push_back(name);
    if (lab) {
        if (orvex::CNLECGFilterManager* catalogue = orvex::CNLECGFilterManager::GetInstance()) {
            // Built-in rows without a body are described but cannot be created.
            for (const std::string& name : catalogue->DescriptionNames())
                if (!orvex::FindBuiltinEffect(name.c_str()) && seen.insert(name).second) names.push_back(name);
        }
    }
    return names;
}

namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (same ? 0 : 1)});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

}  // namespace

std::string Closest(const std::string& name, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = SIZE_MAX;
    for (const std::string& c : candidates) {
        size_t d = EditDistance(name, c);
        // A name that contains the typed text ("blur" in "gaussian_blur") is as good as one edit.
        if (d > 1 && name.size() >= 3 && c.find(name) != std::string::npos) d = 1;
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    // Farther than about a third of the name is a different word, not a typo.
    const size_t limit = std::max<size_t>(2, name.size() / 3);
    return bestDistance <= limit ? best : std::string();
}

void ReportUnknownEffect(const std::string& name, orvex::IOrvex* lab) {
    const std::string near = Closest(name, CreatableEffects(lab));
    if (!near.empty())
        Say("orvex: unknown effect %s; did you mean %s? (orvex list shows the effects)\n", name.c_str(), near.c_str());
    else
        Say("orvex: unknown effect %s (orvex list shows the effects)\n", name.c_str());
}

}  // namespace orvexcli
