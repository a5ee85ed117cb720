// Requests larger than the memory at hand: frames whose working copies cannot be allocated fail
// with a result code (never an abort), and description files of 100 MB are refused unread.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "catalogue/FilterManager.h"
#include "effects/EffectSurface.h"
#include "guarded_frame.h"
#include "effects/Manifest.h"
#include "log_capture.h"
#include "visual/VisualProcess.h"

using namespace orvex;

namespace {

constexpr uint32_t kSide = 16384;
constexpr size_t kFrameBytes = size_t(kSide) * kSide * 4;  // 1 GiB of BGRA

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

[[maybe_unused]] size_t AddressSpaceBytes() {
    size_t pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%zu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A 16384 x 16384 BGRA frame over address space that costs nothing until written.
struct HugeFrame {
    void* memory = MAP_FAILED;
    EffectFrame frame;
    HugeFrame() {
        memory = mmap(nullptr, kFrameBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        frame.planes = 1;
        frame.pixel_fmt = BGRA32;
        frame.width[0] = frame.height[0] = kSide;
        frame.pitch[0] = static_cast<int32_t>(kSide * 4);
        frame.data[0] = memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
    }
    ~HugeFrame() {
        if (memory != MAP_FAILED) munmap(memory, kFrameBytes);
    }
};

// Leaves this process no room for a further frame-sized block, then runs `call`. Used inside death
// tests, so the bound stays in the child. AddressSanitizer reserves address space of its own, so
// there the test bounds its allocator instead (through the environment the children start with).
int WithoutRoomForAFrame(const std::function<ResultCode()>& call) {
#ifndef ORVEX_TEST_ASAN
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = AddressSpaceBytes() + (512u << 20);
    setrlimit(RLIMIT_AS, &limit);
#endif
    return static_cast<int>(call());
}

bool ReturnedACode(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) <= UnsupportedFrame;
}

}  // namespace

TEST(ResourceLimits, FrameWorkThatCannotGetItsMemoryFailsWithACode) {
#ifdef ORVEX_TEST_ASAN
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    const std::string previous = asanOptions ? asanOptions : "";
    setenv("ASAN_OPTIONS", (previous + ":allocator_may_return_null=1:max_allocation_size_mb=512").c_str(), 1);
#endif
    // Each child runs this test afresh up to its statement, so no thread of an earlier test is lost
    // in the fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    HugeFrame big;
    ASSERT_NE(big.frame.data[0], nullptr);
    orvextest::GuardedFrame small(BGRA32, 1024, 1024);

    // In place, the blur needs a copy of the whole frame first.
    EXPECT_EXIT(_exit(WithoutRoomForAFrame([&] {
                    VisualProcess vp;
                    return vp.ResizeBlur(big.frame, big.frame, 64, 64, 0, 50);
                })),
                ::testing::ExitedWithCode(Failed), "");
    // The pre-blur of a strong reduction works on a frame-sized copy.
    EXPECT_EXIT(_exit(WithoutRoomForAFrame([&] {
                    VisualProcess vp;
                    return vp.ResizeWithPrefilter(big.frame, small.frame);
                })),
                ::testing::ExitedWithCode(Failed), "");
    // Effects keep frame-sized working images.
    EXPECT_EXIT(_exit(WithoutRoomForAFrame([&] {
                    std::unique_ptr<EffectSurface> blur(FindBuiltinEffect("video/effect/gaussian_blur")->create());
                    blur->SetParam("Blurriness", ParamInt, EffectParamValue::Int(30));
                    EffectFramePtr in(std::shared_ptr<void>(), &big.frame);
                    EffectFramePtr out(std::shared_ptr<void>(), &big.frame);
                    return blur->Render(nullptr, 0, nullptr, {in}, out);
                })),
                ReturnedACode, "");
#ifdef ORVEX_TEST_ASAN
    setenv("ASAN_OPTIONS", previous.c_str(), 1);
#endif
}

TEST(ResourceLimits, DescriptionFilesOf100MBAreRefusedUnread) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(ORVEX_BINARY_DIR) / "tmp-reliability" / "huge-descriptions";
    fs::remove_all(dir);
    struct Case {
        const char* file;
        const char* text;  // a valid description, followed by 100 MB of spaces (still valid JSON)
        std::function<int(CNLECGFilterManager&, const std::string& path)> load;
    } cases[] = {
        {"description.json", R"({"unique_name": "video/effect/huge"})",
         [](CNLECGFilterManager& c, const std::string& path) { return c.LoadDescriptionJsonFile(path); }},
        {"huge.conf", R"({"GUID": "HUGE-1"})",
         [](CNLECGFilterManager& c, const std::string& path) { return c.LoadConfFile(path); }},
        {"filter.xml", "<Filter><GUID>HUGE-2</GUID></Filter>",
         [](CNLECGFilterManager& c, const std::string& path) { return c.LoadFilterXmlFile(path); }},
    };
    CNLECGFilterManager* catalogue = CNLECGFilterManager::GetInstance();
    ASSERT_NE(catalogue, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path folder = dir / c.file;
        fs::create_directories(folder);
        const std::string path = (folder / c.file).string();
        {
            std::ofstream out(path, std::ios::binary);
            out << c.text;
            const std::string spaces(1 << 20, ' ');
            for (int i = 0; i < 100; ++i) out << spaces;
        }
        orvextest::LogCapture log;
        const long before = PeakRssKb();
        EXPECT_EQ(c.load(*catalogue, path), Failed);
        EXPECT_EQ(catalogue->ScanFolder(folder.string(), false), Failed);
        EffectDescription description;
        EXPECT_EQ(description.Load(folder.string(), ""), Failed);
        // Reading the file whole would have raised the peak by at least its size.
        EXPECT_LT(PeakRssKb() - before, 32 * 1024);
        EXPECT_GE(log.Count("file: " + path + " is larger than 16777216 bytes"), 1u) << log.Dump();
        fs::remove_all(folder);
    }
    EXPECT_TRUE(catalogue->GetDescriptionFolder("video/effect/huge").empty());
    fs::remove_all(dir);
}
