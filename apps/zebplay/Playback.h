// The player's engine: one recording, read through libsndfile (PCM, GSM 6.10
// in the WAV49 framing, A-law, µ-law and whatever else it reads), played on a
// device of the suite's audio layer. GUI-free.
//
// The device's own thread decodes: every block the device gives back is
// refilled from the file and written again, into blocks allocated when the
// recording was opened, so nothing is allocated while it plays. The position
// is the end of the last block the device finished while playing, so it
// holds still at pause and never runs ahead of the sound; a seek drops the
// blocks already queued, so the jump is heard at once.
//
// Threading: open, play, pause, seek and close run on one thread (the
// window's), which alone reads info() and path(); state(), position(),
// level() and endings() may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audioio/AudioDevice.h"
#include "common/Result.h"

struct sf_private_tag;

namespace zeb::zebplay {

// What libsndfile found in a recording.
struct RecordingInfo {
    int rate = 0;             // frames per second
    int channels = 0;         // of the file; more than two are mixed down to one
    std::int64_t frames = 0;  // length
    std::string encoding;     // "GSM 6.10", "Signed 16 bit PCM", "A-Law", …
};

enum class PlayState {
    Empty,    // no recording open
    Paused,   // open, not playing (also after open and after a seek while paused)
    Playing,  // blocks are being played
    Ended,    // played to its end; play() starts again from the beginning
};

class Playback final : private audio::DeviceSink {
public:
    static constexpr std::size_t kBlockCount = 4;

    explicit Playback(std::shared_ptr<audio::AudioBackend> backend);
    ~Playback() override;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Opens a recording in place of the one before (which stops). The error's
    // message is the reason alone ("it is empty", libsndfile's words, …),
    // fit to follow "… cannot be played: "; the player is then empty.
    Result<void> open(const std::filesystem::path& path);
    // Stops and closes the recording and the device.
    void close();

    // Plays from the position (from the beginning after the end). Opens the
    // device on first use; its failure is the error, with the device's reason.
    Result<void> play();
    void pause();
    // Moves to `frame` (clamped to the recording), playing on when it played.
    void seek(std::int64_t frame);

    PlayState state() const { return state_.load(); }
    bool isOpen() const { return state() != PlayState::Empty; }
    // Frames played so far.
    std::int64_t position() const { return position_.load(); }
    const RecordingInfo& info() const { return info_; }
    const std::filesystem::path& path() const { return path_; }
    // Largest magnitude of the block played last, 0 … 1; 0 when not playing.
    float level() const { return level_.load(); }
    // Changes of state the device thread made (the end reached): a counter
    // the window compares to notice them without a callback.
    std::uint64_t endings() const { return endings_.load(); }

private:
    Result<void> openDevice();
    void closeDevice();
    // With mutex_ held: fills block i from the file (silence after the end).
    void fillLocked(std::size_t i);
    // With mutex_ held: makes `frame` the next frame read.
    void moveLocked(std::int64_t frame);
    // With mutex_ held: fills and writes every block the device does not hold.
    void primeLocked();
    void finishLocked();
    // Drops the device's queued blocks (they come back through blockDone).
    void dropQueued();

    void blockDone(audio::BlockHeader* header) override;
    void deviceClosed() override {}
    void endOfInput() override {}

    std::shared_ptr<audio::AudioBackend> backend_;
    std::unique_ptr<audio::WaveDevice> device_;
    std::filesystem::path path_;
    RecordingInfo info_;
    sf_private_tag* file_ = nullptr;
    int outChannels_ = 1;
    std::uint32_t blockFrames_ = 0;

    // Guards the file, the blocks and what follows between the window's
    // thread and the device's; never held while the device is reset or closed.
    std::mutex mutex_;
    bool playing_ = false;  // played blocks are refilled and written again
    bool atEnd_ = false;    // the file has nothing more to read
    std::int64_t readFrame_ = 0;
    std::uint32_t generation_ = 0;       // counts seeks: older blocks do not move the position
    std::size_t inFlight_ = 0;           // blocks the device holds
    std::vector<std::int16_t> samples_;  // kBlockCount blocks of blockFrames_ × outChannels_
    std::vector<float> decoded_;         // one block as libsndfile decodes it, all channels
    bool seekable_ = false;
    struct Block {
        audio::BlockHeader header;
        std::int64_t start = 0;
        std::uint32_t frames = 0;
        std::uint32_t generation = 0;
        float peak = 0.0f;
        bool queued = false;
    };
    std::array<Block, kBlockCount> blocks_{};

    std::atomic<PlayState> state_{PlayState::Empty};
    std::atomic<std::int64_t> position_{0};
    std::atomic<float> level_{0.0f};
    std::atomic<std::uint64_t> endings_{0};
};

// "m:ss" of a number of frames at a rate (minutes run on past 59: "75:03").
std::string clockText(std::int64_t frames, int rate);

}  // namespace zeb::zebplay
