// Recordings for the player's tests, written as the recorder writes them
// (SYNOP/AUDIO_yyyy-mm-dd_hh-mi.WAV, PCM or GSM 6.10 or another codec of the
// registry), and an output device that keeps what it is given to play, so
// that a test hears exactly what the player sent.
#pragma once

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

#include "audioio/Backends.h"
#include "audioio/Recorder.h"
#include "audioio/ThreadedDevice.h"
#include "audioio/WaveFormat.h"
#include "common/TimeKey.h"
#include "support/AllocationCount.h"
#include "support/TestEnv.h"

namespace zeb::zebplay::test {

using namespace std::chrono_literals;
using zeb::test::TempDir;

inline constexpr int kRate = 11025;

// A recording's samples: a 440 Hz tone whose loudness rises, whole numbers,
// so that 16-bit PCM keeps them exactly.
inline std::vector<float> toneSamples(double seconds) {
    std::vector<float> samples(static_cast<std::size_t>(std::lround(seconds * kRate)));
    const auto count = static_cast<double>(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto t = static_cast<double>(i);
        const double gain = 2000.0 + 12000.0 * t / count;
        samples[i] = static_cast<float>(
            std::round(gain * std::sin(2.0 * std::numbers::pi * 440.0 * t / kRate)));
    }
    return samples;
}

// The stored codec record of a format tag at 11025 Hz mono (the recorder
// completes it against the installed codecs).
inline std::vector<std::uint8_t> codecRecord(std::uint16_t tag) {
    if (tag == audio::kTagGsm610) return audio::defaultCodecRecord();
    audio::WaveFormat format = audio::WaveFormat::pcm(kRate, 1, tag == audio::kTagPcm ? 16 : 8);
    format.formatTag = tag;
    return format.serialize();
}

// Records `samples` with the codec of `tag` into SYNOP/ of `workDir` under
// the name of `time`; the file's path.
inline std::filesystem::path record(const std::filesystem::path& workDir, std::uint16_t tag,
                                    const std::vector<float>& samples,
                                    NameTime time = {2024, 3, 5, 14, 5}) {
    audio::Recorder recorder;
    auto started = recorder.start({workDir, time, codecRecord(tag)});
    EXPECT_TRUE(started.ok()) << (started ? "" : started.error().message);
    if (!started) return {};
    EXPECT_EQ(recorder.format().formatTag, tag);
    constexpr std::size_t kChunk = 1024;  // as the capture stream delivers them
    for (std::size_t i = 0; i < samples.size(); i += kChunk)
        recorder.block(samples.data() + i, static_cast<int>(std::min(kChunk, samples.size() - i)));
    auto stopped = recorder.stop();
    EXPECT_TRUE(stopped.ok()) << (stopped ? "" : stopped.error().message);
    return *started;
}

// An output device that keeps every 16-bit sample it plays; paced in real
// time like the null device, or as fast as the player gives blocks. It also
// notes, at every block, how often its thread has allocated so far: what
// runs between two blocks on that thread is the player's refilling.
class CapturingBackend final : public audio::AudioBackend {
public:
    explicit CapturingBackend(bool paced) : paced_(paced) {
        // Room for a minute, so that keeping the sound allocates nothing.
        played_.reserve(60 * 44100 * 2);
        allocations_.reserve(60 * 44100 / 256);
    }

    bool hasDevice(bool output) const override { return output; }
    std::unique_ptr<audio::WaveDevice> createDevice(bool output) override {
        if (!output) return nullptr;
        return std::make_unique<Device>(*this, paced_);
    }
    std::string name() const override { return "capture"; }

    std::vector<std::int16_t> played() const {
        std::lock_guard lock(mutex_);
        return played_;
    }
    std::vector<long> allocations() const {
        std::lock_guard lock(mutex_);
        return allocations_;
    }

private:
    class Device final : public audio::ThreadedDevice {
    public:
        Device(CapturingBackend& owner, bool paced) : ThreadedDevice(true, paced), owner_(owner) {}
        ~Device() override { close(); }

    protected:
        int openDevice(const audio::WaveFormat&, std::uint32_t) override { return 0; }
        int transfer(audio::BlockHeader& header) override {
            const auto* samples = reinterpret_cast<const std::int16_t*>(header.data);
            const long allocated = zeb::test::allocationCount();
            std::lock_guard lock(owner_.mutex_);
            owner_.allocations_.push_back(allocated);
            owner_.played_.insert(owner_.played_.end(), samples, samples + header.bufferLength / 2);
            return 0;
        }

    private:
        CapturingBackend& owner_;
    };

    bool paced_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> played_;
    std::vector<long> allocations_;
};

// Waits, with the window's events running, until `condition` holds; false
// when it does not within the (generous) bound.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound = 30s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

}  // namespace zeb::zebplay::test
