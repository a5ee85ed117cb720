#pragma once
// Generator effects: a synthetic pattern drawn at frame size and laid over the frame. Bytes are
// B, G, R, A; alpha is copied. trunc = toward zero, rint = nearest with ties to even, sat = clamp
// to 0..255, M[x][y] = x*y/255 rounded, T_j the blend tables, Y the integer luma, fisr the fast
// inverse square root (a distance is 1 / fisr(d^2)).
//
// Pattern colour through a coverage mask (grid, checkerboard, circle), with x the frame byte, y the
// pattern byte, m the mask byte, k0 = trunc(alpha 0.01 255), a = M[m][k0]:
//   0 no blend  M[y][a]                     1 normal  M[x][255 - a] + M[y][a]
//   2 alpha     M[x][a]                     3..14     b = T_(mode-3)[x][y], u = M[b][m] + M[x][255 - m],
//   15..18 HLS  P = the frame's 8-bit HLS with hue / saturation / both / lightness taken from the
//               pattern colour, u = M[P][m] + M[x][255 - m]; the table and HLS modes write
//               M[u][k0] + M[x][255 - k0]. With a gray colour, 15..17 desaturate instead:
//               g = M[x][255 - k0] + M[Y][k0], written M[g][m] + M[x][255 - m].
//   The circle's normal mode mixes in two steps like the table modes, with b = y.
// Grid: lines of thickness T centred on the anchor row / column, every cell height / width; a row
//   is on a line when some i in [0, n) has i cell <= |y - py| + floor(T/2) < i cell + T.
// Checkerboard: covered when i + j + [x <= px] + [y > py] is odd, i = |y - py| / cell_h,
//   j = |x - px| / cell_w.
// Feather: normalised box blurs (2 floor(f/2) + 1) wide, then high, reflect-101 border.
// Circle: S(u) = (3 - 2u) u^2 on [0, 1]; disc coverage (1 - S(a/2 + 1)) f, ring coverage
//   (1 - S((r - Ro2)/2 + 1)) S((r - max(0, Ri1))/2) Fo Fi; the mask byte is sat(rint(255 c)).
// Ramp: linear (between the perpendiculars through the two points) or radial, scattered by draws
//   of the image library's multiply-with-carry generator and a 2 x 2 box, mixed M[r][k] + M[x][255 - k].
// Four-colour gradient: per point L_i = sat(rint(c_i + (128 - c_i) t_i)), w_i = sat(rint(255 - 255 t_i)),
//   t_i = d_i / max(R_i, 1); gradient = sat(rint(sum w_i L_i / max(sum w_i, 1))).
// Lens flare: each component with factor f > 0 and colour k: c = trunc(c + (255 - c) f k_c).
// Vignette: t = dist k + pi/2, q = 1.273239 t - 0.4052847 t |t|, f = q^2 up to t = pi, 0 beyond;
//   c' = sat(rint(map_c[c] s + c (1 - s))), out = sat(rint(c' f)).
#include <array>
#include <cstdint>
#include <vector>

#include "effects/colour/ColorEffects.h"
#include "effects/EffectSurface.h"

namespace orvex {

// --- the mask compositing shared by grid, checkerboard and circle --------------------------------

struct PatternBlend {
    uint8_t color[3];  // B, G, R
    int k0;            // opacity byte
    int mode;          // 0..18
    bool twoStepNormal;  // the circle's normal mode
};

// out = the frame with the pattern colour laid through the mask (8-bit, frame size), in 8 bands
// above 10000 pixels. `in` and `out` may be one picture.
void BlendPatternColor(const cv::Mat& in, cv::Mat& out, const cv::Mat& mask, const PatternBlend& blend,
                       BandScratchSet& scratch);

// The 8-bit HLS of one BGR colour as the image library converts it.
void ColorToHLS(const uint8_t bgr[3], uint8_t hls[3]);

// The frame a per-pixel body reads: the output itself when rendering in place (each pixel is read
// before it is written), a copy when the two pictures overlap in any other way.
cv::Mat PixelInput(const cv::Mat& in, const cv::Mat& out);

// Truncated product of a frame size and a position fraction, held to +-1e9 (NaN gives 0), so that
// any parameter gives an integer position whose differences with pixel coordinates stay in range.
int ScaledPosition(int size, float fraction);

// --- grid ----------------------------------------------------------------------------------------

// Where the lines lie for one frame: everything the mask needs, shared by both bodies.
struct GridLayout {
    int px = 0, py = 0;          // anchor
    int64_t cellW = 1, cellH = 1;
    int thickness = 0;
    int64_t linesH = 0, linesV = 0;  // line counts
    bool reverse = false;
    int featherW = 1, featherH = 1;  // box sizes (1 = none)

