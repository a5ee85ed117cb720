// Assembles each effect program of kernels/effects/ into the file the resource tree ships,
// resources/video/effect/<name>/<name>.cl: every `#include "x.cl"` line is replaced by that file
// (from kernels/common/, then visual/cl/), once per program, so that each shipped file stands
// alone (the lab compiles it without an include path).
//   orvex_assemble_kernels SOURCE_DIR           writes the shipped files
//   orvex_assemble_kernels SOURCE_DIR --check   exits 1 when a shipped file differs from its sources
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool ReadText(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return true;
}

class Assembler {
public:
    explicit Assembler(std::vector<fs::path> includeDirs) : includeDirs_(std::move(includeDirs)) {}

    // The text of `path` with its includes expanded; false with `error` set when one is missing.
    bool Expand(const fs::path& path, std::string* out, std::string* error) {
        std::string text;
        if (!ReadText(path, &text)) {
            *error = "cannot read " + path.string();
            return false;
        }
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            const std::string prefix = "#include \"";
            if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size() + 1 && line.back() == '"') {
                const std::string name = line.substr(prefix.size(), line.size() - prefix.size() - 1);
                if (!included_.insert(name).second) continue;
                fs::path found;
                for (const fs::path& dir : includeDirs_)
                    if (fs::exists(dir / name)) {
                        found = dir / name;
                        break;
                    }
                if (found.empty()) {
                    *error = path.string() + ": no " + name + " in the include folders";
                    return false;
                }
                if (!Expand(found, out, error)) return false;
                // A blank line after each shared source keeps the assembled file readable.
                if (out->size() >= 2 && out->compare(out->size() - 2, 2, "\n\n") != 0) *out += '\n';
                continue;
            }
            *out += line;
            *out += '\n';
        }
        return true;
    }

private:
    std::vector<fs::path> includeDirs_;
    std::set<std::string> included_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc == 3 && std::string(argv[2]) != "--check") || argc > 3) {
        std::cerr << "usage: orvex_assemble_kernels SOURCE_DIR [--check]\n";
        return 2;
    }
    const fs::path root = argv[1];
    const bool check = argc == 3;
    const fs::path sources = root / "kernels" / "effects", shipped = root / "resources" / "video" / "effect";
    std::set<std::string> names;
    int stale = 0;
    for (const auto& entry : fs::directory_iterator(sources)) {
        if (entry.path().extension() != ".cl") continue;
        const std::string name = entry.path().stem().string();
        names.insert(name);
        std::string program = "// Assembled from kernels/effects/" + name + ".cl and kernels/common/: edit those.\n";
        std::string error;
        Assembler assembler({root / "kernels" / "common", root / "visual" / "cl"});
        if (!assembler.Expand(entry.path(), &program, &error)) {
            std::cerr << error << "\n";
            return 1;
        }
        for (size_t at; (at = program.find("\n\n\n")) != std::string::npos;) program.erase(at, 1);
        const fs::path target = shipped / name / (name + ".cl");
        std::string current;
        const bool same = ReadText(target, &current) && current == program;
        if (check) {
            if (!same) {
                std::cerr << target.string() << " differs from what kernels/effects/" << name
                          << ".cl assembles to (build the `kernels` target)\n";
                ++stale;
            }
        } else if (!same) {
            std::ofstream out(target, std::ios::binary);
            out << program;
            if (!out) {
                std::cerr << "cannot write " << target.string() << "\n";
                return 1;
            }
        }
    }
    // A shipped program with no source would be edited by hand and silently drift.
    for (const auto& dir : fs::directory_iterator(shipped))
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().extension() == ".cl" && !names.count(entry.path().stem().string())) {
                std::cerr << entry.path().string() << " has no source in kernels/effects/\n";
                ++stale;
            }
    return stale ? 1 : 0;
}
