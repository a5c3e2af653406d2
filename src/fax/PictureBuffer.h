// The picture buffer the fax decoder writes into: W × H pixels of 16 greys,
// 4 bits per pixel, rows top-down, the even column in the high nibble (the
// memory layout of a BMP row, so rows go to files unchanged).
//
// The capture thread writes pixels and scrolls; the user-interface thread
// paints from the same memory. Writers hold the pixel lock while they change
// pixels (the decoder takes it once per block, not per pixel) and readers take
// it for the time of a copy, so a paint never sees a half-moved buffer.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>

#include "common/Result.h"
#include "fax/Bmp.h"

namespace zeb::fax {

class PictureBuffer {
public:
    static constexpr int kScrollRows = 32;

    // A cleared buffer (index 0, white) of width × height; false when memory
    // runs out or a side is not positive (the old buffer then stays).
    Result<void> create(int width, int height);
    bool valid() const { return bitmap_.width > 0; }
    int width() const { return bitmap_.width; }
    int height() const { return bitmap_.height; }
    int stride() const { return bitmap_.stride(); }

    // Called with the pixel lock held by the writing thread.
    void writePixel(int x, int y, int grey) {
        std::uint8_t& b =
            bitmap_
                .pixels[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x >> 1)];
        b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | grey)
                    : static_cast<std::uint8_t>(grey << 4);
    }
    // Moves the whole picture up by kScrollRows rows and clears the freed
    // rows at the bottom. Called with the pixel lock held.
    void scrollUp();

    std::mutex& pixelLock() const { return lock_; }

    // Raw row memory for the writing thread (picture files read completed
    // rows from here on the thread that writes them).
    std::span<const std::uint8_t> row(int y) const {
        return {bitmap_.row(y), static_cast<std::size_t>(stride_)};
    }
    int pixel(int x, int y) const { return bitmap_.index(x, y); }

    // Copies for any thread: rows [first, first + count) as one bitmap, or
    // the whole picture.
    Bitmap copyRows(int first, int count) const;
    Bitmap snapshot() const { return copyRows(0, height()); }

private:
    Bitmap bitmap_;
    std::size_t stride_ = 0;
    mutable std::mutex lock_;
};

}  // namespace zeb::fax
