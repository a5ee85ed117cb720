#pragma once
// The host's colour-management library as this library calls it. The records and enumerations
// carry libplacebo's names and numbering so that host/colorspace can hand them to libplacebo
// field by field; the records themselves are the host's compact 24-byte forms, not libplacebo's.
//
// Where libplacebo's own header is included beside this one, never write `pl_color_space(`:
// libplacebo defines a function-like macro of that name. Build records by aggregate
// initialisation instead.
#include <cstddef>
#include <cstdint>

namespace ColorSpace {

// Colour system of a colour representation (libplacebo 4.x numbering).
enum pl_color_system : int32_t {
    PL_COLOR_SYSTEM_UNKNOWN = 0,
    PL_COLOR_SYSTEM_BT_601 = 1,
    PL_COLOR_SYSTEM_BT_709 = 2,
    PL_COLOR_SYSTEM_SMPTE_240M = 3,
    PL_COLOR_SYSTEM_BT_2020_NC = 4,
    PL_COLOR_SYSTEM_BT_2020_C = 5,
    PL_COLOR_SYSTEM_BT_2100_PQ = 6,
    PL_COLOR_SYSTEM_BT_2100_HLG = 7,
    PL_COLOR_SYSTEM_DOLBYVISION = 8,
    PL_COLOR_SYSTEM_YCGCO = 9,
    PL_COLOR_SYSTEM_RGB = 10,
    PL_COLOR_SYSTEM_XYZ = 11,
    PL_COLOR_SYSTEM_COUNT = 12,
};

enum pl_color_levels : int32_t {
    PL_COLOR_LEVELS_UNKNOWN = 0,
    PL_COLOR_LEVELS_LIMITED = 1,  // 16..235 for 8-bit luma
    PL_COLOR_LEVELS_FULL = 2,     // 0..255
    PL_COLOR_LEVELS_COUNT = 3,
};

enum pl_alpha_mode : int32_t {
    PL_ALPHA_UNKNOWN = 0,
    PL_ALPHA_INDEPENDENT = 1,
    PL_ALPHA_PREMULTIPLIED = 2,
    PL_ALPHA_MODE_COUNT = 3,
};

enum pl_color_primaries : int32_t {
    PL_COLOR_PRIM_UNKNOWN = 0,
    PL_COLOR_PRIM_BT_601_525 = 1,
    PL_COLOR_PRIM_BT_601_625 = 2,
    PL_COLOR_PRIM_BT_709 = 3,
    PL_COLOR_PRIM_BT_470M = 4,
    PL_COLOR_PRIM_EBU_3213 = 5,
    PL_COLOR_PRIM_BT_2020 = 6,
    PL_COLOR_PRIM_APPLE = 7,
    PL_COLOR_PRIM_ADOBE = 8,
    PL_COLOR_PRIM_PRO_PHOTO = 9,
    PL_COLOR_PRIM_CIE_1931 = 10,
    PL_COLOR_PRIM_DCI_P3 = 11,
    PL_COLOR_PRIM_DISPLAY_P3 = 12,
    PL_COLOR_PRIM_V_GAMUT = 13,
    PL_COLOR_PRIM_S_GAMUT = 14,
    PL_COLOR_PRIM_FILM_C = 15,
    PL_COLOR_PRIM_COUNT = 16,
};

enum pl_color_transfer : int32_t {
    PL_COLOR_TRC_UNKNOWN = 0,
    PL_COLOR_TRC_BT_1886 = 1,
    PL_COLOR_TRC_SRGB = 2,
    PL_COLOR_TRC_LINEAR = 3,
    PL_COLOR_TRC_GAMMA18 = 4,
    PL_COLOR_TRC_GAMMA20 = 5,
    PL_COLOR_TRC_GAMMA22 = 6,
    PL_COLOR_TRC_GAMMA24 = 7,
    PL_COLOR_TRC_GAMMA26 = 8,
    PL_COLOR_TRC_GAMMA28 = 9,
    PL_COLOR_TRC_PRO_PHOTO = 10,
    PL_COLOR_TRC_PQ = 11,
    PL_COLOR_TRC_HLG = 12,
    PL_COLOR_TRC_V_LOG = 13,
    PL_COLOR_TRC_S_LOG1 = 14,
    PL_COLOR_TRC_S_LOG2 = 15,
    PL_COLOR_TRC_COUNT = 16,
};

enum pl_color_light : int32_t {
    PL_COLOR_LIGHT_UNKNOWN = 0,
    PL_COLOR_LIGHT_DISPLAY = 1,
    PL_COLOR_LIGHT_SCENE_HLG = 2,
    PL_COLOR_LIGHT_SCENE_709_1886 = 3,
    PL_COLOR_LIGHT_SCENE_1_2 = 4,
    PL_COLOR_LIGHT_COUNT = 5,
};

// Values match the ICC rendering intents.
enum pl_rendering_intent : int32_t {
    PL_INTENT_AUTO = -1,
    PL_INTENT_PERCEPTUAL = 0,
    PL_INTENT_RELATIVE_COLORIMETRIC = 1,
    PL_INTENT_SATURATION = 2,
    PL_INTENT_ABSOLUTE_COLORIMETRIC = 3,
};

// Sample storage: 10-bit samples in 16-bit words are sample_depth 16, color_depth 10.
struct pl_bit_encoding {
    int32_t sample_depth;
    int32_t color_depth;
    int32_t bit_shift;
};

// How encoded samples map to normalised RGB: six 32-bit fields.
struct pl_color_repr {
    pl_color_system sys;
    pl_color_levels levels;
    pl_alpha_mode alpha;
    pl_bit_encoding bits;
};
static_assert(sizeof(pl_color_repr) == 24, "pl_color_repr is the host's 24-byte record");

// The physical meaning of normalised RGB: three 32-bit enumerations and three floats.
struct pl_color_space {
    pl_color_primaries primaries;
    pl_color_transfer transfer;
    pl_color_light light;
    float sig_peak;
    float sig_avg;
    float sig_scale;
};
static_assert(sizeof(pl_color_space) == 24, "pl_color_space is the host's 24-byte record");

// Row-major: m[row][column].
struct pl_matrix3x3 {
    float m[3][3];
};

// out = mat * in + c.
struct pl_transform3x3 {
    pl_matrix3x3 mat;
    float c[3];
};

struct pl_cie_xy {
    float x, y;
};

struct pl_raw_primaries {
    pl_cie_xy red, green, blue, white;
};

// Artistic adjustments applied while decoding; null stands for the neutral adjustment.
struct pl_color_adjustment {
    float brightness;   // 0 neutral
    float contrast;     // 1 neutral
    float saturation;   // 1 neutral
    float hue;          // radians, 0 neutral
    float gamma;        // 1 neutral
    float temperature;  // 0 = 6500 K
};

// An ICC profile held in memory; the signature identifies its contents.
struct pl_icc_profile {
    const void* data;
    size_t len;
    uint64_t signature;
};

extern const pl_matrix3x3 pl_matrix3x3_identity;
// The working space of the host's editor: BT.709 primaries with the BT.1886 transfer.
extern const pl_color_space pl_color_space_nle;

// The YCbCr -> RGB transform of repr (matrix and offset, inputs normalised to 0..1); updates
// repr to describe the decoded RGB.
pl_transform3x3 pl_color_repr_decode(pl_color_repr* repr, const pl_color_adjustment* params);
// RGB -> RGB matrix from the primaries of src to those of dst.
pl_matrix3x3 pl_get_color_mapping_matrix(const pl_raw_primaries* src, const pl_raw_primaries* dst,
                                         pl_rendering_intent intent);
// The chromaticities of a primaries code; never null (unknown codes give BT.709's).
const pl_raw_primaries* pl_raw_primaries_get(pl_color_primaries prim);
// Highest encodable signal relative to reference white: 1 for SDR curves.
float pl_color_transfer_nominal_peak(pl_color_transfer trc);
bool pl_color_space_equal(const pl_color_space* c1, const pl_color_space* c2);
// Transforms rows x pixelsPerRow 8-bit B, G, R, A pixels in place through profile (alpha copied);
// true on success.
bool pl_icc_profile_transform(const pl_icc_profile* profile, uint8_t* pixels, int rows, int pixelsPerRow);

// CPU colour conversions with caller-supplied matrices. Every function returns 0 on success and
// non-zero on bad arguments; pitches are in bytes.
class ColorConvertTool {
public:
    // Planar 8-bit YUV 4:2:0 (Y, Cb, Cr planes, chroma at half size) to 8-bit B, G, R, A with
    // alpha 255: RGB = mapping * (decode.mat * (Y, Cb, Cr) / 255 + decode.c). A destination of
    // another size samples the nearest source pixel.
    static int Process_YUV2RGB(const uint8_t* srcY, int srcPitchY, const uint8_t* srcU, int srcPitchU,
                               const uint8_t* srcV, int srcPitchV, int srcWidth, int srcHeight, uint8_t* dst,
                               int dstPitch, int dstWidth, int dstHeight, const pl_transform3x3& decode,
                               const pl_matrix3x3& mapping);
    // The same from NV12 (Y plane and interleaved Cb, Cr pairs).
    static int Process_NV122RGB(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV,
                                int srcWidth, int srcHeight, uint8_t* dst, int dstPitch, int dstWidth,
                                int dstHeight, const pl_transform3x3& decode, const pl_matrix3x3& mapping);
    // B, G, R, A pixels of inDepth bits per channel (8 or 16) to outDepth bits, RGB multiplied by
    // matrix, alpha kept.
    static int Process_ChangeColorSpace(const uint8_t* src, int srcPitch, uint8_t* dst, int dstPitch, int width,
                                        int height, int inDepth, int outDepth, const pl_matrix3x3& matrix);
};

}  // namespace ColorSpace
