// Every frei0r module as a host sees it: loaded with dlopen, described by f0r_get_plugin_info and
// f0r_get_param_info (checked against what `orvex info` prints for its effect), rendering a frame
// like `orvex render`, and fed bad values and null buffers.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The effects with a module, as the build laid them out (orvex_<effect>.so), sorted.
std::vector<std::string> Effects() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(ORVEX_FREI0R_MODULE_DIR, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("orvex_", 0) == 0 && entry.path().extension() == ".so")
            names.push_back(file.substr(6, file.size() - 9));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a command; its standard output, and its exit status in *status.
std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return out;
    }
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    *status = pclose(pipe);
    return out;
}

// One parameter line of `orvex info`: name, type, default, and the range when there is one.
struct InfoParam {
    std::string name;
    std::string type;
    double def = 0;
    bool hasRange = false;
    double lo = 0, hi = 0;
    std::string rangeText;  // "[lo, hi]" as printed
};

std::vector<InfoParam> OrvexInfo(const std::string& effect) {
    int status = 0;
    const std::string text = RunCommand(std::string(ORVEX_CLI) + " info video/effect/" + effect, &status);
    EXPECT_EQ(status, 0) << "orvex info " << effect;
    std::vector<InfoParam> params;
    std::stringstream in(text);
    bool inParams = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "parameters:") {
            inParams = true;
            continue;
        }
        if (!inParams) continue;
        std::stringstream fields(line);
        InfoParam p;
        std::string word, value;
        fields >> p.name >> p.type >> word >> value;
        if (p.type == "bool") p.def = value == "true" ? 1 : 0;
        else if (p.type != "text") p.def = std::strtod(value.c_str(), nullptr);
        const size_t open = line.find(" range [");
        if (open != std::string::npos) {
            p.hasRange = true;
            const size_t close = line.find(']', open);
            p.rangeText = line.substr(open + 7, close - open - 6);
            std::sscanf(p.rangeText.c_str(), "[%lf, %lf]", &p.lo, &p.hi);
        }
        params.push_back(p);
    }
    return params;
}

// The entry points of one loaded module. Modules stay loaded for the life of the process, as in
// MLT, which keeps every module it found.
struct Module {
    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*deinit)() = nullptr;
    void (*pluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
    int numParams = 0;
};

template <class F>
void Bind(void* handle, const char* name, F* fn) {
    *fn = reinterpret_cast<F>(dlsym(handle, name));
}

const Module* Load(const std::string& effect) {
    static std::map<std::string, Module> loaded;
    auto it = loaded.find(effect);
    if (it != loaded.end()) return &it->second;
    const std::string path = std::string(ORVEX_FREI0R_MODULE_DIR) + "/orvex_" + effect + ".so";
    Module m;
    m.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(m.handle, nullptr) << dlerror();
    if (!m.handle) return nullptr;
    Bind(m.handle, "f0r_init", &m.init);
    Bind(m.handle, "f0r_deinit", &m.deinit);
    Bind(m.handle, "f0r_get_plugin_info", &m.pluginInfo);
    Bind(m.handle, "f0r_get_param_info", &m.paramInfo);
    Bind(m.handle, "f0r_construct", &m.construct);
    Bind(m.handle, "f0r_destruct", &m.destruct);
    Bind(m.handle, "f0r_set_param_value", &m.setParam);
    Bind(m.handle, "f0r_get_param_value", &m.getParam);
    Bind(m.handle, "f0r_update", &m.update);
    const bool complete = m.init && m.deinit && m.pluginInfo && m.paramInfo && m.construct && m.destruct &&
                          m.setParam && m.getParam && m.update;
    EXPECT_TRUE(complete) << path << " lacks a frei0r entry point";
    if (!complete) return nullptr;
    EXPECT_EQ(m.init(), 1);
    f0r_plugin_info_t info{};
    m.pluginInfo(&info);
    m.numParams = info.num_params;
    return &loaded.emplace(effect, m).first->second;
}

struct F0rParam {
    std::string name;
    int type = -1;
    std::string explanation;
};

std::vector<F0rParam> ParamInfos(const Module& m) {
    std::vector<F0rParam> params;
    for (int i = 0; i < m.numParams; ++i) {
        f0r_param_info_t info{};
        m.paramInfo(&info, i);
        params.push_back({info.name ? info.name : "", info.type, info.explanation ? info.explanation : ""});
    }
    return params;
}

