// orvex: the command-line host of the library. Lists effects, renders images through the lab and
// makes test cards.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "catalogue/FilterManager.h"
#include "effects/EffectSurface.h"
#include "host/kit/kit.h"
#include "host/log/log.h"
#include "lab/BuiltinEffects.h"
#include "orvex/orvex.h"
#include "audio_input.h"
#include "effects/OpenGLSurface.h"
#include "testcard.h"
#include "vp_commands.h"

namespace {

// Exit codes: 0 ok, 1 usage, 2 input (files, names, values), 3 render failure, 4 pictures differ.
enum Exit { kOk = 0, kUsage = 1, kInput = 2, kRender = 3, kDiffer = 4 };

const char* kHelp =
    "usage:\n"
    "  orvex list [--resources DIR]        creatable effects and the catalogue's entries\n"
    "  orvex info NAME [--resources DIR]   an effect's parameters (type, default, range) and paths\n"
    "  orvex render --effect NAME [--param NAME=VALUE]... [--device cpu|opencl|opengl]\n"
    "               [--frame N] [--fps N] [--audio FILE.wav] [--resources DIR] IN OUT\n"
    "                                      render one effect on a PNG or JPEG picture\n"
    "  orvex testcard [--size WxH] OUT     write the generated test card\n"
    "  orvex compare [--tolerance N] A B   largest byte difference of two pictures\n"
    "  orvex --help\n"
    "\n"
    "Parameter values follow the parameter's type: true/false for bool, an integer for int,\n"
    "a number for float. Alpha is kept as read; a picture without alpha gets alpha 255.\n"
    "--device defaults to OpenCL when a device is present, else the CPU; shader effects\n"
    "(pixelate, whirlwind, audio_spectrum, ...) render with OpenGL (--device opengl or the default).\n"
    "Shader effects take any parameter name; the value's form gives its type (true/false, an\n"
    "integer, a number, else text). --audio attaches the samples of frame N (at --fps, 25 by\n"
    "default) of a sound file to the frame, for the audio effects.\n"
    "\n"
    "exit codes: 0 ok, 1 usage, 2 bad input (file, effect, parameter or value), 3 render failure,\n"
    "            4 compared pictures differ beyond the tolerance\n";

int Usage(const char* message) {
    std::fprintf(stderr, "orvex: %s\n\n%s", message, kHelp);
    return kUsage;
}

// The resource tree: --resources, else next to the sources, else the installed one.
// The resource tree: --resources, else the one installed beside this program (prefix/bin ->
// prefix/share/orvex/resources), else the configured install prefix, else the source tree.
std::string FindResources(const std::string& given) {
    if (!given.empty()) return given;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::vector<std::filesystem::path> candidates;
    if (!ec) candidates.push_back(exe.parent_path().parent_path() / "share/orvex/resources");
    candidates.emplace_back(ORVEX_INSTALL_RESOURCES);
    candidates.emplace_back(ORVEX_SOURCE_RESOURCES);
    for (const auto& dir : candidates) {
        if (std::filesystem::is_directory(dir / "video/effect", ec)) return dir.string();
    }
    return {};
}

// Points a lab at the resource tree: the root, then the effect folders.
void UseResources(orvex::IOrvex* lab, const std::string& root) {
    if (root.empty()) return;
    lab->SetResourcePath(root.c_str(), 0);
    lab->SetResourcePath((root + "/video/effect").c_str(), 2);
}

struct Lab {
    orvex::IOrvex* lab = CreateOrvex();
    ~Lab() {
        if (lab) ReleaseOrvex(lab);
    }
};

int List(int argc, char** argv) {
    std::string resources;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--resources" && i + 1 < argc) resources = argv[++i];
        else return Usage(("unexpected argument: " + std::string(argv[i])).c_str());
    }
    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    std::set<std::string> shown;
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].create) {
            std::printf("%s\n", rows[i].name);
            shown.insert(rows[i].name);
        }
    }
    for (const auto& [name, factory] : orvex::SelfEffects()) {
        if (factory && shown.insert(name).second) std::printf("%s\n", name.c_str());
    }
    // Catalogue entries of the resource tree that are not built in: described effects (by
    // "unique_name") and GUID descriptions.
    Lab lab;
    if (!lab.lab) return kOk;
    UseResources(lab.lab, FindResources(resources));
    if (orvex::CNLECGFilterManager* catalogue = orvex::CNLECGFilterManager::GetInstance()) {
        for (const std::string& name : catalogue->DescriptionNames()) {
            if (!orvex::FindBuiltinEffect(name.c_str()) && shown.insert(name).second)
                std::printf("%s\t(description)\n", name.c_str());
        }
        for (const std::string& guid : catalogue->Guids()) std::printf("%s\t(catalogue)\n", guid.c_str());
    }
    return kOk;
}

