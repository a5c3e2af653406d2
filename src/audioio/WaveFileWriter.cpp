#include "audioio/WaveFileWriter.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "audioio/AudioError.h"
#include "audioio/Codec.h"

namespace zeb::audio {

namespace {

int differences(const WaveFormat& a, const WaveFormat& b) {
    return (a.formatTag != b.formatTag) + (a.samplesPerSec != b.samplesPerSec) +
           (a.channels != b.channels) + (a.bitsPerSample != b.bitsPerSample) +
           (a.avgBytesPerSec != b.avgBytesPerSec) + (a.blockAlign != b.blockAlign);
}

bool put(std::FILE* f, const void* bytes, std::size_t n) {
    return std::fwrite(bytes, 1, n, f) == n;
}

bool put32(std::FILE* f, std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    return put(f, b, 4);
}

bool put32At(std::FILE* f, long offset, std::uint32_t v) {
    return std::fseek(f, offset, SEEK_SET) == 0 && put32(f, v);
}

// Samples per codec block: GSM 6.10 keeps it in its two extra bytes.
std::uint64_t samplesPerBlock(const WaveFormat& f) {
    if (f.formatTag == kTagGsm610 && f.extra.size() >= 2) return f.extra[0] | (f.extra[1] << 8);
    return 1;
}

}  // namespace

bool completeFormat(WaveFormat& format, CodecChoice* choice) {
    const CodecInfo* codec = findCodec(format.formatTag);
    if (!codec) return false;
    int best = 1000;
    const CodecFormat* kept = nullptr;
    for (const CodecFormat& candidate : codec->formats) {
        const int d = differences(candidate.format, format);
        if (d == 6 || !codec->canConvert) continue;
        if (d < best) {
            best = d;
            kept = &candidate;
        }
    }
    if (!kept) return false;
    format = kept->format;
    if (choice) {
        choice->formatTag = codec->formatTag;
        choice->longName = codec->formatTag == kTagPcm ? "PCM" : codec->longName;
        choice->formatName = kept->formatName;
    }
    return true;
}

bool completeFormatRecord(std::vector<std::uint8_t>& record, CodecChoice* choice) {
    auto format = WaveFormat::parse(record);
    if (!format || !completeFormat(*format, choice)) return false;
    record = format->serialize();
    record.resize(std::max(record.size(), largestFormatSize()), 0);
    return true;
}

std::size_t largestFormatSize() {
    std::size_t largest = 18;
    for (const CodecInfo& c : installedCodecs()) {
        for (const CodecFormat& f : c.formats)
            largest = std::max(largest, 18 + f.format.extra.size());
    }
    return largest;
}

WaveFileWriter::~WaveFileWriter() {
    if (file_) closeFile();
}

bool WaveFileWriter::fail(int line) {
    setAudioError(AudioErrorCode::WaveFile, 0, kWaveSource, line);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return false;
}

bool WaveFileWriter::openFile(const std::filesystem::path& path, const WaveFormat& format) {
    if (file_) closeFile();
    format_ = format;
    dataBytes_ = 0;
    settled_ = false;
    failed_ = false;
    factOffset_ = -1;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return fail(86);
    if (!put(file_, "RIFF", 4) || !put32(file_, 0) || !put(file_, "WAVE", 4)) return fail(89);

    const std::vector<std::uint8_t> record = format.serialize();
    if (!put(file_, "fmt ", 4) || !put32(file_, static_cast<std::uint32_t>(record.size()))) {
        return fail(93);
    }
    if (!put(file_, record.data(), record.size())) return fail(94);
    if (record.size() % 2 != 0 && !put(file_, "\0", 1)) return fail(95);
    // Compressed data gets its sample count in a "fact" chunk, as RIFF/WAVE
    // readers expect; without it some read a trailing half block as audio.
    if (format.formatTag != kTagPcm) {
        factOffset_ = std::ftell(file_) + 8;
        if (!put(file_, "fact", 4) || !put32(file_, 4) || !put32(file_, 0)) return fail(95);
    }
    if (!put(file_, "data", 4)) return fail(98);
    dataSizeOffset_ = std::ftell(file_);
    // Flushed now, so that a file that cannot be written fails here and not
    // silently later.
    if (!put32(file_, 0) || std::fflush(file_) != 0) return fail(98);
    headerBytes_ = static_cast<std::uint64_t>(std::ftell(file_));
    return true;
}

std::uint64_t WaveFileWriter::dataLimit() const {
    // RIFF size = header + data + pad − 8 must fit 32 bits.
    return 0xFFFFFFFFull + 8 - headerBytes_ - 1;
}

bool WaveFileWriter::write(const std::uint8_t* bytes, std::size_t length) {
    if (!file_ || failed_) return false;
    if (dataBytes_ + length > dataLimit()) return false;
    const std::size_t written = std::fwrite(bytes, 1, length, file_);
    dataBytes_ += written;
    if (written != length) {
        failed_ = true;
        return false;
    }
    return true;
}

// After a failed write, stdio may have taken bytes it never wrote: the
// stream's buffer is dropped, the data chunk becomes what the file really
// holds (whole codec blocks, an even count so no pad byte is needed) and the
// rest is cut off, so the header never claims audio that is not there. The
// sizes are then written past the stream, straight to the file.
void WaveFileWriter::settleAfterFailure() {
    if (settled_) return;
    settled_ = true;
    __fpurge(file_);
    struct stat st {};
    if (::fstat(::fileno(file_), &st) != 0) return;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t data = std::min(dataBytes_, size > headerBytes_ ? size - headerBytes_ : 0);
    std::uint64_t unit = std::max<std::uint64_t>(format_.blockAlign, 1);
    if (unit % 2 != 0) unit *= 2;
    data -= data % unit;
    if (::ftruncate(::fileno(file_), static_cast<off_t>(headerBytes_ + data)) == 0)
        dataBytes_ = data;
}

bool WaveFileWriter::putSize(long offset, std::uint32_t value) {
    if (!settled_) return put32At(file_, offset, value);
    const std::uint8_t b[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return ::pwrite(::fileno(file_), b, 4, offset) == 4;
}

bool WaveFileWriter::patchSizes() {
    if (failed_) settleAfterFailure();
    const std::uint64_t pad = dataBytes_ % 2;
    const std::uint64_t riff = headerBytes_ + dataBytes_ + pad - 8;
    bool ok = putSize(dataSizeOffset_, static_cast<std::uint32_t>(dataBytes_));
    ok = putSize(4, static_cast<std::uint32_t>(riff)) && ok;
    if (factOffset_ >= 0 && format_.blockAlign != 0) {
        const std::uint64_t samples = dataBytes_ / format_.blockAlign * samplesPerBlock(format_);
        ok = putSize(factOffset_, static_cast<std::uint32_t>(samples)) && ok;
    }
    return ok;
}

bool WaveFileWriter::refreshSizes() {
    if (!file_) return false;
    if (failed_) {
        (void)patchSizes();
        return false;
    }
    const bool ok = patchSizes() && std::fseek(file_, 0, SEEK_END) == 0 && std::fflush(file_) == 0;
    if (!ok) {
        failed_ = true;
        (void)patchSizes();  // the sizes of what did reach the file
    }
    return ok;
}

bool WaveFileWriter::closeFile() {
    if (!file_) return false;
    bool ok = true;
    if (!failed_ && dataBytes_ % 2 != 0)
        ok = std::fseek(file_, 0, SEEK_END) == 0 && put(file_, "\0", 1);
    ok = patchSizes() && ok;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok && !failed_;
}

}  // namespace zeb::audio
