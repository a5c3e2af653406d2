// Helpers of the fax tests: an event recorder, phase-continuous tone
// synthesis on the decoder's own line grid, and block-wise feeding.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <span>
#include <vector>

#include "fax/FaxDecoder.h"

namespace zeb::fax::test {

class RecordingEvents : public FaxEvents {
public:
    void stateChanged(FaxState s) override { states.push_back(s); }
    void pictureEnded(const PictureOutcome& o) override { outcomes.push_back(o); }
    void pictureFileFailed(const Error& e) override { failures.push_back(e); }
    void pictureBegun(const std::filesystem::path& p) override { begun.push_back(p); }
    void decoderOffRequested() override { ++offRequests; }
    void pictureScrolled() override { ++scrolls; }
    void previewRowChanged(int row) override { previewRows.push_back(row); }

    std::vector<FaxState> states;
    std::vector<PictureOutcome> outcomes;
    std::vector<Error> failures;
    std::vector<std::filesystem::path> begun;
    std::vector<int> previewRows;
    int offRequests = 0;
    int scrolls = 0;
};

// Frequency of the tone that the default settings (1900 ± 400 Hz) read as
// grey level g (0 white … 15 black): its half period lies in the middle of
// the level's interval.
inline double frequencyOfGrey(double g) {
    const double tw = 5512.5 / 2300.0, tb = 5512.5 / 1500.0;
    return 5512.5 / (tw + g * (tb - tw) / 16.0);
}

// Phase-continuous FM synthesis; keeps the phase between calls and hands out
// full blocks, keeping the rest for the next call.
class Synth {
public:
    explicit Synth(double amplitude = 8000.0) : amplitude_(amplitude) {}

    // `samples` more samples; the frequency of sample n (counted from the
    // first sample ever made) is freq(n).
    void add(double samples, const std::function<double(double)>& freq) {
        const double end = position_ + samples;
        while (static_cast<double>(emitted_) < end) {
            const double i = static_cast<double>(emitted_);
            phase_ += 2.0 * std::numbers::pi * freq(i) / 11025.0;
            phase_ = std::fmod(phase_, 2.0 * std::numbers::pi);
            pending_.push_back(static_cast<float>(amplitude_ * std::sin(phase_)));
            ++emitted_;
        }
        position_ = end;
    }
    void tone(double samples, double hz) {
        add(samples, [hz](double) { return hz; });
    }
    // Black/white alternation at `hz` (start and stop signals).
    void alternation(double samples, double hz) {
        add(samples, [=](double n) {
            return std::sin(2.0 * std::numbers::pi * hz * n / 11025.0) >= 0 ? 2300.0 : 1500.0;
        });
    }
    // Samples made so far.
    double position() const { return position_; }
    // Feeds every complete block to `decoder`.
    void feed(FaxDecoder& decoder) {
        std::size_t at = 0;
        for (; at + kBlockLength <= pending_.size(); at += kBlockLength)
            decoder.processBlock(
                std::span<const float, kBlockLength>(pending_.data() + at, kBlockLength));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    }

private:
    double amplitude_;
    double phase_ = 0.0;
    double position_ = 0.0;
    long emitted_ = 0;
    std::vector<float> pending_;
};

// Samples of one line when the correction table holds W / 5512.5 (the line
// is then exactly half a second).
inline constexpr double kLineSamples = 5512.5;

inline CorrectionTable exactRateTable(int ioc = 576, int lpm = 120) {
    CorrectionTable t;
    const double line = 60.0 / lpm * 11025.0;
    t.store(ioc, lpm, static_cast<float>(lineWidth(ioc) / line));
    return t;
}

// The grey level found most often in columns from … to of a row.
template <class Picture>
int rowMode(const Picture& picture, int y, int from = 800, int to = 1000) {
    std::array<int, 16> count{};
    for (int x = from; x < to; ++x) ++count[static_cast<std::size_t>(picture.index(x, y))];
    return static_cast<int>(std::max_element(count.begin(), count.end()) - count.begin());
}

}  // namespace zeb::fax::test
