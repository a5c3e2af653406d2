#include "cw/MatchedCwReceiver.h"

#include "cw/MorseTable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace zeb::cw {

namespace {

constexpr long long kAudioMask = MatchedCwReceiver::kAudioRing - 1;
constexpr long long kBaseMask = MatchedCwReceiver::kBaseRing - 1;
constexpr double kHopSeconds = CwToneTracker::kHop / CwToneTracker::kSampleRate;
constexpr int kSettleHops = 8;

// Runs shorter than this part of a dot are taken as noise and absorbed by the
// run around them.
constexpr double kMinRun = 0.2;
// The key goes down where a tone of 55 % of the signal's amplitude would
// bring the magnitude on average, up at 45 %: halfway, so marks and gaps keep
// their lengths however strong the noise.
constexpr double kOnFraction = 0.5, kOffFraction = 0.4;
// No key decisions while the signal's power is not this many times the
// noise's (after the dot filter).
constexpr double kOpenRatio = 2.0;
// A mark's energy summed over its length must be this many times what noise
// alone gives on average.
constexpr double kMinMarkEnergy = 3.0;
// Weight of a magnitude in the noise power: some seconds of gaps, since the
// magnitudes of one dot length are alike and the letters are read with this
// power as the yardstick.
constexpr double kNoiseWeight = 0.0003;
constexpr double kNoiseStart = 200.0;  // weight of the start's estimate, in magnitudes
// Magnitudes of noise alone follow a Rayleigh law: the mean is 1.876 times the
// 20th percentile.
constexpr double kRayleighMeanOverP20 = 1.876;
// The blocks summed coherently for the evidence of a mark: short ones while
// the phase is not known from the marks around (a long block of a slow
// reading would then gain from the tone of several fast elements and their
// gaps), whole marks when it is and the tone is held to a fraction of a hertz.
constexpr double kBlockUnits = 1.6, kBlockSeconds = 0.1;
constexpr double kPhasedBlockUnits = 3.5, kPhasedBlockSeconds = 0.3;
// A speed check looks for another speed only in a window with this many
// marks, or keyed this part of the time (elements run together), that fits
// the speed in use less than this.
constexpr int kCheckMarks = 8;
constexpr double kBusy = 0.3, kGoodFit = 0.75;
// The timing's unit and the letters' this far apart (log): one of them is
// lost.
constexpr double kDrift = 0.22;
// Readings at different speeds are compared with every letter costing this
// much, and this part of what a dot scores.
constexpr double kReadingLetterCost = 3.0, kReadingDotShare = 0.5;

// ln I0(x) for x >= 0, from the polynomial approximations of Abramowitz and
// Stegun (9.8.1, 9.8.2; relative error below 2e-7).
double logBesselI0(double x) {
    if (x < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return std::log(
            1.0 + t * (3.5156229 +
                       t * (3.0899424 +
                            t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
    }
    const double t = 3.75 / x;
    const double p =
        0.39894228 +
        t * (0.01328592 +
             t * (0.00225319 +
                  t * (-0.00157565 +
                       t * (0.00916281 +
                            t * (-0.02057706 +
                                 t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(p);
}

// The concentration κ of a von Mises law whose mean resultant length (the
// mean cosine of the angle) is r (Best and Fisher's approximation).
double concentration(double r) {
    if (r <= 0.0) return 0.0;
    if (r < 0.53) return 2.0 * r + r * r * r + 5.0 * std::pow(r, 5) / 6.0;
    if (r < 0.85) return -0.4 + 1.39 * r + 0.43 / (1.0 - r);
    return 1.0 / std::max(r * r * r - 4.0 * r * r + 3.0 * r, 1e-3);
}

double firstDot(double learnt) { return learnt > 0.0 ? learnt : 0.05; }

// The magnitude of a tone of amplitude `fraction`·A in noise: a Rice law,
// whose mean is close to sqrt(ν² + σ²) with σ² half the noise power.
double threshold(double fraction, double signalPower, double noisePower) {
    return std::sqrt(fraction * fraction * signalPower + 0.5 * noisePower);
}

// The dot length from the marks and gaps of a few seconds (in seconds): the
// shorter of two clearly separate mark clusters; with one cluster only, dots
// when it is about as long as the shortest gaps, dashes when three times.
double estimateDot(const double* marks, int nMarks, const double* gaps, int nGaps, double guess) {
    if (nMarks < 3) return guess;
    double lo = 1e9, hi = 0.0;
    for (int i = 0; i < nMarks; ++i) {
        lo = std::min(lo, marks[i]);
        hi = std::max(hi, marks[i]);
    }
    double dots = 0.0, dashes = 0.0;
    int nDots = 0, nDashes = 0;
    for (int iteration = 0; iteration < 8; ++iteration) {
        const double split = std::sqrt(lo * hi);
        double sumLo = 0.0, sumHi = 0.0;
        nDots = nDashes = 0;
        for (int i = 0; i < nMarks; ++i) {
            if (marks[i] < split) {
                sumLo += std::log(marks[i]);
                ++nDots;
            } else {
                sumHi += std::log(marks[i]);
                ++nDashes;
            }
        }
        if (nDots == 0 || nDashes == 0) break;
        dots = std::exp(sumLo / nDots);
        dashes = std::exp(sumHi / nDashes);
        lo = dots;
        hi = dashes;
    }
    if (nDots > 0 && nDashes > 0 && dashes >= 2.0 * dots) return dots;
    double all = 0.0;
    for (int i = 0; i < nMarks; ++i) all += std::log(marks[i]);
    const double typical = std::exp(all / nMarks);
    double shortestGap = typical;
    if (nGaps > 0) shortestGap = *std::min_element(gaps, gaps + nGaps);
    return typical > 2.0 * shortestGap ? typical / 3.0 : typical;
}

}  // namespace

MatchedCwReceiver::MatchedCwReceiver(TextSink& sink)
    : timing_(discard_), search_(sink, *this), probe_(discard_, *this) {
    setSearch(true, 1000.0, 100.0);
    reset();
}

void MatchedCwReceiver::setSearch(bool automatic, double centerHz, double widthHz) {
    automatic_ = automatic;
    centerHz_ = centerHz;
    widthHz_ = std::max(widthHz, 10.0);
    if (automatic_) {
        tracker_.setBand(200.0, 3000.0);
    } else {
        tracker_.setBand(centerHz_ - widthHz_, centerHz_ + widthHz_);
    }
}

void MatchedCwReceiver::reset() {
    if (locked_) unlock();
    tracker_.reset();
    audioCount_ = decodedUpTo_ = 0;
    hop_ = 0;
    candidateHops_ = rivalHops_ = 0;
    envelope_ = 0.0f;
    publish();
}

void MatchedCwReceiver::process(const float* samples, int count) {
    for (int i = 0; i < count; ++i) {
        const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        audio_[static_cast<std::size_t>(audioCount_ & kAudioMask)] = x;
        ++audioCount_;
        if (locked_) {
            mix(x);
            decodedUpTo_ = audioCount_;
        }
        if (++hop_ >= CwToneTracker::kHop) {
            hop_ = 0;
            if (audioCount_ >= CwToneTracker::kSize) analyseHop();
        }
    }
    publish();
}

void MatchedCwReceiver::finish() {
    // A tone about to be taken is taken now, with what there is.
    if (!locked_ && candidateHops_ >= 2) lock(candidateHz_);
    if (locked_ && live_ && keyDown_) {
        endRun(baseCount_);
        keyDown_ = false;
    }
    releaseMark();
    timing_.finish(false);
    search_.advance(baseCount_);
    search_.stop();
}

void MatchedCwReceiver::analyseHop() {
    const long long start = audioCount_ - CwToneTracker::kSize;
    for (int i = 0; i < CwToneTracker::kSize; ++i) {
        frame_[static_cast<std::size_t>(i)] =
            audio_[static_cast<std::size_t>((start + i) & kAudioMask)];
    }
    tracker_.analyse(frame_.data());
    if (!locked_) {
        // A few spectra first: a single one has noise peaks as strong as a
        // weak tone.
        const auto peak = tracker_.frames() >= 4 ? tracker_.strongest() : std::nullopt;
        if (peak && peak->strengthDb >= kLockDb) {
            candidateHops_ = candidateHops_ > 0 && std::fabs(peak->hz - candidateHz_) < 10.0
                                 ? candidateHops_ + 1
                                 : 1;
            candidateHz_ = peak->hz;
            // Taken after 1.5 s more, so the speed and the levels are found
            // from enough marks; the ring still holds the first of them.
            if (candidateHops_ >= 2 + kSettleHops) lock(candidateHz_);
        } else {
            candidateHops_ = 0;
        }
        return;
    }
    const auto held = tracker_.near(tone_, 15.0);
    if (held && held->strengthDb >= kHoldDb) {
        weakSeconds_ = 0.0;
        // Nearby the loop on the phase follows the tone more closely than
        // the spectra can; they move it only when they see a strong tone in
        // one place elsewhere for a second (in a pause, noise peaks near the
        // tone come and go some hertz off it).
        const bool away = std::fabs(held->hz - tone_) > kFllRangeHz &&
                          held->strengthDb >= kLockDb &&
                          (awayHops_ == 0 || std::fabs(held->hz - awayHz_) < 2.0);
        awayHops_ = away ? awayHops_ + 1 : 0;
        awayHz_ = held->hz;
        if (awayHops_ >= 6) {
            setTone(held->hz);
            awayHops_ = 0;
        }
    } else {
        weakSeconds_ += kHopSeconds;
        if (weakSeconds_ >= kLoseSeconds) {
            unlock();
            return;
        }
    }
    if (automatic_) {
        // A clearly stronger keyed tone elsewhere for a second takes over.
        const auto rival = tracker_.strongest();
        if (rival && std::fabs(rival->hz - tone_) > 30.0 &&
            rival->strengthDb > (held ? held->strengthDb : 0.0) + 6.0) {
            if (++rivalHops_ >= 6) {
                unlock();
                lock(rival->hz);
            }
        } else {
            rivalHops_ = 0;
        }
    }
}

void MatchedCwReceiver::setTone(double hz) {
    tone_ = hz;
    step_ = std::polar(1.0, 2.0 * std::numbers::pi * hz / kSampleRate);
}

void MatchedCwReceiver::lock(double hz) {
    const double previousTone = tone_;
    locked_ = true;
    weakSeconds_ = 0.0;
    rivalHops_ = candidateHops_ = 0;
    // The audio still held, mixed at the new tone; the decisions start where
    // the last ones ended. The spectra give the tone to a few hertz in much
    // noise, the phase of the mixed signal to a tenth of one: the tone is
    // refined from it, first over short blocks (a wide range), then long.
    const long long from = std::max(0LL, audioCount_ - kAudioRing);
    remix(hz, from);
    for (const int block : {32, kFllBlock}) remix(tone_ + residualHz(block), from);
    const long long replayFrom = std::max(decodedUpTo_, from);
    decodedUpTo_ = audioCount_;
    const bool sameStation = std::fabs(previousTone - tone_) < 20.0;
    estimateStart((replayFrom - from) / kDecimation, sameStation);
}

void MatchedCwReceiver::remix(double hz, long long from) {
    setTone(hz);
    phasor_ = {1.0, 0.0};
    dump_ = {};
    dumped_ = 0;
    baseCount_ = 0;
    total_ = {};
    live_ = false;
    fll_ = fllBefore_ = {};
    driftHz_ = 0.0;
    turns_ = {};
    turnSizes_ = 0.0;
    keyedUpTo_ = 0;
    levelHops_ = 0;
    for (long long i = from; i < audioCount_; ++i) {
        mix(audio_[static_cast<std::size_t>(i & kAudioMask)]);
    }
}

double MatchedCwReceiver::residualHz(int block) const {
    // The key switches the tone but keeps its phase: consecutive block sums
    // turn by the offset left after mixing, weighted by the tone in both.
    const long long blocks = std::min(baseCount_, kBaseRing - 1LL) / block;
    const long long first = baseCount_ - blocks * block;
    std::complex<double> turn{}, before{};
    for (long long k = 0; k < blocks; ++k) {
        const long long end = first + (k + 1) * block;
        const std::complex<double> sum = cumulativeAt(end - 1) - cumulativeAt(end - 1 - block);
        if (k > 0) turn += sum * std::conj(before);
        before = sum;
    }
    return std::arg(turn) * kRate / (2.0 * std::numbers::pi * block);
}

void MatchedCwReceiver::followPhase() {
    // A frequency-locked loop on the mixed signal: consecutive block sums
    // turn by what the tone lies off the mixer. Of second order, so a tone
    // drifting at a steady rate is followed without lag; it keeps the tone
    // within a tenth of a hertz, so the phase of the marks around a mark
    // tells the phase of that mark.
    const std::complex<double> sum =
        cumulativeAt(baseCount_ - 1) - cumulativeAt(baseCount_ - 1 - kFllBlock);
    fll_ += 0.1 * (sum * std::conj(fllBefore_) - fll_);
    fllBefore_ = sum;
    // In a pause the products are noise of random phase: the loop then
    // hardly moves (what noise alone gives is the yardstick).
    const double strength = std::abs(fll_);
    const double noise = kFllBlock * std::max(noise_ * boxcar_, 1e-30);
    if (strength <= 0.0) return;
    const double weight = strength / (strength + noise);
    const double error = std::arg(fll_) * kRate / (2.0 * std::numbers::pi * kFllBlock);
    driftHz_ = std::clamp(driftHz_ + 0.0005 * weight * error, -kMaxDrift, kMaxDrift);
    setTone(tone_ + 0.05 * weight * error + driftHz_);
}

void MatchedCwReceiver::unlock() {
    if (live_ && keyDown_) endRun(baseCount_);
    releaseMark();
    keyDown_ = false;
    pending_ = 0;
    anyMark_ = false;
    // The tone is gone: the letter in progress is complete, and the pause
    // separates words.
    timing_.finish(true);
    search_.stop();
    search_.space();
    locked_ = false;
    live_ = false;
    candidateHops_ = 0;
}

void MatchedCwReceiver::mix(float x) {
    dump_ += static_cast<double>(x) * std::conj(phasor_);
    phasor_ *= step_;
    if (++dumped_ == kDecimation) {
        phasor_ /= std::abs(phasor_);
        const auto z = dump_ / static_cast<double>(kDecimation);
        pushBase({static_cast<float>(z.real()), static_cast<float>(z.imag())});
        dump_ = {};
        dumped_ = 0;
    }
}

void MatchedCwReceiver::pushBase(std::complex<float> z) {
    base_[static_cast<std::size_t>(baseCount_ & kBaseMask)] = z;
    total_ += std::complex<double>(z);
    cumulative_[static_cast<std::size_t>(baseCount_ & kBaseMask)] = total_;
    ++baseCount_;
    if (!live_) return;
    sum_ += std::complex<double>(z);
    if (baseCount_ > boxcar_) {
        sum_ -= std::complex<double>(
            base_[static_cast<std::size_t>((baseCount_ - 1 - boxcar_) & kBaseMask)]);
    }
    // Rounding errors of the running sum are cleared now and then.
    if ((baseCount_ & kBaseMask) == 0) setBoxcar(boxcarDot_);
    if (baseCount_ % kSpeedCheck == 0) checkSpeed();
    if (baseCount_ % kFllBlock == 0) followPhase();
    const double a = std::abs(sum_) / boxcar_;
    envelope_ = static_cast<float>(a);
    decide(a, baseCount_ - 1);
    search_.advance(baseCount_ - searchDelay());
}

void MatchedCwReceiver::setBoxcar(double dotSeconds) {
    const int previous = boxcar_;
    boxcarDot_ = dotSeconds;
    boxcar_ = std::clamp(static_cast<int>(std::lround(0.9 * dotSeconds * kRate)), 4, kReplay / 4);
    minRun_ = std::max(2, static_cast<int>(std::lround(kMinRun * dotSeconds * kRate)));
    // The noise power falls with the length summed.
    noise_ *= static_cast<double>(previous) / boxcar_;
    sum_ = {};
    for (long long i = std::max(0LL, baseCount_ - boxcar_); i < baseCount_; ++i) {
        sum_ += std::complex<double>(base_[static_cast<std::size_t>(i & kBaseMask)]);
    }
}

int MatchedCwReceiver::magnitudes(int stride) {
    const long long first = boxcar_ - 1;
    const int count = static_cast<int>(std::max(0LL, window_ - first) / stride);
    for (int k = 0; k < count; ++k) {
        const auto end = static_cast<std::size_t>(first + k * stride + 1);
        scratch_[static_cast<std::size_t>(k)] = static_cast<float>(
            std::abs(prefix_[end] - prefix_[end - static_cast<std::size_t>(boxcar_)]) / boxcar_);
    }
    return count;
}

void MatchedCwReceiver::levels(int count, double& signalPower, double& noisePower) {
    std::copy_n(scratch_.begin(), count, sorted_.begin());
    const auto nth = [&](double q) {
        const auto at = sorted_.begin() + static_cast<std::ptrdiff_t>(q * (count - 1));
        std::nth_element(sorted_.begin(), at, sorted_.begin() + count);
        return static_cast<double>(*at);
    };
    const double noise = kRayleighMeanOverP20 * nth(0.2);
    noisePower = 4.0 / std::numbers::pi * noise * noise;
    const double top = nth(0.97);
    signalPower = std::max(0.0, top * top - noisePower);
}

MatchedCwReceiver::Trial MatchedCwReceiver::tryDot(double dot, const Ratios& sender) {
    Trial trial;
    trial.dot = dot;
    boxcar_ = std::clamp(static_cast<int>(std::lround(0.9 * dot * kRate)), 4, kReplay / 4);
    const int count = magnitudes(stride_);
    if (count < 16) return trial;
    levels(count, trial.signal, trial.noise);
    if (trial.signal < kOpenRatio * trial.noise) return trial;
    // The runs of these seconds at a threshold halfway, short ones absorbed.
    const double on = threshold(kOnFraction, trial.signal, trial.noise);
    const double off = threshold(kOffFraction, trial.signal, trial.noise);
    const double rate = kRate / stride_;
    const int minRun = std::max(2, static_cast<int>(std::lround(kMinRun * dot * rate)));
    bool down = false, firstRun = true;
    long long run = 0;
    int pending = 0;
    double fitting = 0.0, total = 0.0;
    for (int k = 0; k < count; ++k) {
        const double a = scratch_[static_cast<std::size_t>(k)];
        const bool above = down ? a >= off : a >= on;
        if (above == down) {
            run += pending + 1;
            pending = 0;
            continue;
        }
        if (++pending < minRun) continue;
        // The first run began before these seconds: its length is unknown.
        if (!firstRun) {
            const double seconds = static_cast<double>(run) / rate;
            auto& list = down ? trial.marks : trial.gaps;
            auto& n = down ? trial.nMarks : trial.nGaps;
            if (n < static_cast<int>(list.size())) list[static_cast<std::size_t>(n++)] = seconds;
            if (down) trial.keyed += seconds;
            // How much of the time fits Morse timing at this dot, and how
            // closely: marks of 1 or 3 dots or the sender's dash, gaps of 1,
            // 3 or 7 dots or the sender's own; pauses aside.
            const double units = seconds / dot;
            if (down || units < std::max(15.0, 1.5 * sender.wordGap)) {
                const auto near = [&](std::initializer_list<double> lengths) {
                    double d = 1e9;
                    for (const double l : lengths) d = std::min(d, std::fabs(std::log(units / l)));
                    return d;
                };
                const double distance = down ? near({1.0, 3.0, sender.dash})
                                             : near({1.0, 3.0, 7.0, sender.elementGap,
                                                     sender.letterGap, sender.wordGap});
                total += seconds;
                fitting += seconds * std::max(0.0, 1.0 - distance / 0.35);
            }
        }
        firstRun = false;
        down = above;
        run = pending;
        pending = 0;
    }
    if (trial.nMarks >= 4 && total > 0.0) trial.fit = fitting / total;
    return trial;
}

void MatchedCwReceiver::loadWindow() {
    // The last seconds of the baseband, summed from their start.
    window_ = std::min<long long>(baseCount_, kReplay);
    const long long start = baseCount_ - window_;
    const std::complex<double> before = cumulativeAt(start - 1);
    prefix_[0] = {};
    for (long long i = 0; i < window_; ++i) {
        prefix_[static_cast<std::size_t>(i + 1)] = cumulativeAt(start + i) - before;
    }
}

double MatchedCwReceiver::searchSpeed(double& bestFit, const Ratios& sender) {
    // The speed that makes the window look most like Morse, from 5 to 60 WPM
    // in steps of a fourth of an octave, then refined from its runs. Of
    // speeds that fit about as well, the fastest: a filter too short for the
    // dots costs a little signal, one too long runs the elements together
    // and would never find the right speed again.
    std::array<double, 16> dots{}, fits{};
    int tried = 0;
    bestFit = 0.0;
    for (double dot = MorseTiming::kMinDot; dot <= MorseTiming::kMaxDot * 1.01 && tried < 16;
         dot *= std::pow(2.0, 0.25)) {
        const auto k = static_cast<std::size_t>(tried++);
        dots[k] = dot;
        fits[k] = tryDot(dot, sender).fit;
        bestFit = std::max(bestFit, fits[k]);
    }
    for (int i = 0; i < tried && bestFit > 0.0; ++i) {
        if (fits[static_cast<std::size_t>(i)] >= 0.85 * bestFit) {
            const Trial best = tryDot(dots[static_cast<std::size_t>(i)], sender);
            return std::clamp(
                estimateDot(best.marks.data(), best.nMarks, best.gaps.data(), best.nGaps, best.dot),
                best.dot / 1.3, best.dot * 1.3);
        }
    }
    return 0.0;
}

void MatchedCwReceiver::checkSpeed() {
    // The key decisions' lengths drift in much noise, and the search may
    // settle on a speed that reads its own letters consistently but wrongly:
    // when the two disagree, the speed whose best reading explains the last
    // seconds better is taken by both.
    const double learnt = search_.dot() / kRate;
    if (search_.running() && std::fabs(std::log(learnt / timing_.unit())) > kDrift) {
        const double cost = letterCost(std::sqrt(learnt * timing_.unit()));
        const long long from = baseCount_ - window_;
        if (readingScore(learnt, from, baseCount_, cost) >
            readingScore(timing_.unit(), from, baseCount_, cost)) {
            timing_.restart(learnt, true);
            setBoxcar(timing_.unit());
        } else {
            search_.setShape(shape(), true);
        }
        proposedDot_ = 0.0;
        return;
    }
    // A sender who changes speed a lot leaves the filter too long (the
    // elements run together and the timing never sees the new dots) or too
    // short: every second the window is searched again, and a speed that
    // fits clearly better than the one in use is taken.
    const int inUse = boxcar_;
    const double noise = noise_;
    // Every other magnitude is enough to tell speeds apart.
    stride_ = 2;
    loadWindow();
    // The sender's own ratios, as multiples of the dot.
    const double perDot = timing_.unit() / timing_.dot();
    const Ratios sender{timing_.dash() / timing_.dot(), timing_.elementGap() / timing_.dot(),
                        timing_.letterGapUnits() * perDot, timing_.wordGapUnits() * perDot};
    const Trial current = tryDot(timing_.dot(), sender);
    const double now = current.fit;
    double bestFit = 0.0;
    // A window with few marks at the speed in use is mostly a pause (or a
    // fade): its noise fits some other speed better, but says nothing; and
    // a window that fits the speed in use well keeps it.
    const bool doubtful =
        (current.nMarks >= kCheckMarks || current.keyed > kBusy * kReplay / kRate) &&
        now < kGoodFit;
    const double dot = doubtful ? searchSpeed(bestFit, sender) : 0.0;
    boxcar_ = inUse;
    noise_ = noise;
    stride_ = 1;
    // The sender's spacing stays. Letters cost the same in both readings.
    const double between = std::sqrt(std::max(dot, 1e-3) * timing_.dot());
    const bool better =
        dot > 0.0 && bestFit > now + 0.2 && std::fabs(std::log(dot / timing_.dot())) > 0.47;
    // Two checks in a row must agree, and the letters must say so too.
    if (better && proposedDot_ > 0.0 && std::fabs(std::log(dot / proposedDot_)) < 0.2 &&
        readingScore(dot, baseCount_ - window_, baseCount_, letterCost(between)) >
            readingScore(timing_.dot(), baseCount_ - window_, baseCount_, letterCost(between))) {
        timing_.restart(dot, true);
        setBoxcar(timing_.unit());
        search_.setShape(shape(), true);
        proposedDot_ = 0.0;
    } else {
        proposedDot_ = better ? dot : 0.0;
    }
}

double MatchedCwReceiver::readingScore(double dot, long long from, long long to, double cost) {
    LetterSearch::Shape shape;
    shape.unit = shape.dot = shape.elementGap = dot * kRate;
    shape.dash = 3.0 * shape.dot;
    return probe_.trial(from, to, shape, cost);
}

double MatchedCwReceiver::letterCost(double dot) const {
    // Speeds are compared with every letter costing some of what a dot at
    // `dot` scores: a reading too fast splits the marks into many letters of
    // little tone each, and at a good signal the templates tile the marks
    // about as well at any speed.
    const double variance = std::max(noise_ * boxcar_, 1e-30);
    return kReadingLetterCost + kReadingDotShare * std::max(signal_, 0.0) * dot * kRate / variance;
}

double MatchedCwReceiver::bestReading(double dot, long long from, long long to) {
    // The speed found and every speed from 5 to 60 WPM in steps of a fourth
    // of an octave.
    dot = std::clamp(dot, MorseTiming::kMinDot, MorseTiming::kMaxDot);
    const double cost = letterCost(dot);
    double best = dot, bestScore = readingScore(dot, from, to, cost);
    for (double other = MorseTiming::kMinDot; other <= MorseTiming::kMaxDot * 1.01;
         other *= std::pow(2.0, 0.25)) {
        const double score = readingScore(other, from, to, cost);
        if (score > bestScore) {
            best = other;
            bestScore = score;
        }
    }
    return best;
}

void MatchedCwReceiver::measureLevels() {
    double signal = 0.0, noise = 0.0;
    const int count = magnitudes(1);
    if (count >= 16) levels(count, signal, noise);
    signal_ = signal;
    noise_ = noise;
    noiseSeen_ = 0;
}

void MatchedCwReceiver::estimateStart(long long replayFrom, bool sameStation) {
    const long long n = baseCount_;
    loadWindow();
    double bestFit = 0.0;
    double dot = searchSpeed(bestFit, Ratios{});
    if (dot <= 0.0) dot = firstDot(sameStation ? timing_.unit() : 0.0);
    // Of that speed and its neighbours, the one whose best reading explains
    // the window best: long letter gaps or a few merged marks may make the
    // run lengths fit another speed nearly as well, the letters do not.
    setBoxcar(dot);
    measureLevels();
    if (signal_ > kOpenRatio * noise_) dot = bestReading(dot, n - window_, n);
    // The same sender again keeps the spacing learnt; the estimate is a
    // mark length, like the timing's dot.
    if (!sameStation || std::fabs(std::log(dot / timing_.dot())) > 0.4) timing_.restart(dot);
    // The levels with the filter now in use.
    setBoxcar(timing_.unit());
    measureLevels();
    keyDown_ = false;
    runStart_ = std::max<long long>(replayFrom, boxcar_ - 1);
    pending_ = 0;
    markHeld_ = false;
    anyMark_ = false;
    live_ = true;
    for (long long i = runStart_; i < n; ++i) {
        const double a = magnitudeAt(i);
        envelope_ = static_cast<float>(a);
        decide(a, i);
    }
    setBoxcar(boxcarDot_);
    // The letters of these seconds, at the speed and spacing they taught;
    // at the speed chosen above when their key decisions strayed from it.
    LetterSearch::Shape taught = shape();
    const double stray = dot * kRate / taught.unit;
    if (std::fabs(std::log(stray)) > kDrift) {
        for (double* length : {&taught.unit, &taught.dot, &taught.dash, &taught.elementGap}) {
            *length *= stray;
        }
    }
    search_.start(replayFrom, n - searchDelay(), taught);
}

void MatchedCwReceiver::decide(double a, long long index) {
    if (index % kLevelHop == 0) {
        followLevel(index);
        recordLevel(index);
    }
    const bool open = signal_ > kOpenRatio * noise_;
    const bool above =
        open && a >= threshold(keyDown_ ? kOffFraction : kOnFraction, signal_, noise_);
    // The magnitude is of the dot filter ending here: it tells of the
    // sample half a filter back.
    markKeyed(index - boxcar_ / 2, above);
    if (above != keyDown_) {
        if (++pending_ >= minRun_) {
            // The run ends where the threshold was first crossed.
            endRun(index - pending_ + 1);
            keyDown_ = above;
            runStart_ = index - pending_ + 1;
            pending_ = 0;
        }
    } else {
        pending_ = 0;
    }
    if (keyDown_) return;
    // The gap so far, in the time of the signal (the filter delays by half
    // its length, the same for every edge); samples past a crossing that may
    // begin a mark are not counted yet.
    const long long now = index - pending_ - boxcar_ / 2;
    if (markHeld_ && static_cast<double>(now - heldTo_) / kRate > 1.5 * timing_.unit()) {
        // Too long for a dropout inside a mark: the held mark is final.
        reportHeld();
        markHeld_ = false;
    }
    const double gapSeconds = static_cast<double>(now - lastMarkTo_) / kRate;
    if (!markHeld_ && anyMark_) timing_.gap(gapSeconds, false);
    if (pending_ == 0 && index - runStart_ > 2 * boxcar_) {
        // Inside a gap, clear of the smear of the marks around it: the
        // magnitude of one filter length ago (a mark that begins now has not
        // reached it), the mark before more than a filter length behind.
        // A magnitude far above the noise (the tail of a mark the key
        // decisions missed) counts only as a strong noise sample: noise alone
        // exceeds six times its mean power a quarter per cent of the time.
        const double past = magnitudeAt(index - boxcar_);
        // The first seconds are averaged evenly: the start's estimate, from
        // percentiles of a window mostly keyed, is rough.
        const double seen = static_cast<double>(noiseSeen_++);
        const double weight = std::max(kNoiseWeight, 1.0 / (kNoiseStart + seen));
        noise_ += weight * (std::min(past * past, 6.0 * noise_) - noise_);
    }
}

void MatchedCwReceiver::followLevel(long long index) {
    // The signal's level from the magnitudes of the last seconds (ten units,
    // and long enough for two letters with the sender's letter gaps) that
    // stand above the key threshold: the upper quarter of them lies inside
    // the marks however much of the window the pauses fill, so the level
    // follows a fade within a second and a long letter gap does not take it
    // down.
    const long long window = levelWindow();
    const long long first = std::max<long long>(boxcar_ - 1, index - window + 1);
    const int count = static_cast<int>(index - first + 1);
    if (count < 4 * boxcar_) return;
    const double on = threshold(kOnFraction, signal_, noise_);
    int keyed = 0;
    for (int k = 0; k < count; ++k) {
        const double a = magnitudeAt(first + k);
        if (a >= on) sorted_[static_cast<std::size_t>(keyed++)] = static_cast<float>(a);
    }
    // Hardly a mark in the window (a pause between words or overs, or a fade
    // deeper than the threshold): down by 3 dB a second, so the first letter
    // after a pause does not drown in noise marks and a fade is still
    // followed; the squelch closes in a long pause all the same.
    if (keyed < std::max(boxcar_, count / 30)) {
        signal_ *= std::pow(10.0, -0.1 * 3.0 * kLevelHop / kRate);
        return;
    }
    const auto at = sorted_.begin() + static_cast<std::ptrdiff_t>(0.75 * (keyed - 1));
    std::nth_element(sorted_.begin(), at, sorted_.begin() + keyed);
    const double top = *at;
    // Up at once; down by at most 20 dB a second.
    const double target = std::max(0.0, top * top - noise_);
    const double floor = signal_ * std::pow(10.0, -0.1 * 20.0 * kLevelHop / kRate);
    signal_ = std::max(signal_ + 0.5 * (target - signal_), floor);
}

long long MatchedCwReceiver::levelWindow() const {
    const double units = std::max(8.0, 2.0 * timing_.letterGapUnits() + 4.0);
    return std::clamp(static_cast<long long>(units * timing_.unit() * kRate),
                      static_cast<long long>(0.6 * kRate), static_cast<long long>(kLevelWindow));
}

void MatchedCwReceiver::recordLevel(long long index) {
    const long long hop = index / kLevelHop;
    levels_[static_cast<std::size_t>(hop & (kLevels - 1))] = std::log(std::max(signal_, 1e-30));
    if (levelHops_ == 0) firstLevelHop_ = hop;
    levelHops_ = hop + 1;
}

double MatchedCwReceiver::levelAround(long long index) const {
    // The level at a mark, for the letters: the mean (in decibels) of the
    // levels followed from a second around it. The level followed at a
    // moment describes the window before it, so the levels taken are those
    // half a window later; the mean is symmetric, so a fade (a steady slope
    // over the second) is followed without lag.
    const long long centre = (index + levelWindow() / 2) / kLevelHop;
    const long long reach = std::llround(kLevelSpan * kRate / kLevelHop);
    const long long first = std::max({centre - reach, levelHops_ - kLevels + 1, firstLevelHop_});
    const long long last = std::min(centre + reach, levelHops_ - 1);
    if (levelHops_ == 0 || last < first) return signal_;
    double sum = 0.0;
    for (long long h = first; h <= last; ++h)
        sum += levels_[static_cast<std::size_t>(h & (kLevels - 1))];
    return std::exp(sum / static_cast<double>(last - first + 1));
}

std::complex<double> MatchedCwReceiver::cumulativeAt(long long index) const {
    return index < 0 ? std::complex<double>{}
                     : cumulative_[static_cast<std::size_t>(index & kBaseMask)];
}

double MatchedCwReceiver::magnitudeAt(long long index) const {
    return std::abs(cumulativeAt(index) - cumulativeAt(index - boxcar_)) / boxcar_;
}

bool MatchedCwReceiver::held(long long from, long long to) const {
    return to > from && from >= 0 && from >= baseCount_ - kBaseRing + 1 && to <= baseCount_;
}

double MatchedCwReceiver::toneEnergy(long long from, long long to) const {
    // |sum|² / (L σ²): 1 on average for noise alone, L·A²/σ² for a tone.
    if (!held(from, to)) return 0.0;
    const double magnitude = std::abs(cumulativeAt(to - 1) - cumulativeAt(from - 1));
    const double variance = std::max(noise_ * boxcar_, 1e-30);  // per baseband sample
    return magnitude * magnitude / (static_cast<double>(to - from) * variance);
}

MatchedCwReceiver::PhaseReference MatchedCwReceiver::phaseReference(long long from,
                                                                    long long to) const {
    // A tone keyed by switching it on and off keeps its phase from mark to
    // mark, so the baseband summed over the marks around a mark points where
    // the mark's own sum should point. The sums of the W₁ samples before and
    // the W₂ after that the key decisions took as marks hold about q·W₁ and
    // q·W₂ keyed ones of amplitude A; their product has the mean q²W₁W₂A²
    // when the phase carries over and 0 when every mark starts with a phase
    // of its own (a keyed oscillator), which gives qA. The phase of the mark
    // then has a von Mises law around the direction of the whole sum R with
    // concentration 2·q·(W₁+W₂)·A·|R| / (Wσ²). Noise only, a phase that
    // wanders, or nothing on one side: no phase known.
    const auto span = std::llround(kReferenceSeconds * kRate);
    const long long first = std::max({0LL, from - span, baseCount_ - kBaseRing + 1});
    const long long last = std::min(to + span, keyedUpTo_);
    if (!held(from, to) || first >= from || last <= to) return {};
    const Keyed before = keyedAt(from - 1) - keyedAt(first - 1);
    const Keyed after = keyedAt(last - 1) - keyedAt(to - 1);
    if (before.count < 1.0 || after.count < 1.0) return {};
    const double agreement = std::real(before.sum * std::conj(after.sum));
    if (agreement <= 0.0) return {};
    const double samples = before.count + after.count;
    const double keyed = std::sqrt(agreement / (before.count * after.count)) * samples;
    const std::complex<double> sum = before.sum + after.sum;
    const double magnitude = std::abs(sum);
    const double spread = samples * std::max(noise_ * boxcar_, 1e-30);
    // The phase of a mark also strays from the reference by what the
    // channel and the sender do to it (a drift, a phase that depends on the
    // gap before the mark): as measured on the last marks, a von Mises law of
    // its own, whose concentration adds to the noise's as variances add.
    // The continuity measured holds the noise of each mark's own sum too,
    // and so understates the channel's concentration: it counts three times.
    const double noiseKappa = 2.0 * keyed * magnitude / spread;
    const double channelKappa = 3.0 * concentration(continuity());
    if (noiseKappa <= 0.0 || channelKappa <= 0.0) return {};
    return {sum / magnitude, 1.0 / (1.0 / noiseKappa + 1.0 / channelKappa)};
}

void MatchedCwReceiver::followContinuity(long long from, long long to) {
    // How well the marks before a mark tell its phase: the mean of the
    // products of each mark's sum with the sum of the marks in the half
    // second before it, against the mean of their magnitudes, over the last
    // ten marks or so. Near 1 for a tone keyed on and off (less in much
    // noise); low when each mark starts with a phase of its own, or with
    // one that depends on the gap before it.
    const long long first =
        std::max({0LL, from - std::llround(kReferenceSeconds * kRate), baseCount_ - kBaseRing + 1});
    if (!held(from, to) || first >= from || from > keyedUpTo_) return;
    const std::complex<double> sum = cumulativeAt(to - 1) - cumulativeAt(from - 1);
    const std::complex<double> before = (keyedAt(from - 1) - keyedAt(first - 1)).sum;
    if (before == std::complex<double>{}) return;
    turns_ += 0.1 * (sum * std::conj(before) - turns_);
    turnSizes_ += 0.1 * (std::abs(sum) * std::abs(before) - turnSizes_);
}

double MatchedCwReceiver::continuity() const {
    return turnSizes_ > 0.0 ? std::abs(turns_) / turnSizes_ : 0.0;
}

MatchedCwReceiver::Keyed MatchedCwReceiver::keyedAt(long long index) const {
    return index < 0 ? Keyed{} : keyed_[static_cast<std::size_t>(index & kBaseMask)];
}

void MatchedCwReceiver::markKeyed(long long upTo, bool down) {
    // The baseband samples up to `upTo`, summed where the key is down.
    for (; keyedUpTo_ <= upTo; ++keyedUpTo_) {
        Keyed next = keyedAt(keyedUpTo_ - 1);
        if (down) {
            next.sum +=
                std::complex<double>(base_[static_cast<std::size_t>(keyedUpTo_ & kBaseMask)]);
            next.count += 1.0;
        }
        keyed_[static_cast<std::size_t>(keyedUpTo_ & kBaseMask)] = next;
    }
}

double MatchedCwReceiver::toneEvidence(long long from, long long to,
                                       const PhaseReference& reference, double signalPower) const {
    // Log-likelihood ratio of the tone (amplitude sqrt(signal) per baseband
    // sample) against noise alone over [from, to): the whole interval summed
    // coherently, so a dash counts three dots and a noise bump that barely
    // crossed the threshold counts little. The phase is unknown, with the
    // von Mises law of the reference: ln E[exp(2A·Re(S·e^{-jφ})/σ²)] is
    // ln I0(|2A·S/σ² + κ·e^{jθ}|) − ln I0(κ), which is the coherent
    // detector for a sharp reference and the envelope detector without one.
    if (!held(from, to)) return 0.0;
    const std::complex<double> sum = cumulativeAt(to - 1) - cumulativeAt(from - 1);
    const double variance = std::max(noise_ * boxcar_, 1e-30);
    const double amplitude = std::sqrt(std::max(signalPower, 0.0));
    const double x =
        std::abs(2.0 * amplitude / variance * sum + reference.kappa * reference.direction);
    return logBesselI0(x) - logBesselI0(reference.kappa) -
           amplitude * amplitude * static_cast<double>(to - from) / variance;
}

void MatchedCwReceiver::endRun(long long end) {
    const long long shift = boxcar_ / 2;
    const long long from = runStart_ - shift, to = end - shift;
    if (!keyDown_) return;  // gaps are measured between the marks taken
    // A mark without enough tone in it is noise: the gap goes on.
    // A mark without enough tone in it is noise: the gap goes on. Its energy
    // is measured against the noise alone, whatever the signal's level, so
    // that marks in a fade still count (and bring the level down with them).
    if (toneEnergy(from, to) < kMinMarkEnergy) return;
    followContinuity(from, to);
    if (markHeld_ && toneEvidence(heldTo_, from) > 0.0) {
        // The gap before it held tone: a dropout inside one mark.
        heldTo_ = to;
    } else {
        if (markHeld_) {
            reportHeld();
        }
        if (anyMark_) timing_.gap(static_cast<double>(from - lastMarkTo_) / kRate, true);
        heldFrom_ = from;
        heldTo_ = to;
        markHeld_ = true;
    }
    anyMark_ = true;
    lastMarkTo_ = heldTo_;
    if (std::fabs(std::log(timing_.unit() / boxcarDot_)) > 0.1) setBoxcar(timing_.unit());
    search_.setShape(shape());
}

void MatchedCwReceiver::reportHeld() {
    timing_.mark(static_cast<double>(heldTo_ - heldFrom_) / kRate);
}

void MatchedCwReceiver::releaseMark() {
    if (!markHeld_) return;
    reportHeld();
    markHeld_ = false;
}

long long MatchedCwReceiver::searchDelay() const {
    // The search scores a mark with the level found a few units after it:
    // the first mark after a pause has then brought the level up with it.
    return std::max(std::llround(4.0 * timing_.unit() * kRate) + 2 * kLevelHop,
                    levelWindow() / 2 + std::llround(kLevelSpan * kRate) + kLevelHop);
}

double MatchedCwReceiver::markEvidence(long long from, long long to) const {
    // Summed coherently over a unit and a half at a time, a tenth of a second
    // at most, while the phase is not known: the tone is then known to a
    // hertz or so, and over a dash at a slow speed a hertz turns the phase
    // far enough to lose much of the coherent sum.
    const PhaseReference reference = phaseReference(from, to);
    const bool phased = reference.kappa > 0.0;
    const double block = std::min((phased ? kPhasedBlockUnits : kBlockUnits) * timing_.unit(),
                                  phased ? kPhasedBlockSeconds : kBlockSeconds) *
                         kRate;
    const int blocks =
        std::max(1, static_cast<int>(std::lround(static_cast<double>(to - from) / block)));
    const double signalPower = levelAround((from + to) / 2);
    double evidence = 0.0;
    long long start = from;
    for (int i = 1; i <= blocks; ++i) {
        const long long end = from + (to - from) * i / blocks;
        evidence += toneEvidence(start, end, reference, signalPower);
        start = end;
    }
    return evidence;
}

LetterSearch::Shape MatchedCwReceiver::shape() const {
    // The sender's timing for the search. The key threshold shortens every
    // mark and lengthens every gap by the same amount: the unit stands for
    // the dot, and that amount moves back from the gap to the dash.
    const double unit = timing_.unit();
    const double bias = unit - timing_.dot();
    const double gap = std::max(0.2 * unit, timing_.elementGap() - bias);
    return {unit * kRate,
            unit * kRate,
            (timing_.dash() + bias) * kRate,
            gap * kRate,
            timing_.letterGapUnits(),
            timing_.wordGapUnits()};
}

void MatchedCwReceiver::publish() {
    lockedOut_.store(locked_);
    toneOut_.store(locked_ ? tone_ : 0.0);
    wpmOut_.store(timing_.wpm());
    double snr = std::numeric_limits<double>::quiet_NaN();
    if (locked_ && noise_ > 0.0 && signal_ > 0.0) {
        // The tone of amplitude 2·sqrt(signal) has the power 2·signal; noise
        // of variance v per audio sample leaves v / L after a mean over L.
        const double length = static_cast<double>(boxcar_) * kDecimation;
        const double variance = noise_ * length;
        snr = 10.0 * std::log10(2.0 * signal_ / (variance * 3000.0 / (kSampleRate / 2.0)));
    }
    snrOut_.store(snr);
}

}  // namespace zeb::cw
