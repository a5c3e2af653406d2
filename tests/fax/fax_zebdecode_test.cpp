// The command line: a generated broadcast in a WAV file through
// "zebdecode fax" into the received-file store of a working directory.
// Skips when the program is not built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ProfileFile.h"
#include "common/ReceivedFile.h"
#include "fax/Bmp.h"
#include "fax/FaxConfig.h"
#include "fax/PictureFile.h"
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

    // The state changes are status, on stderr with -v.
    zeb::test::ChildProcess child({"/bin/sh", "-c",
                                   "exec \"$0\" fax -v --png --dir \"$1\" \"$1/in.wav\" 2>&1",
                                   program.string(), dir.path().string()});
    const std::string out = child.readOutput(std::chrono::seconds(60));
    EXPECT_EQ(child.waitExit(), 0) << out;
    EXPECT_NE(out.find("state: Phasing\nzebdecode: state: PhasingEnd\nzebdecode: state: "
                       "Receiving\nzebdecode: state: WaitStart\n"),
              std::string::npos)
        << out;
    ASSERT_NE(out.find("picture: "), std::string::npos) << out;
    int pictures = 0, thumbnails = 0, pngs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "FAX")) {
        if (entry.path().extension() == ".PNG") {
            ++pngs;
            continue;
        }
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
    EXPECT_EQ(pngs, 1);
    EXPECT_NE(out.find("png: "), std::string::npos) << out;

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--ioc", "300"}, {"--png=yes"}, {"--no-auto-slant=1"}}) {
        std::vector<std::string> argv{program.string(), "fax"};
        argv.insert(argv.end(), wrong.begin(), wrong.end());
        argv.push_back((dir / "in.wav").string());
        zeb::test::ChildProcess bad(argv);
        (void)bad.readOutput();
        EXPECT_EQ(bad.waitExit(), 2) << wrong[0];
    }

    // A store that cannot take the picture (a file where the FAX folder
    // belongs) gives exit status 3.
    zeb::test::TempDir full;
    zeb::test::writeFile(full / "FAX", "");
    zeb::test::ChildProcess unsaved(
        {program.string(), "fax", "--dir", full.path().string(), (dir / "in.wav").string()});
    (void)unsaved.readOutput(std::chrono::seconds(60));
    EXPECT_EQ(unsaved.waitExit(), 3);
}

// The start after a killed reception: the work file it left is finished
// before the recording is decoded, and a start tone that would keep the
// decoder waiting is named on standard error and replaced by the default.
TEST(FaxCommandLine, finishes_a_left_work_file_and_warns_of_an_unusable_tone) {
    const std::filesystem::path program = zeb::test::suiteProgram("zebdecode");
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    zeb::test::TempDir dir;
    {
        PictureBuffer rows;
        ASSERT_TRUE(rows.create(1810, 120));
        PictureFile left(dir.path());
        left.setClock([] { return NameTime{2026, 12, 7, 10, 0, 0}; });
        ASSERT_TRUE(left.begin(1810));
        for (int first = 0; first < 120; first += kBandRows)
            ASSERT_TRUE(left.appendBand(rows, first, kBandRows));
    }  // abandoned without end(): its lock goes as with a killed program
    FaxConfig config;
    config.startTone = 0;
    ProfileFile profile(dir / "NIMBA.INI");
    profile.setSection("FAXPARAM");
    ASSERT_TRUE(profile.writeBytes("CONFIG", serialize(config)));
    zeb::test::writeFile(dir / "in.wav", zeb::test::wavBytes(zeb::test::faxAudio(
                                             zeb::test::testChart(1810, 110), {})));
    zeb::test::ChildProcess child({"/bin/sh", "-c",
                                   "exec \"$0\" fax --dir \"$1\" \"$1/in.wav\" 2>&1",
                                   program.string(), dir.path().string()});
    const std::string out = child.readOutput(std::chrono::seconds(60));
    EXPECT_EQ(child.waitExit(), 0) << out;
    EXPECT_NE(out.find("recovered 1 picture: FAX/FAX_2026-12-07_10-00.BMP\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("FAXPARAM CONFIG start tone 0 refused"), std::string::npos) << out;
    EXPECT_NE(out.find("picture: "), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir / "FAX/FAX_2026-12-07_10-00.BMM"));
}

// The PNG copy as an independent reader sees it: 8-bit grey, the size of
// the picture, every pixel the grey of the BMP's pixel.
TEST(FaxCommandLine, png_copy_reads_back_in_image_magick) {
    const std::filesystem::path program = zeb::test::suiteProgram("zebdecode");
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "zebdecode not built";
    if (std::system("convert -version 2>/dev/null | grep -q ImageMagick") != 0)
        GTEST_SKIP() << "ImageMagick (convert) is not installed";
    zeb::test::TempDir dir;
    zeb::test::FaxSignal signal;
    signal.snrDb = 15.0;
    signal.ppm = 80.0;
    zeb::test::writeFile(dir / "in.wav", zeb::test::wavBytes(zeb::test::faxAudio(
                                             zeb::test::testChart(1810, 110), signal)));
    zeb::test::ChildProcess child({program.string(), "fax", "--png", "--dir", dir.path().string(),
                                   (dir / "in.wav").string()});
    const std::string out = child.readOutput(std::chrono::seconds(60));
    ASSERT_EQ(child.waitExit(), 0) << out;
    std::filesystem::path bmp, png;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "FAX")) {
        if (entry.path().extension() == ".PNG") png = entry.path();
        if (entry.path().extension() == ".BMP") bmp = entry.path();
    }
    ASSERT_FALSE(png.empty()) << out;
    const std::string info = (dir / "info.txt").string(), pgm = (dir / "x.pgm").string();
    const auto picture = readBmpFile(bmp);
    ASSERT_TRUE(picture);
    ASSERT_EQ(std::system(("identify -format '%w %h %[bit-depth] %[colorspace]' '" + png.string() +
                           "' > '" + info + "' 2>/dev/null")
                              .c_str()),
              0);
    std::istringstream described(zeb::test::readFile(info));
    int width = 0, height = 0, depth = 0;
    std::string colourSpace;
    described >> width >> height >> depth >> colourSpace;
    EXPECT_EQ(width, picture->width);
    EXPECT_EQ(height, picture->height);
    EXPECT_EQ(depth, 8);
    EXPECT_EQ(colourSpace, "Gray");
    ASSERT_EQ(
        std::system(("convert '" + png.string() + "' -compress none pgm:'" + pgm + "' 2>/dev/null")
                        .c_str()),
        0);
    std::ifstream in(pgm);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    ASSERT_EQ(w, picture->width);
    ASSERT_EQ(h, picture->height);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int grey = 0;
            in >> grey;
            ASSERT_EQ(grey * 255 / maxval, picture->colour(x, y).r) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace zeb::fax
