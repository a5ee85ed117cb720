// Several threads at once through the shared parts of the library: the blend tables' one-time
// construction, effects created and rendered through one lab, program loading, the catalogue read
// while a folder is scanned, and visual-processing objects side by side. Run under
// ThreadSanitizer by scripts/sanitize.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "catalogue/FilterManager.h"
#include "effects/EffectSurface.h"
#include "fakes.h"
#include "frames.h"
#include "imagecpu/BlendTables.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"
#include "lab/Orvex.h"
#include "orvex/orvex.h"
#include "visual/VisualProcess.h"

using namespace orvex;

namespace {

using orvextest::CreatableNames;

constexpr int kThreads = 6;

// Runs body(thread index) on kThreads threads released together.
template <class F>
void OnThreads(F body) {
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            body(t);
        });
    for (auto& th : threads) th.join();
}

std::filesystem::path TempDir(const std::string& name) {
    auto dir = std::filesystem::path(ORVEX_BINARY_DIR) / "tmp-concurrency" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A factory that may be called from any thread and counts each program registration.
class CountingFactory final : public zrp::ATLUFactory {
public:
    std::map<std::string, int> Registrations() {
        std::lock_guard<std::mutex> lock(mutex_);
        return registrations_;
    }
    zrp::ResultCode IsAlgorithmRegistered(const char* platform, const char* key) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return registrations_.count(std::string(platform) + "/" + key) ? 0 : 1;
    }
    zrp::ResultCode RegisterProgram(const char* platform, const char* key, const char*, size_t,
                                    const zrp::PixelFormat*, const zrp::PixelFormat*,
                                    const std::vector<std::string>&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++registrations_[std::string(platform) + "/" + key];
        return 0;
    }
    zrp::ResultCode RegisterAlgorithm(const char*, const char*, const char*, size_t,
                                      const std::vector<zrp::AlgorithmUnit*>&) override {
        return 1;
    }
    zrp::DeviceContext* GetDeviceContext(const char* platform) override {
        return std::string(platform) == "opencl" ? &cl_ : nullptr;
    }
    zrp::ResultCode CreateTexture(zrp::TexturePtr*, const zrp::ImageFormat*, const char*, int32_t, uint8_t* const*,
                                  const int32_t*, int32_t, int32_t) override {
        return 1;
    }
    zrp::ResultCode ATLUAcquire(zrp::AlgorithmUnitPtr* unit, const zrp::ImageFormat*, const zrp::ImageFormat*,
                                const char*, const char*) override {
        if (unit) unit->reset();
        return 1;
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> registrations_;
    orvextest::FakeDeviceContext cl_{zrp::kDeviceOpenCL};
};

}  // namespace

