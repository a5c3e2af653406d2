// BMP pictures: building headers, writing uncompressed or run-length
// compressed (4-bit pictures with compression 2, 8-bit with compression 1),
// reading any such file (information headers of 40 bytes or more, palettes
// of up to 256 entries, the scrambled variant), and reducing a picture to a
// thumbnail.
//
// Files are written and read byte by byte, little-endian. The reader treats
// every file as hostile: sizes, offsets, palettes and run-length codes are
// checked before use, and anything it cannot trust gives BMP_NOFILEREAD
// instead of reading or writing outside a buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace zeb::fax {

// Error codes of the BMP routines (Error::code, category "BMP"); the names
// are the texts the programs show. A failed system call behind one is the
// error's cause.
enum class BmpError {
    NoHdc = 1,
    NoFileReadOpen = 2,
    NoFileWriteOpen = 3,
    NoFileRead = 4,
    NoFileWrite = 5,
    NoFileSeek = 6,
    NoMem = 7,
    CreateDibSectionFail = 8,
    NoDibSectionAccess = 9,
    NoColorTableAccess = 10,
    NoDibMemoryAccess = 11,
    ZeroDiv = 12,
};
inline constexpr int kBmpLastErrorCode = 37;
// "BMP_NOFILEREAD" for 4; "" for codes outside 1 … 37.
std::string_view bmpErrorName(int code);
std::error_code make_error_code(BmpError code);
// Title of the message box that shows a BMP error.
inline constexpr std::string_view kBmpMessageTitle = "BMP_LIB Message";
Error bmpError(BmpError code, std::string_view detail = {}, int cause = 0);

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// The 16 greys of fax pictures: index i is RGB(255 − 17i), 0 white, 15 black.
std::vector<Rgb> greyPalette16();

// Largest width and height the reader accepts.
inline constexpr int kMaxBmpSide = 32768;

// A picture in memory, rows top-down, each row packed as in a BMP file
// (1, 4, 8 or 24 bits per pixel, even column in the high nibble, BGR for 24
// bits) and padded to a multiple of 4 bytes.
struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 4;
    std::vector<Rgb> palette;  // 2^bits entries for ≤ 8 bits, empty for 24
    std::vector<std::uint8_t> pixels;

    static int strideOf(int width, int bitsPerPixel) {
        return ((width * bitsPerPixel + 31) / 32) * 4;
    }
    int stride() const { return strideOf(width, bitsPerPixel); }
    std::uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * stride();
    }
    // Palette index (≤ 8 bits) of a pixel.
    int index(int x, int y) const;
    void setIndex(int x, int y, int value);
    Rgb colour(int x, int y) const;
};

// A cleared 4-bit picture with the grey palette.
Bitmap makeGreyBitmap(int width, int height);

// The 14-byte file header and the 40-byte information header.
struct BmpHeaders {
    std::uint32_t fileSize = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows stored top-down
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 4;
    std::uint32_t compression = 0;  // 0 none, 1 RLE8, 2 RLE4
    std::uint32_t imageSize = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t coloursImportant = 0;
};
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kInfoHeaderSize = 40;
void putHeaders(const BmpHeaders& h, std::uint8_t* out);  // 54 bytes
BmpHeaders getHeaders(const std::uint8_t* in);            // 54 bytes, unchecked

// The whole file. `compress` selects run-length coding for 4- and 8-bit
// pictures (other depths are written uncompressed); rows are stored
// bottom-up.
std::string encodeBmp(const Bitmap& bitmap, bool compress);
// The same picture in the scrambled variant (uncompressed), for tests and
// for readers of such files.
std::string encodeScrambledBmp(const Bitmap& bitmap);
// Key stream of the scrambled variant: register 0x5A3C9E71, shifted right once
// per byte with bit 18 set when bits 16 and 0 differed before the shift; the
// key byte is the low byte of the new register.
void unscramble(std::span<std::uint8_t> bytes);

Result<Bitmap> decodeBmp(std::span<const std::uint8_t> file);
Result<Bitmap> readBmpFile(const std::filesystem::path& path);

// Thumbnail of at most 160 × 128 pixels: scale s = max(w / 160, h / 128) as a
// real number, size round(w / s) × round(h / s) (at least 1 × 1); each pixel
// is the average colour of the source pixels it covers (the nearest source
// pixel when it covers none), stored as the nearest entry of the source
// palette. BmpError::ZeroDiv for an empty source.
Result<Bitmap> makeThumbnail(const Bitmap& source);

}  // namespace zeb::fax

template <>
struct std::is_error_code_enum<zeb::fax::BmpError> : std::true_type {};
