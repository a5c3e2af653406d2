// The file backend: a recording as the input device. libsndfile reads any
// format it knows; the audio is mixed down to the stream's channel count and
// resampled to its rate with libsoxr. At the stream's own rate the 16-bit
// samples pass unchanged, so a recording made by the suite is delivered
// sample for sample.
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/ThreadedDevice.h"

namespace zeb::audio {

namespace {

constexpr std::size_t kChunkFrames = 1024;
constexpr std::size_t kStreamFrames = 256;

// Frames of a GSM 6.10 WAV file: whole 65-byte blocks of its data chunk
// times 320. libsndfile reports one block more when the block count is odd
// and decodes junk for it, so its count is not used for these files.
std::optional<sf_count_t> gsmWavFrames(const std::filesystem::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::optional<sf_count_t> frames;
    unsigned char head[12];
    if (std::fread(head, 1, 12, f) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        unsigned char chunk[8];
        while (std::fread(chunk, 1, 8, f) == 8) {
            const std::uint32_t size = chunk[4] | chunk[5] << 8 | chunk[6] << 16 |
                                       static_cast<std::uint32_t>(chunk[7]) << 24;
            if (std::memcmp(chunk, "data", 4) == 0) {
                frames = static_cast<sf_count_t>(size / 65) * 320;
                break;
            }
            if (std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) break;
        }
    }
    std::fclose(f);
    return frames;
}

class FileInputDevice final : public ThreadedDevice {
public:
    FileInputDevice(std::filesystem::path path, bool paced, std::optional<RawFormat> raw)
        : ThreadedDevice(false, paced), path_(std::move(path)), raw_(raw) {}
    ~FileInputDevice() override {
        close();
        release();
    }

protected:
    int openDevice(const WaveFormat& format, std::uint32_t blockBytes) override {
        SF_INFO info{};
        if (raw_) {
            info.samplerate = raw_->rate;
            info.channels = raw_->channels;
            info.format = SF_FORMAT_RAW | rawSubformat(raw_->sample);
        }
        file_ = sf_open(path_.c_str(), SFM_READ, &info);
        if (!file_) return kResultNoFile;
        // A pipe is read in small pieces so that what arrives is decoded at
        // once; a file in large ones.
        std::error_code ec;
        chunkFrames_ = std::filesystem::is_regular_file(path_, ec) ? kChunkFrames : kStreamFrames;
        if (info.channels <= 0 || info.samplerate <= 0) {
            release();
            return kResultBadFile;
        }
        if (format.channels != 1 && format.channels != info.channels) {
            release();
            return kResultBadFormat;
        }
        framesLeft_ = info.frames;
        if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
            (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_GSM610 && chunkFrames_ == kChunkFrames) {
            if (const auto frames = gsmWavFrames(path_))
                framesLeft_ = std::min(*frames, framesLeft_);
        }
        inChannels_ = static_cast<std::size_t>(info.channels);
        outChannels_ = format.channels;
        blockSamples_ = blockBytes / 2;
        resample_ = static_cast<std::uint32_t>(info.samplerate) != format.samplesPerSec;
        // Floating-point samples (±1) would be read as 16-bit integers by
        // truncation, giving -1, 0 and 1: they are read as floats and scaled.
        const int sub = info.format & SF_FORMAT_SUBMASK;
        floatSource_ = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
        if (resample_) {
            soxr_error_t error = nullptr;
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            soxr_ =
                soxr_create(info.samplerate, format.samplesPerSec,
                            static_cast<unsigned>(outChannels_), &error, &io, &quality, nullptr);
            if (!soxr_ || error) {
                release();
                return kResultResampler;
            }
            const double ratio = static_cast<double>(format.samplesPerSec) / info.samplerate;
            // What one call may produce: a chunk at the new rate, but at most
            // a few chunks however low the file's rate (1 Hz would ask for 11
            // million frames); the resampler then takes its input in smaller steps.
            outChunk_ = std::min(static_cast<std::size_t>(std::ceil(kChunkFrames * ratio)) + 64,
                                 4 * kChunkFrames);
        } else {
            outChunk_ = kChunkFrames;
        }
        readShort_.assign(kChunkFrames * inChannels_, 0);
        readFloat_.assign(kChunkFrames * inChannels_, 0.0f);
        mixed_.assign(kChunkFrames * outChannels_, 0.0f);
        resampled_.assign(outChunk_ * outChannels_, 0.0f);
        pending_.assign((blockSamples_ + 2 * outChunk_) * outChannels_, 0);
        pendingLen_ = 0;
        mixedPos_ = mixedLen_ = 0;
        sourceDone_ = false;
        fileDone_ = false;
        return 0;
    }

