// Timing of the matched Morse decoder: turns the lengths of key-down marks
// and of the gaps between them (in seconds) into letters, prosigns and word
// spaces.
//
// Every length is classified against clusters that follow the sender's own
// habits rather than the textbook ratios: the dot and dash lengths (from the
// recent marks, two medians in the log domain, so a speed change settles
// within a few letters), and the element, letter and word gaps as multiples
// of the unit (three clusters of the recent gaps: a hand sender's long letter
// gaps or Farnsworth spacing move the letter/word boundary with them). Dots
// and dashes part at the geometric mean of their clusters, words at the
// arithmetic mean of the letter and word gaps, letters in between.
//
// A letter is decided from its whole element sequence: an invalid sequence
// gets the cheapest repair: one element read the other way and/or a split at
// one inner gap, the cost being how close the changed decisions were to their
// boundaries.
//
// The text gets exactly one space between words and none before the first.
#pragma once

#include <array>
#include <string_view>

#include "common/TextSink.h"
#include "cw/SpacedText.h"

namespace zeb::cw {

class MorseTiming {
public:
    static constexpr double kMinDot = 0.020;  // 60 WPM
    static constexpr double kMaxDot = 0.240;  // 5 WPM
    static constexpr int kMaxElements = 10;   // longer runs are not characters

    explicit MorseTiming(TextSink& sink) : out_(sink) { restart(0.06); }

    // Starts over at this dot length: the letter in progress is dropped and
    // the clusters take their standard ratios (the letter and word gaps keep
    // theirs with `keepSpacing`: a sender's spacing in units does not change
    // with the speed). The text keeps its spacing state, so no space is
    // written twice.
    void restart(double dotSeconds, bool keepSpacing = false);

    // A mark of this length ended.
    void mark(double seconds);
    // The gap after the last mark has lasted this long; `final` when a mark
    // has begun and the gap is complete. Called as the gap grows (for the
    // letter and word timeouts) and once with final set.
    void gap(double seconds, bool final);
    // The signal ended: the letter in progress is written, and a word space
    // after it when `space` (a pause, not the end of the input).
    void finish(bool space);

    double dot() const { return dot_; }
    double dash() const { return dash_; }
    double elementGap() const { return elementGap_; }
    double letterGapUnits() const { return letterGap_; }
    double wordGapUnits() const { return wordGap_; }
    double wpm() const { return 1.2 / unit(); }
    // The timing unit: between the dot and the element gap, which a key
    // threshold a little off makes the one shorter and the other longer.
    double unit() const;
    // Boundaries in seconds: dot/dash, element/letter gap, letter/word gap.
    double markBoundary() const;
    double letterBoundary() const;
    double wordBoundary() const;

private:
    struct Element {
        bool dash = false;
        double margin = 0.0;     // log distance of the mark from the dot/dash boundary
        double gapMargin = 0.0;  // log distance of the gap before it below the letter boundary
    };
    void emitLetter();
    std::string_view repair(int n, std::string_view& second);
    void writePattern(std::string_view pattern);
    void learnMark(double seconds, bool dash);
    void learnGap(double ratio);

    SpacedText out_;
    double dot_ = 0.06, dash_ = 0.18;
    double elementGap_ = 0.06;  // seconds
    // Letter and word gaps as multiples of the unit.
    double letterGap_ = 3.0, wordGap_ = 7.0;

    std::array<Element, kMaxElements> letter_{};
    int elements_ = 0;
    bool overflow_ = false;  // more than kMaxElements marks without a letter gap
    double pendingGapMargin_ = 0.0;
    bool letterDone_ = true;  // the letter before the current gap has been written
    bool spaceDone_ = true;   // the current gap has written its word space

    // The last marks (log seconds) and gaps (log unit multiples).
    static constexpr int kMarkHistory = 24, kGapHistory = 48;
    std::array<double, kMarkHistory> marks_{};
    std::array<double, kGapHistory> gaps_{};
    std::array<double, kMarkHistory> sorted_{};
    int markCount_ = 0, gapCount_ = 0;
};

}  // namespace zeb::cw