bool ParseSize(const std::string& s, int* w, int* h) {
    return std::sscanf(s.c_str(), "%dx%d", w, h) == 2 && *w > 0 && *h > 0 && *w <= 16384 && *h <= 16384;
}

int TestCard(int argc, char** argv) {
    int w = 1280, h = 720;
    std::string out;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], &w, &h)) return Usage("--size wants WxH, for example 1280x720");
        } else if (out.empty() && a.rfind("--", 0) != 0) {
            out = a;
        } else {
            return Usage(("unexpected argument: " + a).c_str());
        }
    }
    if (out.empty()) return Usage("testcard needs an output file");
    if (!cv::imwrite(out, orvexcli::MakeTestCard(w, h))) {
        std::fprintf(stderr, "orvex: cannot write %s\n", out.c_str());
        return kInput;
    }
    return kOk;
}

// Reads a picture as 8-bit BGRA; alpha kept when present, 255 otherwise.
bool ReadBGRA(const std::string& path, cv::Mat* out) {
    cv::Mat img = cv::imread(path, cv::IMREAD_UNCHANGED);
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

// Largest difference of one byte between two pictures of the same size (alpha included).
int Compare(int argc, char** argv) {
    int tolerance = 0;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--tolerance" && i + 1 < argc) {
            char* end = nullptr;
            tolerance = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (*end || tolerance < 0) return Usage("--tolerance wants a non-negative integer");
        } else if (a.rfind("--", 0) == 0) {
            return Usage(("unknown option: " + a).c_str());
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return Usage("compare needs two pictures");
    cv::Mat a, b;
    if (!ReadBGRA(files[0], &a) || !ReadBGRA(files[1], &b)) {
        std::fprintf(stderr, "orvex: cannot read %s\n", (a.empty() ? files[0] : files[1]).c_str());
        return kInput;
    }
    if (a.size() != b.size()) {
        std::fprintf(stderr, "orvex: the pictures differ in size (%dx%d, %dx%d)\n", a.cols, a.rows, b.cols, b.rows);
        return kDiffer;
    }
    const double maxDiff = cv::norm(a, b, cv::NORM_INF);
    std::printf("max difference %g\n", maxDiff);
    return maxDiff <= tolerance ? kOk : kDiffer;
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

// Parses text as the declared type; false when it does not read as that type.
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

// The parameters and render paths of one effect, read from the library.
int Info(int argc, char** argv) {
    std::string effectName, resources;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--resources" && i + 1 < argc) resources = argv[++i];
        else if (a.rfind("--", 0) == 0) return Usage(("unknown option: " + a).c_str());
        else if (effectName.empty()) effectName = a;
        else return Usage(("unexpected argument: " + a).c_str());
    }
    if (effectName.empty()) return Usage("info needs an effect name");
    Lab lab;
    if (!lab.lab) return kRender;
    UseResources(lab.lab, FindResources(resources));
    orvex::IOrvexEffect* effect = lab.lab->CreateOrvexEffect(effectName.c_str());
    if (!effect) {
        std::fprintf(stderr, "orvex: unknown effect %s (orvex list shows the effects)\n", effectName.c_str());
        return kInput;
    }
    bool cpu = false, cl = false, gl = false;
    effect->GetSupportedPaths(&cpu, &cl, &gl);
    std::string paths;
    if (cpu) paths += " CPU";
    if (cl) paths += " OpenCL";
    if (gl) paths += " OpenGL";
    std::printf("%s\npaths:%s\nparameters:\n", effectName.c_str(), paths.empty() ? " none" : paths.c_str());
    if (auto* surface = dynamic_cast<orvex::EffectSurface*>(effect)) {
        for (const orvex::ParamDecl& p : surface->Params()) {
            std::printf("  %-28s %-6s default %-8s", p.name.c_str(), TypeName(p.type), FormatStored(p).c_str());
            if (p.hasRange) std::printf(" range [%g, %g], out of range stores %g", p.minValue, p.maxValue, p.substitute);
            std::printf("\n");
        }
    }
    lab.lab->ReleaseOrvexEffect(effect);
    return kOk;
}

// A parameter of a shader effect, which takes any name: the type comes from the value's form.
// An integer refused as the wrong type is offered again as a number.
int SetShaderParam(orvex::IOrvexEffect& effect, const std::string& name, const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    if (text == "true" || text == "false")
        return effect.SetParam(name.c_str(), orvex::ParamBool, orvex::EffectParamValue::Bool(text == "true"));
    const long i = std::strtol(s, &end, 10);
    const bool isInt = !text.empty() && !*end && errno != ERANGE && i >= INT32_MIN && i <= INT32_MAX;
    errno = 0;
    const float f = std::strtof(s, &end);
    const bool isFloat = !text.empty() && !*end && errno != ERANGE && std::isfinite(f);
    if (isInt) {
        int r = effect.SetParam(name.c_str(), orvex::ParamInt, orvex::EffectParamValue::Int(static_cast<int32_t>(i)));
        if (r != orvex::WrongFormat) return r;
    }
    if (isFloat) return effect.SetParam(name.c_str(), orvex::ParamFloat, orvex::EffectParamValue::Float(f));
    return effect.SetParam(name.c_str(), orvex::ParamText, orvex::EffectParamValue::Text(s));
}

int Render(int argc, char** argv) {
    std::string effectName, device = "best", resources;
    std::vector<std::pair<std::string, std::string>> params;
    std::vector<std::string> files;
    int64_t frame = 0;
    int fps = 0;
    std::string audioFile;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](const char* what) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        if (a == "--effect") {
            const char* v = next("--effect");
            if (!v) return Usage("--effect needs a name");
            effectName = v;
        } else if (a == "--param") {
            const char* v = next("--param");
            const char* eq = v ? std::strchr(v, '=') : nullptr;
            if (!eq || eq == v) return Usage("--param wants NAME=VALUE");
            params.emplace_back(std::string(v, eq), std::string(eq + 1));
        } else if (a == "--device") {
            const char* v = next("--device");
            if (!v) return Usage("--device needs cpu, opencl or opengl");
            device = v;
        } else if (a == "--frame") {
            const char* v = next("--frame");
            char* end = nullptr;
            if (!v || (frame = std::strtoll(v, &end, 10), *end)) return Usage("--frame wants an integer");
        } else if (a == "--fps") {
            const char* v = next("--fps");
            char* end = nullptr;
            if (!v || (fps = static_cast<int>(std::strtol(v, &end, 10)), *end) || fps < 1 || fps > 1000)
                return Usage("--fps wants an integer from 1 to 1000");
        } else if (a == "--audio") {
            const char* v = next("--audio");
            if (!v) return Usage("--audio needs a sound file");
            audioFile = v;
        } else if (a == "--resources") {
            const char* v = next("--resources");
            if (!v) return Usage("--resources needs a folder");
            resources = v;
        } else if (a.rfind("--", 0) == 0) {
            return Usage(("unknown option: " + a).c_str());
        } else {
            files.push_back(a);
        }
    }
    if (effectName.empty()) return Usage("render needs --effect NAME");
    if (files.size() != 2) return Usage("render needs an input and an output file");
    if (device != "best" && device != "cpu" && device != "opencl" && device != "opengl")
        return Usage("--device is one of cpu, opencl, opengl");

    cv::Mat input;
    if (!ReadBGRA(files[0], &input)) {
        std::fprintf(stderr, "orvex: cannot read a picture from %s\n", files[0].c_str());
        return kInput;
    }

    // The factory outlives the lab that points at it.
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (device == "best" || device == "opencl" || device == "opengl") {
        orvexhost::KitOptions options;
        options.opengl = device != "opencl";
        options.opencl = device != "opengl";
        factory = orvexhost::MakeFactory(options);
        if (!factory && device == "opencl") {
            std::fprintf(stderr, "orvex: no OpenCL device found; use --device cpu\n");
            return kInput;
        }
        if (!factory && device == "opengl") {
            std::fprintf(stderr, "orvex: no OpenGL device found (EGL with Mesa: libegl-mesa0, libgl1-mesa-dri)\n");
            return kInput;
        }
    }

    Lab lab;
    if (!lab.lab) {
        std::fprintf(stderr, "orvex: cannot create the lab\n");
        return kRender;
    }
    UseResources(lab.lab, FindResources(resources));

    if (factory) {
        lab.lab->SetATLUFactory(factory.get());
        lab.lab->LoadBuiltinPrograms();
    }

    orvex::IOrvexEffect* effect = lab.lab->CreateOrvexEffect(effectName.c_str());
    if (!effect) {
        std::fprintf(stderr, "orvex: unknown effect %s (orvex list shows the effects)\n", effectName.c_str());
        return kInput;
    }
    struct Release {
        orvex::IOrvex* lab;
        orvex::IOrvexEffect* effect;
        ~Release() { lab->ReleaseOrvexEffect(effect); }
    } release{lab.lab, effect};

    auto* surface = dynamic_cast<orvex::EffectSurface*>(effect);
    const bool shader = dynamic_cast<orvex::VideoEffectOpenGLSurface*>(effect) != nullptr;
    if (fps || !audioFile.empty()) effect->SetFrameRate(fps ? fps : 25, 1);
    for (const auto& [name, text] : params) {
        const orvex::ParamDecl* decl = nullptr;
        if (surface) {
            for (const auto& p : surface->Params())
                if (p.name == name) decl = &p;
        }
        if (!decl && shader) {
            if (int r = SetShaderParam(*effect, name, text); r != orvex::Ok) {
                std::fprintf(stderr, "orvex: %s=%s was refused (result %d)\n", name.c_str(), text.c_str(), r);
                return kInput;
            }
            continue;
        }
        if (!decl) {
            std::string known;
            if (surface)
                for (const auto& p : surface->Params()) known += (known.empty() ? "" : ", ") + p.name;
            std::fprintf(stderr, "orvex: %s has no parameter %s (parameters: %s)\n", effectName.c_str(), name.c_str(),
                         known.c_str());
            return kInput;
        }
        orvex::EffectParamValue value;
        if (!ParseValue(*decl, text, &value)) {
            std::fprintf(stderr, "orvex: %s=%s is not a %s value\n", name.c_str(), text.c_str(), TypeName(decl->type));
            return kInput;
        }
        orvex::ResultCode r = effect->SetParam(name.c_str(), decl->type, value);
        if (r == orvex::InvalidArgument) {
            std::fprintf(stderr, "orvex: %s=%s is out of range [%g, %g]; the effect stored %s instead\n", name.c_str(),
                         text.c_str(), decl->minValue, decl->maxValue, FormatStored(*decl).c_str());
            return kInput;
        }
        if (r != orvex::Ok) {
            std::fprintf(stderr, "orvex: %s=%s was refused (result %d)\n", name.c_str(), text.c_str(), r);
            return kInput;
        }
    }

    auto wrap = [](cv::Mat& m) {
        auto f = std::make_shared<orvex::EffectFrame>();
        f->planes = 1;
        f->bitDepth = 8;
        f->pixel_fmt = orvex::BGRA32;
        f->width[0] = static_cast<uint32_t>(m.cols);
        f->height[0] = static_cast<uint32_t>(m.rows);
        f->data[0] = m.data;
        f->pitch[0] = static_cast<int32_t>(m.step[0]);
        return f;
    };
    cv::Mat output(input.size(), CV_8UC4, cv::Scalar(0, 0, 0, 0));
    std::vector<orvex::EffectFramePtr> inputs{wrap(input)};
    orvex::EffectFramePtr out = wrap(output);
    if (!audioFile.empty()) {
        // The audio rides on a second input frame.
        std::string error;
        auto carrier = std::make_shared<orvex::EffectFrame>();
        carrier->audio = orvexcli::ReadAudioFrame(audioFile, frame, fps ? fps : 25, &error);
        if (!carrier->audio) {
            std::fprintf(stderr, "orvex: cannot read audio from %s: %s\n", audioFile.c_str(), error.c_str());
            return kInput;
        }
        inputs.push_back(carrier);
    }
    if (factory) {
        // The GPU path: both frames carry textures; the effect's OpenCL body runs, or its CPU
        // body on the mapped textures; shader effects read them on OpenGL.
        const char* platform = factory->GetDeviceContext("opencl") ? "opencl" : "opengl";
        inputs[0]->texture = orvexhost::UploadFrame(*factory, *inputs[0], platform);
        out->texture = orvexhost::CreateTextureLike(*factory, *out, platform);
        if (!inputs[0]->texture || !out->texture) {
            std::fprintf(stderr, "orvex: cannot create OpenCL textures for a %dx%d picture\n", input.cols, input.rows);
            return kRender;
        }
    }
    orvex::ResultCode r = effect->Render(nullptr, frame, nullptr, inputs, out);
    if (r == orvex::Ok && factory && !orvexhost::DownloadFrame(*out->texture, *out)) r = orvex::Failed;
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex: %s failed to render (result %d)\n", effectName.c_str(), r);
        return kRender;
    }
    if (!WritePicture(files[1], output)) {
        std::fprintf(stderr, "orvex: cannot write %s\n", files[1].c_str());
        return kInput;
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    if (argc < 2) return Usage("missing command");
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::fputs(kHelp, stdout);
        std::printf("\nframe operations (visual processing):\n%s", orvexcli::kVisualHelp);
        return kOk;
    }
    if (cmd == "list") return List(argc - 2, argv + 2);
    if (cmd == "render") return Render(argc - 2, argv + 2);
    if (cmd == "info") return Info(argc - 2, argv + 2);
    if (cmd == "testcard") return TestCard(argc - 2, argv + 2);
    if (cmd == "compare") return Compare(argc - 2, argv + 2);
    if (cmd == "vp") return orvexcli::VisualCommand(argc - 2, argv + 2);
    return Usage(("unknown command: " + cmd).c_str());
}
