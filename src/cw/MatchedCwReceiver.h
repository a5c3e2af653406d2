// The matched Morse receiver: finds the keyed tone, mixes it to zero
// frequency and integrates it over one dot (the filter matched to a dot,
// its bandwidth following the speed), keys on the magnitude with a threshold
// halfway between the tracked noise and signal levels, and hands the mark and
// gap lengths to MorseTiming, which learns the sender's speed and spacing
// from them. The letters themselves are read by LetterSearch on the mixed
// signal: the most likely sequence of letters and gaps, each mark scored by
// the tone summed over its whole length against the noise and signal levels.
//
// The key switches the tone without changing its phase. A loop on the phase
// of the mixed signal holds the tone to a tenth of a hertz, and the marks of
// the second around a mark then tell the phase that mark should have: a mark
// is scored almost as a coherent receiver would (some 2 dB better than on
// its envelope alone), and as an envelope detector where the phase wanders.
// The level a mark is scored with is the mean of the levels followed over a
// second around it (the letters are read later than the key decisions).
//
//   audio ─┬─ ring of the last 3 s ─── CwToneTracker (every 186 ms)
//          └─ mixer at the tone ── sum of 8 (1378 Hz) ─┬─ sum over a dot ── |·|
//             ── key decision (hysteresis, runs shorter than 0.3 dot absorbed)
//             ── MorseTiming (speed, spacing, levels)
//                                                      └─ LetterSearch ── text
//
// Nothing is decoded until a keyed tone stands out of the noise; then the
// last three seconds are read again at that tone, so the first letters are
// not lost while the tone, the levels and the speed are found. The levels for
// that start come from the same seconds (percentiles of the magnitude), the
// speed from the mark lengths and then from the letters: of all speeds from
// 5 to 60 WPM, the one whose best reading explains those seconds best. Later
// the speed is checked every second; a change the run lengths propose is
// taken when the letters agree, and when the key decisions and the letters
// read drift apart, the speed whose reading explains the last seconds better
// is taken by both. When the tone has faded into the noise for four seconds
// the receiver lets go of it (the letters in progress are written,
// then a space): noise alone prints nothing. Decoding resumes where it
// stopped when the tone returns.
//
// One thread: everything runs on the caller's (the capture) thread; the
// read-outs are atomics for the user interface. No allocation after
// construction.
#pragma once

#include <array>
#include <atomic>
#include <complex>

#include "common/TextSink.h"
#include "cw/CwToneTracker.h"
#include "cw/LetterSearch.h"
#include "cw/MorseTiming.h"

namespace zeb::cw {

class MatchedCwReceiver : private MarkEvidence {
public:
    static constexpr double kSampleRate = 11025.0;
    static constexpr int kDecimation = 8;
    static constexpr double kRate = kSampleRate / kDecimation;  // of the baseband
    static constexpr int kAudioRing = 1 << 15;                  // 2.97 s
    static constexpr int kReplay = kAudioRing / kDecimation;    // baseband samples re-read
    static constexpr int kBaseRing = 1 << 14;                   // 11.9 s of baseband
    static constexpr double kLockDb = 8.0;  // a tone this far above the noise is taken
    static constexpr double kHoldDb = 4.0;  // and kept while it stays this far above
    static constexpr double kLoseSeconds = 4.0;

    explicit MatchedCwReceiver(TextSink& sink);

    // Where the tone is looked for: automatic, anywhere from 200 to 3000 Hz
    // (it may wander there); otherwise in center ± width.
    void setSearch(bool automatic, double centerHz, double widthHz);
    // Forgets the tone, the levels and the audio; keeps the speed learnt.
    void reset();
    void process(const float* samples, int count);
    // End of the input: the letter in progress is written.
    void finish();

