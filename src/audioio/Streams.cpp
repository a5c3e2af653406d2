#include "audioio/Streams.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dsp/Primitives.h"

namespace zeb::audio {

namespace {
constexpr std::uint32_t kRate = 11025;
constexpr std::uint32_t kBlockSamples = 1024;
constexpr std::int32_t kBlocks = 128;
}  // namespace

CaptureStream::CaptureStream(std::shared_ptr<AudioBackend> backend)
    : WaveStream(std::move(backend)) {}

bool CaptureStream::openDefault() { return open(kRate, kBlockSamples, kBlocks); }

bool CaptureStream::open(std::uint32_t samplesPerSec, std::uint32_t samplesPerBlock,
                         std::int32_t blockCount) {
    samples_.assign(samplesPerBlock, 0.0f);
    return WaveStream::open(false, samplesPerSec, samplesPerBlock, blockCount, 1, 16);
}

void CaptureStream::setRoutine(DecoderMode mode, BlockRoutine routine) {
    const int index = static_cast<int>(mode);
    if (index < 0 || index >= kDecoderModeCount) return;
    routines_[static_cast<std::size_t>(index)] = std::move(routine);
}

void CaptureStream::handleBlock(BlockHeader& header) {
    const std::size_t n = std::min<std::size_t>(samples_.size(), header.bufferLength / 2);
    dsp::nspsbIntToFloat(header.data, samples_.data(), static_cast<int>(n), 16, 0);
    const std::span<const float> block(samples_.data(), n);
    const int index = mode_.load();
    if (index > 0 && index < kDecoderModeCount && index != static_cast<int>(DecoderMode::Unused)) {
        if (const BlockRoutine& r = routines_[static_cast<std::size_t>(index)]) r(block);
    }
    float peak = 0.0f;
    for (float v : block) peak = std::max(peak, std::fabs(v));
    peak_ = static_cast<int>(peak);
    if (afterBlock_) afterBlock_(block);
    ++handled_;
}

MonitorStream::MonitorStream(std::shared_ptr<AudioBackend> backend)
    : WaveStream(std::move(backend)), work_(kBlockSamples) {}

bool MonitorStream::openDefault() {
    if (!open(true, kRate, kBlockSamples, kBlocks, 1, 16)) return false;
    return stop();
}

void MonitorStream::queueBlock(std::span<const std::int16_t, dsp::kMonitorBlock> block) {
    if (blockBytes() != block.size_bytes()) return;
    std::memcpy(work_.data(), block.data(), block.size_bytes());
    notePeak();
    write(reinterpret_cast<const std::uint8_t*>(work_.data()));
}

void MonitorStream::notePeak() {
    int peak = 0;
    for (std::int16_t v : work_) peak = std::max(peak, std::abs(int{v}));
    peak_ = peak;
}

bool MonitorStream::writeSamples(std::span<const float> samples) {
    if (samples.size() * 2 != blockBytes() || work_.size() < samples.size()) return false;
    dsp::nspsbFloatToInt(samples.data(), work_.data(), static_cast<int>(samples.size()), 16,
                         dsp::kRoundNearest);
    notePeak();
    return write(reinterpret_cast<const std::uint8_t*>(work_.data()));
}

}  // namespace zeb::audio
