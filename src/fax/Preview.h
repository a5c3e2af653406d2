// The live preview of the picture on the fax panel: a small picture of the
// panel control's size, filled line by line as the decoder completes them by
// averaging the columns and lines that fall on one preview pixel, and
// scrolled by one row when it is full.
//
// refreshRow() runs on the capture thread, the panel copies the pixels on
// the user-interface thread; both hold the preview's lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "fax/Bmp.h"

namespace zeb::fax {

class PictureBuffer;

class Preview {
public:
    // A preview of width × height pixels for lines of `lineWidth` pixels.
    // Fails with BmpError::NoDibSectionAccess when a size is not positive and
    // BmpError::NoMem when its memory cannot be had; the preview is then none.
    Result<void> create(int width, int height, int lineWidth);
    bool valid() const { return width_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Fills the preview from the rows of `buffer` that end at row `y`
    // (exclusive) and clears the column sums.
    void fillFrom(const PictureBuffer& buffer, int y);

    // Adds one completed line (row y of the picture) to the column sums and,
    // when y maps onto a new preview row, writes that row. Returns the preview
    // row written, or −1.
    int refreshRow(std::span<const std::int16_t> line, int y);

    // A copy of the preview as a 4-bit grey picture (any thread).
    Bitmap snapshot() const;

private:
    int width_ = 0, height_ = 0, lineWidth_ = 0;
    double scale_ = 0.0;  // preview pixels per picture pixel
    std::vector<std::int32_t> sums_;
    int summedLines_ = 0;
    int lastRow_ = -1;
    std::vector<std::uint8_t> pixels_;  // one grey per pixel, rows top-down
    mutable std::mutex lock_;
};

}  // namespace zeb::fax
