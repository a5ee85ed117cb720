#pragma once
// A lab on the OpenGL device (EGL; llvmpipe runs it headless) with the shipped resource tree
// scanned, for the shader-effect tests.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/shader/OpenGLSurface.h"
#include "frames.h"
#include "host/kit/kit.h"
#include "gpu/GpuDispatch.h"
#include "orvex/orvex.h"

namespace orvextest {

class GLLab : public ::testing::Test {
protected:
    void SetUp() override {
        orvexhost::KitOptions options;
        options.opencl = false;
        factory_ = orvexhost::MakeFactory(options);
        if (!factory_) GTEST_SKIP() << "no OpenGL device (install libegl-mesa0 and libgl1-mesa-dri)";
        lab_ = CreateOrvex();
        const std::string root = std::string(ORVEX_SOURCE_DIR) + "/resources";
        lab_->SetResourcePath(root.c_str(), 0);
        lab_->SetResourcePath((root + "/video/effect").c_str(), 2);
        ASSERT_EQ(lab_->SetATLUFactory(factory_.get()), orvex::Ok);
    }
    void TearDown() override {
        for (orvex::IOrvexEffect* e : effects_) lab_->ReleaseOrvexEffect(e);
        if (lab_) ReleaseOrvex(lab_);
        orvex::g_atlu_factory = nullptr;
    }

    // A shader effect created by the lab, released with the fixture.
    template <class T = orvex::VideoEffectOpenGLSurface>
    T* Create(const char* name) {
        orvex::IOrvexEffect* e = lab_->CreateOrvexEffect(name);
        if (e) effects_.push_back(e);
        T* typed = dynamic_cast<T*>(e);
        EXPECT_NE(typed, nullptr) << name;
        return typed;
    }

    orvex::ResultCode Render(orvex::IOrvexEffect& e, HostFrame& in, HostFrame& out, int64_t position = 0) {
        std::vector<orvex::EffectFramePtr> inputs{in.frame};
        return e.Render(nullptr, position, nullptr, inputs, out.frame);
    }

    std::unique_ptr<zrp::ATLUFactory> factory_;
    orvex::IOrvex* lab_ = nullptr;
    std::vector<orvex::IOrvexEffect*> effects_;
};

}  // namespace orvextest
