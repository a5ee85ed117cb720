// What each built-in effect allocates while a host renders frame after frame on the CPU: no
// frame-sized buffer may be allocated once the first frame has set the effect up, and the effect
// may keep at most four frame-sized buffers between frames. Allocations are counted by wrapping
// the C allocator of this test program (a quarter of a BGRA frame, one full-size byte plane,
// counts as frame-sized).
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <functional>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "effect_helpers.h"
#include "effects/EffectSurface.h"
#include "effects/Manifest.h"
#include "visual/VisualProcess.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVEX_COUNT_ALLOCATIONS 0
#else
#define ORVEX_COUNT_ALLOCATIONS 1
#endif

namespace {

using orvextest::CreatableNames;

std::atomic<size_t> g_threshold{~size_t{0}};
std::atomic<int> g_large{0};

inline void Note(size_t bytes) {
    if (bytes >= g_threshold.load(std::memory_order_relaxed)) g_large.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#if ORVEX_COUNT_ALLOCATIONS
// glibc's own entry points; every other allocation function of the process ends in these or in
// the allocator they share, so frees need no wrapping.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
    Note(n);
    return __libc_malloc(n);
}
void* calloc(size_t count, size_t n) {
    Note(count * n);
    return __libc_calloc(count, n);
}
void* realloc(void* p, size_t n) {
    Note(n);
    return __libc_realloc(p, n);
}
void* memalign(size_t alignment, size_t n) {
    Note(n);
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    Note(n);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    Note(n);
    void* p = __libc_memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

using namespace orvex;

constexpr int kW = 1920, kH = 1080;
constexpr size_t kFrameBytes = size_t{kW} * kH * 4;

size_t InUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// The counting itself: a frame-sized image counts once, a small one not at all.
TEST(FrameMemoryCounter, SeesFrameSizedAllocationsOnly) {
    if (!ORVEX_COUNT_ALLOCATIONS) GTEST_SKIP() << "the sanitizer owns the allocator";
    g_large = 0;
    g_threshold = kFrameBytes / 4;
    { const cv::Mat frame(kH, kW, CV_8UC4), row(1, kW, CV_8UC4); }
    { const std::vector<uint8_t> plane(kFrameBytes / 4); }
    g_threshold = ~size_t{0};
    EXPECT_EQ(g_large.load(), 2);
}

class FrameMemory : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameMemory, NoFrameSizedAllocationAfterTheFirstFrameAndAtMostFourKept) {
    if (!ORVEX_COUNT_ALLOCATIONS) GTEST_SKIP() << "the sanitizer owns the allocator";
    cv::Mat in(kH, kW, CV_8UC4), out(kH, kW, CV_8UC4, cv::Scalar::all(0));
    cv::RNG(7).fill(in, cv::RNG::UNIFORM, 0, 256);
    EffectFramePtr inFrame = orvextest::WrapFrame(in), outFrame = orvextest::WrapFrame(out);
    const std::vector<EffectFramePtr> inputs{inFrame};

    // A first instance renders once and goes: what it leaves is the process's own (tables built
    // once, the thread pool), not the effect's.
    std::unique_ptr<EffectSurface> effect(FindBuiltinEffect(GetParam().c_str())->create());
    ASSERT_TRUE(effect);
    ASSERT_EQ(effect->Render(nullptr, 0, nullptr, inputs, outFrame), Ok);
    effect.reset();

    const size_t before = InUse();
    effect.reset(FindBuiltinEffect(GetParam().c_str())->create());
    ASSERT_EQ(effect->Render(nullptr, 0, nullptr, inputs, outFrame), Ok);  // sets up its scratch