// The three effect parameters of a colour, from its explanation "Name: A, B, C as one colour...".
std::vector<std::string> ColourMembers(const std::string& explanation) {
    std::vector<std::string> names;
    const size_t from = explanation.find(": ");
    const size_t to = explanation.find(" as one colour");
    if (from == std::string::npos || to == std::string::npos || to < from) return names;
    std::stringstream in(explanation.substr(from + 2, to - from - 2));
    for (std::string n; std::getline(in, n, ',');) names.push_back(n.substr(n.find_first_not_of(' ')));
    return names;
}

// Ranges with an end at 1e9 or beyond pass values as given; the rest map 0..1 onto the range.
bool IsSpan(const InfoParam& p) {
    return p.hasRange && std::fabs(p.lo) < 1e9 && std::fabs(p.hi) < 1e9 && p.hi > p.lo;
}

constexpr unsigned kW = 48, kH = 32;

// A small frame with every byte value present in some channel, alpha included.
std::vector<uint32_t> Pattern() {
    std::vector<uint32_t> px(kW * kH);
    for (unsigned i = 0; i < px.size(); ++i) {
        const uint32_t b = (i * 7) & 0xff, g = (i * 13 + 50) & 0xff, r = (i * 29 + 100) & 0xff;
        const uint32_t a = (i % 5 == 0) ? 128 : 255;
        px[i] = b | g << 8 | r << 16 | a << 24;
    }
    return px;
}

// PAM files carry the frame to `orvex render` and back: its image library reads and writes PAM
// bytes in memory order (B, G, R, A here), so pixels travel unchanged.
bool WritePam(const fs::path& path, const std::vector<uint32_t>& px, unsigned w, unsigned h) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
    for (uint32_t p : px) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(p), static_cast<unsigned char>(p >> 8),
                                        static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 24)};
        std::fwrite(bytes, 1, 4, f);
    }
    return std::fclose(f) == 0;
}

// The pixels of a 4-channel PAM of the given size; empty when it is anything else.
std::vector<uint32_t> ReadPam(const fs::path& path, unsigned w, unsigned h) {
    std::vector<uint32_t> px;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return px;
    unsigned width = 0, height = 0, depth = 0, maxval = 0;
    char line[256];
    while (std::fgets(line, sizeof line, f) && std::strncmp(line, "ENDHDR", 6) != 0) {
        std::sscanf(line, "WIDTH %u", &width);
        std::sscanf(line, "HEIGHT %u", &height);
        std::sscanf(line, "DEPTH %u", &depth);
        std::sscanf(line, "MAXVAL %u", &maxval);
    }
    if (width == w && height == h && depth == 4 && maxval == 255) {
        std::vector<unsigned char> bytes(static_cast<size_t>(w) * h * 4);
        if (std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size()) {
            for (size_t i = 0; i < bytes.size(); i += 4)
                px.push_back(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | uint32_t(bytes[i + 3]) << 24);
        }
    }
    std::fclose(f);
    return px;
}

class Frei0rModule : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        module_ = Load(GetParam());
        ASSERT_NE(module_, nullptr);
    }

    // Renders the pattern through a fresh instance after `prepare` has set its parameters.
    template <class Prepare>
    std::vector<uint32_t> Render(Prepare prepare, double time = 0) {
        f0r_instance_t inst = module_->construct(kW, kH);
        EXPECT_NE(inst, nullptr);
        if (!inst) return {};
        prepare(inst);
        const std::vector<uint32_t> in = Pattern();
        std::vector<uint32_t> out(in.size(), 0xdeadbeef);
        module_->update(inst, time, in.data(), out.data());
        module_->destruct(inst);
        return out;
    }

    const Module* module_ = nullptr;
};

TEST_P(Frei0rModule, DescribesItselfAsAnOrvexBgraFilter) {
    f0r_plugin_info_t info{};
    module_->pluginInfo(&info);
    EXPECT_STREQ(info.name, ("orvex_" + GetParam()).c_str());
    EXPECT_NE(info.author, nullptr);
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    ASSERT_NE(info.explanation, nullptr);
    EXPECT_NE(std::string(info.explanation).find("video/effect/" + GetParam()), std::string::npos);
}

