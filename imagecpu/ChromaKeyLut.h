#pragma once
// A chroma-key transform as a 3D LUT, computed in HSV around a key colour.
//
// Per grid point (H in degrees, S and V in 0..1), kH the key hue, tol = tolerance / 512,
// soft = softness / 255 + 0.01:
//   fV = clamp((V - vLow) / (vHigh - vLow)),  fS = clamp((S - sLow) / (sHigh - sLow))
//   d  = hue distance with wrap-around at 0/360, as a fraction of the circle
//   fH = clamp((tol - |d| + soft) / soft)
//   m  = fV fH fS for a saturated key (S >= 0.1); for a grey key only grey points within 0.05 of
//        its value are keyed: m = 1 - |V - keyV|
// The strength is then shifted by the adjustments (c = a4 - a0, g = a5 - a1) and each LUT
// component is (1 - v) * 255: 255 keeps a colour, 0 keys it out.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

namespace orvex {

class CubeLut;

struct ChromaKeyParams {
    uint8_t blue = 77, green = 88, red = 99;
    int32_t hueTolerance = 40;
    int32_t softness = 30;
    int32_t saturationLow = 0, saturationHigh = 255;
    int32_t valueLow = 0, valueHigh = 255;
    double adjust[6] = {50, 0, 50, 100, 50, 0};
};

class NLEChromaKeyLut3dGenerator {
public:
    explicit NLEChromaKeyLut3dGenerator(int gridSize = 64);

    void SetParams(const ChromaKeyParams& params);
    // Writes the key transform into the LUT's float grid (65 points per axis).
    void Generate(CubeLut& lut);

    float keyHue() const { return keyH_; }
    float keySaturation() const { return keyS_; }
    float keyValue() const { return keyV_; }
    // Key strength of an HSV colour under the current parameters.
    float Strength(float h, float s, float v) const;
    // Signed distance of hue h from the key hue kH, as a fraction of the circle.
    static float HueDistance(float kH, float h);

private:
    void BuildGrid();

    ChromaKeyParams params_;
    float keyH_ = 0, keyS_ = 0, keyV_ = 0;
    bool dirty_ = true;
    int n_;
    bool gridBuilt_ = false;
    cv::Mat hsv_;                  // (n + 1)^3 points, one row, CV_32FC3
    std::vector<float> strength_;  // per grid point
};

// Finds, for a picked key colour, the adjustment at which the colour itself is keyed out.
class ChromaKeyCalibration {
public:
    // (50 + t / 3, t) for the first t = 0, 2, .. 16 that keys the colour out, else (50 + 16 / 3, 16).
    std::pair<double, double> Calibrate(uint8_t red, uint8_t green, uint8_t blue);

private:
    std::shared_ptr<CubeLut> lut_;
    std::shared_ptr<NLEChromaKeyLut3dGenerator> generator_;
    double first_ = 0, second_ = 0;
};

}  // namespace orvex
