// Every effect's OpenCL picture at three settings, against the pins in tests/pins/. The OpenCL
// body is called directly, so a kernel that fails shows as its result code, not as the CPU picture.
#include <string>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "gpu_compare.h"
#include "host/kit/kit.h"
#include "output_pins.h"

using namespace orvex;

TEST(OutputPins, EveryEffectRendersItsPinnedOpenCLPicture) {
    orvextest::OpenCLLab lab;
    if (!lab.ready()) GTEST_SKIP() << "no OpenCL device";
    orvextest::PinFile pins("effects_opencl.txt");
    for (const std::string& name : orvextest::CreatableNames()) {
        for (int setting = 0; setting < 3; ++setting) {
            IOrvexEffect* e = lab.lab()->CreateOrvexEffect(name.c_str());
            ASSERT_NE(e, nullptr) << name;
            bool cpu = false, opencl = false, opengl = false;
            e->GetSupportedPaths(&cpu, &opencl, &opengl);
            if (opencl) {
                orvextest::ApplyPinSetting(e, dynamic_cast<EffectSurface*>(e)->Params(), setting);
                orvextest::HostFrame in = orvextest::PinCard(67, 45, 0);
                orvextest::HostFrame out = orvextest::SolidFrame(67, 45, cv::Scalar(1, 2, 3, 4));
                zrp::TexturePtr tin = orvexhost::UploadFrame(*lab.factory(), *in.frame);
                zrp::TexturePtr tout = orvexhost::UploadFrame(*lab.factory(), *out.frame);
                ASSERT_TRUE(tin && tout);
                ResultCode code = e->ProcessOpenCL(setting * 7, tin, tout);
                if (code == Ok && !orvexhost::DownloadFrame(*tout, *out.frame)) code = Failed;
                pins.Check(name, setting, code, out.image);
            }
            lab.lab()->ReleaseOrvexEffect(e);
        }
    }
}
