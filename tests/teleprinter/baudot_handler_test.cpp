// The ITA2 handler: shift state, table entries, line-end routing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RttyGenerator.h"
#include "teleprinter/CharacterHandlers.h"
#include "teleprinter/CodeTables.h"

namespace zeb::teleprinter {
namespace {

// Frame word of a 5-bit code: start bit (space) in bit 6, stop bit (mark) in bit 0.
int frameOf(int code) { return (code << 1) | 1; }

class Collect : public CharacterSink, public ShiftListener {
public:
    void character(std::uint8_t ch) override { scanned.push_back(static_cast<char>(ch)); }
    void shiftChanged(bool letters) override { shifts.push_back(letters); }
    std::string scanned;
    std::vector<bool> shifts;
};

struct Fixture {
    Fixture() { shift.setListener(&sink); }
    StringTextSink display;
    Collect sink;
    ShiftState shift;
    BaudotHandler handler{shift, {&display, &sink}};
};

TEST(BaudotHandler, StartsInFiguresShift) {
    Fixture f;
    EXPECT_EQ(f.handler.handle(frameOf(1)), 1);
    EXPECT_EQ(f.display.collected(), "5");
    EXPECT_TRUE(f.sink.shifts.empty());
}

TEST(BaudotHandler, FigsThreeLtrsE) {
    Fixture f;
    for (int code : {27, 16, 31, 16}) EXPECT_EQ(f.handler.handle(frameOf(code)), 1);
    EXPECT_EQ(f.display.collected(), "3E");
    EXPECT_EQ(f.sink.scanned, "3E");
    EXPECT_EQ(f.sink.shifts, (std::vector<bool>{false, true}));
    EXPECT_TRUE(f.shift.letters());
}

TEST(BaudotHandler, SpaceDoesNotReturnToLetters) {
    Fixture f;
    for (int code : {31, 27, 4, 1}) f.handler.handle(frameOf(code));
    EXPECT_EQ(f.display.collected(), " 5");
}

TEST(BaudotHandler, LineFeedShowsNewLineCarriageReturnOnlyScanned) {
    Fixture f;
    f.handler.handle(frameOf(31));
    for (int code : {1, 2, 8, 1}) f.handler.handle(frameOf(code));
    EXPECT_EQ(f.display.collected(), "T\rT");
    EXPECT_EQ(f.sink.scanned, "T\r\nT");
}

TEST(BaudotHandler, AllSpaceDataReportsZeroAndOutputsNothing) {
    Fixture f;
    EXPECT_EQ(f.handler.handle(frameOf(0)), 0);
    f.handler.handle(frameOf(31));
    EXPECT_EQ(f.handler.handle(frameOf(0)), 0);
    EXPECT_EQ(f.display.collected(), "");
    EXPECT_EQ(f.sink.scanned, "");
}

TEST(BaudotHandler, OnlyDataBitsSelectTheCharacter) {
    Fixture f;
    f.handler.handle(frameOf(31));
    // Start and stop bit in either state: still "E" (code 16).
    for (int frame : {0x20, 0x21, 0x60, 0x61}) f.handler.handle(frame);
    EXPECT_EQ(f.display.collected(), "EEEE");
}

struct FiguresEntry {
    int code;
    std::uint8_t ch;
};

class BaudotFigures : public ::testing::TestWithParam<FiguresEntry> {};

TEST_P(BaudotFigures, UnusualEntriesAsUsed) {
    EXPECT_EQ(kBaudotFigures[GetParam().code], GetParam().ch);
}

INSTANTIATE_TEST_SUITE_P(Table, BaudotFigures,
                         ::testing::Values(FiguresEntry{5, '_'}, FiguresEntry{22, '_'},
                                           FiguresEntry{11, 0x7C}, FiguresEntry{18, '#'},
                                           FiguresEntry{20, '\''}, FiguresEntry{26, 0x0E},
                                           FiguresEntry{0, kBaudotNone}));

// Text encoded from the ITA2 standard comes back unchanged through the tables.
TEST(BaudotHandler, DecodesEveryStandardCharacter) {
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n0123456789 -?:()'.,/=+";
    Fixture f;
    for (int code : test::ita2Codes(text)) f.handler.handle(frameOf(code));
    std::string expected = text;
    for (auto& c : expected) c = c == '\n' ? '\r' : c;
    EXPECT_EQ(f.display.collected(), expected);
}

}  // namespace
}  // namespace zeb::teleprinter
