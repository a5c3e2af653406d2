#include "FaxFiles.h"

#include "ui/ViewerProgram.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/ReceivedFile.h"
#include "common/SuiteDirs.h"

namespace zeb::zebfaxv {

namespace fs = std::filesystem;

namespace {

// "BMP_NOFILEREAD: not a BMP file" → "not a BMP file": the code's name means
// nothing to a user, the detail says what is wrong.
std::string reasonOf(const Error& error) {
    const std::string_view name = fax::bmpErrorName(error.code.value());
    const std::string& text = error.message;
    if (!name.empty() && text.size() > name.size() + 2 && text.starts_with(name) &&
        text.compare(name.size(), 2, ": ") == 0)
        return text.substr(name.size() + 2);
    return text;
}

// Copies one pixel between two pictures of the same depth.
void copyPixel(const fax::Bitmap& from, int x, int y, fax::Bitmap& to, int tx, int ty) {
    if (from.bitsPerPixel == 24) {
        std::copy_n(from.row(y) + 3 * x, 3, to.row(ty) + 3 * tx);
        return;
    }
    to.setIndex(tx, ty, from.index(x, y));
}

}  // namespace

Result<fs::path> viewerWorkDir(const std::optional<fs::path>& chosen) {
    return ui::viewerWorkDir(chosen, kFaxDir);
}

fs::path resolvePicture(const fs::path& workDir, const std::string& argument) {
    return ui::resolveViewerFile(workDir, kFaxDir, argument);
}

std::optional<NameTime> pictureTime(const fs::path& picture) {
    return parseFileName(ReceivedKind::Fax, picture.filename().string());
}

std::vector<PictureEntry> listPictures(const fs::path& dir) {
    std::vector<PictureEntry> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const auto time = pictureTime(it->path());
        if (!time || !it->is_regular_file(ec)) continue;
        std::string thumbnail = it->path().string();
        thumbnail.back() = thumbnail.back() == 'p' ? 'm' : 'M';  // ".BMP" → ".BMM"
        found.push_back({it->path(), thumbnail, *time});
    }
    std::sort(found.begin(), found.end(), [](const PictureEntry& a, const PictureEntry& b) {
        const TimeKey ka = timeKey(a.time), kb = timeKey(b.time);
        if (ka != kb) return ka > kb;
        return a.picture.filename() > b.picture.filename();
    });
    return found;
}

Result<fax::Bitmap> loadPicture(const fs::path& path, std::uintmax_t maxBytes) {
    auto bytes = ui::readViewerFile(path, maxBytes, maxBytes, "a picture");
    if (!bytes) return bytes.error();
    auto picture = fax::decodeBmp(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    if (!picture) {
        Error error = picture.error();
        error.message = reasonOf(error);
        return error;
    }
    const std::int64_t pixels = std::int64_t{picture->width} * picture->height;
    if (pixels > kMaxPicturePixels)
        return Error{EFBIG, "the picture has " + std::to_string(picture->width) + " × " +
                                std::to_string(picture->height) +
                                " pixels, more than the viewer shows"};
    return picture;
}

fax::Bitmap rotated(const fax::Bitmap& picture, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 0) return picture;
    const int w = picture.width, h = picture.height;
    fax::Bitmap out;
    out.width = turns == 2 ? w : h;
    out.height = turns == 2 ? h : w;
    out.bitsPerPixel = picture.bitsPerPixel;
    out.palette = picture.palette;
    out.pixels.assign(static_cast<std::size_t>(out.stride()) * static_cast<std::size_t>(out.height),
                      0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Clockwise: the top row becomes the right column.
            switch (turns) {
                case 1: copyPixel(picture, x, y, out, h - 1 - y, x); break;
                case 2: copyPixel(picture, x, y, out, w - 1 - x, h - 1 - y); break;
                default: copyPixel(picture, x, y, out, y, w - 1 - x); break;
            }
        }
    }
    return out;
}

}  // namespace zeb::zebfaxv
