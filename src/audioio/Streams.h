// The two streams of the decoder program: CaptureStream feeds every block to
// the active decoder; MonitorStream plays the decoders' processed audio.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <span>
#include <vector>

#include "audioio/WaveStream.h"
#include "dsp/Monitor.h"

namespace zeb::audio {

// The active decoder of the main program; 4 is never used.
enum class DecoderMode : int { None = 0, Fax = 1, Rtty = 2, Cw = 3, Unused = 4, Recorder = 5 };
inline constexpr int kDecoderModeCount = 6;

// A decoder's block routine: the block's samples as floats, unscaled
// (−32768 … 32767). Runs on the capture service thread with the block mutex held.
using BlockRoutine = std::function<void(std::span<const float> samples)>;

class CaptureStream : public WaveStream {
public:
    explicit CaptureStream(std::shared_ptr<AudioBackend> backend);

    // Opens the input with the program's configuration: 11025 Hz, mono,
    // 16 bit, 1024 samples per block, 128 blocks.
    bool openDefault();
    bool open(std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock, std::int32_t blockCount);

    // Routines are installed before the stream starts, or with the block mutex held.
    void setRoutine(DecoderMode mode, BlockRoutine routine);
    // Changed by the user-interface thread with the block mutex held.
    void setMode(DecoderMode mode) { mode_.store(static_cast<int>(mode)); }
    DecoderMode mode() const { return static_cast<DecoderMode>(mode_.load()); }
    // Runs after the decoder on every block (spectrum and level displays).
    void setAfterBlock(BlockRoutine routine) { afterBlock_ = std::move(routine); }

    std::uint64_t blocksHandled() const { return handled_.load(); }
    // Largest magnitude of the last block (0 … 32768), for level meters where
    // the card has none.
    int peak() const { return peak_.load(); }

protected:
    void handleBlock(BlockHeader& header) override;

private:
    std::array<BlockRoutine, kDecoderModeCount> routines_;
    BlockRoutine afterBlock_;
    std::atomic<int> mode_{0};
    std::vector<float> samples_;
    std::atomic<std::uint64_t> handled_{0};
    std::atomic<int> peak_{0};
};

// Also the sink of the decoders' monitor feed (dsp::MonitorFeed), which keeps
// the start rule: playback starts once five blocks are queued.
class MonitorStream : public WaveStream, public dsp::MonitorSink {
public:
    explicit MonitorStream(std::shared_ptr<AudioBackend> backend);

    // Opens the output with the program's configuration and pauses it at once,
    // so that the first blocks written are queued, not played.
    bool openDefault();

    void queueBlock(std::span<const std::int16_t, dsp::kMonitorBlock> block) override;
    void requestStart() override { start(); }
    // Converts float samples (saturating, rounded) and writes them as one block.
    bool writeSamples(std::span<const float> samples);
    // Largest magnitude of the last block written (0 … 32768).
    int peak() const { return peak_.load(); }

protected:
    void handleBlock(BlockHeader&) override {}

private:
    void notePeak();

    std::vector<std::int16_t> work_;
    std::atomic<int> peak_{0};
};

}  // namespace zeb::audio