    bool RowOnLine(int y) const;
    bool ColumnOnLine(int x) const;
};

class VideoEffectGrid : public EffectSurface {
public:
    VideoEffectGrid();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    // The layout for a w x h frame; mode 0 writes the cell sizes back into the parameters.
    GridLayout Layout(int w, int h);

private:
    PatternBlend Blend() const;

    float positionX_, positionY_, cornerX_, cornerY_;
    int32_t mode_, cubeWidth_, cubeHeight_, thickness_, featherWidth_, featherHeight_;
    bool reverse_;
    uint8_t red_, green_, blue_;
    int32_t alpha_, blendMode_;
    cv::Mat mask_, featherScratch_;
    BandScratchSet scratch_;
};

// --- checkerboard ---------------------------------------------------------------------------------

struct CheckerLayout {
    int px = 0, py = 0;
    int64_t cellW = 1, cellH = 1;
    int featherW = 1, featherH = 1;

    // Parity of the row's and the column's terms; a pixel is covered when they differ.
    int RowParity(int y) const;
    int ColumnParity(int x) const;
};

class VideoEffectCheckerboard : public EffectSurface {
public:
    VideoEffectCheckerboard();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    CheckerLayout Layout(int w, int h);

private:
    PatternBlend Blend() const;

    float positionX_, positionY_, cornerX_, cornerY_;
    int32_t mode_, cubeWidth_, cubeHeight_, featherWidth_, featherHeight_;
    uint8_t red_, green_, blue_;
    int32_t alpha_, blendMode_;
    cv::Mat mask_, featherScratch_;
    std::vector<uint8_t> rowParity_, columnParity_;
    BandScratchSet scratch_;
};

// --- circle ---------------------------------------------------------------------------------------

struct CircleShape {
    float cx = 0, cy = 0;  // centre, whole pixels
    int edgeMode = 0;
    float radius = 0, thickness = 0, featherOuter = 0, featherInner = 0;
    bool reverse = false;

    // Coverage in 0..1 at distance r from the centre.
    float Coverage(float r) const;
    uint8_t MaskByte(int x, int y) const;
};

class VideoEffectCircle : public EffectSurface {
public:
    VideoEffectCircle();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    CircleShape Shape(int w, int h) const;

private:
    PatternBlend Blend() const;

    float centerX_, centerY_, radius_;
    int32_t edgeMode_;
    float thickness_, featherOuter_, featherInner_;
    bool reverse_;
    uint8_t red_, green_, blue_;
    int32_t alpha_, blendMode_;
    cv::Mat mask_;
    BandScratchSet scratch_;
};

// --- ramp -----------------------------------------------------------------------------------------

// The image library's random generator: multiply-with-carry, state = low32 * 4164903690 + high32,
// each draw the low 32 bits of the new state.
class MwcRandom {
public:
    static constexpr uint64_t kMultiplier = 4164903690u;
    explicit MwcRandom(uint64_t state = 0xffffffffu) : state_(state) {}
    uint32_t Next() {
        state_ = (state_ & 0xffffffffu) * kMultiplier + (state_ >> 32);
        return static_cast<uint32_t>(state_);
    }
    uint64_t state() const { return state_; }

private:
    uint64_t state_;
};

struct RampLayout {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float length = 1;
    int mode = 0;
    uint8_t begin[3] = {0, 0, 0}, end[3] = {0, 0, 0};  // B, G, R