    bool locked() const { return lockedOut_.load(); }
    double toneHz() const { return toneOut_.load(); }
    double wpm() const { return wpmOut_.load(); }
    // Signal to noise in 3 kHz, from the levels of the key decision (NaN
    // while no tone is held).
    double snrDb() const { return snrOut_.load(); }
    // The magnitude after the dot filter, in the units of the input.
    float envelope() const { return envelope_; }

private:
    void analyseHop();
    void lock(double hz);
    void unlock();
    void setTone(double hz);
    void remix(double hz, long long from);
    double residualHz(int block) const;
    void followPhase();
    static constexpr int kFllBlock = 128;  // baseband samples, 93 ms
    static constexpr double kFllRangeHz = 4.0;
    void mix(float x);
    void pushBase(std::complex<float> z);
    void estimateStart(long long replayFrom, bool sameStation);
    struct Trial {
        double dot = 0.0, fit = 0.0, signal = 0.0, noise = 0.0;
        double keyed = 0.0;  // seconds
        std::array<double, 256> marks{}, gaps{};
        int nMarks = 0, nGaps = 0;
    };
    // A sender's dash and gaps as multiples of the dot (textbook ones by
    // default).
    struct Ratios {
        double dash = 3.0, elementGap = 1.0, letterGap = 3.0, wordGap = 7.0;
    };
    // How well the window fits Morse at this dot.
    Trial tryDot(double dot, const Ratios& sender);
    void loadWindow();
    double searchSpeed(double& bestFit, const Ratios& sender);
    void checkSpeed();
    double readingScore(double dot, long long from, long long to, double cost);
    double letterCost(double dot) const;
    double bestReading(double dot, long long from, long long to);
    static constexpr int kSpeedCheck = 1378;  // baseband samples, 1 s
    int magnitudes(int stride);
    void levels(int count, double& signalPower, double& noisePower);
    void measureLevels();
    void setBoxcar(double dotSeconds);
    void decide(double a, long long index);
    void endRun(long long end);
    void releaseMark();
    void followLevel(long long index);
    static constexpr int kLevelHop = 64;       // baseband samples, 46 ms
    static constexpr int kLevelWindow = 2048;  // 1.5 s
    void reportHeld();
    double markEvidence(long long from, long long to) const override;
    LetterSearch::Shape shape() const;
    long long searchDelay() const;
    // The phase a mark should have, from the tone around it: a direction
    // and how sure it is (the von Mises concentration; 0: unknown).
    struct PhaseReference {
        std::complex<double> direction{1.0, 0.0};
        double kappa = 0.0;
    };
    static constexpr double kReferenceSeconds = 0.5;  // on either side of a mark
    PhaseReference phaseReference(long long from, long long to) const;
    // Running sums of the baseband where the key decisions were down.
    struct Keyed {
        std::complex<double> sum{};
        double count = 0.0;
        Keyed operator-(const Keyed& other) const { return {sum - other.sum, count - other.count}; }
    };
    Keyed keyedAt(long long index) const;
    void followContinuity(long long from, long long to);
    double continuity() const;
    void markKeyed(long long upTo, bool down);
    double toneEvidence(long long from, long long to, const PhaseReference& reference,
                        double signalPower) const;
    double toneEvidence(long long from, long long to) const {
        return toneEvidence(from, to, PhaseReference{}, signal_);
    }
    // The levels followed, one per level hop, for the letters.
    static constexpr int kLevels = 128;        // hops, 5.9 s
    static constexpr double kLevelSpan = 1.0;  // seconds on either side
    long long levelWindow() const;
    void recordLevel(long long index);
    double levelAround(long long index) const;
    double toneEnergy(long long from, long long to) const;
    bool held(long long from, long long to) const;
    double magnitudeAt(long long index) const;
    std::complex<double> cumulativeAt(long long index) const;
    void publish();

    // The timing learns the sender's speed and spacing from the key
    // decisions; the letters come from the search.
    class Discard : public TextSink {
        void text(std::string_view) override {}
    } discard_;
    MorseTiming timing_;
    LetterSearch search_;
    LetterSearch probe_;  // tries speeds on the window, writes nothing
    CwToneTracker tracker_;
    bool automatic_ = true;
    double centerHz_ = 1000.0, widthHz_ = 100.0;

    std::array<float, kAudioRing> audio_{};
    long long audioCount_ = 0;
    long long decodedUpTo_ = 0;  // audio samples whose decisions are made
    int hop_ = 0;
    std::array<float, CwToneTracker::kSize> frame_{};

    // Tone lock.
    bool locked_ = false;
    double tone_ = 0.0;
    double weakSeconds_ = 0.0;
    int rivalHops_ = 0;
    int awayHops_ = 0;
    double awayHz_ = 0.0;
    int candidateHops_ = 0;
    double candidateHz_ = 0.0;

    // Mixer and the sum of kDecimation.
    std::complex<double> phasor_{1.0, 0.0}, step_{1.0, 0.0};
    std::complex<double> dump_{};
    std::complex<double> fll_{}, fllBefore_{};
    double driftHz_ = 0.0;  // per loop block
    static constexpr double kMaxDrift = 0.5;
    std::complex<double> turns_{};
    double turnSizes_ = 0.0;
    int dumped_ = 0;

    // Baseband ring and the sum over one dot.
    std::array<std::complex<float>, kBaseRing> base_{};
    long long baseCount_ = 0;
    int boxcar_ = 8;
    double boxcarDot_ = 0.05;
    std::complex<double> sum_{};
    bool live_ = false;

    // Key decision: the tone's power and the noise's after the dot filter.
    double signal_ = 0.0, noise_ = 0.0;
    std::array<double, kLevels> levels_{};  // ln of the signal power
    long long levelHops_ = 0;               // the next hop to record; 0: none recorded
    long long firstLevelHop_ = 0;
    long long noiseSeen_ = 0;  // gap magnitudes in the noise power since the start
    bool keyDown_ = false;
    long long runStart_ = 0;  // baseband index where the key went to its state
    int pending_ = 0;
    int minRun_ = 2;
    // The last mark taken, held back until the gap after it shows whether
    // it was only a dropout inside a longer mark (baseband indices, in the
    // time of the signal).
    bool markHeld_ = false, anyMark_ = false;
    long long heldFrom_ = 0, heldTo_ = 0, lastMarkTo_ = 0;
    std::complex<double> total_{};
    std::array<std::complex<double>, kBaseRing> cumulative_{};
    std::array<Keyed, kBaseRing> keyed_{};
    long long keyedUpTo_ = 0;  // the next sample to enter keyed_

    std::array<float, kReplay> scratch_{};
    std::array<float, kReplay> sorted_{};
    std::array<std::complex<double>, kReplay + 1> prefix_{};
    long long window_ = 0;      // baseband samples in prefix_
    double proposedDot_ = 0.0;  // a new speed the last check found
    int stride_ = 1;            // of the magnitudes a trial looks at
    float envelope_ = 0.0f;
    std::atomic<bool> lockedOut_{false};
    std::atomic<double> toneOut_{0.0};
    std::atomic<double> wpmOut_{0.0};
    std::atomic<double> snrOut_{0.0};
};

}  // namespace zeb::cw
