#include "fax/Png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "common/AtomicFile.h"

namespace zeb::fax {

namespace {

struct Sink {
    std::string bytes;
    char message[200] = {};
};

void writeBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    sink->bytes.append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

void onError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
    std::strncpy(sink->message, message, sizeof sink->message - 1);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

std::uint8_t luminance(const Rgb& c) {
    return static_cast<std::uint8_t>((299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000);
}

// Runs libpng over prepared rows. Kept free of objects with destructors:
// libpng reports errors by a long jump back into this function.
bool encodeRows(Sink& sink, const std::vector<png_bytep>& rows, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &sink, writeBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

Result<std::string> encodeGreyPng(const Bitmap& bitmap) {
    if (bitmap.width <= 0 || bitmap.height <= 0)
        return bmpError(BmpError::ZeroDiv, "an empty picture has no PNG");
    const auto w = static_cast<std::size_t>(bitmap.width);
    std::vector<std::uint8_t> grey;
    std::vector<png_bytep> rows;
    try {
        grey.resize(w * static_cast<std::size_t>(bitmap.height));
        rows.resize(static_cast<std::size_t>(bitmap.height));
    } catch (const std::bad_alloc&) {
        return bmpError(BmpError::NoMem, "no memory for the PNG copy");
    }
    std::vector<std::uint8_t> shade(bitmap.palette.size());
    for (std::size_t i = 0; i < shade.size(); ++i) shade[i] = luminance(bitmap.palette[i]);
    for (int y = 0; y < bitmap.height; ++y) {
        std::uint8_t* row = grey.data() + static_cast<std::size_t>(y) * w;
        rows[static_cast<std::size_t>(y)] = row;
        for (int x = 0; x < bitmap.width; ++x) {
            if (bitmap.bitsPerPixel <= 8) {
                const auto i = static_cast<std::size_t>(bitmap.index(x, y));
                row[x] = i < shade.size() ? shade[i] : 0;
            } else {
                row[x] = luminance(bitmap.colour(x, y));
            }
        }
    }
    Sink sink;
    if (!encodeRows(sink, rows, bitmap.width, bitmap.height))
        return bmpError(BmpError::NoMem, std::string("PNG: ") + sink.message);
    return std::move(sink.bytes);
}

Result<void> writeGreyPng(const Bitmap& bitmap, const std::filesystem::path& path) {
    auto bytes = encodeGreyPng(bitmap);
    if (!bytes) return bytes.error();
    if (auto r = writeFileAtomically(path, *bytes); !r)
        return bmpError(BmpError::NoFileWrite, r.error().message);
    return success();
}

std::filesystem::path pngPathFor(const std::filesystem::path& picture) {
    std::filesystem::path p = picture;
    p.replace_extension(".PNG");
    return p;
}

}  // namespace zeb::fax
