// Pictures, thumbnails and logos are files a user can replace: any bytes must
// decode to a valid picture or give an error, never read or write outside a
// buffer. A decoded picture must encode and decode again to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fax/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bitmap = zeb::fax::decodeBmp(std::span<const std::uint8_t>(data, size));
    if (!bitmap) return 0;
    const auto& bm = *bitmap;
    if (bm.width < 1 || bm.height < 1 ||
        bm.pixels.size() !=
            static_cast<std::size_t>(bm.stride()) * static_cast<std::size_t>(bm.height))
        std::abort();
    if (static_cast<std::uint64_t>(bm.width) * static_cast<std::uint64_t>(bm.height) > 4'000'000)
        return 0;  // re-encoding very large pictures only slows the search
    for (bool compress : {false, true}) {
        const std::string file = zeb::fax::encodeBmp(bm, compress);
        auto again = zeb::fax::decodeBmp(
            std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
        if (!again || again->width != bm.width || again->height != bm.height) std::abort();
        for (int y = 0; y < bm.height; ++y)
            for (int x = 0; x < bm.width; ++x)
                if (!(again->colour(x, y) == bm.colour(x, y))) std::abort();
    }
    if (bm.width * static_cast<std::uint64_t>(bm.height) <= 200'000)
        (void)zeb::fax::makeThumbnail(bm);
    return 0;
}
