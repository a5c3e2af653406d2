// The command line: a generated broadcast in a WAV file through
// "zebdecode fax" into the received-file store of a working directory.
// Skips when the program is not built.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "common/ReceivedFile.h"
#include "fax/Bmp.h"
#include "fax/FaxConfig.h"
#include "support/ChildProcess.h"
#include "support/FaxGenerator.h"
#include "support/TestEnv.h"
#include "support/WavFile.h"

namespace zeb::fax {
namespace {

TEST(FaxCommandLine, decodes_a_recording_into_the_received_file_store) {
    const std::filesystem::path program = zeb::test::suiteProgram("zebdecode");
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    zeb::test::TempDir dir;
    zeb::test::FaxSignal signal;
    signal.leadSeconds = 0.4;
    zeb::test::writeFile(dir / "in.wav", zeb::test::wavBytes(zeb::test::faxAudio(
                                             zeb::test::testChart(1810, 110), signal)));
    // The settings of the working directory apply: here the slant entry of
    // exact 120 LPM lines (1810 / 5512.5 = 0.3283447).
    fax::CorrectionTable table;
    table.store(576, 120, 1810.0f / 5512.5f);
    std::string hex;
    for (std::uint8_t byte : table.serialize()) {
        static const char* digits = "0123456789ABCDEF";
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    zeb::test::writeFile(dir / "NIMBA.INI", "[FAXPARAM]\nCORRTABLE=" + hex + "\n");

    zeb::test::ChildProcess child(
        {program.string(), "fax", "--dir", dir.path().string(), (dir / "in.wav").string()});
    const std::string out = child.readOutput(std::chrono::seconds(60));
    EXPECT_EQ(child.waitExit(), 0) << out;
    EXPECT_NE(out.find("state: Phasing\nstate: PhasingEnd\nstate: Receiving\nstate: WaitStart\n"),
              std::string::npos)
        << out;
    ASSERT_NE(out.find("picture: "), std::string::npos) << out;
    int pictures = 0, thumbnails = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "FAX")) {
        const auto name = parseFileName(entry.path().filename().string());
        ASSERT_TRUE(name) << entry.path();
        auto bm = readBmpFile(entry.path());
        ASSERT_TRUE(bm) << entry.path();
        if (name->kind == ReceivedKind::Fax) {
            ++pictures;
            EXPECT_EQ(bm->width, 1810);
            EXPECT_NEAR(bm->height, 113, 5);
        } else {
            EXPECT_EQ(name->kind, ReceivedKind::FaxThumbnail);
            ++thumbnails;
        }
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(thumbnails, 1);

    zeb::test::ChildProcess bad(
        {program.string(), "fax", "--ioc", "300", (dir / "in.wav").string()});
    (void)bad.readOutput();
    EXPECT_EQ(bad.waitExit(), 2);
}

}  // namespace
}  // namespace zeb::fax
