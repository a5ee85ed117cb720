// orvex: the command-line host of the library. Lists effects, renders pictures and videos through
// the lab, makes a demo sheet and test cards, and runs the frame operations.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "catalogue/FilterManager.h"
#include "cli_common.h"
#include "commands.h"
#include "host/log/log.h"
#include "effects/Manifest.h"
#include "testcard.h"
#include "vp_commands.h"

namespace orvexcli {

int ListCommand(int argc, char** argv) {
    std::string resources;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--resources" && i + 1 < argc) resources = argv[++i];
        else return Usage("unexpected argument: " + std::string(argv[i]));
    }
    Lab lab;
    UseResources(lab.lab, FindResources(resources));
    for (const std::string& name : CreatableEffects(lab.lab)) {
        // Described effects of the resource tree are marked as such; built-in ones are not.
        if (orvex::FindBuiltinEffect(name.c_str()) || orvex::FindSelfEffect(name.c_str()))
            std::printf("%s\n", name.c_str());
        else std::printf("%s\t(description)\n", name.c_str());
    }
    if (orvex::CNLECGFilterManager* catalogue = orvex::CNLECGFilterManager::GetInstance()) {
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
            return Usage("unexpected argument: " + a);
        }
    }
    if (out.empty()) return Usage("testcard needs an output file");
    if (!cv::imwrite(out, orvexcli::MakeTestCard(w, h))) {
        std::fprintf(stderr, "orvex: cannot write %s\n", out.c_str());
        return kInput;
    }
    return kOk;
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
            return Usage("unknown option: " + a);
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

// The parameters and render paths of one effect, read from the library.
int InfoCommand(int argc, char** argv) {
    std::string effectName, resources;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--resources" && i + 1 < argc) resources = argv[++i];
        else if (a.rfind("--", 0) == 0) return Usage("unknown option: " + a);
        else if (effectName.empty()) effectName = a;
        else return Usage("unexpected argument: " + a);
    }
    if (effectName.empty()) return Usage("info needs an effect name");
    Lab lab;
    if (!lab.lab) return kRender;
    UseResources(lab.lab, FindResources(resources));
    orvex::IOrvexEffect* effect = lab.lab->CreateOrvexEffect(effectName.c_str());
    if (!effect) {
        ReportUnknownEffect(effectName, lab.lab);
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

// The lines of a help text that describe one command: its "  orvex CMD" line and the lines that
// continue it. Empty when the text has none.
std::string CommandHelp(const char* help, const std::string& command) {
    std::string out, line;
    bool inside = false;
    for (const char* p = help; *p; ++p) {
        line += *p;
        if (*p != '\n' && p[1]) continue;
        const bool entry = line.rfind("  orvex ", 0) == 0;
        if (entry) inside = line.rfind("  orvex " + command + " ", 0) == 0 || line == "  orvex " + command + "\n";
        else if (line.rfind("   ", 0) != 0) inside = false;
        if (inside) out += line;
        line.clear();
    }
    return out;
}

// `orvex COMMAND --help` for the commands without a usage text of their own.
bool PrintCommandHelp(int argc, char** argv) {
    const std::string cmd = argv[1];
    if (cmd == "render") return false;
    bool asked = false;
    for (int i = 2; i < argc; ++i) asked = asked || std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h";
    if (!asked) return false;
    std::string text;
    if (cmd == "vp") {
        const std::string op = argc > 2 && argv[2][0] != '-' ? argv[2] : "";
        text = op.empty() ? kVisualHelp : CommandHelp(kVisualHelp, "vp " + op);
    } else {
        text = CommandHelp(kHelp, cmd);
    }
    if (text.empty()) return false;
    std::printf("usage:\n%s", text.c_str());
    return true;
}

int UnknownCommand(const std::string& cmd) {
    const std::string near = Closest(cmd, {"demo", "list", "info", "render", "testcard", "compare", "vp", "help"});
    return Usage("unknown command: " + cmd + (near.empty() ? "" : "; did you mean " + near + "?"));
}

}  // namespace orvexcli

int main(int argc, char** argv) {
    orvexhost::SetLogThreshold(7);
    if (argc < 2) return orvexcli::Usage("missing command");
    std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::fputs(orvexcli::kHelp, stdout);
        std::printf("\nframe operations (visual processing):\n%s", orvexcli::kVisualHelp);
        return orvexcli::kOk;
    }
    if (orvexcli::PrintCommandHelp(argc, argv)) return orvexcli::kOk;
    if (cmd == "list") return orvexcli::ListCommand(argc - 2, argv + 2);
    if (cmd == "render") return orvexcli::RenderCommand(argc - 2, argv + 2);
    if (cmd == "demo") return orvexcli::DemoCommand(argc - 2, argv + 2);
    if (cmd == "info") return orvexcli::InfoCommand(argc - 2, argv + 2);
    if (cmd == "testcard") return orvexcli::TestCard(argc - 2, argv + 2);
    if (cmd == "compare") return orvexcli::Compare(argc - 2, argv + 2);
    if (cmd == "vp") return orvexcli::VisualCommand(argc - 2, argv + 2);
    return orvexcli::UnknownCommand(cmd);
}
