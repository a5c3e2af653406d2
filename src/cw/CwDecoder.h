// The CW decoder, in one of two designs:
// - matched (the default): MatchedCwReceiver finds the keyed tone itself,
//   filters it matched to the dot length and reads the timing with clusters
//   that follow the sender;
// - filter: isolates the tone with a band-pass filter, forms its envelope with
//   a 20 Hz low-pass, keys with an adaptive threshold and hands the key
//   decisions to the KeyTracker, which posts the decoded text.
// The band-pass filter feeds the monitor in both.
//
// Threads: processBlock() runs on the capture thread; start(), stop() and
// setTone() run on the user-interface thread while the caller holds the
// capture stream's mutex, so they never overlap a block.
#pragma once

#include "common/TextSink.h"
#include "cw/KeyTracker.h"
#include "cw/MatchedCwReceiver.h"
#include "dsp/AudioFilter.h"
#include "dsp/Markers.h"
#include "dsp/Monitor.h"

#include <atomic>
#include <memory>
#include <span>
#include <vector>

namespace zeb::cw {

inline constexpr int kBlockLength = 1024;
inline constexpr float kSampleRate = 11025.0f;
inline constexpr int kFilterOrder = 128;
inline constexpr float kEnvelopeCutoffHz = 20.0f;
inline constexpr float kMonitorGainNumerator = 1.414f;

enum class CwVariant : int { Filter = 0, Matched = 1 };

// Centre and half width of the tone filter in Hz; the pass band is
// center − width … center + width.
struct ToneBand {
    int center = 1275;
    int width = 100;
    bool operator==(const ToneBand&) const = default;
};

// What the spectrum display marks for a band: the pass band of the tone
// filter, center − width … center + width, and no tones.
dsp::Markers bandMarkers(ToneBand band);

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
    explicit CwDecoder(TextSink& sink)
        : tracker_(sink), matched_(std::make_unique<MatchedCwReceiver>(sink)) {}

    // The design and, for the matched one, whether it looks for the tone in
    // the whole audio band (otherwise in the filter's pass band). Set while
    // blocks are kept out (like setTone); a change of design starts over.
    void setVariant(CwVariant variant, bool autoCenter);
    CwVariant variant() const { return variant_; }
    bool autoCenter() const { return autoCenter_; }

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
    // 1.414 / gain sum of the tone filter (0 when that sum is not positive).
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
    // End of the input (a recording): the character still being received is
    // written.
    void finish();

    // Read-outs of the matched design for the page (any thread): whether a
    // tone is held, where, the speed and the signal to noise in 3 kHz.
    const MatchedCwReceiver& matched() const { return *matched_; }

    // The envelope of the last block (for the signal window); empty when
    // not running.
    std::span<const float> envelope() const { return envelope_; }
    const KeyThreshold& threshold() const { return threshold_; }
    const KeyTracker& tracker() const { return tracker_; }
    // The band-pass filter of the tone (null before the filters exist).
    const dsp::AudioFilter* toneFilter() const {
        return toneFilter_.order() > 0 ? &toneFilter_ : nullptr;
    }
    // The tone filter's pass band for the spectrum display (bandMarkers(tone())).
    dsp::Markers markers() const { return bandMarkers(band_); }

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
    CwVariant variant_ = CwVariant::Matched;
    bool autoCenter_ = true;
    std::unique_ptr<MatchedCwReceiver> matched_;
};

}  // namespace zeb::cw
