// Recorder: the main program's decoder mode 5. While it runs, every captured
// block (unscaled float samples, 11025 Hz mono) is converted to 16 bits,
// compressed with the chosen codec and appended to a WAV file
// SYNOP/AUDIO_yyyy-mm-dd_hh-mi.WAV named for the local time of the start.
//
// Threading: start() and stop() run on one thread (the user-interface
// thread), block() on the capture thread. The caller holds its block mutex
// around every block() and around stop(), so no block is written while the
// file is being closed; start() runs before the capture thread is told to
// call block(). recording(), bytesWritten() and writeFailed() may be read
// from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "audioio/Codec.h"
#include "audioio/WaveFileWriter.h"
#include "audioio/WaveFormat.h"
#include "common/Result.h"
#include "common/TimeKey.h"

namespace zeb::audio {

struct RecorderStart {
    std::filesystem::path workDir;  // SYNOP/ is created below it when missing
    NameTime localTime;             // the file is named for the first free minute from here
    // The stored format record (at least 18 bytes), completed against the
    // installed codecs; empty: defaultCodecRecord().
    std::vector<std::uint8_t> codecRecord;
};

// The record used when none is stored: GSM 6.10 (tag 49), 1 channel,
// 11025 Hz, 16 bits per sample, average bytes, block align and extra size 0.
std::vector<std::uint8_t> defaultCodecRecord();

class Recorder {
public:
    static constexpr std::uint32_t kSampleRate = 11025;
    static constexpr std::size_t kPcmBufferBytes = 4096;  // 2048 samples of 16 bits
    // The header sizes are refreshed after this much audio, so that a crash
    // leaves a playable file that lacks at most the last few seconds.
    static constexpr std::uint64_t kRefreshSamples = 5 * kSampleRate;

    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Chooses the codec, creates SYNOP/ and a new file for the first free
    // minute at or after the requested time (an existing recording is never
    // replaced) and allocates every buffer the blocks need. A record that does
    // not complete, or whose codec cannot convert the capture format, falls
    // back to 16-bit PCM (fellBack()). On failure nothing stays open and no
    // file is left behind. Returns the file's path; while recording, the path
    // of the running recording.
    Result<std::filesystem::path> start(const RecorderStart& request);

    // Records one captured block. Allocates nothing. A failed write is
    // remembered (writeFailed()) and the recording goes on.
    void block(const float* samples, int count);
    void block(std::span<const float> samples) {
        block(samples.data(), static_cast<int>(samples.size()));
    }

    // Converts what is left (the last codec block padded with silence),
    // closes the file with its final sizes and frees the buffers. Reports a
    // file that could not be completed, or a recording that lost audio to a
    // failed write. Does nothing when not recording.
    Result<void> stop();

    bool recording() const { return recording_.load(); }
    // Bytes in the data chunk so far (the page shows them as "%d K"); 0 when idle.
    std::uint64_t bytesWritten() const { return bytesWritten_.load(); }
    bool writeFailed() const { return writeFailed_.load(); }
    // The file of the running (or last) recording.
    const std::filesystem::path& path() const { return path_; }
    // The codec and format of the running (or last) recording.
    const CodecChoice& codec() const { return codec_; }
    const WaveFormat& format() const { return format_; }
    // True when the stored record could not be used and PCM was chosen instead.
    bool fellBack() const { return fellBack_; }

private:
    bool chooseCodec(const std::vector<std::uint8_t>& stored);
    Result<std::filesystem::path> createFile(const RecorderStart& request);
    void encode(bool end);
    void writeOut(std::uint32_t bytes);
    void release();

    WaveFileWriter writer_;
    std::unique_ptr<Encoder> encoder_;
    std::vector<std::int16_t> pcm_;    // little-endian 16-bit samples awaiting the codec
    std::size_t pcmSamples_ = 0;       // samples in pcm_
    std::vector<std::uint8_t> coded_;  // codec output of one conversion
    std::uint64_t sinceRefresh_ = 0;   // samples since the header sizes were refreshed
    std::filesystem::path path_;
    CodecChoice codec_;
    WaveFormat format_;
    bool fellBack_ = false;
    std::atomic<bool> recording_{false};
    std::atomic<bool> writeFailed_{false};
    std::atomic<std::uint64_t> bytesWritten_{0};
};

}  // namespace zeb::audio