    int transfer(BlockHeader& header) override {
        const std::size_t want = header.bufferLength / 2;
        while (pendingLen_ < want && !sourceDone_) refill();
        if (pendingLen_ == 0) return kEndOfInput;
        const std::size_t n = std::min(want, pendingLen_);
        std::memcpy(header.data, pending_.data(), n * 2);
        if (n < want) std::memset(header.data + n * 2, 0, (want - n) * 2);
        std::memmove(pending_.data(), pending_.data() + n, (pendingLen_ - n) * 2);
        pendingLen_ -= n;
        return 0;
    }

    void closeDevice() override { release(); }

private:
    void release() {
        if (soxr_) soxr_delete(soxr_);
        soxr_ = nullptr;
        if (file_) sf_close(file_);
        file_ = nullptr;
    }

    static constexpr float kFloatLimit = 16.0f;

    static std::int16_t toSample(float v) {
        if (!std::isfinite(v)) return 0;
        const float scaled = std::nearbyint(v * 32768.0f);
        return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    }

    // Moves more audio into pending_; sets sourceDone_ at the end of the file.
    void refill() {
        if (!resample_ && floatSource_) {
            const sf_count_t got = sf_readf_float(file_, readFloat_.data(), chunk());
            if (got <= 0) {
                sourceDone_ = true;
                return;
            }
            framesLeft_ -= got;
            mixFloats(static_cast<std::size_t>(got));
            for (std::size_t i = 0; i < mixedLen_ * outChannels_; ++i)
                pending_[pendingLen_ * outChannels_ + i] = toSample(mixed_[i]);
            pendingLen_ += mixedLen_;
            mixedPos_ = mixedLen_ = 0;
            return;
        }
        if (!resample_) {
            const sf_count_t got = sf_readf_short(file_, readShort_.data(), chunk());
            if (got <= 0) {
                sourceDone_ = true;
                return;
            }
            framesLeft_ -= got;
            appendShorts(static_cast<std::size_t>(got));
            return;
        }
        if (mixedPos_ == mixedLen_ && !fileDone_) {
            const sf_count_t got = sf_readf_float(file_, readFloat_.data(), chunk());
            if (got <= 0) {
                fileDone_ = true;
            } else {
                framesLeft_ -= got;
                mixFloats(static_cast<std::size_t>(got));
            }
        }
        const std::size_t space = pending_.size() / outChannels_ - pendingLen_;
        const std::size_t room = std::min(space, outChunk_);
        std::size_t used = 0;
        std::size_t made = 0;
        if (mixedPos_ < mixedLen_) {
            soxr_process(soxr_, mixed_.data() + mixedPos_ * outChannels_, mixedLen_ - mixedPos_,
                         &used, resampled_.data(), room, &made);
            mixedPos_ += used;
        } else if (fileDone_) {
            // Drains what the filter still holds.
            soxr_process(soxr_, nullptr, 0, nullptr, resampled_.data(), room, &made);
            if (made == 0) sourceDone_ = true;
        }
        for (std::size_t i = 0; i < made * outChannels_; ++i) {
            pending_[pendingLen_ * outChannels_ + i] = toSample(resampled_[i]);
        }
        pendingLen_ += made;
    }

    // Frames to read next: a chunk, or what is left of the audio.
    sf_count_t chunk() const {
        return std::max<sf_count_t>(
            0, std::min<sf_count_t>(static_cast<sf_count_t>(chunkFrames_), framesLeft_));
    }

    static int rawSubformat(RawFormat::Sample sample) {
        switch (sample) {
            case RawFormat::Sample::U8: return SF_FORMAT_PCM_U8;
            case RawFormat::Sample::S32le: return SF_FORMAT_PCM_32 | SF_ENDIAN_LITTLE;
            case RawFormat::Sample::F32le: return SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE;
            case RawFormat::Sample::S16le: break;
        }
        return SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    }