// Names unique; every effect parameter of `orvex info` is one frei0r parameter of the matching
// type and mapping, or one channel of a colour; nothing else but the trailing frame rate; and a
// new instance starts at the effect's defaults.
TEST_P(Frei0rModule, ParametersMatchOrvexInfo) {
    const std::vector<InfoParam> info = OrvexInfo(GetParam());
    const std::vector<F0rParam> params = ParamInfos(*module_);
    ASSERT_FALSE(params.empty());
    EXPECT_EQ(params.back().name, "frame_rate");
    EXPECT_EQ(params.back().type, F0R_PARAM_DOUBLE);

    std::set<std::string> names;
    for (const F0rParam& p : params) {
        EXPECT_FALSE(p.name.empty());
        EXPECT_TRUE(names.insert(p.name).second) << "duplicate frei0r parameter " << p.name;
        EXPECT_FALSE(p.explanation.empty()) << p.name;
    }

    std::map<std::string, const InfoParam*> byName;
    for (const InfoParam& p : info) byName[p.name] = &p;
    std::map<std::string, int> covered;
    for (size_t i = 0; i + 1 < params.size(); ++i) {
        const F0rParam& f = params[i];
        SCOPED_TRACE(f.name);
        if (f.type == F0R_PARAM_COLOR) {
            const std::vector<std::string> members = ColourMembers(f.explanation);
            ASSERT_EQ(members.size(), 3u) << f.explanation;
            for (const std::string& m : members) {
                ASSERT_TRUE(byName.count(m)) << m << " is not a parameter of the effect";
                const InfoParam& p = *byName[m];
                EXPECT_EQ(p.type, "int") << m;
                EXPECT_TRUE(!p.hasRange || (p.lo == 0 && p.hi == 255)) << m << " is not a byte";
                ++covered[m];
            }
            continue;
        }
        ASSERT_TRUE(byName.count(f.name)) << "no effect parameter " << f.name;
        const InfoParam& p = *byName[f.name];
        ++covered[p.name];
        if (p.type == "bool") {
            EXPECT_EQ(f.type, F0R_PARAM_BOOL);
        } else if (p.type == "text") {
            EXPECT_EQ(f.type, F0R_PARAM_STRING);
        } else {
            EXPECT_EQ(f.type, F0R_PARAM_DOUBLE);
            if (IsSpan(p)) EXPECT_NE(f.explanation.find("onto " + p.rangeText), std::string::npos) << f.explanation;
            else EXPECT_NE(f.explanation.find("as given"), std::string::npos) << f.explanation;
        }
    }
    for (const InfoParam& p : info) EXPECT_EQ(covered[p.name], 1) << p.name << " is not exactly one frei0r value";

    // A new instance reports each effect default in frei0r terms.
    f0r_instance_t inst = module_->construct(kW, kH);
    ASSERT_NE(inst, nullptr);
    for (int i = 0; i < static_cast<int>(params.size()); ++i) {
        const F0rParam& f = params[i];
        SCOPED_TRACE(f.name);
        if (f.type == F0R_PARAM_COLOR) {
            f0r_param_color_t c{-1, -1, -1};
            module_->getParam(inst, &c, i);
            const std::vector<std::string> m = ColourMembers(f.explanation);
            ASSERT_EQ(m.size(), 3u);
            EXPECT_NEAR(c.r * 255, byName[m[0]]->def, 1e-3);
            EXPECT_NEAR(c.g * 255, byName[m[1]]->def, 1e-3);
            EXPECT_NEAR(c.b * 255, byName[m[2]]->def, 1e-3);
        } else if (f.type == F0R_PARAM_BOOL || f.type == F0R_PARAM_DOUBLE) {
            double v = std::nan("");
            module_->getParam(inst, &v, i);
            if (i + 1 == static_cast<int>(params.size())) {
                EXPECT_EQ(v, 30);  // the frame rate assumed until the host sets one
                continue;
            }
            const InfoParam& p = *byName[f.name];
            const double expected = IsSpan(p) ? (p.def - p.lo) / (p.hi - p.lo) : p.def;
            // orvex info prints six significant digits.
            EXPECT_NEAR(v, expected, 1e-5 * std::max(1.0, std::fabs(expected))) << p.def;
        }
    }
    module_->destruct(inst);
}