    // Two more frames, then the same in place (the output frame is the input too): the first of
    // those may set up a copy of the input, the next two may not allocate.
    const std::vector<EffectFramePtr> inPlace{outFrame};
    g_large = 0;
    g_threshold = kFrameBytes / 4;
    EXPECT_EQ(effect->Render(nullptr, 1, nullptr, inputs, outFrame), Ok);
    EXPECT_EQ(effect->Render(nullptr, 2, nullptr, inputs, outFrame), Ok);
    const int separate = g_large.exchange(0);
    g_threshold = ~size_t{0};
    EXPECT_EQ(effect->Render(nullptr, 3, nullptr, inPlace, outFrame), Ok);
    g_threshold = kFrameBytes / 4;
    EXPECT_EQ(effect->Render(nullptr, 4, nullptr, inPlace, outFrame), Ok);
    EXPECT_EQ(effect->Render(nullptr, 5, nullptr, inPlace, outFrame), Ok);
    const int inPlaceLarge = g_large.exchange(0);
    g_threshold = ~size_t{0};
    EXPECT_EQ(separate, 0) << "frame-sized allocations in two frames";
    EXPECT_EQ(inPlaceLarge, 0) << "frame-sized allocations in two frames rendered in place";

    const double kept = static_cast<double>(InUse() - std::min(InUse(), before)) / kFrameBytes;
    // An eighth of a frame on top for tables and strip scratch.
    EXPECT_LE(kept, 4.125) << "frame-sized buffers kept between frames";
    RecordProperty("kept_frames", std::to_string(kept));
}

// The frame operations a host's renderer calls every frame, on the CPU: after a first call none
// allocates a frame-sized buffer.
TEST(FrameMemoryOperations, NoFrameSizedAllocationAfterTheFirstCall) {
    if (!ORVEX_COUNT_ALLOCATIONS) GTEST_SKIP() << "the sanitizer owns the allocator";
    cv::Mat a(kH, kW, CV_8UC4), b(kH, kW, CV_8UC4), out(kH, kW, CV_8UC4, cv::Scalar::all(0));
    cv::Mat half(kH / 2, kW / 2, CV_8UC4, cv::Scalar::all(0));
    cv::RNG(9).fill(a, cv::RNG::UNIFORM, 0, 256);
    cv::RNG(10).fill(b, cv::RNG::UNIFORM, 0, 256);
    EffectFrame fa = *orvextest::WrapFrame(a), fb = *orvextest::WrapFrame(b), fo = *orvextest::WrapFrame(out);
    EffectFrame fh = *orvextest::WrapFrame(half);
    const fxPointd centre{0.5, 0.5};
    VisualProcess vp;
    const std::vector<std::pair<const char*, std::function<ResultCode()>>> operations = {
        {"BlendAndTransform", [&] {
             return vp.BlendAndTransform(fa, centre, fb, centre, false, fo, 0, 0, 1.0, 0, 1, 30, 0.8, 0.8, 0, 0);
         }},
        {"BlendAndTransform_BaseOnBackFrame", [&] {
             return vp.BlendAndTransform_BaseOnBackFrame(fa, centre, fb, centre, false, fo, 0, 0, 1.0, 0, 1, 30, 0.8,
                                                         0.8, 0, 0, 1, 0);
         }},
        {"Transform", [&] { return vp.Transform(fa, centre, fo, centre, 1, 30, 0.8, 0.8, 0, false, 0, 0); }},
        {"Resize", [&] { return vp.Resize(fa, fh, 0, 1); }},
    };
    for (const auto& [name, call] : operations) {
        ASSERT_EQ(call(), Ok) << name;
        g_large = 0;
        g_threshold = kFrameBytes / 4;
        const ResultCode second = call(), third = call();
        g_threshold = ~size_t{0};
        EXPECT_EQ(second, Ok) << name;
        EXPECT_EQ(third, Ok) << name;
        EXPECT_EQ(g_large.exchange(0), 0) << name << ": frame-sized allocations in two calls";
    }
}

INSTANTIATE_TEST_SUITE_P(Builtin, FrameMemory, ::testing::ValuesIn(CreatableNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param.substr(info.param.rfind('/') + 1);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
