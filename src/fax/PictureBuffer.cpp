#include "fax/PictureBuffer.h"

#include <algorithm>
#include <new>

namespace zeb::fax {

Result<void> PictureBuffer::create(int width, int height) {
    if (width <= 0 || height <= 0) return bmpError(BmpError::CreateDibSectionFail, "empty picture");
    try {
        Bitmap fresh = makeGreyBitmap(width, height);
        std::lock_guard lock(lock_);
        bitmap_ = std::move(fresh);
        stride_ = static_cast<std::size_t>(bitmap_.stride());
    } catch (const std::bad_alloc&) {
        return bmpError(BmpError::NoMem);
    }
    return success();
}

void PictureBuffer::scrollUp() {
    const int rows = std::min(kScrollRows, bitmap_.height);
    auto& p = bitmap_.pixels;
    const std::size_t moved = static_cast<std::size_t>(rows) * stride_;
    std::copy(p.begin() + static_cast<std::ptrdiff_t>(moved), p.end(), p.begin());
    std::fill(p.end() - static_cast<std::ptrdiff_t>(moved), p.end(), std::uint8_t{0});
}

Bitmap PictureBuffer::copyRows(int first, int count) const {
    std::lock_guard lock(lock_);
    first = std::clamp(first, 0, bitmap_.height);
    count = std::clamp(count, 0, bitmap_.height - first);
    Bitmap out;
    out.width = bitmap_.width;
    out.height = count;
    out.bitsPerPixel = 4;
    out.palette = bitmap_.palette;
    const auto begin = bitmap_.pixels.begin() + static_cast<std::ptrdiff_t>(first * stride_);
    out.pixels.assign(begin, begin + static_cast<std::ptrdiff_t>(count * stride_));
    return out;
}

}  // namespace zeb::fax
