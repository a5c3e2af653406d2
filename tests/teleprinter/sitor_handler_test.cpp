// The SITOR-B handler: slot alternation, repair from the first transmission,
// shifts and service signals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RttyGenerator.h"
#include "teleprinter/CharacterHandlers.h"
#include "teleprinter/CodeTables.h"

namespace zeb::teleprinter {
namespace {

constexpr int kAlpha = 0x78, kBeta = 0x33, kRep = 0x66, kBlank = 0x2B;
constexpr int kLtrs = 0x2D, kFigs = 0x36, kCr = 0x0F, kLf = 0x1B, kSpace = 0x1D;
constexpr int kE = 0x35, kT = 0x17, kH = 0x4B, kA = 0x71;
constexpr int kInvalid = 0x7F;

class Framer : public CharacterSink {
public:
    void character(std::uint8_t ch) override { text.push_back(static_cast<char>(ch)); }
    void characterLost() override { ++lost; }
    std::string text;
    int lost = 0;
};

struct Fixture {
    StringTextSink display;
    Framer framer;
    ShiftState shift;
    SitorHandler handler{shift, {&display, &framer}};

    std::vector<int> feed(const std::vector<int>& words) {
        std::vector<int> results;
        for (int w : words) results.push_back(handler.handle(w));
        return results;
    }
};

// Interleaves words the way a collective-FEC transmitter does, after
// phasing: DX slot i carries word i, the following RX slot word i − 2.
std::vector<int> interleave(const std::vector<int>& words) {
    return test::fecSlots(words, 2, false);
}

TEST(SitorHandler, StandardTextRoundTrips) {
    const std::string text =
        "ZCZC THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n0123456789 -?:().,/=+";
    Fixture f;
    f.feed(test::fecSlots(test::ccir476Words(text), 4, false));
    std::string expected = text;
    for (auto& c : expected) c = c == '\n' ? '\r' : c;
    EXPECT_EQ(f.display.collected(), expected);
    EXPECT_EQ(f.framer.text, expected);
}

TEST(SitorHandler, CorruptRepetitionTakenFromFirstTransmission) {
    Fixture f;
    auto slots = interleave({kLtrs, kT, kE, kA, kT});
    // Find the repetition of "E" (the second slot carrying it) and destroy it.
    int seen = 0;
    for (auto& s : slots) {
        if (s == kE && ++seen == 2) s = kInvalid;
    }
    ASSERT_EQ(seen, 2);
    f.feed(slots);
    EXPECT_EQ(f.display.collected(), "TEAT");
}

TEST(SitorHandler, BothCopiesLostGiveNothing) {
    Fixture f;
    auto slots = interleave({kLtrs, kT, kE, kA, kT});
    for (auto& s : slots) s = s == kE ? kInvalid : s;
    const auto results = f.feed(slots);
    EXPECT_EQ(f.display.collected(), "TAT");
    int invalid = 0;
    for (int r : results) invalid += r == 0 ? 1 : 0;
    EXPECT_EQ(invalid, 2);
    EXPECT_EQ(f.framer.lost, 1);  // the framer hears of the lost "E" once
    // A word decided from both copies is never reported lost.
    f.handler.decided(kH);
    EXPECT_EQ(f.framer.lost, 1);
}

TEST(SitorHandler, FiguresDigitThreeDoesNotDisturbAlternation) {
    Fixture f;
    f.feed(interleave({kLtrs, kT, kFigs, kE, kE, kLtrs, kE, kT}));
    EXPECT_EQ(f.display.collected(), "T33ET");
    EXPECT_TRUE(f.shift.letters());
}

TEST(SitorHandler, LettersOnlyWordsInvalidInFigures) {
    for (int w : {0x4B, 0x56, 0x65, 0x6C}) {  // H G D F
        EXPECT_NE(kSitorLetters[w], 0) << w;
        EXPECT_EQ(kSitorFigures[w], 0) << w;
    }
    Fixture f;
    f.feed(interleave({kFigs, kH, kT}));
    EXPECT_EQ(f.display.collected(), "5");
}

TEST(SitorHandler, BetaRealignsTheAlternation) {
    Fixture f;
    // The handler starts out of step: slots 1, 3 … are taken as repetitions.
    f.feed({kInvalid});
    ASSERT_EQ(f.handler.history().back().first, 1);
    f.handler.handle(kInvalid);
    ASSERT_EQ(f.handler.history().back().first, 0);
    // β in a slot the handler took for a repetition makes it a first
    // transmission, and the next slot a repetition.
    f.handler.handle(kBeta);
    EXPECT_EQ(f.handler.history().back().first, 1);
    f.handler.handle(kAlpha);
    EXPECT_EQ(f.handler.history().back().first, 0);
}

TEST(SitorHandler, ServiceSignalsHiddenBlankShownAsStar) {
    Fixture f;
    f.feed(interleave({kLtrs, kRep, kT, kBlank, kCr, kLf, kSpace, kE}));
    EXPECT_EQ(f.display.collected(), "T*\r E");
    EXPECT_EQ(f.framer.text, "T*\r E");
}

TEST(SitorHandler, ValidityFollowsTheCurrentShift) {
    Fixture f;
    EXPECT_EQ(f.handler.handle(kInvalid), 0);
    EXPECT_EQ(f.handler.handle(kH), 0);  // figures shift at start
    EXPECT_EQ(f.handler.handle(kT), 1);
    EXPECT_EQ(f.handler.handle(kAlpha), 1);
}

TEST(SitorHandler, ShiftIsKeptInTheHistoryNotTakenFromButtons) {
    Fixture f;
    f.shift.set(true);  // the LTRS button
    f.feed(interleave({kT}));
    EXPECT_EQ(f.display.collected(), "5");
}

}  // namespace
}  // namespace zeb::teleprinter