TEST(Concurrency, BlendTablesAreBuiltOnceUnderContention) {
    std::vector<const BlendTables*> seen(kThreads);
    std::atomic<int> wrong{0};
    OnThreads([&](int t) {
        seen[t] = &GetBlendTables();
        if (Mul(255, 255) != 255 || Mul(128, 2) != 1 || Mul(0, 200) != 0) ++wrong;
    });
    EXPECT_EQ(wrong.load(), 0);
    for (const BlendTables* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST(Concurrency, EffectsCreatedAndRenderedOnSeveralThreadsThroughOneLab) {
    IOrvex* lab = CreateOrvex();
    ASSERT_NE(lab, nullptr);
    const std::vector<std::string> names = CreatableNames();
    ASSERT_FALSE(names.empty());
    // Below and above the pixel count at which bodies split into parallel bands.
    const int sizes[][2] = {{64, 48}, {128, 100}};
    auto render = [&](const std::string& name, int size) {
        IOrvexEffect* effect = lab->CreateOrvexEffect(name.c_str());
        auto in = orvextest::RandomFrame(sizes[size][0], sizes[size][1], 7);
        auto out = orvextest::SolidFrame(sizes[size][0], sizes[size][1], cv::Scalar::all(0));
        const ResultCode r = effect ? effect->Render(nullptr, 0, nullptr, {in.frame}, out.frame) : Failed;
        lab->ReleaseOrvexEffect(effect);
        return r == Ok ? out.image.clone() : cv::Mat();
    };
    std::map<std::pair<std::string, int>, cv::Mat> expected;
    for (const std::string& name : names)
        for (int size = 0; size < 2; ++size) expected[{name, size}] = render(name, size);

    std::atomic<int> differing{0};
    OnThreads([&](int t) {
        for (size_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[(k + t * 5) % names.size()];
            const int size = static_cast<int>((k + t) % 2);
            const cv::Mat got = render(name, size);
            const cv::Mat& want = expected[{name, size}];
            if (got.empty() != want.empty() || (!got.empty() && cv::norm(got, want, cv::NORM_INF) != 0)) ++differing;
        }
    });
    EXPECT_EQ(differing.load(), 0);
    ReleaseOrvex(lab);
}

TEST(Concurrency, ProgramLoadingFromSeveralThreadsRegistersEachKeyOnce) {
    const char* shortNames[] = {"offset", "sharpen", "crop", "gamma_correction", "tint", "mirror", "twirl", "emboss"};
    const auto root = TempDir("programs");
    for (const char* n : shortNames) {
        std::filesystem::create_directories(root / n);
        std::ofstream(root / n / "description.json") << R"({"unique_name": "video/effect/)" << n << R"("})";
        std::ofstream(root / n / (std::string(n) + ".cl")) << "__kernel void video_effect_" << n << "() {}";
    }
    CountingFactory factory;
    IOrvex* lab = CreateOrvex();
    ASSERT_EQ(lab->SetResourcePath(root.c_str(), 2), Ok);
    ASSERT_EQ(lab->SetATLUFactory(&factory), Ok);
    auto& impl = *static_cast<Orvex*>(lab);
    OnThreads([&](int t) {
        for (size_t k = 0; k < std::size(shortNames); ++k) {
            const std::string n = shortNames[(k + t) % std::size(shortNames)];
            lab->ReleaseOrvexEffect(lab->CreateOrvexEffect(("video/effect/" + n).c_str()));
            impl.LoadEffectProgram((n + "/" + n + ".cl").c_str(), ("video_effect_" + n).c_str());
        }
    });
    const auto registrations = factory.Registrations();
    for (const char* n : shortNames)
        EXPECT_EQ(registrations.count(std::string("opencl/video_effect_") + n) ? registrations.at(
                      std::string("opencl/video_effect_") + n) : 0, 1) << n;
    ReleaseOrvex(lab);
    g_atlu_factory = nullptr;
}

TEST(Concurrency, CatalogueIsReadWhileAnotherThreadScansAFolder) {
    constexpr int kEntries = 120;
    const auto root = TempDir("scan");
    for (int i = 0; i < kEntries; ++i) {
        const auto folder = root / ("entry" + std::to_string(i));
        std::filesystem::create_directories(folder);
        if (i % 2)
            std::ofstream(folder / "description.json") << R"({"unique_name": "scan/name)" << i << R"("})";
        else
            std::ofstream(folder / "e.conf") << R"({"GUID": "SCAN-)" << i << R"(", "OPENCL": "e.cl", "DYNAMIC": "2"})";
    }
    IOrvex* lab = CreateOrvex();
    CNLECGFilterManager* catalogue = CNLECGFilterManager::GetInstance();
    std::atomic<bool> scanning{true};
    std::atomic<int> inconsistent{0};
    OnThreads([&](int t) {
        if (t == 0) {
            EXPECT_EQ(lab->SetResourcePath(root.c_str(), 2), Ok);
            scanning = false;
            return;
        }
        for (int k = 0; scanning || k < kEntries; ++k) {
            const int i = (k * 7 + t) % kEntries;
            const std::string guid = "SCAN-" + std::to_string(i);
            bool isCpu = false, isOpenCL = false, isOpenGL = false;
            const ResultCode r = lab->GetEffectRenderKinds(guid.c_str(), &isCpu, &isOpenCL, &isOpenGL);
            // A record is either absent or complete: never seen half built.
            if (r == Ok && (!isOpenCL || lab->GetEffectDynamic(guid.c_str()) != 2)) ++inconsistent;
            const std::string folder = catalogue->GetDescriptionFolder("scan/name" + std::to_string(i));
            if (!folder.empty() && folder.find("entry" + std::to_string(i)) == std::string::npos) ++inconsistent;
            catalogue->Guids();
            catalogue->DescriptionNames();
        }
    });
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_EQ(catalogue->Guids().size(), static_cast<size_t>(kEntries / 2));
    EXPECT_EQ(catalogue->DescriptionNames().size(), static_cast<size_t>(kEntries / 2));
    ReleaseOrvex(lab);
}

TEST(Concurrency, VisualProcessObjectsWorkSideBySide) {
    auto in = orvextest::RandomFrame(120, 80, 3, 12);
    auto larger = orvextest::RandomFrame(150, 90, 4, 12);
    auto run = [&](VisualProcess& vp, int op, orvextest::HostFrame& out) {
        switch (op) {
        case 0: return vp.Resize(*larger.frame, *out.frame, 1, 2);
        case 1: return vp.Rotate(*in.frame, *out.frame, 17.0, 1);
        case 2: return vp.HorizontalFlip(*in.frame, *out.frame);
        default: return vp.CropFrame(*in.frame, fxRectf{0.1f, 0.2f, 0.5f, 0.5f}, *out.frame, 0);
        }
    };
    std::vector<cv::Mat> expected(4);
    for (int op = 0; op < 4; ++op) {
        VisualProcess vp;
        auto out = orvextest::SolidFrame(120, 80, cv::Scalar::all(0));
        ASSERT_EQ(run(vp, op, out), Ok) << op;
        expected[op] = out.image.clone();
    }
    std::atomic<int> differing{0};
    OnThreads([&](int t) {
        VisualProcess vp;  // one object per thread, as the host uses them
        for (int k = 0; k < 8; ++k) {
            const int op = (k + t) % 4;
            auto out = orvextest::SolidFrame(120, 80, cv::Scalar::all(0));
            if (run(vp, op, out) != Ok || cv::norm(out.image, expected[op], cv::NORM_INF) != 0) ++differing;
        }
    });
    EXPECT_EQ(differing.load(), 0);
}
