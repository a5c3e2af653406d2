// Picture files: the growing work file, the finished compressed picture and
// its thumbnail, names that never replace an earlier picture, scrolling of
// tall pictures and the preview.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>

#include "common/ReceivedFile.h"
#include "common/WorkQueue.h"
#include "fax/Bmp.h"
#include "fax/FaxDecoder.h"
#include "fax_test_support.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

using test::kLineSamples;
using test::RecordingEvents;
using test::Synth;

const NameTime kTen{2026, 12, 7, 10, 0, 0};

std::uint32_t u32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
           (static_cast<std::uint8_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}

// A receiving decoder whose lines are exactly 5512.5 samples, its clock
// standing at 10:00 UTC; each line k has the grey k % 16 in its middle.
struct Receiver {
    zeb::test::TempDir dir;
    RecordingEvents events;
    FaxDecoder decoder{events, dir.path()};
    Synth synth;
    int lines = 0;        // lines received (completed) so far
    int synthesized = 0;  // one line more is made, so that every received line is fed

    explicit Receiver(FaxConfig config = {}, WorkQueue* files = nullptr) {
        decoder.setWorkQueue(files);
        decoder.setClock([] { return kTen; });
        decoder.setConfig(config);
        decoder.setCorrectionTable(test::exactRateTable(config.ioc, config.lpm));
        EXPECT_TRUE(decoder.start());
        decoder.manualStartStop();
        EXPECT_EQ(decoder.state(), FaxState::Receiving);
    }
    void receive(int count, double lineSamples = kLineSamples) {
        lines += count;
        for (; synthesized <= lines; ++synthesized)
            synth.tone(lineSamples, test::frequencyOfGrey(synthesized % 16));
        synth.feed(decoder);
    }
    std::filesystem::path path(const NameTime& t, ReceivedKind kind) const {
        return dir.path() / relativePath(kind, t);
    }
};

TEST(FaxPictureFile, work_file_is_a_valid_bmp_after_every_band) {
    Receiver r;
    r.receive(45);
    const auto work = r.path(kTen, ReceivedKind::FaxWork);
    const std::string b = zeb::test::readFile(work);
    const std::uint32_t stride = 908;  // ((1810 × 4 + 31) / 32) × 4
    ASSERT_EQ(b.size(), 118 + 40 * stride);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(u32(b, 2), b.size());
    EXPECT_EQ(u32(b, 10), 118u);
    EXPECT_EQ(u32(b, 14), 40u);
    EXPECT_EQ(u32(b, 18), 1810u);
    EXPECT_EQ(static_cast<std::int32_t>(u32(b, 22)), -40);
    EXPECT_EQ(u32(b, 30), 0u);
    EXPECT_EQ(u32(b, 34), 40 * stride);
    EXPECT_EQ(u32(b, 46), 16u);
    auto bm = decodeBmp(std::span(reinterpret_cast<const std::uint8_t*>(b.data()), b.size()));
    ASSERT_TRUE(bm) << bm.error().message;
    EXPECT_EQ(bm->height, 40);
    for (int y = 1; y < 40; ++y) EXPECT_EQ(test::rowMode(*bm, y), y % 16) << y;
}

TEST(FaxPictureFile, ninety_nine_lines_leave_nothing_one_hundred_a_picture_and_thumbnail) {
    {
        Receiver r;
        r.receive(99);
        r.decoder.manualStartStop();
        ASSERT_EQ(r.events.outcomes.size(), 1u);
        EXPECT_EQ(r.events.outcomes[0].kind, PictureOutcome::Kind::Discarded);
        EXPECT_TRUE(std::filesystem::is_empty(r.dir / "FAX"));
    }
    Receiver r;
    r.receive(105);
    r.decoder.manualStartStop();
    ASSERT_EQ(r.events.outcomes.size(), 1u);
    const PictureOutcome& o = r.events.outcomes[0];
    EXPECT_EQ(o.kind, PictureOutcome::Kind::Saved);
    EXPECT_TRUE(o.problem.empty()) << o.problem;
    EXPECT_EQ(o.picture, r.path(kTen, ReceivedKind::Fax));
    EXPECT_EQ(o.thumbnail, r.path(kTen, ReceivedKind::FaxThumbnail));
    EXPECT_FALSE(std::filesystem::exists(r.path(kTen, ReceivedKind::FaxWork)));
    const std::string b = zeb::test::readFile(o.picture);
    EXPECT_EQ(u32(b, 30), 2u);  // RLE4
    auto bm = readBmpFile(o.picture);
    ASSERT_TRUE(bm) << bm.error().message;
    // Exactly the 105 completed lines, in order: the tail band is rows
    // 100 … 104, not the unfinished row after them.
    ASSERT_EQ(bm->height, 105);
    for (int y = 1; y < 105; ++y) EXPECT_EQ(test::rowMode(*bm, y), y % 16) << y;
    auto thumb = readBmpFile(o.thumbnail);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->width, 160);
    EXPECT_EQ(thumb->height, 9);  // 105 / 11.3125 = 9.28
    EXPECT_EQ(thumb->bitsPerPixel, 4);
}

