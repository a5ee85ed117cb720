// Every built-in effect's CPU picture at three settings, against the pins in tests/pins/.
#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "orvex/orvex.h"
#include "output_pins.h"

using namespace orvex;

TEST(OutputPins, EveryEffectRendersItsPinnedCpuPicture) {
    IOrvex* lab = CreateOrvex();
    const std::string resources = std::string(ORVEX_SOURCE_DIR) + "/resources";
    lab->SetResourcePath(resources.c_str(), 0);
    lab->SetResourcePath((resources + "/video/effect").c_str(), 2);
    orvextest::PinFile pins("effects_cpu.txt");
    for (const std::string& name : orvextest::CreatableNames()) {
        for (int setting = 0; setting < 3; ++setting) {
            IOrvexEffect* e = lab->CreateOrvexEffect(name.c_str());
            ASSERT_NE(e, nullptr) << name;
            auto* surface = dynamic_cast<EffectSurface*>(e);
            ASSERT_NE(surface, nullptr) << name;
            orvextest::ApplyPinSetting(e, surface->Params(), setting);
            orvextest::HostFrame in = orvextest::PinCard(67, 45);
            orvextest::HostFrame out = orvextest::SolidFrame(67, 45, cv::Scalar(1, 2, 3, 4));
            std::vector<EffectFramePtr> inputs{in.frame};
            const ResultCode code = e->Render(nullptr, setting * 7, nullptr, inputs, out.frame);
            pins.Check(name, setting, code, out.image);
            lab->ReleaseOrvexEffect(e);
        }
    }
    ReleaseOrvex(lab);
}
