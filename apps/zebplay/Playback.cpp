#include "Playback.h"

#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "audioio/AudioError.h"
#include "audioio/WaveFormat.h"

namespace zeb::zebplay {

namespace fs = std::filesystem;

namespace {

// About 1/32 s per block, so that pause, seek and the level meter answer at
// once at any rate: 512 frames at 11025 Hz, 2048 at 44100 Hz.
std::uint32_t blockFramesFor(int rate) {
    const auto wanted = static_cast<std::uint32_t>(std::max(rate, 1) / 32);
    return std::clamp<std::uint32_t>(std::bit_ceil(std::max<std::uint32_t>(wanted, 1)), 256, 8192);
}

// libsndfile's message as a reason: "Format not recognised." becomes
// "format not recognised".
std::string reasonOf(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text.empty() ? std::string("libsndfile cannot read it") : text;
}

std::string encodingName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return info.name;
    return "encoding " + std::to_string(info.format);
}

// Why a path is no recording before libsndfile is asked; nullopt when it may be one.
std::optional<Error> fileProblem(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        const int err = ec ? ec.value() : ENOENT;
        return Error{err, err == ENOENT ? std::string("the file does not exist") : ec.message()};
    }
    if (!fs::is_regular_file(status)) return Error{EISDIR, "it is not a file"};
    if (fs::file_size(path, ec) == 0 && !ec) return Error{EINVAL, "it is empty"};
    return std::nullopt;
}

}  // namespace

std::string clockText(std::int64_t frames, int rate) {
    const std::int64_t seconds = rate > 0 ? std::max<std::int64_t>(frames, 0) / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

Playback::Playback(std::shared_ptr<audio::AudioBackend> backend) : backend_(std::move(backend)) {}

Playback::~Playback() { close(); }

Result<void> Playback::open(const fs::path& path) {
    close();
    if (auto problem = fileProblem(path)) return *problem;
    SF_INFO sf{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sf);
    if (file == nullptr) return Error{EINVAL, reasonOf(sf_strerror(nullptr))};
    std::string problem;
    if (sf.channels <= 0)
        problem = "it declares no audio channel";
    else if (sf.samplerate <= 0)
        problem = "it declares no sample rate";
    else if (sf.frames <= 0)
        problem = "it holds no audio";
    if (!problem.empty()) {
        sf_close(file);
        return Error{EINVAL, problem};
    }
    std::lock_guard lock(mutex_);
    file_ = file;
    path_ = path;
    info_ = RecordingInfo{sf.samplerate, sf.channels, sf.frames, encodingName(sf.format)};
    outChannels_ = sf.channels <= 2 ? sf.channels : 1;
    blockFrames_ = blockFramesFor(sf.samplerate);
    const std::size_t blockSamples = std::size_t{blockFrames_} * std::size_t(outChannels_);
    samples_.assign(kBlockCount * blockSamples, 0);
    decoded_.assign(std::size_t{blockFrames_} * std::size_t(sf.channels), 0.0f);
    seekable_ = sf.seekable != 0;
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        blocks_[i] = Block{};
        blocks_[i].header.data =
            reinterpret_cast<std::uint8_t*>(samples_.data() + i * blockSamples);
        blocks_[i].header.bufferLength = static_cast<std::uint32_t>(blockSamples * 2);
        blocks_[i].header.user = i;
    }
    readFrame_ = 0;
    atEnd_ = false;
    inFlight_ = 0;
    position_ = 0;
    level_ = 0.0f;
    state_ = PlayState::Paused;
    return success();
}

void Playback::close() {
    closeDevice();
    std::lock_guard lock(mutex_);
    if (file_) sf_close(file_);
    file_ = nullptr;
    path_.clear();
    info_ = RecordingInfo{};
    state_ = PlayState::Empty;
    position_ = 0;
    level_ = 0.0f;
}

Result<void> Playback::openDevice() {
    if (!backend_ || !backend_->hasDevice(true))
        return Error{ENODEV, "there is no audio output device"};
    std::unique_ptr<audio::WaveDevice> device = backend_->createDevice(true);
    if (!device) return Error{ENODEV, "there is no audio output device"};
    const auto format = audio::WaveFormat::pcm(static_cast<std::uint32_t>(info_.rate),
                                               static_cast<std::uint16_t>(outChannels_), 16);
    const std::uint32_t bytes = blocks_[0].header.bufferLength;
    if (const int r = device->open(format, bytes, kBlockCount, *this); r != 0)
        return Error{EIO, audio::deviceResultText(r)};
    for (Block& block : blocks_) {
        if (const int r = device->prepare(block.header); r != 0) {
            device->close();
            return Error{EIO, audio::deviceResultText(r)};
        }
    }
    device_ = std::move(device);
    return success();
}

void Playback::closeDevice() {
    if (!device_) return;
    dropQueued();
    device_->close();
    for (Block& block : blocks_) device_->unprepare(block.header);
    device_.reset();
    std::lock_guard lock(mutex_);
    inFlight_ = 0;
    for (Block& block : blocks_) block.queued = false;
}

void Playback::dropQueued() {
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
    }
    // Every queued block comes back through blockDone, which now keeps it.
    if (device_) device_->reset();
}

