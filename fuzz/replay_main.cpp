// Runs a harness over files instead of under libFuzzer: every build replays the seed corpus and
// the inputs that once crashed, so a fixed fault stays fixed without clang. Arguments are files or
// folders (searched recursively); a folder that does not exist is skipped.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // A heap copy of exactly the file's size, so an over-read of the input is caught as well.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    return LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    size_t runs = 0;
    LLVMFuzzerTestOneInput(nullptr, 0);
    ++runs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const fs::path root(argv[i]);
        if (fs::is_regular_file(root, ec)) {
            RunFile(root);
            ++runs;
            continue;
        }
        if (!fs::is_directory(root, ec)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
            if (!entry.is_regular_file()) continue;
            RunFile(entry.path());
            ++runs;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
