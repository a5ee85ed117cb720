// ".CUBE" and ".3DL" files: arbitrary bytes read through both readers (the first byte picks the
// extension), then, when a table loaded, applied to a small picture in every mode.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "imagecpu/CubeLut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    if (size < 1) return 0;
    // The readers take a path: the bytes go to a file of this process's own.
    const std::string path =
        "/tmp/orvex-fuzz-lut-" + std::to_string(getpid()) + ((data[0] & 1) ? ".3dl" : ".cube");
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    } else {
        return 0;
    }
    // One table for the whole run: its 65-point grid is large, and every load starts it afresh.
    static orvex::CubeLut lut;
    const bool loaded = lut.LoadFile(path);
    std::remove(path.c_str());
    if (!loaded) return 0;
    // Wide enough for a 16-pixel vector block and a tail.
    const int w = 19, h = 5;
    std::vector<uint8_t> src(w * h * 4), dst(w * h * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37);
    for (int mode = 0; mode < 3; ++mode) {
        dst = src;
        lut.Apply(dst.data(), w * 4, src.data(), w, h, w * 4, 4, mode, 255);
    }
    std::vector<uint8_t> alpha(w * h);
    lut.SetAlphaOutput(true);
    lut.Apply(alpha.data(), w, src.data(), w, h, w * 4, 4, 2, 255);
    lut.SetAlphaOutput(false);
    return 0;
}
