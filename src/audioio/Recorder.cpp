#include "audioio/Recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "common/ReceivedFile.h"
#include "dsp/Primitives.h"

namespace zeb::audio {

namespace {

// How often a name taken by another program between the search and the
// creation is passed over for the next free minute.
constexpr int kCreateAttempts = 16;

// The codecs read their source as little-endian bytes.
void toLittleEndian(std::int16_t* samples, int count) {
    if constexpr (std::endian::native == std::endian::big) {
        for (int i = 0; i < count; ++i) {
            const auto v = static_cast<std::uint16_t>(samples[i]);
            samples[i] = static_cast<std::int16_t>((v >> 8) | (v << 8));
        }
    }
}

Error fileError(const std::string& what, const std::filesystem::path& path, int err) {
    return Error{err, what + " \"" + path.string() + "\": " + std::strerror(err)};
}

}  // namespace

std::vector<std::uint8_t> defaultCodecRecord() {
    const WaveFormat gsm{kTagGsm610, 1, Recorder::kSampleRate, 0, 0, 16, {}};
    return gsm.serialize();
}

Recorder::~Recorder() {
    if (recording_.load()) (void)stop();
}

// The stored format completed against the installed codecs, or 16-bit PCM
// when it does not complete or its codec cannot convert the capture format
// (another rate, a stereo format): a user without a working codec still gets
// a recording.
bool Recorder::chooseCodec(const std::vector<std::uint8_t>& stored) {
    const WaveFormat capture = WaveFormat::pcm(kSampleRate, 1, 16);
    codec_ = {};
    auto format = WaveFormat::parse(stored.empty() ? defaultCodecRecord() : stored);
    if (format && completeFormat(*format, &codec_)) {
        encoder_ = createEncoder(capture, *format);
        // A source block must fit the PCM buffer, or the blocks would never convert.
        if (encoder_ && encoder_->sourceBlockBytes() <= kPcmBufferBytes) {
            format_ = *format;
            fellBack_ = false;
            return true;
        }
    }
    fellBack_ = true;
    format_ = capture;
    codec_ = {};
    completeFormat(format_, &codec_);
    encoder_ = createEncoder(capture, format_);
    return encoder_ != nullptr;
}

// Creates the new, empty file for the first free minute. The name is taken
// with an exclusive create, so a recording another program wrote in the same
// minute a moment ago is never replaced.
Result<std::filesystem::path> Recorder::createFile(const RecorderStart& request) {
    const std::filesystem::path dir = request.workDir / std::string(kSynopDir);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return fileError("Cannot create the folder", dir, ec.value());
    NameTime from = request.localTime;
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const auto time = firstFreeTime(request.workDir, ReceivedKind::Audio, from);
        if (!time) break;
        std::filesystem::path path = request.workDir / relativePath(ReceivedKind::Audio, *time);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return fileError("Cannot create the recording", path, errno);
        from = breakDown(timeKey(*time) + 60);
    }
    return Error{EEXIST, "No free file name for a recording in \"" + dir.string() + "\"."};
}

Result<std::filesystem::path> Recorder::start(const RecorderStart& request) {
    if (recording_.load()) return path_;
    writeFailed_ = false;
    bytesWritten_ = 0;
    try {
        if (!chooseCodec(request.codecRecord)) {
            release();
            return Error{ENOTSUP, "No codec can store 16-bit audio at 11025 Hz."};
        }
        // Every buffer the blocks need, before the file exists.
        pcm_.assign(kPcmBufferBytes / 2, 0);
        coded_.assign(encoder_->destinationSize(kPcmBufferBytes), 0);
    } catch (const std::bad_alloc&) {
        release();
        return Error{ENOMEM, "Not enough memory to start a recording."};
    }
    auto created = createFile(request);
    if (!created) {
        release();
        return created.error();
    }
    errno = 0;
    if (!writer_.openFile(*created, format_)) {
        const int err = errno != 0 ? errno : EIO;
        std::error_code ec;
        std::filesystem::remove(*created, ec);
        release();
        return fileError("Cannot write the header of the recording", *created, err);
    }
    path_ = *created;
    pcmSamples_ = 0;
    sinceRefresh_ = 0;
    recording_ = true;
    return path_;
}

void Recorder::block(const float* samples, int count) {
    if (!recording_.load(std::memory_order_relaxed) || samples == nullptr || count <= 0) return;
    sinceRefresh_ += static_cast<std::uint64_t>(count);
    while (count > 0) {
        // encode() leaves less than one source block, so there is always room.
        const std::size_t room = pcm_.size() - pcmSamples_;
        const int n = static_cast<int>(std::min(room, static_cast<std::size_t>(count)));
        std::int16_t* out = pcm_.data() + pcmSamples_;
        dsp::nspsbFloatToInt(samples, out, n, 16, dsp::kRoundNearest);
        toLittleEndian(out, n);
        pcmSamples_ += static_cast<std::size_t>(n);
        samples += n;
        count -= n;
        encode(false);
    }
    if (sinceRefresh_ >= kRefreshSamples) {
        sinceRefresh_ = 0;
        if (!writer_.refreshSizes()) writeFailed_ = true;
    }
}

// Converts whole source blocks while there are enough (with `end` also the
// padded remainder), writes the output and moves the rest to the front.
void Recorder::encode(bool end) {
    const auto* source = reinterpret_cast<const std::uint8_t*>(pcm_.data());
    const auto available = static_cast<std::uint32_t>(pcmSamples_ * 2);
    const std::uint32_t sourceBlock = encoder_->sourceBlockBytes();
    std::uint32_t offset = 0;
    while (available - offset >= sourceBlock || (end && offset < available)) {
        std::uint32_t used = 0;
        std::uint32_t produced = 0;
        const int result =
            encoder_->convert(source + offset, available - offset, coded_.data(),
                              static_cast<std::uint32_t>(coded_.size()), end, used, produced);
        if (produced > 0) writeOut(produced);
        if (result != 0 || used == 0) {
            // Samples the codec refuses are dropped, so the buffer never stalls.
            writeFailed_ = true;
            offset = available;
            break;
        }
        offset += used;
    }
    const std::uint32_t rest = available - offset;
    if (rest > 0) std::memmove(pcm_.data(), source + offset, rest);
    pcmSamples_ = rest / 2;
}

void Recorder::writeOut(std::uint32_t bytes) {
    if (!writer_.write(coded_.data(), bytes)) writeFailed_ = true;
    bytesWritten_ = writer_.dataBytes();
}

Result<void> Recorder::stop() {
    if (!recording_.load()) return success();
    encode(true);
    recording_ = false;
    errno = 0;
    const bool closed = writer_.closeFile();
    const int err = errno != 0 ? errno : EIO;
    const bool lost = writeFailed_.load();
    release();
    bytesWritten_ = 0;
    if (lost) {
        return Error{EIO, "Writing the recording \"" + path_.string() +
                              "\" failed; part of the audio is missing."};
    }
    if (!closed) return fileError("Cannot complete the recording", path_, err);
    return success();
}

void Recorder::release() {
    encoder_.reset();
    std::vector<std::int16_t>().swap(pcm_);
    std::vector<std::uint8_t>().swap(coded_);
    pcmSamples_ = 0;
}

}  // namespace zeb::audio