    void appendShorts(std::size_t frames) {
        std::int16_t* out = pending_.data() + pendingLen_ * outChannels_;
        if (outChannels_ == inChannels_) {
            std::memcpy(out, readShort_.data(), frames * inChannels_ * 2);
        } else {
            const int ch = static_cast<int>(inChannels_);
            for (std::size_t f = 0; f < frames; ++f) {
                int sum = 0;
                for (int c = 0; c < ch; ++c) sum += readShort_[f * inChannels_ + c];
                // Average, rounded half away from zero.
                out[f] = static_cast<std::int16_t>((sum + (sum >= 0 ? ch / 2 : -(ch / 2))) / ch);
            }
        }
        pendingLen_ += frames;
    }

    void mixFloats(std::size_t frames) {
        // A sample that is not a number (a damaged float file) would spread
        // through the resampler over a whole block: it becomes silence. One
        // far beyond full scale is clipped at 24 dB over it, so that the
        // resampler's sums can never overflow to infinity.
        for (std::size_t i = 0; i < frames * inChannels_; ++i) {
            float& v = readFloat_[i];
            v = std::isfinite(v) ? std::clamp(v, -kFloatLimit, kFloatLimit) : 0.0f;
        }
        if (outChannels_ == inChannels_) {
            std::copy_n(readFloat_.begin(), frames * inChannels_, mixed_.begin());
        } else {
            for (std::size_t f = 0; f < frames; ++f) {
                float sum = 0.0f;
                for (std::size_t c = 0; c < inChannels_; ++c)
                    sum += readFloat_[f * inChannels_ + c];
                mixed_[f] = sum / static_cast<float>(inChannels_);
            }
        }
        mixedPos_ = 0;
        mixedLen_ = frames;
    }

    std::filesystem::path path_;
    std::optional<RawFormat> raw_;
    std::size_t chunkFrames_ = kChunkFrames;
    SNDFILE* file_ = nullptr;
    bool floatSource_ = false;  // float or double samples
    soxr_t soxr_ = nullptr;
    bool resample_ = false;
    sf_count_t framesLeft_ = 0;
    bool fileDone_ = false;
    bool sourceDone_ = false;
    std::size_t inChannels_ = 1;
    std::size_t outChannels_ = 1;
    std::size_t blockSamples_ = 0;
    std::size_t outChunk_ = 0;
    std::vector<std::int16_t> readShort_;
    std::vector<float> readFloat_;
    std::vector<float> mixed_;
    std::size_t mixedPos_ = 0;
    std::size_t mixedLen_ = 0;
    std::vector<float> resampled_;
    std::vector<std::int16_t> pending_;
    std::size_t pendingLen_ = 0;  // frames
};

class DiscardDevice final : public ThreadedDevice {
public:
    explicit DiscardDevice(bool paced) : ThreadedDevice(true, paced) {}
    ~DiscardDevice() override { close(); }

protected:
    int openDevice(const WaveFormat&, std::uint32_t) override { return 0; }
    int transfer(BlockHeader&) override { return 0; }
};

class FileBackend final : public AudioBackend {
public:
    FileBackend(std::filesystem::path path, FilePacing pacing, std::optional<RawFormat> raw)
        : path_(std::move(path)), paced_(pacing == FilePacing::RealTime), raw_(raw) {}
    bool hasDevice(bool) const override { return true; }
    std::unique_ptr<WaveDevice> createDevice(bool output) override {
        if (output) return std::make_unique<DiscardDevice>(paced_);
        return std::make_unique<FileInputDevice>(path_, paced_, raw_);
    }
    std::string name() const override { return "file:" + path_.string(); }

private:
    std::filesystem::path path_;
    bool paced_;
    std::optional<RawFormat> raw_;
};

}  // namespace

std::shared_ptr<AudioBackend> makeFileBackend(std::filesystem::path path, FilePacing pacing,
                                              std::optional<RawFormat> raw) {
    return std::make_shared<FileBackend>(std::move(path), pacing, raw);
}

}  // namespace zeb::audio
