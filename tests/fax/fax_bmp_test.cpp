// The BMP routines: every depth and compression read back as written, the
// variants the reader accepts (larger headers, short palettes, top-down rows,
// the scrambled files), thumbnails, and hostile files that must give a clean
// error.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>

#include "fax/Bmp.h"
#include "fax/Png.h"
#include "support/TestEnv.h"

namespace zeb::fax {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Bitmap randomBitmap(int width, int height, int bits, std::uint32_t seed, bool runs) {
    Bitmap bm;
    bm.width = width;
    bm.height = height;
    bm.bitsPerPixel = bits;
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i)
            bm.palette.push_back({static_cast<std::uint8_t>(i * 7),
                                  static_cast<std::uint8_t>(255 - i),
                                  static_cast<std::uint8_t>(i * 3)});
    }
    bm.pixels.assign(static_cast<std::size_t>(bm.stride()) * static_cast<std::size_t>(height), 0);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        int value = 0;
        for (int x = 0; x < width; ++x) {
            if (!runs || rng() % 9 == 0) value = static_cast<int>(rng());
            if (bits == 24) {
                bm.row(y)[3 * x] = static_cast<std::uint8_t>(value);
                bm.row(y)[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
                bm.row(y)[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
            } else {
                bm.setIndex(x, y, value & ((1 << bits) - 1));
            }
        }
    }
    return bm;
}

void expectSamePixels(const Bitmap& a, const Bitmap& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            ASSERT_EQ(a.colour(x, y), b.colour(x, y)) << x << "," << y;
}

TEST(Bmp, every_depth_and_compression_reads_back) {
    for (int bits : {1, 4, 8, 24}) {
        for (bool compress : {false, true}) {
            for (bool runs : {false, true}) {
                for (int width : {1, 2, 3, 7, 255, 256, 300}) {
                    const Bitmap bm = randomBitmap(width, 5, bits,
                                                   static_cast<std::uint32_t>(width + bits), runs);
                    const std::string file = encodeBmp(bm, compress);
                    const BmpHeaders h = getHeaders(bytesOf(file).data());
                    EXPECT_EQ(h.compression, compress && bits == 4   ? 2u
                                             : compress && bits == 8 ? 1u
                                                                     : 0u);
                    EXPECT_EQ(h.fileSize, file.size());
                    auto back = decodeBmp(bytesOf(file));
                    ASSERT_TRUE(back) << bits << " " << width << ": " << back.error().message;
                    expectSamePixels(bm, *back);
                }
            }
        }
    }
}

TEST(Bmp, run_length_coding_shrinks_fax_like_pictures) {
    Bitmap bm = makeGreyBitmap(1810, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 1810; ++x) bm.setIndex(x, y, (x / 100) % 2 ? 15 : 0);
    EXPECT_LT(encodeBmp(bm, true).size(), encodeBmp(bm, false).size() / 10);
}

TEST(Bmp, larger_headers_short_palettes_and_top_down_rows) {
    const Bitmap bm = randomBitmap(33, 4, 4, 5, false);
    std::string file = encodeBmp(bm, false);
    // A 124-byte header: 84 more bytes after the 40, offsets moved.
    std::string big = file.substr(0, 54) + std::string(84, '\0') + file.substr(54);
    auto* b = reinterpret_cast<std::uint8_t*>(big.data());
    BmpHeaders h = getHeaders(b);
    h.headerSize = 124;
    h.dataOffset += 84;
    h.fileSize += 84;
    putHeaders(h, b);
    auto read = decodeBmp(bytesOf(big));
    ASSERT_TRUE(read) << read.error().message;
    expectSamePixels(bm, *read);

    // Two palette entries declared for a 4-bit picture: the other indices are
    // black, nothing is read beyond the two.
    Bitmap twoColours = makeGreyBitmap(8, 2);
    twoColours.setIndex(0, 0, 1);
    twoColours.setIndex(1, 0, 9);
    std::string f2 = encodeBmp(twoColours, false);
    auto* p2 = reinterpret_cast<std::uint8_t*>(f2.data());
    BmpHeaders h2 = getHeaders(p2);
    h2.coloursUsed = 2;
    putHeaders(h2, p2);
    auto short2 = decodeBmp(bytesOf(f2));
    ASSERT_TRUE(short2);
    EXPECT_EQ(short2->colour(0, 0), (Rgb{238, 238, 238}));
    EXPECT_EQ(short2->colour(1, 0), (Rgb{0, 0, 0}));

    // Top-down storage (negative height), as the work files are written.
    std::string td = encodeBmp(bm, false);
    auto* p3 = reinterpret_cast<std::uint8_t*>(td.data());
    BmpHeaders h3 = getHeaders(p3);
    const std::size_t stride = static_cast<std::size_t>(bm.stride());
    std::string rows;
    for (int y = 0; y < bm.height; ++y)
        rows +=
            td.substr(h3.dataOffset + stride * static_cast<std::size_t>(bm.height - 1 - y), stride);
    td = td.substr(0, h3.dataOffset) + rows;
    h3.height = -bm.height;
    putHeaders(h3, reinterpret_cast<std::uint8_t*>(td.data()));
    auto topDown = decodeBmp(bytesOf(td));
    ASSERT_TRUE(topDown);
    expectSamePixels(bm, *topDown);
}

