// Pictures for the fax viewer's tests, written as a reception writes them:
// the fax library's picture file grows band by band and ends as a
// run-length compressed ".BMP" with its ".BMM" thumbnail in FAX/.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/TimeKey.h"
#include "fax/PictureBuffer.h"
#include "fax/PictureFile.h"
#include "support/TestEnv.h"

namespace zeb::zebfaxv::test {

using zeb::test::TempDir;

// Grey index of the test pattern: diagonal bands of 14 greys, and a black
// 8 × 8 block in the top-left corner that shows where the picture turned.
inline int patternGrey(int x, int y) {
    if (x < 8 && y < 8) return 15;
    return (x / 16 + y / 16) % 15;
}

// A picture of width × height received at `time` in `workDir`; its path.
inline std::filesystem::path receivePicture(const std::filesystem::path& workDir,
                                            const NameTime& time, int width, int height) {
    fax::PictureBuffer buffer;
    EXPECT_TRUE(buffer.create(width, height).ok());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) buffer.writePixel(x, y, patternGrey(x, y));
    fax::PictureFile file(workDir);
    file.setClock([time] { return time; });
    EXPECT_TRUE(file.begin(width).ok());
    for (int y = 0; y < height; y += fax::kBandRows)
        EXPECT_TRUE(file.appendBand(buffer, y, std::min(fax::kBandRows, height - y)).ok());
    const fax::PictureOutcome outcome = file.end();
    EXPECT_EQ(outcome.kind, fax::PictureOutcome::Kind::Saved) << outcome.problem;
    return outcome.picture;
}

inline NameTime at(int day, int hour, int minute) { return {2024, 3, day, hour, minute}; }

}  // namespace zeb::zebfaxv::test
