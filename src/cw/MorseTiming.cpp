#include "cw/MorseTiming.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "cw/MorseTable.h"

namespace zeb::cw {

namespace {

// A repair of a letter may cost at most this much: the changed decisions
// together lay within a factor of two of their boundaries.
constexpr double kMaxRepairCost = 0.7;
// Weights of a new length in the dot, dash and element gap, and of the
// clusters of the recent marks.
constexpr double kFollow = 0.05;
constexpr double kRecluster = 0.15;
// The table's own copy of an element pattern (views of it stay valid).
std::string_view patternOf(std::string_view elements) {
    for (const MorseEntry& entry : morseTable()) {
        if (entry.elements == elements) return entry.elements;
    }
    return {};
}

struct Clusters {
    double lo = 0.0, hi = 0.0;
    int nLo = 0, nHi = 0;
};

// Two clusters of a few values (logarithms of lengths), each represented by
// its median so that a few noise marks do not move it. `work` holds n values.
Clusters twoMedians(const double* v, int n, double* work) {
    std::copy(v, v + n, work);
    std::sort(work, work + n);
    Clusters c;
    const auto median = [&](int from, int to) {
        const int m = to - from;
        return m % 2 ? work[from + m / 2] : 0.5 * (work[from + m / 2 - 1] + work[from + m / 2]);
    };
    c.lo = work[0];
    c.hi = work[n - 1];
    int split = 0;
    for (int iteration = 0; iteration < 8; ++iteration) {
        const double at = 0.5 * (c.lo + c.hi);
        split = static_cast<int>(std::lower_bound(work, work + n, at) - work);
        if (split == 0 || split == n) break;
        c.lo = median(0, split);
        c.hi = median(split, n);
    }
    c.nLo = split;
    c.nHi = n - split;
    if (split == 0 || split == n) {
        c.lo = c.hi = median(0, n);
        c.nLo = split == 0 ? 0 : n;
        c.nHi = n - c.nLo;
    }
    return c;
}

double towards(double value, double target, double weight) {
    return std::exp(std::log(value) + weight * (target - std::log(value)));
}

}  // namespace

void MorseTiming::restart(double dotSeconds, bool keepSpacing) {
    dot_ = std::clamp(dotSeconds, kMinDot, kMaxDot);
    dash_ = 3.0 * dot_;
    elementGap_ = dot_;
    if (!keepSpacing) {
        letterGap_ = 3.0;
        wordGap_ = 7.0;
        gapCount_ = 0;
    }
    elements_ = 0;
    overflow_ = false;
    markCount_ = 0;
    letterDone_ = spaceDone_ = true;
}

double MorseTiming::unit() const { return std::sqrt(dot_ * elementGap_); }
// The element/letter boundary lies between the arithmetic and the geometric
// mean of the two clusters: noise moves the edges by about the same time
// whatever the gap, a hand sender's timing errors grow with the length.
static double mid(double a, double b) { return 0.25 * (a + b) + 0.5 * std::sqrt(a * b); }
// Dots and dashes part at the geometric mean: a hand sender's dashes vary
// three times as much as the dots.
double MorseTiming::markBoundary() const { return std::sqrt(dot_ * dash_); }
double MorseTiming::letterBoundary() const { return mid(elementGap_, letterGap_ * unit()); }
// Words part halfway between the letter and word gaps: senders stretch their
// letter gaps irregularly (beacons, keyers), and a word split costs more than
// two words run together.
double MorseTiming::wordBoundary() const { return unit() * 0.5 * (letterGap_ + wordGap_); }

void MorseTiming::mark(double seconds) {
    if (!(seconds > 0.0)) return;
    if (seconds > 8.0 * dash_) {
        // A tuning carrier or a stuck key: nothing to read, and nothing to
        // learn the speed from.
        elements_ = 0;
        overflow_ = false;
        letterDone_ = true;
        spaceDone_ = false;
        return;
    }
    const double boundary = markBoundary();
    const bool dash = seconds >= boundary;
    if (elements_ < kMaxElements) {
        letter_[static_cast<std::size_t>(elements_++)] =
            Element{dash, std::fabs(std::log(seconds / boundary)), pendingGapMargin_};
    } else {
        overflow_ = true;
    }
    pendingGapMargin_ = 0.0;
    letterDone_ = false;
    spaceDone_ = false;
    learnMark(seconds, dash);
}

void MorseTiming::gap(double seconds, bool final) {
    if (!letterDone_ && seconds >= letterBoundary()) {
        emitLetter();
        letterDone_ = true;
    }
    if (letterDone_ && !spaceDone_ && seconds >= wordBoundary()) {
        out_.writeSpace();
        spaceDone_ = true;
    }
    if (!final || !(seconds > 0.0)) return;
    const double ratio = seconds / unit();
    if (!letterDone_) {
        // A gap inside the letter: how sure that was, for the repair.
        pendingGapMargin_ = std::log(letterBoundary() / seconds);
        elementGap_ =
            std::clamp(towards(elementGap_, std::log(seconds), kFollow), 0.6 * dot_, 1.8 * dot_);
    }
    // Longer pauses say nothing about the sender's spacing.
    if (ratio < 40.0) learnGap(ratio);
}

void MorseTiming::finish(bool space) {
    if (!letterDone_) emitLetter();
    if (space) out_.writeSpace();
    letterDone_ = spaceDone_ = true;
}

void MorseTiming::learnMark(double seconds, bool dash) {
    const double l = std::log(seconds);
    marks_[static_cast<std::size_t>(markCount_++ % kMarkHistory)] = l;
    if (markCount_ >= 1'000'000) markCount_ = kMarkHistory;  // keeps the index finite
    // Marks far off both clusters are noise or run together: they would drag
    // the speed away, so only the history sees them.
    if (seconds >= 0.5 * dot_ && seconds <= 2.0 * dash_) {
        if (dash) {
            dash_ = towards(dash_, l, kFollow);
        } else {
            dot_ = towards(dot_, l, kFollow);
        }
    }
    const int n = std::min(markCount_, kMarkHistory);
    if (n >= 6) {
        const Clusters c = twoMedians(marks_.data(), n, sorted_.data());
        if (c.hi - c.lo >= std::log(2.0) && c.nLo >= 3 && c.nHi >= 3) {
            // Far from what was learnt (a start on a wrong guess, a new
            // sender): taken at once; otherwise followed gently.
            const bool far = std::fabs(c.lo - std::log(dot_)) > std::log(1.5);
            dot_ = towards(dot_, c.lo, far ? 1.0 : kRecluster);
            dash_ = towards(dash_, c.hi, far ? 1.0 : kRecluster);
            if (far) elementGap_ = dot_;
        } else if (c.nHi == 0 || c.nLo == 0 || c.hi - c.lo < std::log(2.0)) {
            // All recent marks alike, and far from what was learnt (a new
            // sender, or a start on a wrong guess): they are dashes when
            // longer than the dashes were, dots when shorter than the dots.
            const double typical = c.nHi >= c.nLo ? c.hi : c.lo;
            if (typical > std::log(2.0 * dash_)) {
                dash_ = std::exp(typical);
                dot_ = dash_ / 3.0;
            } else if (typical < std::log(0.5 * dot_)) {
                dot_ = std::exp(typical);
                dash_ = 3.0 * dot_;
            }
        }
    }
    dot_ = std::clamp(dot_, kMinDot, kMaxDot);
    dash_ = std::clamp(dash_, 2.0 * dot_, 4.5 * dot_);
    elementGap_ = std::clamp(elementGap_, 0.6 * dot_, 1.8 * dot_);
}

void MorseTiming::learnGap(double ratio) {
    gaps_[static_cast<std::size_t>(gapCount_++ % kGapHistory)] = std::log(ratio);
    if (gapCount_ >= 1'000'000) gapCount_ = kGapHistory;  // keeps the index finite
    const int n = std::min(gapCount_, kGapHistory);
    if (n < 8) return;
    // Three clusters of the recent gaps (log unit multiples), started from
    // the current element, letter and word gaps. Element gaps near the letter
    // boundary fall into their own cluster instead of dragging the letter gap
    // down; Farnsworth letter gaps, longer than a textbook word gap, get the
    // letter cluster when it would stay empty.
    std::array<double, 3> centre{std::log(elementGap_ / unit()), std::log(letterGap_),
                                 std::log(wordGap_)};
    std::array<int, 3> members{};
    for (int iteration = 0; iteration < 8; ++iteration) {
        std::array<double, 3> sum{};
        std::array<double, 3> lowest{1e9, 1e9, 1e9}, highest{-1e9, -1e9, -1e9};
        members = {};
        for (int i = 0; i < n; ++i) {
            const double v = gaps_[static_cast<std::size_t>(i)];
            std::size_t c = 0;
            for (std::size_t k = 1; k < 3; ++k) {
                if (std::fabs(v - centre[k]) < std::fabs(v - centre[c])) c = k;
            }
            sum[c] += v;
            ++members[c];
            lowest[c] = std::min(lowest[c], v);
            highest[c] = std::max(highest[c], v);
        }
        for (std::size_t k = 0; k < 3; ++k) {
            if (members[k] > 0) centre[k] = sum[k] / members[k];
        }
        if (members[1] == 0 && members[2] >= 2 && highest[2] - lowest[2] >= std::log(1.6)) {
            centre[1] = lowest[2];
        }
    }
    if (members[1] >= 2) letterGap_ = towards(letterGap_, centre[1], 0.5);
    if (members[2] >= 2) wordGap_ = towards(wordGap_, centre[2], 0.5);
    letterGap_ = std::clamp(letterGap_, 2.2, 20.0);
    wordGap_ = std::clamp(wordGap_, 1.6 * letterGap_, 60.0);
}

void MorseTiming::emitLetter() {
    const int n = elements_;
    elements_ = 0;
    if (n == 0) return;
    if (overflow_) {
        overflow_ = false;
        return;
    }
    std::array<char, kMaxElements> read{};
    for (int i = 0; i < n; ++i) {
        read[static_cast<std::size_t>(i)] = letter_[static_cast<std::size_t>(i)].dash ? '-' : '.';
    }
    const std::string_view pattern(read.data(), static_cast<std::size_t>(n));
    std::string_view second;
    writePattern(lookupMorse(pattern) ? patternOf(pattern) : repair(n, second));
    writePattern(second);
}

std::string_view MorseTiming::repair(int n, std::string_view& second) {
    // One element read the other way (or none), and/or a split at one inner
    // gap; the cheapest that yields Morse characters wins.
    std::array<char, kMaxElements> seq{};
    for (int i = 0; i < n; ++i) {
        seq[static_cast<std::size_t>(i)] = letter_[static_cast<std::size_t>(i)].dash ? '-' : '.';
    }
    const auto text = [&](int from, int to) {
        return std::string_view(seq.data() + from, static_cast<std::size_t>(to - from));
    };
    double bestCost = kMaxRepairCost;
    std::string_view first;
    second = {};
    for (int flip = -1; flip < n; ++flip) {
        const double flipCost = flip < 0 ? 0.0 : letter_[static_cast<std::size_t>(flip)].margin;
        if (flipCost >= bestCost) continue;
        if (flip >= 0) seq[static_cast<std::size_t>(flip)] ^= '-' ^ '.';
        if (flip >= 0 && lookupMorse(text(0, n))) {
            bestCost = flipCost;
            first = patternOf(text(0, n));
            second = {};
        }
        for (int split = 1; split < n; ++split) {
            const double cost = flipCost + letter_[static_cast<std::size_t>(split)].gapMargin;
            if (cost >= bestCost) continue;
            if (lookupMorse(text(0, split)) && lookupMorse(text(split, n))) {
                bestCost = cost;
                first = patternOf(text(0, split));
                second = patternOf(text(split, n));
            }
        }
        if (flip >= 0) seq[static_cast<std::size_t>(flip)] ^= '-' ^ '.';
    }
    return first;
}

void MorseTiming::writePattern(std::string_view pattern) {
    if (pattern.empty()) return;
    if (const auto out = lookupMorse(pattern)) out_.write(*out);
}

}  // namespace zeb::cw
