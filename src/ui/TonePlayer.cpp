// The warning-tone player and the sine-tone output on an audio device.
#include <QApplication>
#include <QTimer>

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>

#include "audioio/Backends.h"
#include "audioio/WaveFormat.h"
#include "ui/TextWindow.h"

namespace zeb::ui {

TonePlayer::TonePlayer(ToneOutput& output, QObject* parent) : QObject(parent), output_(output) {}

TonePlayer::~TonePlayer() {
    if (playing_) output_.stopTone();
}

bool TonePlayer::play(std::span<const weather::TonePair> sequence) {
    if (!enabled_ || playing_ || sequence.empty()) return false;
    sequence_.assign(sequence.begin(), sequence.end());
    next_ = 0;
    playing_ = true;
    QTimer::singleShot(1, this, &TonePlayer::step);
    return true;
}

void TonePlayer::step() {
    // A sequence without its closing 0 ends after its last pair all the same.
    if (next_ >= sequence_.size() || sequence_[next_].frequency == 0) {
        output_.stopTone();
        playing_ = false;
        emit finished();
        return;
    }
    const weather::TonePair pair = sequence_[next_++];
    output_.startTone(pair.frequency);
    QTimer::singleShot(static_cast<int>(pair.milliseconds), this, &TonePlayer::step);
}

namespace {

constexpr std::uint32_t kToneRate = 11025;
// Short blocks keep the tone changes close to the player's timing: 256
// samples are 23 ms, three of them queued about 70 ms of latency.
constexpr std::uint32_t kToneBlockSamples = 256;
constexpr std::size_t kToneBlocks = 3;
constexpr double kToneAmplitude = 0.3 * 32767.0;

// Writes the tone straight to a device of the backend (not through a
// WaveStream, whose open would change the process-wide block period the
// capture stream's time limits use). The device is opened by the first tone
// of a sequence and closed by stopTone; between tones only the frequency
// changes, so the phase runs on without a click.
class AudioToneOutput final : public ToneOutput, private audio::DeviceSink {
public:
    explicit AudioToneOutput(std::string device) : deviceName_(std::move(device)) {}
    ~AudioToneOutput() override { stopTone(); }

    void startTone(int frequencyHz) override {
        frequency_.store(frequencyHz);
        if (device_) return;
        // A device that failed is tried again with the next sequence, not
        // with every tone of this one.
        if (!failed_ && openDevice()) return;
        failed_ = true;
        QApplication::beep();
    }

    void stopTone() override {
        failed_ = false;
        if (!device_) return;
        {
            // From here on blockDone gives blocks back without writing them.
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        device_->reset();
        for (audio::BlockHeader& h : headers_) {
            if (h.flags & audio::kBlockPrepared) device_->unprepare(h);
        }
        device_->close();
        device_.reset();
    }

private:
    bool openDevice() {
        if (!backend_) backend_ = audio::makeBackend(deviceName_, audio::FilePacing::RealTime);
        if (!backend_ || !backend_->hasDevice(true)) return false;
        std::unique_ptr<audio::WaveDevice> device = backend_->createDevice(true);
        if (!device) return false;
        const audio::WaveFormat format = audio::WaveFormat::pcm(kToneRate, 1, 16);
        constexpr auto kBytes = static_cast<std::uint32_t>(kToneBlockSamples * 2);
        if (device->open(format, kBytes, kToneBlocks, *this) != 0) return false;
        phase_ = 0.0;
        for (std::size_t i = 0; i < kToneBlocks; ++i) {
            headers_[i] = audio::BlockHeader{};
            headers_[i].data = reinterpret_cast<std::uint8_t*>(samples_[i].data());
            headers_[i].bufferLength = kBytes;
            if (device->prepare(headers_[i]) != 0) {
                device->close();
                return false;
            }
        }
        device_ = std::move(device);
        std::lock_guard lock(mutex_);
        running_ = true;
        for (audio::BlockHeader& h : headers_) {
            fill(h);
            device_->write(h);
        }
        device_->start();
        return true;
    }

    // Device thread (or the caller of reset): refills a played block with
    // the tone and queues it again, into buffers that exist already.
    void blockDone(audio::BlockHeader* header) override {
        std::lock_guard lock(mutex_);
        if (!running_ || !device_) return;
        fill(*header);
        device_->write(*header);
    }
    void deviceClosed() override {}
    void endOfInput() override {}

    void fill(audio::BlockHeader& header) {
        auto* out = reinterpret_cast<std::int16_t*>(header.data);
        const double step =
            2.0 * std::numbers::pi * frequency_.load() / static_cast<double>(kToneRate);
        for (std::uint32_t i = 0; i < kToneBlockSamples; ++i) {
            out[i] = static_cast<std::int16_t>(std::lround(kToneAmplitude * std::sin(phase_)));
            phase_ += step;
            if (phase_ >= 2.0 * std::numbers::pi) phase_ -= 2.0 * std::numbers::pi;
        }
    }

    std::string deviceName_;
    std::shared_ptr<audio::AudioBackend> backend_;
    std::unique_ptr<audio::WaveDevice> device_;
    std::mutex mutex_;  // running_, phase_ and the blocks between the threads
    bool running_ = false;
    bool failed_ = false;  // the device could not be opened for this sequence
    std::atomic<int> frequency_{0};
    double phase_ = 0.0;
    std::array<std::array<std::int16_t, kToneBlockSamples>, kToneBlocks> samples_{};
    std::array<audio::BlockHeader, kToneBlocks> headers_{};
};

}  // namespace

std::unique_ptr<ToneOutput> makeAudioToneOutput(std::string device) {
    return std::make_unique<AudioToneOutput>(std::move(device));
}

}  // namespace zeb::ui