TEST(FaxPictureFile, stop_ends_and_saves_the_picture) {
    Receiver r;
    r.receive(120);
    r.decoder.stop();
    ASSERT_EQ(r.events.outcomes.size(), 1u);
    EXPECT_EQ(r.events.outcomes[0].rows, 120);
    EXPECT_TRUE(std::filesystem::exists(r.path(kTen, ReceivedKind::Fax)));
}

TEST(FaxPictureFile, a_second_picture_of_the_same_minute_keeps_the_first) {
    Receiver r;
    r.receive(100);
    r.decoder.manualStartStop();
    const auto first = r.path(kTen, ReceivedKind::Fax);
    const std::string firstBytes = zeb::test::readFile(first);
    const std::string firstThumb = zeb::test::readFile(r.path(kTen, ReceivedKind::FaxThumbnail));

    r.decoder.manualStartStop();  // begins again at 10:00: the name moves on to 10:01
    const NameTime t1{2026, 12, 7, 10, 1, 0};
    EXPECT_TRUE(std::filesystem::exists(r.path(t1, ReceivedKind::FaxWork)));
    // Someone puts a finished picture at 10:01 while this one is received.
    zeb::test::writeFile(r.path(t1, ReceivedKind::Fax), "not ours");
    r.receive(100);
    r.decoder.manualStartStop();
    ASSERT_EQ(r.events.outcomes.size(), 2u);
    const NameTime t2{2026, 12, 7, 10, 2, 0};
    EXPECT_EQ(r.events.outcomes[1].picture, r.path(t2, ReceivedKind::Fax));
    EXPECT_EQ(zeb::test::readFile(first), firstBytes);
    EXPECT_EQ(zeb::test::readFile(r.path(kTen, ReceivedKind::FaxThumbnail)), firstThumb);
    EXPECT_EQ(zeb::test::readFile(r.path(t1, ReceivedKind::Fax)), "not ours");
    EXPECT_TRUE(readBmpFile(r.path(t2, ReceivedKind::Fax)));
    EXPECT_TRUE(readBmpFile(r.path(t2, ReceivedKind::FaxThumbnail)));
}

TEST(FaxPictureFile, save_as_writes_the_whole_buffer_only_between_pictures) {
    Receiver r;
    r.receive(30);
    EXPECT_FALSE(r.decoder.savePictureAs(r.dir / "MINE.BMP"));
    r.decoder.manualStartStop();
    ASSERT_TRUE(r.decoder.savePictureAs(r.dir / "MINE.BMP"));
    auto bm = readBmpFile(r.dir / "MINE.BMP");
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->height, 2715);
    EXPECT_EQ(test::rowMode(*bm, 20), 20 % 16);
    auto thumb = readBmpFile(r.dir / "MINE.BMM");
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->height, 128);
    EXPECT_EQ(thumb->width, 85);  // 1810 / (2715 / 128)
}

// The disk stalls (the work queue held at a gate) for a whole picture: every
// block is taken without waiting for it, and once the disk is back the
// picture holds every row, byte for byte what a decoder writing at once keeps.
TEST(FaxPictureFile, a_stalled_disk_holds_up_no_block_and_loses_no_row) {
    std::string expected;
    {
        Receiver direct;
        direct.receive(130);
        direct.decoder.manualStartStop();
        expected = zeb::test::readFile(direct.path(kTen, ReceivedKind::Fax));
        ASSERT_FALSE(expected.empty());
    }
    WorkQueue files;
    std::promise<void> disk;
    files.post([back = disk.get_future().share()] { back.wait(); });
    Receiver r({}, &files);
    auto fed = std::async(std::launch::async, [&] {
        r.receive(130);
        r.decoder.manualStartStop();
    });
    const bool tookEveryBlock = fed.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    EXPECT_TRUE(tookEveryBlock) << "a block waited for the disk";
    EXPECT_FALSE(std::filesystem::exists(r.path(kTen, ReceivedKind::FaxWork)));
    EXPECT_GE(files.pending(), 2u + 130 / kBandRows);  // begin, bands, end behind the stall
    disk.set_value();
    fed.wait();
    files.drain();
    EXPECT_EQ(zeb::test::readFile(r.path(kTen, ReceivedKind::Fax)), expected);
    EXPECT_TRUE(r.events.failures.empty());
}

TEST(FaxPictureFile, unwritable_directory_keeps_the_picture_on_screen) {
    Receiver r;
    r.decoder.manualStartStop();  // end the (empty) picture
    std::filesystem::remove_all(r.dir / "FAX");
    zeb::test::writeFile(r.dir / "FAX", "a file where the directory should be");
    r.decoder.manualStartStop();
    EXPECT_EQ(r.decoder.state(), FaxState::Receiving);
    EXPECT_FALSE(r.decoder.pictureFileOpen());
    EXPECT_FALSE(r.events.failures.empty());
    r.receive(3);
    EXPECT_GE(r.decoder.row(), 3);
}

