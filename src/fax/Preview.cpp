#include "fax/Preview.h"

#include <new>

#include <algorithm>
#include <cmath>

#include "fax/PictureBuffer.h"

namespace zeb::fax {

Result<void> Preview::create(int width, int height, int lineWidth) {
    std::lock_guard lock(lock_);
    width_ = height_ = 0;
    if (width <= 0 || height <= 0 || lineWidth <= 0)
        return bmpError(BmpError::NoDibSectionAccess, "preview size");
    try {
        sums_.assign(static_cast<std::size_t>(lineWidth), 0);
        pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return bmpError(BmpError::NoMem, "preview");
    }
    width_ = width;
    height_ = height;
    lineWidth_ = lineWidth;
    scale_ = static_cast<double>(width) / lineWidth;
    summedLines_ = 0;
    lastRow_ = -1;
    return success();
}

void Preview::fillFrom(const PictureBuffer& buffer, int y) {
    if (!valid() || !buffer.valid()) return;
    // The visible part: as many picture rows as fill the preview, ending at y.
    const int rows = std::min(y, static_cast<int>(height_ / scale_));
    const Bitmap source = buffer.copyRows(y - rows, rows);
    std::lock_guard lock(lock_);
    std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0});
    std::fill(sums_.begin(), sums_.end(), 0);
    summedLines_ = 0;
    lastRow_ = static_cast<int>(y * scale_);
    if (rows <= 0) return;
    const double step = 1.0 / scale_;
    const int shown = std::min(height_, static_cast<int>(rows * scale_));
    // The rows sit where the following lines continue them: from the top
    // while the picture is shorter than the preview, at the bottom once the
    // preview scrolls.
    const int top = lastRow_ >= height_ ? height_ - shown : std::max(0, lastRow_ - shown);
    for (int py = 0; py < shown; ++py) {
        const int y0 = static_cast<int>(py * step);
        const int y1 = std::clamp(static_cast<int>((py + 1) * step), y0 + 1, rows);
        for (int px = 0; px < width_; ++px) {
            const int x0 = std::min(static_cast<int>(px * step), lineWidth_ - 1);
            const int x1 = std::clamp(static_cast<int>((px + 1) * step), x0 + 1, lineWidth_);
            int sum = 0;
            for (int yy = y0; yy < y1; ++yy)
                for (int xx = x0; xx < x1; ++xx) sum += source.index(xx, yy);
            const int value = sum / ((y1 - y0) * (x1 - x0));
            pixels_[static_cast<std::size_t>(top + py) * static_cast<std::size_t>(width_) +
                    static_cast<std::size_t>(px)] =
                static_cast<std::uint8_t>(std::clamp(value, 0, 15));
        }
    }
}

int Preview::refreshRow(std::span<const std::int16_t> line, int y) {
    if (!valid()) return -1;
    std::lock_guard lock(lock_);
    const std::size_t n = std::min(line.size(), sums_.size());
    for (std::size_t i = 0; i < n; ++i) sums_[i] += line[i];
    ++summedLines_;
    int p = static_cast<int>(y * scale_);
    if (p == lastRow_) return -1;
    lastRow_ = p;
    if (p >= height_) {
        std::copy(pixels_.begin() + width_, pixels_.end(), pixels_.begin());
        p = height_ - 1;
    }
    std::uint8_t* row =
        pixels_.data() + static_cast<std::size_t>(p) * static_cast<std::size_t>(width_);
    double accumulator = 0.0;
    int from = 0, px = 0;
    for (int x = 0; x < lineWidth_ && px < width_; ++x) {
        accumulator += scale_;
        if (accumulator >= 1.0) {
            std::int64_t sum = 0;
            for (int c = from; c <= x; ++c) sum += sums_[static_cast<std::size_t>(c)];
            const std::int64_t div = static_cast<std::int64_t>(summedLines_) * (x + 1 - from);
            row[px++] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(sum / div, 0, 15));
            from = x + 1;
            accumulator -= 1.0;
        }
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    summedLines_ = 0;
    return p;
}

Bitmap Preview::snapshot() const {
    std::lock_guard lock(lock_);
    Bitmap bm = makeGreyBitmap(std::max(width_, 1), std::max(height_, 1));
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            bm.setIndex(x, y,
                        pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                static_cast<std::size_t>(x)]);
    return bm;
}

}  // namespace zeb::fax
