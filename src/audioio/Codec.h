// The codec registry: the formats a recording can be stored in, and encoders
// from the capture format (16-bit PCM) into them. PCM (tag 1), A-law (6),
// µ-law (7) and GSM 6.10 in the WAV49 framing (49, two 260-bit frames in
// one 65-byte block of 320 samples).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audioio/WaveFormat.h"

namespace zeb::audio {

struct CodecFormat {
    WaveFormat format;
    std::string formatName;  // e.g. "11.025 kHz, Mono"
};

struct CodecInfo {
    std::uint16_t formatTag = 0;
    std::string shortName;
    std::string longName;
    bool canConvert = true;  // offers conversion from 16-bit PCM
    std::vector<CodecFormat> formats;
};

// Every installed codec, PCM first.
const std::vector<CodecInfo>& installedCodecs();
const CodecInfo* findCodec(std::uint16_t formatTag);

// Converts 16-bit little-endian PCM into one target format. Works on whole
// codec blocks; the end call also converts the remainder, padded with silence.
class Encoder {
public:
    virtual ~Encoder() = default;
    virtual std::uint32_t sourceBlockBytes() const = 0;
    virtual std::uint32_t destinationBlockBytes() const = 0;
    // Returns 0 or kResultCodec; sets the bytes consumed and produced.
    virtual int convert(const std::uint8_t* source, std::uint32_t sourceLength,
                        std::uint8_t* destination, std::uint32_t destinationLength, bool end,
                        std::uint32_t& sourceUsed, std::uint32_t& destinationUsed) = 0;

    // Destination bytes produced from sourceBytes (rounded up to whole blocks).
    std::uint32_t destinationSize(std::uint32_t sourceBytes) const;
    // Source bytes that produce destinationBytes.
    std::uint32_t sourceSize(std::uint32_t destinationBytes) const;
};

// An encoder from source (16-bit PCM) to target, or nullptr when no codec
// converts between them (different rate or channel count, unknown tag).
std::unique_ptr<Encoder> createEncoder(const WaveFormat& source, const WaveFormat& target);

// Sample companding, also used by the tests' readers.
std::uint8_t linearToALaw(std::int16_t sample);
std::int16_t aLawToLinear(std::uint8_t code);
std::uint8_t linearToMuLaw(std::int16_t sample);
std::int16_t muLawToLinear(std::uint8_t code);

// Decodes GSM 6.10 WAV49 blocks (65 bytes → 320 samples); false on bad data.
bool decodeGsmWav49(const std::uint8_t* blocks, std::size_t blockCount, std::int16_t* samples);

}  // namespace zeb::audio
