// The viewer's files: where a named picture lies, which working directory
// it uses, the store's pictures newest first, and turning pictures of every
// depth the reader gives.
#include "FaxFiles.h"
#include "FaxViewerTestSupport.h"

#include <gtest/gtest.h>

#include "common/ReceivedFile.h"

namespace zeb::zebfaxv::test {
namespace {

namespace fs = std::filesystem;

TEST(FaxViewerFiles, APlainNameIsLookedUpInTheFaxFolder) {
    TempDir work;
    TempDir elsewhere;
    zeb::test::ScopedCwd cwd(elsewhere.path());
    zeb::test::writeFile(elsewhere.path() / "chart.bmp", "x");
    const struct {
        std::string argument;
        fs::path expected;
    } cases[] = {
        {"FAX_2024-03-01_12-00.BMP", work.path() / "FAX" / "FAX_2024-03-01_12-00.BMP"},
        // Not in the store but in the current directory: that one.
        {"chart.bmp", elsewhere.path() / "chart.bmp"},
        {"nowhere.bmp", work.path() / "FAX" / "nowhere.bmp"},
        {"sub/FAX_2024-03-01_12-00.BMP", elsewhere.path() / "sub" / "FAX_2024-03-01_12-00.BMP"},
        {"/tmp/x.BMP", "/tmp/x.BMP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(resolvePicture(work.path(), c.argument), c.expected);
    }
}

TEST(FaxViewerFiles, TheWorkingDirectoryIsTheChosenOneOrTheCurrentOneWithPictures) {
    TempDir work;
    TempDir home;
    zeb::test::ScopedEnv zebHome("ZEB_HOME", (home.path() / "suite").string());
    zeb::test::ScopedCwd cwd(work.path());
    EXPECT_EQ(viewerWorkDir(fs::path("/tmp/chosen")).value(), "/tmp/chosen");
    // A current directory without pictures or settings: the suite's own.
    EXPECT_EQ(viewerWorkDir(std::nullopt).value(), home.path() / "suite");
    fs::create_directory(work.path() / "FAX");
    EXPECT_EQ(viewerWorkDir(std::nullopt).value(), work.path());
}

TEST(FaxViewerFiles, ListsTheReceivedPicturesNewestFirst) {
    TempDir work;
    const fs::path fax = work.path() / "FAX";
    fs::create_directories(fax / "FAX_2024-12-31_23-59.BMP");  // a folder, not a picture
    for (const char* name : {"FAX_2024-03-01_12-00.BMP", "FAX_2023-12-31_23-59.BMP",
                             "fax_2024-03-01_12-01.bmp", "FAX_2024-03-01_11-00.BMX",
                             "FAX_2024-03-01_10-00.BMM", "FAX_old.BMP", "FAX_2024-13-01_00-00.BMP"})
        zeb::test::writeFile(fax / name, "");
    const auto pictures = listPictures(fax);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].picture, fax / "fax_2024-03-01_12-01.bmp");
    EXPECT_EQ(pictures[0].thumbnail, fax / "fax_2024-03-01_12-01.bmm");
    EXPECT_EQ(pictures[1].picture, fax / "FAX_2024-03-01_12-00.BMP");
    EXPECT_EQ(pictures[1].thumbnail, fax / "FAX_2024-03-01_12-00.BMM");
    EXPECT_EQ(pictures[1].time, (NameTime{2024, 3, 1, 12, 0}));
    EXPECT_EQ(pictures[2].picture, fax / "FAX_2023-12-31_23-59.BMP");
    EXPECT_TRUE(listPictures(work.path() / "missing").empty());
}

TEST(FaxViewerFiles, TurnsPicturesOfEveryDepth) {
    for (const int bits : {1, 4, 8, 24}) {
        SCOPED_TRACE(bits);
        fax::Bitmap picture;
        picture.width = 5;  // odd sides: the packed rows have partly used bytes
        picture.height = 3;
        picture.bitsPerPixel = bits;
        if (bits <= 8) picture.palette.assign(std::size_t{1} << bits, fax::Rgb{});
        picture.pixels.assign(static_cast<std::size_t>(picture.stride()) * 3, 0);
        const auto value = [bits](int x, int y) {
            const int v = 7 * x + 3 * y + 1;
            return bits == 1 ? (x + y) % 2 : bits == 4 ? v % 16 : v;
        };
        const auto put = [&](int x, int y) {
            if (bits == 24)
                picture.row(y)[3 * x] = static_cast<std::uint8_t>(value(x, y));
            else
                picture.setIndex(x, y, value(x, y));
        };
        const auto get = [bits](const fax::Bitmap& b, int x, int y) {
            return bits == 24 ? b.row(y)[3 * x] : b.index(x, y);
        };
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) put(x, y);

        const fax::Bitmap right = rotated(picture, 1), left = rotated(picture, -1),
                          down = rotated(picture, 2);
        ASSERT_EQ(right.width, 3);
        ASSERT_EQ(right.height, 5);
        ASSERT_EQ(down.width, 5);
        EXPECT_EQ(right.pixels.size(), static_cast<std::size_t>(right.stride()) * 5);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(get(right, 2 - y, x), value(x, y));
                EXPECT_EQ(get(left, y, 4 - x), value(x, y));
                EXPECT_EQ(get(down, 4 - x, 2 - y), value(x, y));
            }
        }
        EXPECT_EQ(rotated(rotated(picture, 3), 1).pixels, picture.pixels);
        EXPECT_EQ(rotated(picture, 4).pixels, picture.pixels);
    }
}

}  // namespace
}  // namespace zeb::zebfaxv::test