TEST(Bmp, scrambled_variant) {
    // The first key bytes of the register 0x5A3C9E71.
    std::array<std::uint8_t, 4> zeros{};
    unscramble(zeros);
    std::uint32_t r = 0x5A3C9E71u;
    for (std::uint8_t k : zeros) {
        std::uint32_t n = r >> 1;
        if (((r >> 16) & 1u) != (r & 1u)) n |= 1u << 18;
        r = n;
        EXPECT_EQ(k, r & 0xFF);
    }
    const Bitmap bm = randomBitmap(20, 6, 8, 9, false);
    const std::string file = encodeScrambledBmp(bm);
    EXPECT_EQ(file.substr(50, 4), "VXQC");
    EXPECT_NE(file.substr(file.size() - 40), encodeBmp(bm, false).substr(file.size() - 40));
    auto back = decodeBmp(bytesOf(file));
    ASSERT_TRUE(back);
    expectSamePixels(bm, *back);
}

TEST(Bmp, thumbnail_sizes_use_a_real_scale) {
    for (const auto& [w, h, tw, th] :
         {std::tuple{1810, 1200, 160, 106}, std::tuple{1810, 3000, 77, 128},
          std::tuple{100, 50, 160, 80}, std::tuple{1, 30000, 1, 128}}) {
        const auto t = makeThumbnail(makeGreyBitmap(w, h));
        ASSERT_TRUE(t);
        EXPECT_EQ(t->width, tw) << w << "x" << h;
        EXPECT_EQ(t->height, th) << w << "x" << h;
    }
    Bitmap empty;
    const auto none = makeThumbnail(empty);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().code, BmpError::ZeroDiv);
    EXPECT_EQ(none.error().code.message(), "BMP_ZERODIV");
}

TEST(Bmp, thumbnail_pixels_are_the_nearest_grey_to_the_average) {
    Bitmap bm = makeGreyBitmap(320, 256);  // scale 2: each pixel covers 2 × 2
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 320; ++x) bm.setIndex(x, y, (x + y) % 2 ? 15 : 1);  // average 119
    bm.setIndex(0, 0, 4);
    bm.setIndex(1, 0, 4);
    bm.setIndex(0, 1, 4);
    bm.setIndex(1, 1, 4);
    const auto t = makeThumbnail(bm);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->index(0, 0), 4);
    EXPECT_EQ(t->index(5, 5), 8);  // 255 − 17·8 = 119
}

