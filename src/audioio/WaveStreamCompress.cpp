// The compression operations of WaveStream: the recorder turns captured
// blocks into the stored codec format through them.
#include <algorithm>
#include <cstring>
#include <new>

#include "audioio/AudioError.h"
#include "audioio/WaveStream.h"

namespace zeb::audio {

bool WaveStream::openCompressor(const WaveFormat& target) {
    closeCompressor();
    encoder_ = createEncoder(format_, target);
    if (!encoder_) {
        setAudioError(AudioErrorCode::CompressorOpen, kResultCodec, kEngineSource, 252);
        return false;
    }
    const std::uint32_t dest = encoder_->destinationSize(blockBytes_);
    if (dest == 0) {
        closeCompressor();
        setAudioError(AudioErrorCode::CompressorSizes, kResultCodec, kEngineSource, 253);
        return false;
    }
    const std::uint32_t source = encoder_->sourceSize(dest);
    if (source == 0) {
        closeCompressor();
        setAudioError(AudioErrorCode::CompressorSizes, kResultCodec, kEngineSource, 254);
        return false;
    }
    compSourceBytes_ = std::max(blockBytes_, source);
    compDestBytes_ = encoder_->destinationSize(compSourceBytes_);
    compSource_.reset(new (std::nothrow) std::uint8_t[compSourceBytes_]);
    if (!compSource_) {
        closeCompressor();
        setAudioError(AudioErrorCode::OutOfMemory, 0, kEngineSource, 256);
        return false;
    }
    compDest_.reset(new (std::nothrow) std::uint8_t[compDestBytes_]);
    if (!compDest_) {
        closeCompressor();
        setAudioError(AudioErrorCode::OutOfMemory, 0, kEngineSource, 257);
        return false;
    }
    compStarted_ = true;
    compressFailed_ = false;
    return true;
}

std::uint32_t WaveStream::compressBlock(const std::uint8_t* block, std::uint8_t* destination) {
    compressFailed_ = false;
    if (!encoder_) {
        if (!block) return 0;
        std::memcpy(destination, block, blockBytes_);
        return blockBytes_;
    }
    std::uint32_t length = 0;
    if (block) {
        std::memcpy(compSource_.get(), block, blockBytes_);
        length = blockBytes_;
    }
    std::uint32_t used = 0;
    std::uint32_t produced = 0;
    const int r = encoder_->convert(compSource_.get(), length, compDest_.get(), compDestBytes_,
                                    block == nullptr, used, produced);
    compStarted_ = false;
    if (r != 0) {
        compressFailed_ = true;
        setAudioDeviceResult(r);
        return 0;
    }
    std::memcpy(destination, compDest_.get(), produced);
    return produced;
}

std::uint32_t WaveStream::compressBytes(const std::uint8_t* source, std::uint8_t* destination,
                                        std::uint32_t& length) {
    return compressImpl(source, destination, length, length == 0);
}

std::uint32_t WaveStream::compressFinal(const std::uint8_t* source, std::uint8_t* destination,
                                        std::uint32_t& length) {
    return compressImpl(source, destination, length, true);
}

std::uint32_t WaveStream::compressImpl(const std::uint8_t* source, std::uint8_t* destination,
                                       std::uint32_t& length, bool end) {
    compressFailed_ = false;
    if (!encoder_) {
        std::memcpy(destination, source, length);
        return length;
    }
    // Never more than the source buffer holds; the caller sees how much was used.
    const std::uint32_t take = std::min(length, compSourceBytes_);
    if (take > 0) std::memcpy(compSource_.get(), source, take);
    std::uint32_t used = 0;
    std::uint32_t produced = 0;
    const int r = encoder_->convert(compSource_.get(), take, compDest_.get(), compDestBytes_, end,
                                    used, produced);
    compStarted_ = false;
    if (r != 0) {
        compressFailed_ = true;
        setAudioDeviceResult(r);
        length = 0;
        return 0;
    }
    std::memcpy(destination, compDest_.get(), produced);
    length = used;
    return produced;
}

void WaveStream::closeCompressor() {
    encoder_.reset();
    compSource_.reset();
    compDest_.reset();
    compSourceBytes_ = 0;
    compDestBytes_ = 0;
    compStarted_ = false;
}

}  // namespace zeb::audio
