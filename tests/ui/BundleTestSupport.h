// Where the ui tests find bundles: the shipped ones in the suite directory,
// and the test bundle with deliberate faults built beside the tests.
#pragma once

#include "support/TestEnv.h"

#include <filesystem>
#include <string>

namespace zeb::test {

// The staged suite: ZEB_TEST_SUITE_DIR, else the one of this build (so the
// test program also runs by hand).
inline std::filesystem::path suiteDir() {
    const std::string dir = testSetting("ZEB_TEST_SUITE_DIR");
    return dir.empty() ? std::filesystem::path(ZEB_TEST_SUITE_DIR_BUILT)
                       : std::filesystem::path(dir);
}

// Holds ZTESTXX.DLL (pattern "ZTEST??.DLL").
inline std::filesystem::path testBundleDir() { return ZEB_TEST_BUNDLE_DIR; }

inline constexpr const char* kTestBundlePattern = "ZTEST??.DLL";

}  // namespace zeb::test
