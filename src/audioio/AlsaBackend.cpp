// The ALSA backend: real sound cards (and ALSA's plugins). One period is one
// block. The worker waits for the device with a short time-out, so stop,
// reset and close never hang on a device that delivers nothing. An overrun
// (capture) or underrun (playback) is recovered and counted, never fatal.
#include <alsa/asoundlib.h>

#include <atomic>
#include <cstring>

#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/ThreadedDevice.h"

namespace zeb::audio {

namespace {

// alsa-lib prints its own diagnostics on stderr; the audio layer reports
// failures through AudioError instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Opens a PCM by name, from the given configuration text when there is one
// (devices defined only for this program, e.g. in tests), else from ALSA's own.
int openPcm(snd_pcm_t** pcm, const std::string& name, const std::string& config,
            snd_pcm_stream_t dir) {
    if (config.empty()) return snd_pcm_open(pcm, name.c_str(), dir, SND_PCM_NONBLOCK);
    snd_config_t* top = nullptr;
    snd_input_t* in = nullptr;
    int r = snd_config_top(&top);
    if (r >= 0) r = snd_input_buffer_open(&in, config.data(), static_cast<ssize_t>(config.size()));
    if (r >= 0) r = snd_config_load(top, in);
    if (in) snd_input_close(in);
    if (r >= 0) r = snd_pcm_open_lconf(pcm, name.c_str(), dir, SND_PCM_NONBLOCK, top);
    if (top) snd_config_delete(top);
    return r;
}

class AlsaDevice final : public ThreadedDevice {
public:
    AlsaDevice(std::string name, std::string config, bool output)
        : ThreadedDevice(output, false), name_(std::move(name)), config_(std::move(config)) {}
    ~AlsaDevice() override {
        close();
        release();
    }

    std::uint64_t overruns() const override { return xruns_.load(); }

protected:
    int openDevice(const WaveFormat& format, std::uint32_t blockBytes) override {
        snd_lib_error_set_handler(quietAlsa);
        const snd_pcm_stream_t dir = output() ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
        if (int r = openPcm(&pcm_, name_, config_, dir); r < 0) {
            pcm_ = nullptr;
            return r;
        }
        frameBytes_ = format.blockAlign;
        periodFrames_ = blockBytes / frameBytes_;
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        int r = snd_pcm_hw_params_any(pcm_, hw);
        if (r >= 0) r = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
        if (r >= 0) r = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE);
        if (r >= 0) r = snd_pcm_hw_params_set_channels(pcm_, hw, format.channels);
        if (r >= 0) r = snd_pcm_hw_params_set_rate(pcm_, hw, format.samplesPerSec, 0);
        if (r < 0) {
            release();
            return kResultBadFormat;
        }
        snd_pcm_uframes_t period = periodFrames_;
        int sub = 0;
        if (r >= 0) r = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, &sub);
        snd_pcm_uframes_t buffer = period * 4;
        if (r >= 0) r = snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer);
        if (r >= 0) r = snd_pcm_hw_params(pcm_, hw);
        if (r >= 0) r = snd_pcm_prepare(pcm_);
        if (r < 0) {
            release();
            return r;
        }
        return 0;
    }

    int transfer(BlockHeader& header) override {
        std::uint8_t* data = header.data;
        snd_pcm_uframes_t left = header.bufferLength / frameBytes_;
        while (left > 0) {
            const snd_pcm_sframes_t n =
                output() ? snd_pcm_writei(pcm_, data, left) : snd_pcm_readi(pcm_, data, left);
            if (n > 0) {
                data += static_cast<std::size_t>(n) * frameBytes_;
                left -= static_cast<snd_pcm_uframes_t>(n);
                continue;
            }
            if (n == -EAGAIN || n == 0) {
                if (interrupted()) break;
                snd_pcm_wait(pcm_, 50);
                continue;
            }
            if (n == -EPIPE || n == -ESTRPIPE || n == -EINTR) {
                ++xruns_;
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) >= 0) continue;
            }
            ++failures_;
            if (interrupted()) break;
            snd_pcm_prepare(pcm_);
            snd_pcm_wait(pcm_, 50);
        }
        // Whatever could not be read in time is silence, never stale audio.
        if (!output() && left > 0) std::memset(data, 0, left * frameBytes_);
        return 0;
    }

    void onStop() override {
        if (pcm_) snd_pcm_drop(pcm_);
    }

    void closeDevice() override { release(); }

private:
    void release() {
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

    std::string name_;
    std::string config_;
    snd_pcm_t* pcm_ = nullptr;
    std::uint32_t frameBytes_ = 2;
    snd_pcm_uframes_t periodFrames_ = 1024;
    std::atomic<std::uint64_t> xruns_{0};
    std::uint64_t failures_ = 0;
};

class AlsaBackend final : public AudioBackend {
public:
    AlsaBackend(std::string name, std::string config)
        : name_(std::move(name)), config_(std::move(config)) {}

    // A device exists when ALSA can open it in that direction.
    bool hasDevice(bool output) const override {
        snd_lib_error_set_handler(quietAlsa);
        snd_pcm_t* pcm = nullptr;
        const snd_pcm_stream_t dir = output ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
        if (openPcm(&pcm, name_, config_, dir) < 0) return false;
        snd_pcm_close(pcm);
        return true;
    }
    // The hardware parameters are asked, not set: nothing is opened for long.
    std::int32_t checkInputFormat(const WaveFormat& format) const override {
        snd_lib_error_set_handler(quietAlsa);
        snd_pcm_t* pcm = nullptr;
        if (int r = openPcm(&pcm, name_, config_, SND_PCM_STREAM_CAPTURE); r < 0) return r;
        snd_pcm_hw_params_t* hw = nullptr;
        int r = snd_pcm_hw_params_malloc(&hw);
        if (r >= 0) r = snd_pcm_hw_params_any(pcm, hw);
        std::int32_t result = r < 0 ? r : 0;
        if (result == 0) {
            const snd_pcm_format_t sample =
                format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
            const bool offered =
                snd_pcm_hw_params_test_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
                snd_pcm_hw_params_test_format(pcm, hw, sample) == 0 &&
                snd_pcm_hw_params_test_channels(pcm, hw, format.channels) == 0 &&
                snd_pcm_hw_params_test_rate(pcm, hw, format.samplesPerSec, 0) == 0;
            if (!offered) result = kResultBadFormat;
        }
        if (hw) snd_pcm_hw_params_free(hw);
        snd_pcm_close(pcm);
        return result;
    }
    std::unique_ptr<WaveDevice> createDevice(bool output) override {
        return std::make_unique<AlsaDevice>(name_, config_, output);
    }
    std::string name() const override { return name_; }

private:
    std::string name_;
    std::string config_;
};

}  // namespace

std::shared_ptr<AudioBackend> makeAlsaBackend(std::string deviceName, std::string config) {
    return std::make_shared<AlsaBackend>(std::move(deviceName), std::move(config));
}

}  // namespace zeb::audio