// The module renders a frame like `orvex render` on the CPU with the effect's defaults.
TEST_P(Frei0rModule, RendersLikeOrvexRender) {
    const fs::path work = fs::path(ORVEX_TEST_WORK) / (GetParam() + "-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path source = work / "in.pam", ref = work / "ref.pam";
    const std::vector<uint32_t> in = Pattern();
    ASSERT_TRUE(WritePam(source, in, kW, kH));
    int status = 0;
    RunCommand(std::string(ORVEX_CLI) + " render --device cpu --effect video/effect/" + GetParam() + " " +
                   source.string() + " " + ref.string(),
               &status);
    ASSERT_EQ(status, 0) << "orvex render failed";
    std::vector<uint32_t> expected = ReadPam(ref, kW, kH);
    fs::remove_all(work);
    ASSERT_EQ(expected.size(), in.size());

    std::vector<uint32_t> out = Render([](f0r_instance_t) {});
    // orvex render starts from a transparent output, the module from the input (a frei0r output
    // buffer holds anything): where an effect leaves alpha unwritten, the module keeps the input's.
    bool alphaWritten = false;
    for (uint32_t px : expected) alphaWritten |= (px >> 24) != 0;
    if (!alphaWritten) {
        for (size_t i = 0; i < expected.size(); ++i) expected[i] = (expected[i] & 0xffffff) | (in[i] & 0xff000000);
    }
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == expected[i]) continue;
        ADD_FAILURE() << "first difference at x " << i % kW << ", y " << i / kW << ": module BGRA 0x" << std::hex
                      << out[i] << ", orvex render 0x" << expected[i];
        break;
    }
}

// Values out of 0..1 are held at the ends of the span, NaN changes nothing, and the value the
// module reports back is the one in force: an instance set to it renders the same picture.
// Parameters passed as given reach the effect at the limits of their type, which it must survive.
TEST_P(Frei0rModule, HoldsBadValuesAndIgnoresNaN) {
    const std::vector<F0rParam> params = ParamInfos(*module_);
    const std::vector<uint32_t> defaults = Render([](f0r_instance_t) {});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    for (int i = 0; i < static_cast<int>(params.size()); ++i) {
        const F0rParam& f = params[i];
        SCOPED_TRACE(f.name);
        if (f.type == F0R_PARAM_BOOL || f.type == F0R_PARAM_DOUBLE) {
            for (double bad : {nan, -inf, inf, -1e300, 1e300, -5.0, 7.0}) {
                SCOPED_TRACE(bad);
                double held = 0;
                const auto withBad = Render([&](f0r_instance_t inst) {
                    double before = 0;
                    module_->getParam(inst, &before, i);
                    module_->setParam(inst, &bad, i);
                    module_->getParam(inst, &held, i);
                    EXPECT_FALSE(std::isnan(held));
                    if (std::isnan(bad)) {
                        EXPECT_EQ(held, before);
                    }
                });
                if (std::isnan(bad)) {
                    EXPECT_EQ(withBad, defaults);
                    continue;
                }
                const auto withHeld = Render([&](f0r_instance_t inst) { module_->setParam(inst, &held, i); });
                EXPECT_EQ(withBad, withHeld) << "held value " << held;
            }
        } else if (f.type == F0R_PARAM_COLOR) {
            f0r_param_color_t nanColour{NAN, NAN, NAN};
            EXPECT_EQ(Render([&](f0r_instance_t inst) { module_->setParam(inst, &nanColour, i); }), defaults);
            f0r_param_color_t wild{-3, 2, 0.5f}, clamped{0, 1, 0.5f};
            f0r_param_color_t held{-1, -1, -1};
            const auto a = Render([&](f0r_instance_t inst) {
                module_->setParam(inst, &wild, i);
                module_->getParam(inst, &held, i);
            });
            EXPECT_EQ(held.r, 0);
            EXPECT_EQ(held.g, 1);
            EXPECT_EQ(held.b, 0.5f);
            EXPECT_EQ(a, Render([&](f0r_instance_t inst) { module_->setParam(inst, &clamped, i); }));
        } else if (f.type == F0R_PARAM_STRING) {
            f0r_param_string none = nullptr;
            EXPECT_EQ(Render([&](f0r_instance_t inst) { module_->setParam(inst, &none, i); }), defaults);
        }
    }
}

