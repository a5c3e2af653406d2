// Character framing of the matched design for start-stop ITA2: finds each
// start edge in the soft values, refines the character's timing from all its
// bit transitions, and reads the bits at the ends of their windows. While
// characters follow one another, the next start is expected one character
// later, the timing is smoothed across characters and the character period
// measured from them, so noise that would make a false start edge is not
// taken for one; a longer or shorter stop or a pause starts a new run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "rtty/ToneCorrelator.h"

namespace zeb::rtty {

struct FramedCharacter {
    int frame = 0;              // bit 6 start … bit 0 stop, as the slicers give it
    std::int64_t position = 0;  // sample of the start edge
    float strength = 0.0f;      // mean |soft value| of its bits
};

class AsyncFramer {
public:
    // `sign` +1 reads the lower tone as mark, −1 the upper.
    explicit AsyncFramer(int sign) : sign_(sign) {}

    // Bit length in samples and the nominal stop length in bits.
    void configure(double bitLength, double stopBits);
    void restart(std::int64_t from);

    // Frames every character whose bits are all in `history`; each is
    // appended to `out`. `amplitude`: the correlator's signal amplitude.
    void run(const SoftHistory& history, double amplitude, std::vector<FramedCharacter>& out);

    int sign() const { return sign_; }
    bool synchronised() const { return chained_ > 0; }
    // +1 for a character with its stop bit, −1 for a start edge that was not
    // one: high for the right polarity, around zero or below for the wrong.
    int score() const { return score_; }
    void resetScore() { score_ = 0; }

private:
    double bit(const SoftHistory& h, double start, int k) const;
    double edge(const SoftHistory& h, double t) const;
    double refine(const SoftHistory& h, double start, int frame) const;
    int frameAt(const SoftHistory& h, double start) const;
    float strength(const SoftHistory& h, double start) const;
    // Reads the character starting at `t0` and, when it is one, appends it
    // and expects the next one a period later. `due`: where the last
    // character said it would be.
    bool take(const SoftHistory& h, double t0, bool due, std::vector<FramedCharacter>& out);
    // Adds a measured start of the run; from kFitMin on, the period is the
    // slope of the last kFitLength.
    void fit(double start);
    // The character due where the last one said, when it is there (Took),
    // when the history does not reach it yet (Wait), or else Hunt.
    enum class Chained { Took, Wait, Hunt };
    Chained takeChained(const SoftHistory& h, double amp, std::vector<FramedCharacter>& out);
    // Looks for a start edge after the last character and takes the
    // character there; false when the history holds none yet.
    bool hunt(const SoftHistory& h, double amp, bool chained, std::vector<FramedCharacter>& out);

    int sign_;
    double T_ = 220.5;
    double stop_ = 1.5;
    double hunt_ = 0.0;       // no start edge before this position
    double expected_ = -1.0;  // where the next start is due while chained
    int chained_ = 0;         // characters in a row, each where the last one said
    int misses_ = 0;          // stop bits lost in a row while chained
    double period_ = 0.0;     // samples from one start to the next while chained
    // The measured starts of the run, for its character period.
    static constexpr int kFitLength = 16;
    std::array<double, kFitLength> starts_{};
    int fitted_ = 0;  // starts measured in this run
    int score_ = 0;
};

}  // namespace zeb::rtty
