// The image library's exception guard: whatever a body throws becomes Failed, and a frame
// operation's guard logs it under the operation's tag.
#include <new>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "imagecpu/CpuSupport.h"
#include "support/log_capture.h"

namespace orvex {
namespace {

TEST(GuardImageLibrary, ExceptionsBecomeFailedWithTheOperationsLogLine) {
    orvextest::LogCapture log;
    // A real misuse of the image library: a 4-channel conversion asked of a 2-channel picture.
    const ResultCode misuse = GuardImageLibrary("orvex:Probe", [] {
        cv::Mat two(4, 4, CV_8UC2, cv::Scalar::all(0)), out;
        cv::cvtColor(two, out, cv::COLOR_BGRA2BGR);
        return Ok;
    });
    EXPECT_EQ(misuse, Failed);
    ASSERT_EQ(log.lines().size(), 1u) << log.Dump();
    EXPECT_EQ(log.lines()[0].location, "orvex:Probe");
    EXPECT_EQ(log.lines()[0].message.rfind("opencv crash,msg: ", 0), 0u) << log.Dump();

    log.Clear();
    EXPECT_EQ(GuardImageLibrary("orvex:Probe", []() -> ResultCode { throw std::bad_alloc(); }), Failed);
    EXPECT_TRUE(log.Has("failed,msg: std::bad_alloc", "orvex:Probe", 4)) << log.Dump();

    // The effects' guard turns the library's exceptions into Failed and lets others reach the
    // effect's Render, which logs them.
    log.Clear();
    EXPECT_EQ(GuardImageLibrary([]() -> ResultCode { throw cv::Exception(); }), Failed);
    EXPECT_THROW(GuardImageLibrary([]() -> ResultCode { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(GuardImageLibrary([] { return InvalidArgument; }), InvalidArgument);
    EXPECT_TRUE(log.lines().empty()) << log.Dump();
}

}  // namespace
}  // namespace orvex