// Null buffers, null instances, bad indices, bad sizes and bad times: nothing crashes, and a
// missing input leaves the output as it was.
TEST_P(Frei0rModule, SurvivesNullsBadIndicesAndBadTimes) {
    EXPECT_EQ(module_->construct(0, kH), nullptr);
    EXPECT_EQ(module_->construct(kW, 0), nullptr);
    EXPECT_EQ(module_->construct(1u << 20, 8), nullptr);
    module_->destruct(nullptr);
    module_->pluginInfo(nullptr);
    module_->paramInfo(nullptr, 0);
    f0r_param_info_t untouched{"x", 99, "y"};
    module_->paramInfo(&untouched, -1);
    module_->paramInfo(&untouched, module_->numParams);
    EXPECT_EQ(untouched.type, 99);

    f0r_instance_t inst = module_->construct(kW, kH);
    ASSERT_NE(inst, nullptr);
    double v = 0.5;
    module_->setParam(inst, nullptr, 0);
    module_->setParam(inst, &v, -1);
    module_->setParam(inst, &v, module_->numParams);
    module_->getParam(inst, nullptr, 0);
    module_->getParam(inst, &v, module_->numParams);
    module_->setParam(nullptr, &v, 0);
    module_->getParam(nullptr, &v, 0);

    const std::vector<uint32_t> in = Pattern();
    std::vector<uint32_t> out(in.size(), 0x12345678);
    module_->update(inst, 0, nullptr, out.data());
    EXPECT_EQ(out, std::vector<uint32_t>(in.size(), 0x12345678));
    module_->update(inst, 0, in.data(), nullptr);
    module_->update(nullptr, 0, in.data(), out.data());
    for (double t : {std::nan(""), -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                     -3.0e20, 1.0e300}) {
        module_->update(inst, t, in.data(), out.data());
    }
    module_->destruct(inst);
}

// Hosts may hand the same buffer as input and output; the picture is the same as with two.
TEST_P(Frei0rModule, RendersInPlaceLikeWithTwoBuffers) {
    const std::vector<uint32_t> separate = Render([](f0r_instance_t) {});
    f0r_instance_t inst = module_->construct(kW, kH);
    ASSERT_NE(inst, nullptr);
    std::vector<uint32_t> frame = Pattern();
    module_->update(inst, 0, frame.data(), frame.data());
    module_->destruct(inst);
    EXPECT_EQ(frame, separate);
}

INSTANTIATE_TEST_SUITE_P(Modules, Frei0rModule, ::testing::ValuesIn(Effects()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace

// Every module is one build copied per effect: a copy under a name that is no effect's refuses
// to start and describes no parameters, rather than posing as some other effect.
TEST(Frei0rModuleCopies, ACopyNamedForNoEffectRefusesToStart) {
    const std::vector<std::string> effects = Effects();
    ASSERT_FALSE(effects.empty());
    // The copy finds the library one folder up, as the laid-out modules do.
    const fs::path dir = fs::path(ORVEX_TEST_WORK) / "renamed-module" / "frei0r-1";
    fs::create_directories(dir);
    const fs::path library = dir.parent_path() / "liborvex.so.0";
    if (!fs::exists(library))
        fs::create_symlink(fs::canonical(fs::path(ORVEX_FREI0R_MODULE_DIR) / ".." / "liborvex.so.0"), library);
    const fs::path copy = dir / "orvex_no_such_effect.so";
    fs::copy_file(fs::path(ORVEX_FREI0R_MODULE_DIR) / ("orvex_" + effects.front() + ".so"), copy,
                  fs::copy_options::overwrite_existing);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto init = reinterpret_cast<int (*)()>(dlsym(handle, "f0r_init"));
    auto pluginInfo = reinterpret_cast<void (*)(f0r_plugin_info_t*)>(dlsym(handle, "f0r_get_plugin_info"));
    auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(dlsym(handle, "f0r_construct"));
    ASSERT_TRUE(init && pluginInfo && construct);
    EXPECT_EQ(init(), 0);
    f0r_plugin_info_t info{};
    pluginInfo(&info);
    EXPECT_EQ(info.num_params, 0);
    EXPECT_EQ(construct(64, 48), nullptr);
}
