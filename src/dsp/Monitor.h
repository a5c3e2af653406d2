// The monitor feed: a decoder plays its processed audio on the sound card.
// Each block is scaled by the decoder's monitor gain, converted to 16 bits and
// handed to a MonitorSink, which the audio engine implements. Playback starts
// once a few blocks are queued, so it does not run dry at once.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace zeb::dsp {

inline constexpr int kMonitorBlock = 1024;

// Implemented by the audio engine's monitor stream. Both calls come from the
// thread that processes the blocks (the capture stream's service thread).
class MonitorSink {
public:
    virtual ~MonitorSink() = default;
    // Queues one block for playback; the block is only valid during the call.
    virtual void queueBlock(std::span<const std::int16_t, kMonitorBlock> block) = 0;
    // Starts playing what has been queued.
    virtual void requestStart() = 0;
};

// gain numerator / gain sum of the decoder's filter (fax 2.828, CW 1.414),
// 0 when the gain sum is not a positive finite number: a filter of zero width
// then stays silent instead of playing infinite samples.
float monitorGain(float numerator, float gainSum);

class MonitorFeed {
public:
    static constexpr int kStartDelayBlocks = 5;  // about 0.46 s queued before playback
    static constexpr int kCounterModulus = 128;

    explicit MonitorFeed(MonitorSink& sink) : sink_(&sink) {}

    // The switch and the gain may be changed from the user-interface thread
    // while the processing thread feeds blocks.
    void setGain(float gain) { gain_.store(gain); }
    float gain() const { return gain_.load(); }
    // Switching on restarts the countdown to playback.
    void switchOn() {
        countdown_.store(kStartDelayBlocks);
        on_.store(true);
    }
    void switchOff() { on_.store(false); }
    bool isOn() const { return on_.load(); }

    // Plays one processed block of kMonitorBlock samples when switched on.
    // Called on the processing thread only.
    void feed(std::span<const float, kMonitorBlock> block);

    int blockCounter() const { return counter_; }
    int countdown() const { return countdown_.load(); }

private:
    MonitorSink* sink_;
    std::atomic<float> gain_{1.0f};
    std::atomic<bool> on_{false};
    std::atomic<int> countdown_{0};
    int counter_ = 0;
    std::array<float, kMonitorBlock> work_{};
    std::array<std::int16_t, kMonitorBlock> out_{};
};

}  // namespace zeb::dsp