TEST(FaxPictureFile, a_picture_taller_than_the_buffer_scrolls_while_the_file_gets_every_line) {
    FaxConfig c;
    c.ioc = 267;
    c.lpm = 240;
    Receiver r(c);
    const int lines = 1258 + 70;
    r.receive(lines, 2756.25);
    EXPECT_LT(r.decoder.row(), 1258);
    EXPECT_EQ(r.decoder.row(), lines - 3 * 32);
    EXPECT_EQ(r.events.scrolls, 3);
    // The rows kept their content when moved up.
    EXPECT_EQ(test::rowMode(r.decoder.picture().snapshot(), r.decoder.row() - 1, 300, 500),
              (lines - 1) % 16);
    r.decoder.manualStartStop();
    auto bm = readBmpFile(r.path(kTen, ReceivedKind::Fax));
    ASSERT_TRUE(bm);
    EXPECT_EQ(bm->height, lines);
    for (int y = 1; y < lines; y += 37) EXPECT_EQ(test::rowMode(*bm, y, 300, 500), y % 16) << y;
}

TEST(FaxPreview, rows_are_column_averages_of_the_received_lines) {
    Receiver r;
    r.decoder.setPreviewSize(181, 60);  // a tenth of the width
    r.receive(40);
    ASSERT_FALSE(r.events.previewRows.empty());
    const Bitmap p = r.decoder.preview().snapshot();
    EXPECT_EQ(p.width, 181);
    // Preview row 2 summarises picture rows 11 … 20 (greys 11 … 15, 0 … 4).
    const int row = 2;
    EXPECT_EQ(p.index(90, row), (11 + 12 + 13 + 14 + 15 + 0 + 1 + 2 + 3 + 4) / 10);
    EXPECT_EQ(r.events.previewRows.back(), 3);
    // Re-created from the buffer at a new size.
    r.decoder.setPreviewSize(90, 30);
    EXPECT_EQ(r.decoder.preview().snapshot().width, 90);
}

TEST(FaxPreview, made_in_the_middle_of_a_picture_continues_where_the_lines_go) {
    Receiver r;
    r.receive(40);
    // The panel appears (or is resized) while the picture comes in.
    r.decoder.setPreviewSize(181, 60);
    r.receive(20);
    const Bitmap p = r.decoder.preview().snapshot();
    // Row 2 comes from the buffer (picture rows 20 … 29, greys 4 … 13), row 5
    // from the lines received since (rows 41 … 50, greys 9 … 15, 0 … 2);
    // both at the height their picture rows have.
    EXPECT_EQ(p.index(90, 2), (4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12 + 13) / 10);
    EXPECT_EQ(p.index(90, 5), (9 + 10 + 11 + 12 + 13 + 14 + 15 + 0 + 1 + 2) / 10);
    EXPECT_EQ(p.index(90, 30), 0);  // below the picture: still white
}

// Reads a BMP through ImageMagick when it is installed, as grey values.
std::optional<std::vector<int>> imageMagickGreys(const std::filesystem::path& file, int& w,
                                                 int& h) {
    if (std::system("identify -version 2>/dev/null | grep -q ImageMagick") != 0)
        return std::nullopt;
    zeb::test::TempDir out;
    const std::string cmd = "convert '" + file.string() + "' -compress none pgm:'" +
                            (out / "x.pgm").string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return std::vector<int>{};
    std::ifstream in(out / "x.pgm");
    std::string magic;
    int maxval = 0;
    in >> magic >> w >> h >> maxval;
    std::vector<int> v(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int& g : v) in >> g;
    if (maxval != 255)
        for (int& g : v) g = g * 255 / maxval;
    return v;
}

TEST(FaxPictureFile, every_file_opens_in_an_independent_reader) {
    Receiver r;
    r.receive(45);
    const auto work = r.path(kTen, ReceivedKind::FaxWork);
    const std::filesystem::path copy = r.dir / "work.bmp";
    std::filesystem::copy_file(work, copy);
    r.receive(60);
    r.decoder.manualStartStop();
    int checked = 0;
    for (const auto& [file, rows, width] :
         {std::tuple{copy, 40, 1810}, std::tuple{r.path(kTen, ReceivedKind::Fax), 105, 1810},
          std::tuple{r.path(kTen, ReceivedKind::FaxThumbnail), 9, 160}}) {
        int w = 0, h = 0;
        const auto greys = imageMagickGreys(file, w, h);
        if (!greys) GTEST_SKIP() << "ImageMagick (identify, convert) is not installed";
        ASSERT_FALSE(greys->empty()) << file;
        EXPECT_EQ(w, width) << file;
        EXPECT_EQ(h, rows) << file;
        auto ours = readBmpFile(file);
        ASSERT_TRUE(ours);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; x += 7)
                ASSERT_EQ((*greys)[static_cast<std::size_t>(y * w + x)], ours->colour(x, y).r)
                    << file << " " << x << "," << y;
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

}  // namespace
}  // namespace zeb::fax
