#include "gpu_compare.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "frames.h"
#include "host/kit/kit.h"
#include "gpu/GpuDispatch.h"
#include "orvex/orvex.h"

namespace orvextest {

OpenCLLab::OpenCLLab() {
    orvexhost::KitOptions options;
    options.opengl = false;
    options.openclOnCpu = true;  // PoCL where there is no GPU
    factory_ = orvexhost::MakeFactory(options);
    if (!factory_) return;
    lab_ = CreateOrvex();
    const std::string resources = std::string(ORVEX_SOURCE_DIR) + "/resources";
    lab_->SetResourcePath(resources.c_str(), 0);
    lab_->SetResourcePath((resources + "/video/effect").c_str(), 2);
    lab_->SetATLUFactory(factory_.get());
}

OpenCLLab::~OpenCLLab() {
    if (lab_) ReleaseOrvex(lab_);
    orvex::g_atlu_factory = nullptr;
}

CompareResult OpenCLLab::Compare(const std::string& effect,
                                 const std::function<void(orvex::IOrvexEffect*)>& configure, int w, int h,
                                 uint32_t seed, int tolerance) {
    return CompareOn(effect, configure, RandomFrame(w, h, seed), tolerance);
}

CompareResult OpenCLLab::CompareOn(const std::string& effect,
                                   const std::function<void(orvex::IOrvexEffect*)>& configure, const HostFrame& in,
                                   int tolerance) {
    const int w = in.image.cols, h = in.image.rows;
    CompareResult r;
    orvex::IOrvexEffect* e = lab_->CreateOrvexEffect(effect.c_str());
    if (!e) {
        r.first = "effect " + effect + " cannot be created";
        return r;
    }
    if (configure) configure(e);
    HostFrame cpu = SolidFrame(w, h, cv::Scalar::all(0));
    HostFrame gpu = SolidFrame(w, h, cv::Scalar::all(0));
    r.cpuOk = e->ProcessCPU(0, in.frame.get(), cpu.frame.get()) == orvex::Ok;

    zrp::TexturePtr tin = orvexhost::UploadFrame(*factory_, *in.frame);
    zrp::TexturePtr tout = orvexhost::CreateTextureLike(*factory_, *gpu.frame);
    if (tin && tout) {
        r.openclOk = e->ProcessOpenCL(0, tin, tout) == orvex::Ok && orvexhost::DownloadFrame(*tout, *gpu.frame);
    }
    lab_->ReleaseOrvexEffect(e);
    if (!r.cpuOk || !r.openclOk) return r;

    double sum = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            cv::Vec4b a = cpu.image.at<cv::Vec4b>(y, x), b = gpu.image.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 4; ++c) {
                int d = std::abs(a[c] - b[c]);
                sum += d * d;
                if (d > r.maxDiff) r.maxDiff = d;
                if (d > tolerance && r.first.empty()) {
                    std::ostringstream ss;
                    ss << "(" << x << "," << y << ") cpu " << a << " opencl " << b << " input "
                       << in.image.at<cv::Vec4b>(y, x);
                    r.first = ss.str();
                }
            }
        }
    }
    r.rms = std::sqrt(sum / (4.0 * w * h));
    return r;
}

}  // namespace orvextest
