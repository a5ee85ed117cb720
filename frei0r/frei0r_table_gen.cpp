// frei0r_table_gen: reads the parameter declarations of every creatable built-in effect and writes
// their frei0r face: a C++ table for the modules (frei0r_table.h records) and the Markdown mapping
// table of docs/frei0r.md.
//
// usage: frei0r_table_gen HEADER DOC_TEMPLATE DOC
//        frei0r_table_gen --copy-modules MODULE DIR
//
// The second form lays out the modules: DIR/orvex_<effect>.so, one copy of the built MODULE per
// creatable effect (each copy finds its effect from its file name), and removes copies whose
// effect is gone, so the module list always follows the effect manifest.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "effects/EffectSurface.h"
#include "frei0r_table.h"
#include "effects/Manifest.h"

namespace {

using orvex_frei0r::Mapping;

struct Binding {
    std::string name;
    int type = 0;
};

struct F0rParam {
    std::string name;
    int f0rType = F0R_PARAM_DOUBLE;
    Mapping mapping = Mapping::AsGiven;
    bool integer = false;
    double lo = 0, hi = 0;
    std::vector<Binding> targets;
    double initial[3] = {0, 0, 0};
    std::string initialText;
    std::string explanation;
    std::string docMapping;  // the mapping column of the documentation
    std::string docDefault;
};

struct F0rEffect {
    std::string name;
    std::string shortName;
    std::vector<F0rParam> params;
};

std::string Num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Full precision for the C++ table, so that the module maps exactly what the effect declared.
std::string Exact(double v) {
    if (std::isinf(v)) return v > 0 ? "1e308" : "-1e308";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Ranges with an end at 1e9 or beyond (in practice the largest float or int) declare "at least"
// or "at most", not a span a slider could cover: they pass values as given.
bool IsSpan(const orvex::ParamDecl& p) {
    constexpr double kOpenEnd = 1e9;
    return p.hasRange && std::fabs(p.minValue) < kOpenEnd && std::fabs(p.maxValue) < kOpenEnd &&
           p.maxValue > p.minValue;
}

// A parameter that holds one colour channel as a byte: a byte field, or an int declared 0..255.
bool TakesByte(const orvex::ParamDecl& p) {
    if (p.type != orvex::ParamInt) return false;
    if (p.field == orvex::ParamDecl::Field::Byte) return true;
    return p.hasRange && p.minValue == 0 && p.maxValue == 255;
}

// Splits a name at '_' and finds the token naming a colour channel (red/green/blue or r/g/b, any
// case). Returns the channel (0 red, 1 green, 2 blue) or -1; `stem` gets the name with that token
// replaced by "\x01" and `token` the token as written.
int ChannelOf(const std::string& name, std::string* stem, std::string* token) {
    std::vector<std::string> parts;
    std::stringstream in(name);
    for (std::string part; std::getline(in, part, '_');) parts.push_back(part);
    int found = -1;
    size_t at = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string t = Lower(parts[i]);
        int c = (t == "red" || t == "r") ? 0 : (t == "green" || t == "g") ? 1 : (t == "blue" || t == "b") ? 2 : -1;
        if (c < 0) continue;
        if (found >= 0) return -1;  // two channel words: not a plain colour channel
        found = c;
        at = i;
    }
    if (found < 0) return -1;
    *token = parts[at];
    parts[at] = "\x01";
    stem->clear();
    for (size_t i = 0; i < parts.size(); ++i) *stem += (i ? "_" : "") + parts[i];
    return found;
}

// "color" in the case style of the channel word it replaces (Red -> Color, red -> color).
std::string ColorWord(const std::string& token) {
    if (token.size() > 1 && std::all_of(token.begin(), token.end(), [](char c) { return std::isupper(c); }))
        return "COLOR";
    return std::isupper(static_cast<unsigned char>(token[0])) ? "Color" : "color";
}

const char* TypeName(int t) {
    switch (t) {
    case orvex::ParamBool: return "bool";
    case orvex::ParamFloat: return "float";
    case orvex::ParamInt: return "int";
    case orvex::ParamText: return "text";
    }
    return "?";
}

F0rParam Single(const orvex::ParamDecl& p) {
    F0rParam f;
    f.name = p.name;
    f.targets.push_back({p.name, p.type});
    const double def = orvex::EffectSurface::StoredValue(p);
    switch (p.type) {
    case orvex::ParamBool:
        f.f0rType = F0R_PARAM_BOOL;
        f.mapping = Mapping::Bool;
        f.initial[0] = def != 0 ? 1 : 0;
        f.explanation = p.name + ": on from 0.5 up (default " + (def != 0 ? "on" : "off") + ")";
        f.docMapping = "bool";
        f.docDefault = def != 0 ? "1 (on)" : "0 (off)";
        return f;
    case orvex::ParamText: {
        f.f0rType = F0R_PARAM_STRING;
        f.mapping = Mapping::Text;
        f.initialText = orvex::EffectSurface::StoredText(p);
        f.explanation = p.name + ": text, as given";
        f.docMapping = "text as given";
        f.docDefault = "\"" + f.initialText + "\"";
        return f;
    }
    default: break;
    }
    f.f0rType = F0R_PARAM_DOUBLE;
    f.integer = p.type == orvex::ParamInt;
    const std::string kind = f.integer ? "int" : "float";
    const std::string rounding = f.integer ? ", rounded to the nearest integer" : "";
    if (IsSpan(p)) {
        f.mapping = Mapping::Linear;
        f.lo = p.minValue;
        f.hi = p.maxValue;
        f.initial[0] = (def - f.lo) / (f.hi - f.lo);
        f.explanation = p.name + ": 0..1 maps linearly onto [" + Num(f.lo) + ", " + Num(f.hi) + "]" + rounding +
                        " (" + kind + ", default " + Num(def) + ")";
        f.docMapping = "0..1 onto [" + Num(f.lo) + ", " + Num(f.hi) + "]" + (f.integer ? ", rounded" : "");
        f.docDefault = Num(f.initial[0]) + " (" + Num(def) + ")";
        return f;
    }
    f.mapping = Mapping::AsGiven;
    if (p.hasRange) {
        f.lo = p.minValue;
        f.hi = p.maxValue;
    } else if (p.field == orvex::ParamDecl::Field::Byte) {
        f.lo = 0;
        f.hi = 255;
    } else if (f.integer) {
        f.lo = std::numeric_limits<int32_t>::min();
        f.hi = std::numeric_limits<int32_t>::max();
    } else {
        f.lo = -std::numeric_limits<float>::max();
        f.hi = std::numeric_limits<float>::max();
    }
    f.initial[0] = def;
    std::string bounds;
    if (p.hasRange) bounds = ", held in [" + Num(f.lo) + ", " + Num(f.hi) + "]";
    else if (p.field == orvex::ParamDecl::Field::Byte) bounds = ", held in [0, 255]";
    f.explanation = p.name + ": the value as given" + rounding + bounds + " (" + kind + ", default " + Num(def) + ")";
    f.docMapping = "as given" + std::string(f.integer ? ", rounded" : "") + bounds;
    f.docDefault = Num(def);
    return f;
}

F0rEffect Describe(const orvex::BuiltinEffect& row) {
    F0rEffect e;
    e.name = row.name;
    e.shortName = e.name.substr(e.name.rfind('/') + 1);
    std::unique_ptr<orvex::EffectSurface> effect(row.create());
    const std::vector<orvex::ParamDecl>& decls = effect->Params();

    // Colour triples: three byte parameters whose names differ only in the channel word.
    struct Channels {
        int index[3] = {-1, -1, -1};
        int count = 0;
        std::string token;
    };
    std::vector<std::pair<std::string, Channels>> groups;
    std::vector<int> memberOf(decls.size(), -1);
    for (size_t i = 0; i < decls.size(); ++i) {
        std::string stem, token;
        const int c = TakesByte(decls[i]) ? ChannelOf(decls[i].name, &stem, &token) : -1;
        if (c < 0) continue;
        auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == stem; });
        if (it == groups.end()) {
            groups.push_back({stem, Channels{}});
            it = groups.end() - 1;
            it->second.token = token;
        }
        if (it->second.index[c] < 0) ++it->second.count;
        it->second.index[c] = static_cast<int>(i);
    }
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].second.count != 3) continue;
        for (int idx : groups[g].second.index) memberOf[idx] = static_cast<int>(g);
    }

    std::set<std::string> taken;
    for (const auto& d : decls) taken.insert(d.name);
    std::vector<bool> emitted(groups.size(), false);
    for (size_t i = 0; i < decls.size(); ++i) {
        const int g = memberOf[i];
        if (g < 0) {
            e.params.push_back(Single(decls[i]));
            continue;
        }
        if (emitted[g]) continue;
        emitted[g] = true;
        const Channels& ch = groups[g].second;
        F0rParam f;
        std::string name = groups[g].first;
        name.replace(name.find('\x01'), 1, ColorWord(ch.token));
        while (taken.count(name)) name += "_rgb";
        taken.insert(name);
        f.name = name;
        f.f0rType = F0R_PARAM_COLOR;
        f.mapping = Mapping::Color;
        f.integer = true;
        f.lo = 0;
        f.hi = 255;
        std::string names, defaults;
        for (int c = 0; c < 3; ++c) {
            const orvex::ParamDecl& d = decls[ch.index[c]];
            const double def = orvex::EffectSurface::StoredValue(d);
            f.targets.push_back({d.name, d.type});
            f.initial[c] = def / 255.0;
            names += (c ? ", " : "") + d.name;
            defaults += (c ? ", " : "") + Num(def);
        }
        f.explanation = name + ": " + names + " as one colour, each channel 0..1 onto a byte 0..255 (default " +
                        defaults + ")";
        f.docMapping = "colour: r, g, b 0..1 onto bytes 0..255";
        f.docDefault = Num(f.initial[0]) + "/" + Num(f.initial[1]) + "/" + Num(f.initial[2]) + " (" + defaults + ")";
        e.params.push_back(f);
    }

    F0rParam rate;
    rate.name = "frame_rate";
    while (taken.count(rate.name)) rate.name += "_";
    rate.f0rType = F0R_PARAM_DOUBLE;
    rate.mapping = Mapping::FrameRate;
    rate.lo = 0;
    rate.hi = 1e6;
    rate.initial[0] = orvex_frei0r::kDefaultFrameRate;
    rate.explanation = "Frames per second of the clip, to turn the host's time into the frame position: the value "
                       "as given, above 0 (default " + Num(orvex_frei0r::kDefaultFrameRate) + ")";
    rate.docMapping = "frames per second, as given";
    rate.docDefault = Num(orvex_frei0r::kDefaultFrameRate);
    e.params.push_back(rate);
    return e;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

