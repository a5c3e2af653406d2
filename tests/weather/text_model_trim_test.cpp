// The text model's count of characters deleted by the fill limit, and the
// formatted range used to save a part of the text.
#include "weather/TextModel.h"

#include <gtest/gtest.h>

#include "support/TestEnv.h"

namespace zeb::weather {
namespace {

TEST(TextModelTrim, CountsExactlyTheCharactersDeletedFromTheFront) {
    test::TempDir dir;
    TextModel model(dir / "SYNOP", TextModel::TrimPolicy::MoveMark);
    // Everything appended is either still there or counted as deleted, and
    // what is left is the tail of it; CR LF is one character.
    std::string all;
    for (int i = 0; i < 12000; ++i) {
        std::string line = (std::to_string(i) + ":").append(40, '.');
        all += line + "\n";
        if (i % 3 == 0) {
            model.appendText(line + "\n");
        } else {
            model.text(line + (i % 3 == 1 ? "\r\n" : "\r"));
        }
        ASSERT_EQ(model.trimmedCount() + model.contents().size(), all.size()) << i;
    }
    EXPECT_GT(model.trimmedCount(), 0u);
    EXPECT_EQ(model.contents(), all.substr(static_cast<std::size_t>(model.trimmedCount())));
}

TEST(TextModelTrim, RangeKeepsFormatsAndClampsOffsets) {
    test::TempDir dir;
    TextModel model(dir / "SYNOP");
    model.text("abc\n");
    model.appendText("report\n");
    model.text("xyz");
    const RtfDocument part = model.rtfRange(2, 6);
    ASSERT_EQ(part.runs.size(), 2u);
    EXPECT_EQ(part.runs[0].text, "c\n");
    EXPECT_EQ(part.runs[0].format.colour, 0u);
    EXPECT_EQ(part.runs[1].text, "re");
    EXPECT_EQ(part.runs[1].format.colour, 0x000080u);
    EXPECT_EQ(model.rtfRange(0, 1000).plainText(), model.contents());
    EXPECT_TRUE(model.rtfRange(1000, 2000).runs.empty());
    EXPECT_TRUE(model.rtfRange(5, 3).runs.empty());
}

}  // namespace
}  // namespace zeb::weather