    // The ramp's B, G, R bytes at (x, y).
    void At(int x, int y, uint8_t bgr[3]) const;
};

class VideoEffectRamp : public EffectSurface {
public:
    VideoEffectRamp();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    RampLayout Layout(int w, int h) const;
    // The scatter offset of every pixel in row order (empty when Scatter / 2 is 0). The draws
    // restart from the generator's initial state each frame, so they depend only on the frame size
    // and the scatter and are kept until either changes.
    const std::vector<int8_t>& ScatterOffsets(int w, int h);

private:
    uint8_t beginRed_, beginGreen_, beginBlue_, endRed_, endGreen_, endBlue_;
    float beginX_, beginY_, endX_, endY_;
    int32_t mode_, scatter_, alpha_;
    cv::Mat ramp_, scattered_;
    std::vector<int8_t> offsets_;
    int offsetsW_ = -1, offsetsH_ = -1, offsetsHalf_ = -1;
};

// --- four-colour gradient ---------------------------------------------------------------------------

struct GradientLayout {
    int px[4], py[4];
    float reach[4];            // influence radius R_i
    uint8_t color[4][3];       // B, G, R

    void At(int x, int y, const int32_t* products, uint8_t bgr[3]) const;
    // (x - px_i)^2 for the columns 0..width-1, point after point (4 * width floats): the half of
    // every squared distance that all rows share.
    void ColumnSquares(int width, float* squares) const;
    // Row y as At gives it, B, G, R into `out` at 4-byte steps with alpha from `in`.
    void DrawRow(int y, int width, const float* squares, const int32_t* products, const uint8_t* in,
                 uint8_t* out) const;
};

class VideoEffect4ColorGradient : public EffectSurface {
public:
    VideoEffect4ColorGradient();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    GradientLayout Layout(int w, int h) const;
    // The layer blend mode of gradient modes 1..13 (-1 for the others).
    static int LayerMode(int blendMode);

private:
    uint8_t colors_[4][3];  // per point R, G, B as the parameters name them
    float positions_[4][2];
    int32_t alpha_, blendMode_;
    std::vector<int32_t> products_;  // products_[i * 256 + j] = i * j
    std::vector<float> squares_;     // the layout's column squares
    cv::Mat gradient_, frameAlpha_;
    BandScratchSet scratch_;
};

// --- lens flare ---------------------------------------------------------------------------------------

// One light component: a disc or ring at (x, y) of size `size`, a falloff type and its colour.
struct FlareComponent {
    float x, y, size;
    int type;        // 0 squared disc, 1 linear disc, 2 halo ring, 3..6 reflection types 1..4
    float k[3];      // R, G, B in 0..1
};

constexpr int kFlareComponents = 5 + 19;
// The farthest distance at which a component can add light, with room for the error of the fast
// distance: both bodies pass over the pixels beyond it.
float FlareReach(const FlareComponent& c);

class VideoEffectLensFlare : public EffectSurface {
public:
    VideoEffectLensFlare();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    std::array<FlareComponent, kFlareComponents> Components(int w, int h) const;

private:
    float centerX_, centerY_;
};

// --- vignette -----------------------------------------------------------------------------------------

constexpr int kVignetteMaps = 30;
// Map m's stored bytes: 256 entries of (R, G, B), each byte with its bit order reversed.
const uint8_t* VignetteStoredMap(int m);
// The reversal that loads a stored byte (its own inverse).
uint8_t ReverseBits(uint8_t v);

class VideoEffectVignette : public EffectSurface {
public:
    VideoEffectVignette();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    // The loaded tables (R, G, B) of the current colour mode.
    const std::array<std::array<uint8_t, 256>, 3>& Map();

private:
    float radius_, colorStrength_;
    int32_t colorMode_;
    int loadedMode_ = -1;
    std::array<std::array<uint8_t, 256>, 3> map_{};
    std::vector<float> rowFactors_;
};

}  // namespace orvex
