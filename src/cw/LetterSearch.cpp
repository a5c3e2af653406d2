#include "cw/LetterSearch.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <utility>

#include "cw/MorseTable.h"

namespace zeb::cw {

namespace {

constexpr double kNone = -std::numeric_limits<double>::infinity();

// The best length of a mark or gap among those allowed: the largest
// score(length) less the length's cost, and that length.
template <class Lengths, class Score>
std::pair<double, int> bestLength(const Lengths& lengths, Score score) {
    double best = kNone;
    int arg = lengths.lo;
    for (int d = lengths.lo; d <= lengths.hi; ++d) {
        const double s = score(d) - lengths.cost[static_cast<std::size_t>(d - lengths.lo)];
        if (s > best) {
            best = s;
            arg = d;
        }
    }
    return {best, arg};
}
// What every letter costs (natural log): a noise bump becomes a letter only
// when it is this much more likely with a tone than without. Punctuation
// costs more, prosigns and rare signs more still.
constexpr double kLetterCost = 4.5;
constexpr double kCommonSign = 1.5, kRareSign = 4.0;
// A length's spread at first, as a part of its nominal length, and its
// limits once learnt from the lengths read (a machine's lengths vary by the
// grid step, a hand sender's by some tenths); at least this many grid steps.
constexpr double kSpread = 0.12, kLeastSpread = 0.07, kMostSpread = 0.2;
constexpr double kMinSpread = 0.5;
// Letters are decided this many units behind the newest sample.
constexpr int kLagUnits = 20;
// A new grid when the unit moves more than this (log).
constexpr double kNewGrid = 0.15;
// Pauses longer than this (units) say nothing about the sender's spacing.
constexpr double kLongestPause = 60.0;
// Weight of a length read in the sender's lengths.
constexpr double kLearn = 0.03;

// What a symbol costs beyond a letter (natural log): texts are mostly
// letters and digits, some common punctuation, now and then a prosign or a
// rarer sign; the long patterns of the rare ones are what noise or a lost
// letter gap most often makes up.
double rarity(std::string_view output) {
    if (output.size() == 1 && std::isalnum(static_cast<unsigned char>(output[0]))) return 0.0;
    if (output.size() == 1 && std::string_view("=/?.,").find(output[0]) != std::string_view::npos) {
        return kCommonSign;
    }
    return kRareSign;
}

}  // namespace

LetterSearch::LetterSearch(TextSink& sink, const MarkEvidence& evidence)
    : out_(sink), evidence_(&evidence) {
    buildTree();
}

void LetterSearch::buildTree() {
    // Every element sequence that begins a table pattern is a node; a child
    // always comes after its parent.
    std::array<std::array<int, 2>, kMaxNodes> child{};
    nodeCount_ = 1;
    for (const MorseEntry& entry : morseTable()) {
        int n = 0;
        for (const char e : entry.elements) {
            const int which = e == '-' ? 1 : 0;
            auto& next = child[static_cast<std::size_t>(n)][static_cast<std::size_t>(which)];
            if (next == 0 && nodeCount_ < kMaxNodes) {
                next = nodeCount_++;
                nodes_[static_cast<std::size_t>(next)] = Node{n, which == 1, false, {}};
                nodes_[static_cast<std::size_t>(n)].hasChildren = true;
            }
            n = next;
        }
        nodes_[static_cast<std::size_t>(n)].output = entry.output;
        nodes_[static_cast<std::size_t>(n)].rarity = rarity(entry.output);
    }
}

long long LetterSearch::timeOf(long long k) const {
    return origin_ + std::llround(static_cast<double>(k) * stepSamples_);
}

void LetterSearch::setLengths(Lengths& lengths, double nominal) const {
    const double spread = std::max(kMinSpread, spread_ * nominal);
    const int maxCount = static_cast<int>(lengths.cost.size());
    lengths.lo = std::max(1, static_cast<int>(std::floor(nominal - 2.0 * spread)));
    lengths.hi = std::clamp(static_cast<int>(std::ceil(nominal + 2.0 * spread)), lengths.lo,
                            std::min(lengths.lo + maxCount - 1, kWindow / 2 - 2));
    for (int d = lengths.lo; d <= lengths.hi; ++d) {
        const double z = (d - nominal) / spread;
        lengths.cost[static_cast<std::size_t>(d - lengths.lo)] = 0.5 * z * z;
    }
}

void LetterSearch::start(long long origin, long long now, const Shape& shape) {
    spread_ = kSpread;
    variance_ = kSpread * kSpread;
    letterCost_ = kLetterCost;
    shape_ = shape;
    letterUnits_ = shape.letterGap;
    wordUnits_ = shape.wordGap;
    pauseCount_ = 0;
    decidedSample_ = -1;
    running_ = true;
    restartGrid(origin);
    // The seconds already there are read as a whole before any letter is
    // decided: their pauses tell the sender's spacing.
    while (timeOf(next_) <= now) step();
    decide(next_ - 1 - kLagUnits * kStepsPerUnit);
}

void LetterSearch::restartGrid(long long origin) {
    origin_ = origin;
    stepSamples_ = std::max(1.0, shape_.unit / kStepsPerUnit);
    gridUnit_ = shape_.unit;
    next_ = 0;
    decidedStep_ = -1;
    for (auto& s : marks_) s.fill(kNone);
    for (auto& s : gaps_) s.fill(kNone);
    between_.fill(kNone);
    // Before the first step: a pause, from which a letter may begin.
    pause(-1) = 0.0;
    pauseFrom_[row(-1)] = Pause{};
    useShape();
}

void LetterSearch::setShape(const Shape& shape, bool newSpeed) {
    // The search learns the lengths from the letters it reads; the timing's
    // count only before the start and when they tell of another speed.
    if (!running_ || newSpeed) {
        shape_ = shape;
        if (running_) newGrid();
    }
}

void LetterSearch::newGrid() {
    // The letters behind the delay are decided at the old speed; the rest is
    // read again on a grid for the new one.
    decide(next_ - 1 - kLagUnits * kStepsPerUnit);
    const long long now = timeOf(next_);
    const auto back = static_cast<long long>(2.0 * kLagUnits * shape_.unit);
    restartGrid(std::max({decidedSample_, origin_, now - back}));
}

void LetterSearch::useShape() {
    if (std::fabs(std::log(shape_.unit / gridUnit_)) > kNewGrid) {
        newGrid();
        return;
    }
    setLengths(dot_, shape_.dot / stepSamples_);
    setLengths(dash_, shape_.dash / stepSamples_);
    setLengths(elementGap_, shape_.elementGap / stepSamples_);
    // Letters part between the element gap and the letter gap (in units, of
    // the pauses read), nearer the shorter.
    const double gap = shape_.elementGap, letter = letterUnits_ * shape_.unit;
    const double boundary = 0.25 * (gap + letter) + 0.5 * std::sqrt(gap * letter);
    letterGap_ = std::clamp(static_cast<int>(std::lround(boundary / stepSamples_)),
                            elementGap_.hi + 1, kWindow - 2);
}

void LetterSearch::advance(long long now) {
    while (running_ && timeOf(next_) <= now) {
        step();
        if (next_ % kStepsPerUnit == 0) {
            decide(next_ - 1 - kLagUnits * kStepsPerUnit);
            if (relearnt_) {
                relearnt_ = false;
                useShape();
            }
        }
    }
}

void LetterSearch::step() {
    const long long k = next_;
    scoreMarks(k);
    scoreGaps(k);
    scorePause(k);
    ++next_;
}

void LetterSearch::scoreMarks(long long k) {
    // The evidence of a mark ending at this step, for every length allowed.
    const long long end = timeOf(k);
    for (const Lengths* lengths : {&dot_, &dash_}) {
        for (int d = lengths->lo; d <= lengths->hi; ++d) {
            evidenceOf_[static_cast<std::size_t>(d)] =
                k - d >= -1 ? evidence_->markEvidence(timeOf(k - d), end) : 0.0;
        }
    }
    const auto r = row(k);
    for (int n = 1; n < nodeCount_; ++n) {
        const Node& node = nodes_[static_cast<std::size_t>(n)];
        const Lengths& lengths = node.dash ? dash_ : dot_;
        const auto [best, arg] = bestLength(lengths, [&](int d) {
            const double before = node.parent == 0 ? pause(k - d) : b(k - d, node.parent);
            return before + evidenceOf_[static_cast<std::size_t>(d)];
        });
        m(k, n) = best;
        markLength_[r][static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(arg);
    }
}

void LetterSearch::scoreGaps(long long k) {
    const auto r = row(k);
    for (int n = 1; n < nodeCount_; ++n) {
        if (!nodes_[static_cast<std::size_t>(n)].hasChildren) continue;
        const auto [best, arg] = bestLength(elementGap_, [&](int g) { return m(k - g, n); });
        b(k, n) = best;
        gapLength_[r][static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(arg);
    }
}

void LetterSearch::scorePause(long long k) {
    // A pause goes on for free, or begins where a letter ended a letter gap
    // ago.
    double best = pause(k - 1);
    Pause from = pauseFrom_[row(k - 1)];
    const long long ended = k - letterGap_;
    for (int n = 1; n < nodeCount_; ++n) {
        if (nodes_[static_cast<std::size_t>(n)].output.empty()) continue;
        const double s = m(ended, n) - letterCost_ - nodes_[static_cast<std::size_t>(n)].rarity;
        if (s > best) {
            best = s;
            from = Pause{ended, n};
        }
    }
    pause(k) = best;
    pauseFrom_[row(k)] = from;
}

LetterSearch::Ending LetterSearch::bestEnding(long long k, bool final) {
    // In a pause at step k, or, at the end of the signal, just past a letter
    // whose gap has not run out yet.
    Ending best{pause(k), k, 0};
    for (long long e = final ? k - letterGap_ + 1 : k + 1; e <= k; ++e) {
        for (int c = 1; c < nodeCount_; ++c) {
            if (nodes_[static_cast<std::size_t>(c)].output.empty()) continue;
            const double score = m(e, c) - letterCost_ - nodes_[static_cast<std::size_t>(c)].rarity;
            if (score > best.score) best = Ending{score, e, c};
        }
    }
    return best;
}

double LetterSearch::trial(long long origin, long long end, const Shape& shape, double letterCost) {
    letterCost_ = letterCost;
    shape_ = shape;
    letterUnits_ = shape.letterGap;
    running_ = false;
    restartGrid(origin);
    while (timeOf(next_) <= end) step();
    return next_ > 0 ? bestEnding(next_ - 1, true).score : 0.0;
}

int LetterSearch::trace(long long k, bool final, std::array<Found, 96>& found) {
    // From the best state at step k back along the decisions.
    const Ending ending = bestEnding(k, final);
    auto type = ending.node == 0 ? kPause : kMark;
    int n = ending.node;
    long long letterEnd = ending.step;
    int letterNode = ending.node;
    k = ending.step;
    int count = 0;
    while (k > next_ - kHistory && k >= -1) {
        if (type == kPause) {
            const Pause p = pauseFrom_[row(k)];
            if (p.from < 0 || p.from <= decidedStep_ || p.from <= next_ - kHistory) break;
            letterEnd = k = p.from;
            letterNode = n = p.node;
            type = kMark;
        } else if (type == kMark) {
            k -= markLength_[row(k)][static_cast<std::size_t>(n)];
            n = nodes_[static_cast<std::size_t>(n)].parent;
            type = n == 0 ? kPause : kGap;
            if (n == 0 && count < static_cast<int>(found.size())) {
                found[static_cast<std::size_t>(count++)] = Found{k, letterEnd, letterNode};
            }
        } else {
            k -= gapLength_[row(k)][static_cast<std::size_t>(n)];
            type = kMark;
        }
    }
    return count;
}

void LetterSearch::decide(long long upTo, bool final) {
    if (next_ == 0) return;
    std::array<Found, 96> found{};
    const int count = trace(next_ - 1, final, found);
    // Letters wait while the sender's spacing is not known yet, as long as
    // the oldest of them stays well inside the decisions kept.
    const bool known = pauseCount_ >= kFirstPauses || earlySpacing(found, count);
    if (!known && !final && count > 0 &&
        found[static_cast<std::size_t>(count - 1)].end > next_ - kHistory / 2) {
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        const Found& letter = found[static_cast<std::size_t>(i)];
        if (letter.end > upTo) break;
        if (letter.start <= decidedStep_) continue;
        writeLetter(letter);
        decidedStep_ = letter.end;
    }
}

bool LetterSearch::earlySpacing(const std::array<Found, 96>& found, int count) {
    // Too few pauses decided yet to know the sender's spacing: those of the
    // letters read so far, decided or not, tell it once there are three.
    std::array<double, kPauses> pauses{};
    std::copy_n(pauses_.begin(), pauseCount_, pauses.begin());
    int n = pauseCount_;
    for (int i = count - 1; i > 0 && n < kPauses; --i) {
        const auto gap = timeOf(found[static_cast<std::size_t>(i - 1)].start) -
                         timeOf(found[static_cast<std::size_t>(i)].end);
        const double units = static_cast<double>(gap) / shape_.unit;
        if (units > 0.0 && units <= kLongestPause) pauses[static_cast<std::size_t>(n++)] = units;
    }
    if (n < 3) return false;
    learnSpacing(pauses.data(), n);
    return true;
}

void LetterSearch::writeLetter(const Found& letter) {
    const long long start = timeOf(letter.start);
    if (decidedSample_ >= 0) {
        const double units = static_cast<double>(start - decidedSample_) / shape_.unit;
        if (units >= wordBoundary()) out_.writeSpace();
        learnPause(units);
    }
    out_.write(nodes_[static_cast<std::size_t>(letter.node)].output);
    decidedSample_ = timeOf(letter.end);
    learnLengths(letter);
}

void LetterSearch::learnLengths(const Found& letter) {
    // The lengths of the letter's marks and gaps as the search chose them
    // pull the sender's lengths their way, so the unit follows the sender
    // even where the key decisions are too noisy to.
    long long k = letter.end;
    int n = letter.node;
    while (n != 0) {
        const Node& node = nodes_[static_cast<std::size_t>(n)];
        const double mark = markLength_[row(k)][static_cast<std::size_t>(n)] * stepSamples_;
        double& learnt = node.dash ? shape_.dash : shape_.dot;
        learnSpread(mark / learnt);
        learnt += kLearn * (mark - learnt);
        k -= markLength_[row(k)][static_cast<std::size_t>(n)];
        n = node.parent;
        if (n == 0) break;
        const double gap = gapLength_[row(k)][static_cast<std::size_t>(n)] * stepSamples_;
        learnSpread(gap / shape_.elementGap);
        shape_.elementGap += kLearn * (gap - shape_.elementGap);
        k -= gapLength_[row(k)][static_cast<std::size_t>(n)];
    }
    shape_.dash = std::clamp(shape_.dash, 2.0 * shape_.dot, 4.5 * shape_.dot);
    shape_.elementGap = std::clamp(shape_.elementGap, 0.6 * shape_.dot, 1.8 * shape_.dot);
    shape_.unit = 0.5 * (shape_.dot + shape_.elementGap);
    relearnt_ = true;
}

void LetterSearch::learnSpread(double ratio) {
    const double d = ratio - 1.0;
    variance_ += kLearn * (d * d - variance_);
    spread_ = std::clamp(std::sqrt(variance_), kLeastSpread, kMostSpread);
}

void LetterSearch::learnPause(double units) {
    if (!(units > 0.0) || units > kLongestPause) return;
    pauses_[static_cast<std::size_t>(pauseCount_++ % kPauses)] = units;
    if (pauseCount_ >= 1'000'000) pauseCount_ = kPauses;
    const int n = std::min(pauseCount_, kPauses);
    if (n >= kFirstPauses) learnSpacing(pauses_.data(), n);
}

void LetterSearch::learnSpacing(const double* pauses, int n) {
    // Most pauses in a text are letter gaps: their median is the sender's
    // letter gap (a noise letter now and then, or a word gap, moves it
    // little), and word gaps are longer by the textbook ratio.
    std::array<double, kPauses> sorted{};
    n = std::min(n, kPauses);
    std::copy_n(pauses, n, sorted.begin());
    std::sort(sorted.begin(), sorted.begin() + n);
    letterUnits_ = sorted[static_cast<std::size_t>((n - 1) / 2)];
    // The word gaps: the median of the pauses clearly longer than letter
    // gaps, when there are a few; a hand sender's may be nearer his letter
    // gaps than the textbook's.
    const auto longer = std::upper_bound(sorted.begin(), sorted.begin() + n, 1.5 * letterUnits_);
    const auto count = sorted.begin() + n - longer;
    wordUnits_ = count >= 3 ? std::clamp(longer[count / 2], 1.6 * letterUnits_, 4.0 * letterUnits_)
                            : letterUnits_ * 7.0 / 3.0;
}

double LetterSearch::wordBoundary() const { return 0.5 * (letterUnits_ + wordUnits_); }

void LetterSearch::stop() {
    if (!running_) return;
    decide(next_ - 1, true);
    running_ = false;
}

void LetterSearch::space() {
    out_.writeSpace();
    decidedSample_ = -1;
}

}  // namespace zeb::cw