const char* MappingName(Mapping m) {
    switch (m) {
    case Mapping::Bool: return "Mapping::Bool";
    case Mapping::Linear: return "Mapping::Linear";
    case Mapping::AsGiven: return "Mapping::AsGiven";
    case Mapping::Color: return "Mapping::Color";
    case Mapping::Text: return "Mapping::Text";
    case Mapping::FrameRate: return "Mapping::FrameRate";
    }
    return "";
}

const char* F0rTypeName(int t) {
    switch (t) {
    case F0R_PARAM_BOOL: return "F0R_PARAM_BOOL";
    case F0R_PARAM_DOUBLE: return "F0R_PARAM_DOUBLE";
    case F0R_PARAM_COLOR: return "F0R_PARAM_COLOR";
    case F0R_PARAM_POSITION: return "F0R_PARAM_POSITION";
    case F0R_PARAM_STRING: return "F0R_PARAM_STRING";
    }
    return "";
}

std::string Header(const std::vector<F0rEffect>& effects) {
    std::ostringstream o;
    o << "// Generated by frei0r_table_gen from the effects' parameter declarations; do not edit.\n"
         "#pragma once\nextern \"C\" {\n#include <frei0r.h>\n}\n\n#include \"frei0r_table.h\"\n\nnamespace orvex_frei0r {\n\n";
    for (size_t i = 0; i < effects.size(); ++i) {
        const F0rEffect& e = effects[i];
        o << "inline constexpr Param kParams" << i << "[] = {  // " << e.name << "\n";
        for (const F0rParam& p : e.params) {
            o << "    {" << Quote(p.name) << ", " << F0rTypeName(p.f0rType) << ", " << MappingName(p.mapping) << ", "
              << (p.integer ? "true" : "false") << ", " << Exact(p.lo) << ", " << Exact(p.hi) << ", {";
            for (size_t t = 0; t < 3; ++t) {
                if (t < p.targets.size()) o << "{" << Quote(p.targets[t].name) << ", " << p.targets[t].type << "}";
                else o << "{nullptr, 0}";
                o << (t < 2 ? ", " : "");
            }
            o << "}, {" << Exact(p.initial[0]) << ", " << Exact(p.initial[1]) << ", " << Exact(p.initial[2]) << "}, "
              << Quote(p.initialText) << ",\n     " << Quote(p.explanation) << "},\n";
        }
        o << "};\n";
    }
    o << "\ninline constexpr Effect kEffects[] = {\n";
    for (size_t i = 0; i < effects.size(); ++i) {
        const F0rEffect& e = effects[i];
        o << "    {" << Quote(e.name) << ", " << Quote("orvex_" + e.shortName) << ", "
          << Quote("Orvex effect " + e.name + ", rendered on the CPU") << ", kParams" << i << ", "
          << e.params.size() << "},\n";
    }
    o << "};\n\n}  // namespace orvex_frei0r\n";
    return o.str();
}