// Hostile files: each must give BMP_NOFILEREAD, never a crash or a read out
// of bounds (the sanitizer build checks the latter).
TEST(Bmp, hostile_files_give_clean_errors) {
    const Bitmap bm = randomBitmap(40, 10, 4, 3, true);
    const std::string good = encodeBmp(bm, false);
    const std::string rle = encodeBmp(bm, true);
    const auto patched = [](std::string f, std::size_t at, std::uint32_t v) {
        const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                               static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
        f.replace(at, 4, bytes, 4);
        return f;
    };
    const auto patched16 = [](std::string f, std::size_t at, std::uint16_t v) {
        const char bytes[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
        f.replace(at, 2, bytes, 2);
        return f;
    };
    std::string rleOverrun = rle.substr(0, getHeaders(bytesOf(rle).data()).dataOffset);
    rleOverrun += std::string("\xFF\x11\xFF\x11", 4);  // 510 pixels on a 40-pixel row, then …
    for (int i = 0; i < 12; ++i) rleOverrun += std::string("\x00\x00", 2);  // … rows past the top
    rleOverrun += std::string("\x05\x11\x00\x01", 4);
    std::string rleDelta = rle.substr(0, getHeaders(bytesOf(rle).data()).dataOffset);
    rleDelta += std::string("\x00\x02\x05\xFF\x00\x01", 6);
    std::string rleAbsolute = rle.substr(0, getHeaders(bytesOf(rle).data()).dataOffset);
    rleAbsolute += std::string("\x00\xFF\x12", 3);  // 255 literal pixels, data ends
    const std::map<std::string, std::string> cases{
        {"empty", ""},
        {"header only", good.substr(0, 30)},
        {"no magic", "XX" + good.substr(2)},
        {"truncated pixels", good.substr(0, good.size() - 1)},
        {"truncated rle", rle.substr(0, rle.size() - 3)},
        {"header size 12", patched(good, 14, 12)},
        {"header size past the end", patched(good, 14, 0x7FFFFFF0)},
        {"zero width", patched(good, 18, 0)},
        {"huge width", patched(good, 18, 0x7FFFFFFF)},
        {"huge height", patched(good, 22, 40000)},
        {"most negative height", patched(good, 22, 0x80000000)},
        {"depth 5", patched16(good, 28, 5)},
        {"depth 32", patched16(good, 28, 32)},
        {"two planes", patched16(good, 26, 2)},
        {"rle8 on 4 bits", patched(good, 30, 1)},
        {"bitfields", patched(good, 30, 3)},
        {"300 colours", patched(good, 46, 300)},
        {"offset past the end", patched(good, 10, 0xFFFFFFF0)},
        {"offset inside the palette", patched(good, 10, 60)},
        {"rle overrun", rleOverrun},
        {"rle delta past the top", rleDelta},
        {"rle absolute run past the data", rleAbsolute},
        {"big claim small file", patched(patched(rle, 18, 32768), 22, 32768)},
    };
    for (const auto& [name, file] : cases) {
        auto r = decodeBmp(bytesOf(file));
        ASSERT_FALSE(r) << name;
        EXPECT_EQ(r.error().code, BmpError::NoFileRead) << name;
        EXPECT_EQ(r.error().message.rfind("BMP_NOFILEREAD", 0), 0u) << name;
    }
    // A missing file cannot be opened: the module's code, with the system's
    // reason beside it, never one number standing for both.
    auto missing = readBmpFile("/nonexistent/FAX.BMP");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, BmpError::NoFileReadOpen);
    EXPECT_NE(missing.error().code, std::errc::no_such_file_or_directory);
    EXPECT_EQ(missing.error().systemError(), ENOENT);
    EXPECT_EQ(missing.error().code.message(), "BMP_NOFILEREADOPEN");
}

TEST(Bmp, random_corruption_never_crashes) {
    const std::string rle = encodeBmp(randomBitmap(50, 20, 4, 8, true), true);
    const std::string rle8 = encodeBmp(randomBitmap(50, 20, 8, 8, true), true);
    std::mt19937 rng(4);
    for (const std::string& base : {rle, rle8}) {
        for (int i = 0; i < 2000; ++i) {
            std::string f = base;
            for (int k = 0; k < 4; ++k) f[rng() % f.size()] = static_cast<char>(rng());
            f.resize(f.size() - rng() % 8);
            (void)decodeBmp(bytesOf(f));
        }
    }
}

// A PNG copy that cannot be made says why and leaves nothing behind.
TEST(FaxPng, refused_copies_report_an_error_and_write_nothing) {
    zeb::test::TempDir dir;
    const Bitmap picture = makeGreyBitmap(40, 3);
    struct Case {
        Bitmap bitmap;
        std::filesystem::path path;
    };
    for (const Case& c :
         {Case{Bitmap{}, dir / "empty.PNG"}, Case{picture, dir / "missing" / "dir.PNG"}}) {
        const auto r = writeGreyPng(c.bitmap, c.path);
        EXPECT_FALSE(r) << c.path;
        EXPECT_FALSE(r.error().message.empty());
        EXPECT_FALSE(std::filesystem::exists(c.path));
    }
    EXPECT_EQ(pngPathFor("FAX/FAX_2026-12-07_12-00.BMP"),
              std::filesystem::path("FAX/FAX_2026-12-07_12-00.PNG"));
    const auto bytes = encodeGreyPng(picture);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(1, 3), "PNG");
}

}  // namespace
}  // namespace zeb::fax
