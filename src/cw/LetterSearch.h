// Reads the letters of a Morse signal by searching, on the mixed signal
// itself, the most likely sequence of letters and gaps, instead of cutting
// marks with a threshold first.
//
// Time runs on a grid of a sixth of the sender's unit. A path through the
// grid is a sequence of letters of the Morse table: each letter a sequence of
// marks (dots and dashes) and the element gaps between them, each length a
// whole number of grid steps near the sender's own, and any pause of at least
// the letter boundary between letters. A path scores the log-likelihood ratio
// of the signal with its marks against noise alone (the evidence of every
// mark over its whole length), less what its lengths lie off the sender's
// and a cost for every letter (more for punctuation and prosigns), so a
// noise bump must stand out clearly to become an "E". A Viterbi search over
// the Morse table as a tree (one state for every element sequence that
// begins a letter) keeps the best path into every state; letters are decided
// once they lie twenty units behind the newest sample (every path then
// agrees on them), or at the end.
//
// The search learns from the letters it decides: the sender's dot, dash and
// element gap and how much they vary (a machine's hardly, a hand sender's by
// some tenths), and from the pauses between letters the letter gap (their
// median: most pauses are letter gaps) and the word gap (the pauses clearly
// longer), so a Farnsworth sender's long letter gaps stay inside words.
//
// No allocation after construction.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/TextSink.h"
#include "cw/SpacedText.h"

namespace zeb::cw {

// The evidence for a mark: the log-likelihood ratio of a tone over
// [from, to) (baseband samples) against noise alone.
class MarkEvidence {
public:
    virtual ~MarkEvidence() = default;
    virtual double markEvidence(long long from, long long to) const = 0;
};

class LetterSearch {
public:
    // The sender's timing: lengths in baseband samples, the letter and word
    // gaps in units.
    struct Shape {
        double unit = 50.0, dot = 50.0, dash = 150.0, elementGap = 50.0;
        double letterGap = 3.0, wordGap = 7.0;
    };
    static constexpr int kStepsPerUnit = 8;
    static constexpr int kWindow = 128;    // grid steps of scores (the longest look back)
    static constexpr int kHistory = 2048;  // grid steps of decisions (256 units)
    static constexpr int kMaxNodes = 128;

    LetterSearch(TextSink& sink, const MarkEvidence& evidence);

    // Starts the search at baseband sample `origin`, on a grid for this
    // timing, and reads what there is up to `now`.
    void start(long long origin, long long now, const Shape& shape);
    // The timing as the key decisions see it: taken before the start, and
    // with `newSpeed` (another speed). The grid starts over from the last
    // letter decided when the unit moves more than 15 % from the grid's (the
    // letters not decided yet are read again at the new speed).
    void setShape(const Shape& shape, bool newSpeed = false);
    // Runs the grid up to this baseband sample.
    void advance(long long now);
    // Decides every letter of the best path so far and stops.
    void stop();
    // A pause: the next letter begins a new word.
    void space();
    bool running() const { return running_; }
    // The sender's dot as the search has learnt it (baseband samples).
    double dot() const { return shape_.dot; }
    // How well the best reading of [origin, end) at this timing explains the
    // signal (log-likelihood ratio against noise alone, less `letterCost` for
    // every letter), nothing written; the search is stopped afterwards.
    double trial(long long origin, long long end, const Shape& shape, double letterCost);

private:
    struct Node {
        int parent = 0;
        bool dash = false;
        bool hasChildren = false;
        std::string_view output;  // empty: begins letters only
        double rarity = 0.0;      // cost of the symbol beyond a letter's
    };
    // Lengths in grid steps near a nominal one, with the log prior of each.
    struct Lengths {
        int lo = 1, hi = 1;
        std::array<double, 32> cost{};
    };
    struct Found {
        long long start, end;
        int node;
    };
    struct Ending {
        double score;
        long long step;
        int node;  // of the letter just ended, or 0 in a pause
    };
    enum State { kPause, kMark, kGap };
    Ending bestEnding(long long k, bool final);
    struct Pause {
        long long from = -1;  // grid step where the letter before it ended
        int node = 0;
    };
    void buildTree();
    void restartGrid(long long origin);
    void newGrid();
    void useShape();
    void learnLengths(const Found& letter);
    void setLengths(Lengths& lengths, double nominalSteps) const;
    void step();
    void scoreMarks(long long k);
    void scoreGaps(long long k);
    void scorePause(long long k);
    void decide(long long upTo, bool final = false);
    int trace(long long k, bool final, std::array<Found, 96>& found);
    bool earlySpacing(const std::array<Found, 96>& found, int count);
    void writeLetter(const Found& letter);
    void learnPause(double units);
    void learnSpread(double ratio);
    void learnSpacing(const double* pauses, int n);
    double wordBoundary() const;
    long long timeOf(long long k) const;
    double& m(long long k, int n) { return marks_[slot(k)][static_cast<std::size_t>(n)]; }
    double& b(long long k, int n) { return gaps_[slot(k)][static_cast<std::size_t>(n)]; }
    double& pause(long long k) { return between_[slot(k)]; }
    static std::size_t slot(long long k) { return static_cast<std::size_t>(k & (kWindow - 1)); }
    static std::size_t row(long long k) { return static_cast<std::size_t>(k & (kHistory - 1)); }

    SpacedText out_;
    const MarkEvidence* evidence_;
    std::array<Node, kMaxNodes> nodes_{};
    int nodeCount_ = 1;

    bool running_ = false;
    Shape shape_;
    long long origin_ = 0;  // baseband sample of grid step 0
    double stepSamples_ = 10.0;
    double gridUnit_ = 50.0;  // the unit the grid was laid for
    bool relearnt_ = false;   // the lengths moved since they were last used
    long long next_ = 0;      // the next grid step to score
    Lengths dot_, dash_, elementGap_;
    int letterGap_ = 10;  // shortest gap between letters, in steps
    double letterCost_ = 3.0;
    double spread_ = 0.12, variance_ = 0.0144;  // of the lengths, relative

    std::array<std::array<double, kMaxNodes>, kWindow> marks_{};  // a mark just ended
    std::array<std::array<double, kMaxNodes>, kWindow> gaps_{};   // inside an element gap
    std::array<double, kWindow> between_{};                       // between letters
    std::array<std::array<std::uint8_t, kMaxNodes>, kHistory> markLength_{};
    std::array<std::array<std::uint8_t, kMaxNodes>, kHistory> gapLength_{};
    std::array<Pause, kHistory> pauseFrom_{};
    std::array<double, kWindow / 2> evidenceOf_{};  // of a mark ending at the step, by length

    long long decidedStep_ = -1;    // end of the last letter decided (grid step)
    long long decidedSample_ = -1;  // the same in baseband samples (survives a new grid)
    // The pauses between the letters decided (units), and the sender's letter
    // and word gaps from them.
    static constexpr int kPauses = 31, kFirstPauses = 8;
    std::array<double, kPauses> pauses_{};
    int pauseCount_ = 0;
    double letterUnits_ = 3.0, wordUnits_ = 7.0;
};

}  // namespace zeb::cw