const char* DocType(int t) {
    switch (t) {
    case F0R_PARAM_BOOL: return "bool";
    case F0R_PARAM_DOUBLE: return "double";
    case F0R_PARAM_COLOR: return "color";
    case F0R_PARAM_STRING: return "string";
    }
    return "?";
}

std::string MappingTables(const std::vector<F0rEffect>& effects) {
    std::ostringstream o;
    for (const F0rEffect& e : effects) {
        o << "### orvex_" << e.shortName << "\n\n`" << e.name << "`\n\n"
          << "| # | frei0r parameter | type | effect parameter | mapping | frei0r default (effect value) |\n"
          << "|---|---|---|---|---|---|\n";
        for (size_t i = 0; i < e.params.size(); ++i) {
            const F0rParam& p = e.params[i];
            std::string targets;
            for (const Binding& b : p.targets)
                targets += (targets.empty() ? "" : ", ") + b.name + " (" + TypeName(b.type) + ")";
            if (targets.empty()) targets = "none";
            o << "| " << i << " | " << p.name << " | " << DocType(p.f0rType) << " | " << targets << " | "
              << p.docMapping << " | " << p.docDefault << " |\n";
        }
        o << "\n";
    }
    return o.str();
}

bool WriteIfChanged(const std::string& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (old == text) return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

// Copies `module` to dir/orvex_<name>.so for every creatable effect, leaving copies that are
// already identical, and removes orvex_*.so files that belong to no creatable effect.
int CopyModules(const std::string& module, const std::string& dir, const std::set<std::string>& creatable) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::ifstream in(module, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::fprintf(stderr, "frei0r_table_gen: cannot read %s\n", module.c_str());
        return 1;
    }
    for (const std::string& name : creatable) {
        const std::string target = dir + "/orvex_" + name + ".so";
        if (!WriteIfChanged(target, bytes)) {
            std::fprintf(stderr, "frei0r_table_gen: cannot write %s\n", target.c_str());
            return 1;
        }
        fs::permissions(target, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
    }
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("orvex_", 0) != 0 || entry.path().extension() != ".so") continue;
        const std::string name = file.substr(6, file.size() - 9);
        if (!creatable.count(name)) fs::remove(entry.path(), ec);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool copyModules = argc == 4 && std::string(argv[1]) == "--copy-modules";
    if (argc != 4) {
        std::fprintf(stderr, "usage: frei0r_table_gen HEADER DOC_TEMPLATE DOC\n"
                             "       frei0r_table_gen --copy-modules MODULE DIR\n");
        return 1;
    }

    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    std::vector<F0rEffect> effects;
    std::set<std::string> creatable;
    for (size_t i = 0; i < count; ++i) {
        if (!rows[i].create) continue;
        effects.push_back(Describe(rows[i]));
        creatable.insert(effects.back().shortName);
    }
    if (copyModules) return CopyModules(argv[2], argv[3], creatable);

    std::ifstream templ(argv[2], std::ios::binary);
    if (!templ) {
        std::fprintf(stderr, "frei0r_table_gen: cannot read %s\n", argv[2]);
        return 1;
    }
    std::string doc((std::istreambuf_iterator<char>(templ)), std::istreambuf_iterator<char>());
    const std::string marker = "@MAPPING_TABLE@";
    const size_t at = doc.find(marker);
    if (at == std::string::npos) {
        std::fprintf(stderr, "frei0r_table_gen: %s has no %s line\n", argv[2], marker.c_str());
        return 1;
    }
    doc.replace(at, marker.size(), MappingTables(effects));
    while (doc.size() >= 2 && doc.compare(doc.size() - 2, 2, "\n\n") == 0) doc.pop_back();

    if (!WriteIfChanged(argv[1], Header(effects)) || !WriteIfChanged(argv[3], doc)) {
        std::fprintf(stderr, "frei0r_table_gen: cannot write %s or %s\n", argv[1], argv[3]);
        return 1;
    }
    return 0;
}
