// The recorder as a decoder mode: it records only while the receiver's
// squelch is open, and says why a start failed.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <string>
#include <vector>

#include "RecorderChain.h"
#include "support/TestEnv.h"

namespace zeb::nimba {
namespace {

TEST(RecorderChain, RecordsOnlyWhileTheSquelchIsOpen) {
    for (const bool closed : {false, true}) {
        test::TempDir dir;
        RecorderChain::Hooks hooks;
        hooks.localTime = [] { return NameTime{2004, 6, 3, 14, 5}; };
        hooks.squelchClosed = [&] { return closed; };
        RecorderChain chain({}, dir.path(), hooks);
        ASSERT_TRUE(chain.start());
        EXPECT_EQ(chain.lastFile(), dir.path() / "SYNOP" / "AUDIO_2004-06-03_14-05.WAV");
        const std::vector<float> block(1024, 1000.0f);
        for (int i = 0; i < 20; ++i) chain.processBlock(block);
        EXPECT_EQ(chain.bytesWritten() > 0, !closed) << "squelch closed: " << closed;
        chain.stop();
        EXPECT_FALSE(chain.running());
    }
}

TEST(RecorderChain, AFailedStartIsExplained) {
    test::TempDir dir;
    test::writeFile(dir.path() / "SYNOP", "a file where the folder belongs");
    std::string reason;
    RecorderChain::Hooks hooks;
    hooks.failed = [&](const std::string& text) { reason = text; };
    RecorderChain chain({}, dir.path(), hooks);
    EXPECT_FALSE(chain.start());
    EXPECT_NE(reason.find("SYNOP"), std::string::npos) << reason;
}

// A full disk ends the recording instead of letting it run on as if it
// were written: the program hears of the first failed write once.
TEST(RecorderChain, TheFirstFailedWriteIsSaidOnce) {
    test::TempDir dir;
    int failures = 0;
    RecorderChain::Hooks hooks;
    hooks.writeFailed = [&] { ++failures; };
    RecorderChain chain({}, dir.path(), hooks);
    ASSERT_TRUE(chain.start());
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = old;
    full.rlim_cur = 4096;  // the disk is "full" after 4 KiB
    ::setrlimit(RLIMIT_FSIZE, &full);
    const std::vector<float> block(1024, 1000.0f);
    for (int i = 0; i < 100; ++i) chain.processBlock(block);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(failures, 1);
    chain.stop();
}

}  // namespace
}  // namespace zeb::nimba
