#include "testcard.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace orvexcli {

cv::Mat MakeTestCard(int width, int height) {
    cv::Mat card(height, width, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    const int barsH = height * 2 / 5;
    // 75% colour bars in the usual order: white, yellow, cyan, green, magenta, red, blue.
    const cv::Scalar bars[] = {{191, 191, 191, 255}, {0, 191, 191, 255}, {191, 191, 0, 255}, {0, 191, 0, 255},
                               {191, 0, 191, 255},   {0, 0, 191, 255},   {191, 0, 0, 255}};
    for (int i = 0; i < 7; ++i) {
        cv::rectangle(card, cv::Rect(i * width / 7, 0, (i + 1) * width / 7 - i * width / 7, barsH), bars[i],
                      cv::FILLED);
    }
    // Grey ramp and a hue sweep.
    const int rampY = barsH, rampH = height / 10;
    for (int y = rampY; y < rampY + rampH && y < height; ++y) {
        cv::Vec4b* row = card.ptr<cv::Vec4b>(y);
        for (int x = 0; x < width; ++x) {
            uint8_t v = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            row[x] = cv::Vec4b(v, v, v, 255);
        }
    }
    const int hueY = rampY + rampH, hueH = height / 10;
    for (int y = hueY; y < hueY + hueH && y < height; ++y) {
        cv::Vec4b* row = card.ptr<cv::Vec4b>(y);
        for (int x = 0; x < width; ++x) {
            double h = 6.0 * x / width;
            auto ch = [&](double offset) {
                double d = std::fabs(std::fmod(h + offset, 6.0) - 3.0);
                return static_cast<uint8_t>(std::clamp((d - 1.0) * 255.0, 0.0, 255.0));
            };
            row[x] = cv::Vec4b(ch(2), ch(4), ch(0), 255);
        }
    }
    // Skin-like tones, light to dark.
    const int skinY = hueY + hueH, skinH = height / 5;
    const cv::Scalar skins[] = {{189, 205, 241, 255}, {150, 180, 224, 255}, {120, 150, 198, 255},
                                {90, 115, 160, 255},  {60, 80, 120, 255},   {40, 55, 80, 255}};
    for (int i = 0; i < 6; ++i) {
        cv::rectangle(card, cv::Rect(i * width / 6, skinY, (i + 1) * width / 6 - i * width / 6, skinH), skins[i],
                      cv::FILLED);
    }
    // Fine detail: a zone plate on the left, one-pixel checks on the right.
    const int detailY = skinY + skinH;
    for (int y = detailY; y < height; ++y) {
        cv::Vec4b* row = card.ptr<cv::Vec4b>(y);
        for (int x = 0; x < width; ++x) {
            uint8_t v;
            if (x < width / 2) {
                double cx = x - width / 4.0, cy = y - (detailY + height) / 2.0;
                v = static_cast<uint8_t>(127.5 + 127.5 * std::cos((cx * cx + cy * cy) * 0.02));
            } else {
                v = ((x + y) & 1) ? 230 : 25;
            }
            // The bottom strip is half transparent.
            uint8_t a = y >= height - height / 20 ? 128 : 255;
            row[x] = cv::Vec4b(v, v, v, a);
        }
    }
    return card;
}

}  // namespace orvexcli
