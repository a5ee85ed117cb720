#pragma once
// Runs an effect's CPU body and its OpenCL body on the same frame and compares them. The OpenCL
// body is called directly, so a kernel that fails cannot hide behind the CPU fallback of Render.
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "orvex/IOrvex.h"
#include "zrp/zrp.h"

namespace orvextest {

struct HostFrame;

struct CompareResult {
    bool cpuOk = false;
    bool openclOk = false;
    int maxDiff = 0;      // largest difference of one byte
    double rms = 0;       // over all bytes
    std::string first;    // the first pixel that differs by more than the tolerance, with both values
};

// A lab on the shipped resource tree with an OpenCL factory (PoCL here). Tests using it skip when
// no OpenCL device exists.
class OpenCLLab {
public:
    OpenCLLab();
    ~OpenCLLab();
    bool ready() const { return lab_ && factory_; }
    orvex::IOrvex* lab() { return lab_; }
    zrp::ATLUFactory* factory() { return factory_.get(); }

    // Creates `effect`, applies `configure`, renders a random w x h frame (seeded) on the CPU and
    // on OpenCL textures, and compares. Differences above `tolerance` are counted into `first`.
    CompareResult Compare(const std::string& effect, const std::function<void(orvex::IOrvexEffect*)>& configure,
                          int w, int h, uint32_t seed = 7, int tolerance = 1);
    // The same on a given input frame.
    CompareResult CompareOn(const std::string& effect, const std::function<void(orvex::IOrvexEffect*)>& configure,
                            const HostFrame& in, int tolerance = 1);

private:
    std::unique_ptr<zrp::ATLUFactory> factory_;
    orvex::IOrvex* lab_ = nullptr;
};

}  // namespace orvextest

// Asserts that a comparison ran both bodies and stayed within `tol` per byte.
#define EXPECT_CPU_OPENCL_AGREE(result, tol)                                                   \
    do {                                                                                       \
        const auto& r_ = (result);                                                             \
        EXPECT_TRUE(r_.cpuOk) << "CPU body failed";                                            \
        EXPECT_TRUE(r_.openclOk) << "OpenCL body failed";                                      \
        EXPECT_LE(r_.maxDiff, (tol)) << "rms " << r_.rms << ", first difference: " << r_.first; \
    } while (0)
