// The CW decoder: isolates the tone with a band-pass filter, forms its
// envelope with a 20 Hz low-pass, keys with an adaptive threshold and hands
// the key decisions to the KeyTracker, which posts the decoded text.
//
// Threads: processBlock() runs on the capture thread; start(), stop() and
// setTone() run on the user-interface thread while the caller holds the
// capture stream's mutex, so they never overlap a block.
#pragma once

#include "common/TextSink.h"
#include "cw/KeyTracker.h"
#include "dsp/AudioFilter.h"
#include "dsp/Monitor.h"

#include <atomic>
#include <span>
#include <vector>

namespace zeb::cw {

inline constexpr int kBlockLength = 1024;
inline constexpr float kSampleRate = 11025.0f;
inline constexpr int kFilterOrder = 128;
inline constexpr float kEnvelopeCutoffHz = 20.0f;
inline constexpr float kMonitorGainNumerator = 1.414f;

// Centre and half width of the tone filter in Hz; the pass band is
// center − width … center + width.
struct ToneBand {
    int center = 1275;
    int width = 100;
    bool operator==(const ToneBand&) const = default;
};

// The adaptive key-down threshold: half the mean of the latest envelope
// block, rising at once and decaying by about 0.5 % per block otherwise.
class KeyThreshold {
public:
    static constexpr float kRiseFactor = 0.9090909f;
    static constexpr float kDecay = 0.99502486f;

    void update(std::span<const float> envelope);
    float value() const { return threshold_; }
    float halfMean() const { return halfMean_; }

private:
    float threshold_ = 0.0f;
    float halfMean_ = 0.0f;
};

class CwDecoder {
public:
    explicit CwDecoder(TextSink& sink) : tracker_(sink) {}

    // Creates the two filters if they do not exist yet (they are kept
    // afterwards) and designs them for `band`. False when that fails.
    bool prepare(ToneBand band);
    // Prepares the filters, allocates the work buffers and marks the decoder
    // running. Nothing when it already runs. False on failure (not running).
    bool start(ToneBand band);
    // Frees the work buffers and clears running. Filters and tracker stay.
    void stop();
    bool running() const { return running_; }

    // Redesigns both filters (new FIR state) and sets the monitor gain to
    // 1.414 / gain sum of the tone filter (0 when that sum is not positive)
    // and the display's pass-band markers to the band edges.
    bool setTone(ToneBand band);
    ToneBand tone() const { return band_; }

    // The monitor output, fed with the filtered tone of every block.
    void setMonitor(dsp::MonitorFeed* monitor) { monitor_ = monitor; }
    float monitorGain() const { return monitorGain_; }

    // While the receiver reports its squelch closed, blocks are ignored.
    void setSquelchClosed(bool closed) { squelchClosed_.store(closed); }

    // One block of kBlockLength samples, unscaled (−32768 … 32767). Nothing
    // when not running.
    void processBlock(std::span<const float, kBlockLength> block);

    // The envelope of the last block (for the signal window); empty when
    // not running.
    std::span<const float> envelope() const { return envelope_; }
    const KeyThreshold& threshold() const { return threshold_; }
    const KeyTracker& tracker() const { return tracker_; }
    dsp::AudioFilter* toneFilter() { return toneFilter_.order() > 0 ? &toneFilter_ : nullptr; }

private:
    bool filtersMade_ = false;
    bool running_ = false;
    ToneBand band_;
    dsp::AudioFilter toneFilter_;
    dsp::AudioFilter envelopeFilter_;
    std::vector<float> tone_;      // F: the filtered block
    std::vector<float> envelope_;  // E
    dsp::MonitorFeed* monitor_ = nullptr;
    float monitorGain_ = 0.0f;
    std::atomic<bool> squelchClosed_{false};
    KeyThreshold threshold_;
    KeyTracker tracker_;
};

}  // namespace zeb::cw
