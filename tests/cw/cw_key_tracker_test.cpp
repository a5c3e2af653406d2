// Keying, element and word boundaries and speed tracking of the KeyTracker,
// driven with exact sample counts of tone and silence.
#include "cw/KeyTracker.h"
#include "support/MorseGenerator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zeb::cw {
namespace {

class Keyer {
public:
    Keyer() : tracker_(sink_) {}

    void run(bool tone, int n) {
        for (int i = 0; i < n; ++i) tracker_.sample(tone);
    }
    // A mark that the tracker measures as `length` tone samples: 100 tone
    // samples end the gap (uncounted), then `length`, then 100 silent ones.
    void mark(int length) {
        run(true, KeyTracker::kHysteresis + length);
        run(false, KeyTracker::kHysteresis);
    }
    // Continues the gap that a mark's end began with G = 1 until G = length.
    void gap(int length) { run(false, length - 1); }
    // The silence before the first mark, long enough not to count as a short gap.
    void lead() { run(false, 5000); }

    KeyTracker& tracker() { return tracker_; }
    std::string out() const { return sink_.collected(); }
    std::string reg() const { return std::string(tracker_.elements().elements()); }

private:
    StringTextSink sink_;
    KeyTracker tracker_;
};

TEST(CwKeyTrackerTest, StartsAtTwentySixWordsPerMinuteInAGap) {
    Keyer k;
    EXPECT_EQ(k.tracker().dotLength(), 500);
    EXPECT_EQ(k.tracker().dashLength(), 1500);
    EXPECT_TRUE(k.tracker().inGap());
    k.lead();
    EXPECT_EQ(k.out(), "");
    EXPECT_TRUE(k.tracker().elements().empty());
}

struct MarkCase {
    int length;
    const char* element;
};
class CwMarkLengthTest : public ::testing::TestWithParam<MarkCase> {};

// With a dot length of 500 a mark is a dash only above 1000 samples.
TEST_P(CwMarkLengthTest, ClassifiesAgainstTwoDotLengths) {
    Keyer k;
    k.lead();
    k.mark(GetParam().length);
    EXPECT_EQ(k.reg(), GetParam().element);
}
INSTANTIATE_TEST_SUITE_P(cwBoundary, CwMarkLengthTest,
                         ::testing::Values(MarkCase{300, "."}, MarkCase{999, "."},
                                           MarkCase{1000, "."}, MarkCase{1001, "-"},
                                           MarkCase{1500, "-"}, MarkCase{4000, "-"}));

struct GapCase {
    int gap;
    const char* output;
    const char* reg;
};
class CwGapLengthTest : public ::testing::TestWithParam<GapCase> {};

// Two dots (500 samples, the dot length) with a gap between: up to 2 dot
// lengths they form one character, above 2 the first is posted, above 5 a
// word space follows it.
TEST_P(CwGapLengthTest, EndsCharactersAndWords) {
    Keyer k;
    k.lead();
    k.mark(500);
    const std::string before = k.out();
    k.gap(GetParam().gap);
    k.mark(500);
    EXPECT_EQ(k.tracker().dotLength(), 500);
    EXPECT_EQ(k.out().substr(before.size()), GetParam().output);
    EXPECT_EQ(k.reg(), GetParam().reg);
}
INSTANTIATE_TEST_SUITE_P(cwBoundary, CwGapLengthTest,
                         ::testing::Values(GapCase{1000, "", ".."}, GapCase{1001, "E", "."},
                                           GapCase{2500, "E", "."}, GapCase{2501, "E ", "."},
                                           GapCase{4000, "E ", "."}));

TEST(CwKeyTrackerTest, OneWordSpaceAtTheTimeoutAndOneAtTheNextMark) {
    Keyer k;
    k.lead();
    k.mark(500);
    const std::string before = k.out();
    k.gap(8 * 500);  // G = 4000: not yet above 8 dot lengths
    EXPECT_EQ(k.out(), before);
    k.run(false, 1);  // G = 4001
    EXPECT_EQ(k.out(), before + "E ");
    EXPECT_TRUE(k.tracker().elements().empty());
    k.run(false, 100000);  // a longer silence posts nothing more
    EXPECT_EQ(k.out(), before + "E ");
    k.mark(1500);  // the empty register gives no character, only the space
    EXPECT_EQ(k.out(), before + "E  ");
    EXPECT_EQ(k.reg(), "-");
}

struct DropoutCase {
    std::vector<int> dropouts;  // silent samples inside one mark
    const char* reg;
};
class CwDropoutTest : public ::testing::TestWithParam<DropoutCase> {};

// Tone pieces of 400 samples separated by dropouts: while the dropouts stay
// under 100 samples in total the mark is one dash of 1200; at 100 in total it
// ends inside the dropout and its 800 samples make a dot.
TEST_P(CwDropoutTest, SplitsAMarkOnlyAtOneHundredSilentSamplesInTotal) {
    Keyer k;
    k.lead();
    k.run(true, KeyTracker::kHysteresis + 400);
    for (int d : GetParam().dropouts) {
        k.run(false, d);
        k.run(true, 400);
    }
    k.run(false, 2000);
    EXPECT_EQ(k.reg(), GetParam().reg);
}
INSTANTIATE_TEST_SUITE_P(
    cwHysteresis, CwDropoutTest,
    ::testing::Values(DropoutCase{{99, 0}, "-"}, DropoutCase{{50, 49}, "-"},
                      DropoutCase{{1, 1, 1, 96}, "-"},
                      // 60 + 40: the mark (800) ends, the last 400 form a new one
                      // only after 100 tone samples, leaving 300: a second dot.
                      DropoutCase{{60, 40}, ".."}, DropoutCase{{100}, ".."}));

TEST(CwKeyTrackerTest, ToneInsideAGapCountsDownCumulatively) {
    Keyer k;
    k.lead();
    k.mark(500);
    // 99 tone samples in short bursts do not start a mark; the 100th does.
    for (int i = 0; i < 33; ++i) {
        k.run(true, 3);
        k.run(false, 5);
    }
    EXPECT_TRUE(k.tracker().inGap());
    k.run(true, 1);
    EXPECT_FALSE(k.tracker().inGap());
    EXPECT_EQ(k.tracker().markLength(), 0);
}

TEST(CwKeyTrackerTest, NineDotsKeepTheLastEightAndDecodeAsI) {
    Keyer k;
    k.lead();
    for (int i = 0; i < 9; ++i) {
        k.mark(500);
        if (i < 8) k.gap(500);
    }
    EXPECT_EQ(k.reg(), "........");
    k.gap(5000);
    EXPECT_EQ(k.out(), "  <I>  ");  // word space of the lead, prosign, word space
}

TEST(CwKeyTrackerTest, UnknownSequenceProducesNothingAndEmptiesTheRegister) {
    Keyer k;
    k.lead();
    for (int i = 0; i < 6; ++i) {
        k.mark(1500);
        k.gap(500);
    }
    EXPECT_EQ(k.reg(), "------");
    k.gap(1600);  // G = 2099 in total: a character boundary, no word
    k.mark(500);
    EXPECT_EQ(k.out(), " ");
    EXPECT_EQ(k.reg(), ".");
    k.gap(5000);
    EXPECT_EQ(k.out(), " E ");
}

TEST(CwKeyTrackerTest, ShortMarksAndGapsPullTheDotLengthDown) {
    Keyer k;
    k.lead();
    k.mark(200);  // (200 + 2·500) / 3
    EXPECT_EQ(k.tracker().dotLength(), 400);
    k.gap(250);
    k.mark(1400);  // dash: (1400 + 2·1500) / 3; then the gap (250 + 2·400) / 3
    EXPECT_EQ(k.tracker().dashLength(), 1466);
    EXPECT_EQ(k.tracker().dotLength(), 350);
    EXPECT_EQ(k.reg(), ".-");
}

// Feeds perfectly keyed Morse (the generator's key intervals) sample by sample.
void keyText(KeyTracker& tracker, const std::vector<test::KeyInterval>& keys) {
    long t = 0;
    for (const auto& key : keys) {
        for (; t < key.start; ++t) tracker.sample(false);
        for (; t < key.start + key.length; ++t) tracker.sample(true);
    }
    for (int i = 0; i < 30000; ++i) tracker.sample(false);
}

struct SpeedCase {
    double wpm;
};
class CwSpeedTrackingTest : public ::testing::TestWithParam<SpeedCase> {};

// From the initial 26 WPM the tracker follows 12 and 35 WPM: after three
// words the dot estimate is near one unit less the 100 samples the
// hysteresis takes from every mark, and the rest of the text is exact.
TEST_P(CwSpeedTrackingTest, AdaptsWithinAFewWords) {
    StringTextSink sink;
    KeyTracker tracker(sink);
    test::MorseSignal s;
    s.wpm = GetParam().wpm;
    const std::string warmUp = "VVV VVV VVV ";
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";
    keyText(tracker, test::morseKeying(warmUp + text, s));
    const double unit = 1.2 / s.wpm * s.sampleRate;
    EXPECT_NEAR(tracker.dotLength(), unit - KeyTracker::kHysteresis, 0.1 * unit);
    const std::string got = test::normaliseSpaces(sink.collected());
    ASSERT_GE(got.size(), text.size());
    EXPECT_EQ(got.substr(got.size() - text.size()), text) << got;
}
INSTANTIATE_TEST_SUITE_P(cwWpm, CwSpeedTrackingTest,
                         ::testing::Values(SpeedCase{12.0}, SpeedCase{20.0}, SpeedCase{35.0}),
                         [](const ::testing::TestParamInfo<SpeedCase>& p) {
                             return std::to_string(static_cast<int>(p.param.wpm)) + "wpm";
                         });

}  // namespace
}  // namespace zeb::cw
