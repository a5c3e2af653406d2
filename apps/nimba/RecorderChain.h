// The recorder as decoder mode 5: while it runs every captured block goes,
// compressed with the codec chosen on the audio page (PARAM ACODEC of
// NIMBA.INI), into SYNOP/AUDIO_….WAV, and to the signal window while that is
// open. Nothing is recorded while the built-in receiver reports its squelch
// closed. Start and stop run on the user-interface thread and hold the block
// mutex while they change the recorder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "DecoderChains.h"
#include "DecoderModes.h"
#include "audioio/Recorder.h"

namespace zeb::nimba {

inline constexpr const char* kRecorderSection = "PARAM";
inline constexpr const char* kCodecKey = "ACODEC";
inline constexpr std::size_t kCodecRecordSize = 18;

// The codec record kept in PARAM ACODEC, or the default (GSM 6.10) when the
// key is absent or damaged.
std::vector<std::uint8_t> readCodecRecord(ProfileFile& profile);

class RecorderChain : public ModeDecoder {
public:
    struct Hooks {
        // The local time the recording is named for.
        std::function<NameTime()> localTime = [] { return breakDownLocal(zeb::now()); };
        // Asked once per block on the capture thread.
        std::function<bool()> squelchClosed = [] { return false; };
        // A start that failed, with the reason (user-interface thread).
        std::function<void(const std::string&)> failed = [](const std::string&) {};
        // Something the user should know: the codec fell back to PCM, the
        // file could not be closed.
        std::function<void(const std::string&)> note = [](const std::string&) {};
        // The first write that failed (a full disk): called once on the
        // capture thread; the program stops the recording and says so.
        std::function<void()> writeFailed = [] {};
    };

    RecorderChain(ChainViews views, std::filesystem::path workDir, Hooks hooks);

    bool start() override;
    void stop() override;
    bool running() const override { return recorder_.recording(); }

    // The capture thread's routine for mode 5.
    void processBlock(std::span<const float> block);

    // Bytes in the current recording's data (0 when idle); any thread.
    std::uint64_t bytesWritten() const { return recorder_.bytesWritten(); }
    const audio::Recorder& recorder() const { return recorder_; }
    // The file of the last recording started.
    const std::filesystem::path& lastFile() const { return lastFile_; }

private:
    ChainViews views_;
    std::filesystem::path workDir_;
    Hooks hooks_;
    audio::Recorder recorder_;
    std::filesystem::path lastFile_;
    bool failureSaid_ = false;  // capture thread
};

}  // namespace zeb::nimba
