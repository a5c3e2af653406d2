// PNG copies of fax pictures: 8-bit grey, written with libpng. The BMP files
// of the received-file store stay what they are; a PNG is an extra copy for
// programs and web pages that do not read run-length compressed BMP.
#pragma once

#include <filesystem>
#include <string>

#include "common/Result.h"
#include "fax/Bmp.h"

namespace zeb::fax {

// The whole file: one grey sample per pixel, the luminance of the pixel's
// colour (for the fax palette: 255 − 17 × index).
Result<std::string> encodeGreyPng(const Bitmap& bitmap);

// Writes the PNG atomically (a crash leaves the old file or the new one).
Result<void> writeGreyPng(const Bitmap& bitmap, const std::filesystem::path& path);

// "FAX/FAX_….BMP" → "FAX/FAX_….PNG".
std::filesystem::path pngPathFor(const std::filesystem::path& picture);

}  // namespace zeb::fax
