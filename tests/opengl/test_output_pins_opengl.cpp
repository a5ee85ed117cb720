// The shader effects' pictures at three frame positions, against the pins in tests/pins/.
#include "gl_fixture.h"
#include "output_pins.h"

using namespace orvex;

class OutputPinsGL : public orvextest::GLLab {};

TEST_F(OutputPinsGL, EveryShaderEffectRendersItsPinnedPicture) {
    orvextest::PinFile pins("effects_opengl.txt");
    for (const char* name : {"video/effect/pixelate", "video/effect/whirlwind", "video/effect/chromatic_glow",
                             "video/effect/light_leak", "video/effect/audio_spectrum",
                             "video/effect/audio_visualization_mask_shape"}) {
        IOrvexEffect* e = Create<IOrvexEffect>(name);
        ASSERT_NE(e, nullptr) << name;
        for (int setting = 0; setting < 3; ++setting) {
            orvextest::HostFrame in = orvextest::PinCard(67, 45);
            orvextest::HostFrame out = orvextest::SolidFrame(67, 45, cv::Scalar(1, 2, 3, 4));
            const ResultCode code = Render(*e, in, out, setting * 15);
            pins.Check(name, setting, code, out.image);
        }
    }
}