Result<void> Playback::play() {
    if (!isOpen()) return Error{EINVAL, "no recording is open"};
    if (state() == PlayState::Playing) return success();
    if (state() == PlayState::Ended) seek(0);
    if (!device_) {
        if (auto opened = openDevice(); !opened) return opened;
    }
    {
        std::lock_guard lock(mutex_);
        playing_ = true;
        state_ = PlayState::Playing;
        primeLocked();
        if (inFlight_ == 0) finishLocked();
    }
    device_->start();
    return success();
}

void Playback::pause() {
    if (state() != PlayState::Playing) return;
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        if (state_ == PlayState::Playing) state_ = PlayState::Paused;
        level_ = 0.0f;
    }
    // Blocks not yet played stay queued and play on at the next start.
    device_->stop();
}

void Playback::seek(std::int64_t frame) {
    if (!isOpen()) return;
    const bool wasPlaying = state() == PlayState::Playing;
    dropQueued();
    {
        std::lock_guard lock(mutex_);
        frame = std::clamp<std::int64_t>(frame, 0, info_.frames);
        moveLocked(frame);
        atEnd_ = readFrame_ >= info_.frames;
        ++generation_;
        position_ = readFrame_;
        level_ = 0.0f;
        state_ = PlayState::Paused;
        if (wasPlaying) {
            playing_ = true;
            state_ = PlayState::Playing;
            primeLocked();
            if (inFlight_ == 0) finishLocked();
        }
    }
    if (wasPlaying && device_) device_->start();
}

void Playback::fillLocked(std::size_t i) {
    Block& block = blocks_[i];
    auto* out = reinterpret_cast<std::int16_t*>(block.header.data);
    const auto want = static_cast<sf_count_t>(blockFrames_);
    // Read as float, which libsndfile scales alike for every encoding (a
    // float file read as short would come out as 0 and ±1).
    const sf_count_t got =
        atEnd_ ? 0 : std::max<sf_count_t>(sf_readf_float(file_, decoded_.data(), want), 0);
    const auto frames = static_cast<std::size_t>(got);
    const auto channels = static_cast<std::size_t>(info_.channels);
    int peak = 0;
    const auto put = [&](std::size_t at, float value) {
        const auto sample = static_cast<std::int16_t>(
            std::lround(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
        out[at] = sample;
        peak = std::max(peak, std::abs(int{sample}));
    };
    if (channels == static_cast<std::size_t>(outChannels_)) {
        for (std::size_t s = 0; s < frames * channels; ++s) put(s, decoded_[s]);
    } else {
        for (std::size_t f = 0; f < frames; ++f) {
            float sum = 0.0f;
            for (std::size_t c = 0; c < channels; ++c) sum += decoded_[f * channels + c];
            put(f, sum / static_cast<float>(channels));
        }
    }
    const std::size_t used = frames * std::size_t(outChannels_);
    const std::size_t total = std::size_t{blockFrames_} * std::size_t(outChannels_);
    std::fill(out + used, out + total, std::int16_t{0});
    if (got < want) atEnd_ = true;
    block.start = readFrame_;
    block.frames = static_cast<std::uint32_t>(got);
    block.generation = generation_;
    block.peak = static_cast<float>(peak) / 32768.0f;
    readFrame_ += got;
}

void Playback::moveLocked(std::int64_t frame) {
    if (seekable_) {
        const sf_count_t at = sf_seek(file_, frame, SEEK_SET);
        if (at >= 0) {
            readFrame_ = at;
            return;
        }
    }
    // libsndfile cannot seek in some encodings (GSM 6.10 in WAV among
    // them): back means from the beginning again, then forward by reading.
    if (frame < readFrame_) {
        SF_INFO sf{};
        SNDFILE* again = sf_open(path_.c_str(), SFM_READ, &sf);
        if (again == nullptr || sf.channels != info_.channels) {
            if (again) sf_close(again);
            readFrame_ = info_.frames;  // nothing more can be read
            return;
        }
        sf_close(file_);
        file_ = again;
        readFrame_ = 0;
    }
    while (readFrame_ < frame) {
        const auto step = std::min<std::int64_t>(blockFrames_, frame - readFrame_);
        const sf_count_t got = sf_readf_float(file_, decoded_.data(), step);
        if (got <= 0) {
            readFrame_ = info_.frames;
            return;
        }
        readFrame_ += got;
    }
}

void Playback::primeLocked() {
    for (std::size_t i = 0; i < kBlockCount && !atEnd_ && device_; ++i) {
        Block& block = blocks_[i];
        if (block.queued) continue;
        fillLocked(i);
        if (block.frames == 0) break;
        if (device_->write(block.header) == 0) {
            block.queued = true;
            ++inFlight_;
        }
    }
}

void Playback::finishLocked() {
    playing_ = false;
    state_ = PlayState::Ended;
    position_ = readFrame_;
    level_ = 0.0f;
    ++endings_;
}

void Playback::blockDone(audio::BlockHeader* header) {
    std::lock_guard lock(mutex_);
    const std::size_t i = header->user;
    if (i >= kBlockCount || !blocks_[i].queued) return;
    Block& block = blocks_[i];
    block.queued = false;
    --inFlight_;
    // Once paused the position holds, and blocks a seek or close dropped
    // were never heard.
    if (!playing_) return;
    if (block.generation == generation_) {
        position_ = block.start + block.frames;
        level_ = block.peak;
    }
    if (!atEnd_) {
        fillLocked(i);
        if (block.frames > 0 && device_->write(block.header) == 0) {
            block.queued = true;
            ++inFlight_;
        }
    }
    if (inFlight_ == 0) finishLocked();
}

}  // namespace zeb::zebplay
