// Writes the HDR-to-SDR cube file of the CPU path from the tone mapper of the GPU kernel
// "HDR2SDR", so that both paths compute the same picture (up to the cube's interpolation).
//   make_hdr_cube pq|hlg OUT.cube [points per axis, default 33]
// The cube maps BT.2020 HDR codes to BT.709 SDR codes, red fastest, values 0..1.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "colorspace.h"
#include "visual/HdrCurves.h"

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "pq") != 0 && std::strcmp(argv[1], "hlg") != 0)) {
        std::fprintf(stderr, "usage: make_hdr_cube pq|hlg OUT.cube [points]\n");
        return 2;
    }
    const int pq = std::strcmp(argv[1], "pq") == 0 ? 1 : 0;
    const int n = argc > 3 ? std::atoi(argv[3]) : 33;
    if (n < 2 || n > 65) {
        std::fprintf(stderr, "points per axis must be 2..65\n");
        return 2;
    }
    using namespace ColorSpace;
    const pl_matrix3x3 m = pl_get_color_mapping_matrix(pl_raw_primaries_get(PL_COLOR_PRIM_BT_2020),
                                                       pl_raw_primaries_get(PL_COLOR_PRIM_BT_709),
                                                       PL_INTENT_RELATIVE_COLORIMETRIC);
    float matrix[9];
    for (int i = 0; i < 9; ++i) matrix[i] = m.m[i / 3][i % 3];

    std::FILE* f = std::fopen(argv[2], "wb");
    if (!f) {
        std::perror(argv[2]);
        return 1;
    }
    std::fprintf(f, "# %s BT.2020 to SDR BT.709, made by make_hdr_cube from the HDR2SDR tone mapper\n",
                 pq ? "PQ" : "HLG");
    std::fprintf(f, "TITLE \"HDR %s to SDR\"\nLUT_3D_SIZE %d\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 1 1\n", pq ? "PQ" : "HLG",
                 n);
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                float R = static_cast<float>(r) / (n - 1), G = static_cast<float>(g) / (n - 1),
                      B = static_cast<float>(b) / (n - 1);
                orvex::hdr::Tonemapping(pq, matrix, &R, &G, &B);
                std::fprintf(f, "%.6f %.6f %.6f\n", R, G, B);
            }
    return std::fclose(f) == 0 ? 0 : 1;
}
