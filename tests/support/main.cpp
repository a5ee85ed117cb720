#include <cstdlib>

#include <gtest/gtest.h>

#include "host/log/log.h"

int main(int argc, char** argv) {
    // PoCL needs a writable kernel cache before the first OpenCL call.
    setenv("POCL_CACHE_DIR", ORVEX_TEST_POCL_CACHE, 0);
    // Keep test output readable: expected failures log at level 6.
    orvexhost::SetLogThreshold(7);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
