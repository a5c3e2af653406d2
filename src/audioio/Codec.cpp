#include "audioio/Codec.h"

#include <algorithm>
#include <cstring>

#include "audioio/AudioError.h"

#if __has_include(<gsm.h>)
#include <gsm.h>
#else
#include <gsm/gsm.h>
#endif

namespace zeb::audio {

namespace {

constexpr std::uint32_t kGsmSamplesPerBlock = 320;
constexpr std::uint32_t kGsmBlockBytes = 65;

std::string rateName(std::uint32_t rate, std::uint16_t channels) {
    const std::uint32_t khz = rate / 1000;
    const std::uint32_t frac = rate % 1000;
    std::string text = std::to_string(khz);
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%03u", frac);
        text += buf;
    }
    return text + " kHz, " + (channels == 1 ? "Mono" : "Stereo");
}

std::vector<CodecInfo> buildRegistry() {
    const std::uint32_t rates[] = {8000, 11025, 22050, 44100};
    std::vector<CodecInfo> codecs;

    CodecInfo pcm{kTagPcm, "PCM", "PCM", true, {}};
    for (std::uint32_t rate : rates) {
        for (std::uint16_t bits : {std::uint16_t{8}, std::uint16_t{16}}) {
            for (std::uint16_t ch : {std::uint16_t{1}, std::uint16_t{2}}) {
                pcm.formats.push_back({WaveFormat::pcm(rate, ch, bits),
                                       rateName(rate, ch) + ", " + std::to_string(bits) + " Bit"});
            }
        }
    }
    codecs.push_back(std::move(pcm));

    for (auto [tag, name] :
         {std::pair{kTagALaw, "CCITT A-Law"}, std::pair{kTagMuLaw, "CCITT u-Law"}}) {
        CodecInfo law{tag, name, name, true, {}};
        for (std::uint32_t rate : rates) {
            for (std::uint16_t ch : {std::uint16_t{1}, std::uint16_t{2}}) {
                WaveFormat f{tag, ch, rate, rate * ch, ch, 8, {}};
                law.formats.push_back({f, rateName(rate, ch) + ", 8 Bit"});
            }
        }
        codecs.push_back(std::move(law));
    }

    CodecInfo gsm{kTagGsm610, "GSM 6.10", "GSM 6.10", true, {}};
    for (std::uint32_t rate : rates) {
        WaveFormat f{kTagGsm610,
                     1,
                     rate,
                     rate * kGsmBlockBytes / kGsmSamplesPerBlock,
                     static_cast<std::uint16_t>(kGsmBlockBytes),
                     0,
                     {static_cast<std::uint8_t>(kGsmSamplesPerBlock & 0xFF),
                      static_cast<std::uint8_t>(kGsmSamplesPerBlock >> 8)}};
        gsm.formats.push_back({f, rateName(rate, 1)});
    }
    codecs.push_back(std::move(gsm));
    return codecs;
}

std::int16_t sampleAt(const std::uint8_t* p) {
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

// Encoders that turn each source block into one destination block.
class BlockEncoder : public Encoder {
public:
    BlockEncoder(std::uint32_t sourceBlock, std::uint32_t destBlock)
        : sourceBlock_(sourceBlock), destBlock_(destBlock) {}
    std::uint32_t sourceBlockBytes() const override { return sourceBlock_; }
    std::uint32_t destinationBlockBytes() const override { return destBlock_; }

    int convert(const std::uint8_t* source, std::uint32_t sourceLength, std::uint8_t* destination,
                std::uint32_t destinationLength, bool end, std::uint32_t& sourceUsed,
                std::uint32_t& destinationUsed) override {
        sourceUsed = 0;
        destinationUsed = 0;
        while (sourceLength - sourceUsed >= sourceBlock_ &&
               destinationLength - destinationUsed >= destBlock_) {
            if (!encodeBlock(source + sourceUsed, destination + destinationUsed)) {
                return kResultCodec;
            }
            sourceUsed += sourceBlock_;
            destinationUsed += destBlock_;
        }
        const std::uint32_t rest = sourceLength - sourceUsed;
        if (end && rest > 0 && rest < sourceBlock_ &&
            destinationLength - destinationUsed >= destBlock_) {
            std::uint8_t padded[kGsmSamplesPerBlock * 2] = {};
            std::memcpy(padded, source + sourceUsed, rest);
            if (!encodeBlock(padded, destination + destinationUsed)) return kResultCodec;
            sourceUsed += rest;
            destinationUsed += destBlock_;
        }
        return 0;
    }

protected:
    virtual bool encodeBlock(const std::uint8_t* in, std::uint8_t* out) = 0;

private:
    std::uint32_t sourceBlock_;
    std::uint32_t destBlock_;
};

class PcmEncoder final : public BlockEncoder {
public:
    explicit PcmEncoder(std::uint32_t frameBytes) : BlockEncoder(frameBytes, frameBytes) {}

protected:
    bool encodeBlock(const std::uint8_t* in, std::uint8_t* out) override {
        std::memcpy(out, in, sourceBlockBytes());
        return true;
    }
};

class LawEncoder final : public BlockEncoder {
public:
    explicit LawEncoder(bool aLaw) : BlockEncoder(2, 1), aLaw_(aLaw) {}

protected:
    bool encodeBlock(const std::uint8_t* in, std::uint8_t* out) override {
        const std::int16_t s = sampleAt(in);
        *out = aLaw_ ? linearToALaw(s) : linearToMuLaw(s);
        return true;
    }

private:
    bool aLaw_;
};

class GsmEncoder final : public BlockEncoder {
public:
    GsmEncoder() : BlockEncoder(kGsmSamplesPerBlock * 2, kGsmBlockBytes), gsm_(gsm_create()) {
        int one = 1;
        if (gsm_) gsm_option(gsm_, GSM_OPT_WAV49, &one);
    }
    ~GsmEncoder() override {
        if (gsm_) gsm_destroy(gsm_);
    }
    bool valid() const { return gsm_ != nullptr; }

protected:
    // WAV49: two frames per block, the first 33 bytes long, the second
    // packed into the following 32 bytes.
    bool encodeBlock(const std::uint8_t* in, std::uint8_t* out) override {
        gsm_signal samples[kGsmSamplesPerBlock];
        for (std::uint32_t i = 0; i < kGsmSamplesPerBlock; ++i) samples[i] = sampleAt(in + 2 * i);
        gsm_encode(gsm_, samples, out);
        gsm_encode(gsm_, samples + 160, out + 32);
        return true;
    }

private:
    gsm gsm_;
};

}  // namespace

std::uint32_t Encoder::destinationSize(std::uint32_t sourceBytes) const {
    const std::uint32_t blocks = (sourceBytes + sourceBlockBytes() - 1) / sourceBlockBytes();
    return blocks * destinationBlockBytes();
}

std::uint32_t Encoder::sourceSize(std::uint32_t destinationBytes) const {
    return destinationBytes / destinationBlockBytes() * sourceBlockBytes();
}

const std::vector<CodecInfo>& installedCodecs() {
    static const std::vector<CodecInfo> codecs = buildRegistry();
    return codecs;
}

const CodecInfo* findCodec(std::uint16_t formatTag) {
    for (const CodecInfo& c : installedCodecs()) {
        if (c.formatTag == formatTag) return &c;
    }
    return nullptr;
}

std::unique_ptr<Encoder> createEncoder(const WaveFormat& source, const WaveFormat& target) {
    if (source.formatTag != kTagPcm || source.bitsPerSample != 16 || source.channels == 0 ||
        source.samplesPerSec != target.samplesPerSec || source.channels != target.channels) {
        return nullptr;
    }
    switch (target.formatTag) {
        case kTagPcm:
            if (target.bitsPerSample != 16) return nullptr;
            return std::make_unique<PcmEncoder>(2u * source.channels);
        case kTagALaw: return std::make_unique<LawEncoder>(true);
        case kTagMuLaw: return std::make_unique<LawEncoder>(false);
        case kTagGsm610: {
            if (target.channels != 1) return nullptr;
            auto e = std::make_unique<GsmEncoder>();
            if (!e->valid()) return nullptr;
            return e;
        }
        default: return nullptr;
    }
}

// G.711 companding (segment search on the magnitude).
std::uint8_t linearToALaw(std::int16_t sample) {
    int pcm = sample >> 3;  // 13-bit magnitude range
    std::uint8_t mask = 0xD5;
    if (pcm < 0) {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    static const int segEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int seg = 0;
    while (seg < 8 && pcm > segEnd[seg]) ++seg;
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    int aval = seg << 4;
    aval |= (seg < 2) ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return static_cast<std::uint8_t>(aval ^ mask);
}

std::int16_t aLawToLinear(std::uint8_t code) {
    code ^= 0x55;
    int t = (code & 0x0F) << 4;
    const int seg = (code & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t += 0x108;
        if (seg > 1) t <<= seg - 1;
    }
    return static_cast<std::int16_t>((code & 0x80) ? t : -t);
}

std::uint8_t linearToMuLaw(std::int16_t sample) {
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int pcm = sample;
    std::uint8_t mask = 0xFF;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7F;
    }
    pcm = std::min(pcm, kClip) + kBias;
    int seg = 0;
    for (int v = pcm >> 7; v > 1 && seg < 7; v >>= 1) ++seg;
    const int uval = (seg << 4) | ((pcm >> (seg + 3)) & 0x0F);
    return static_cast<std::uint8_t>(uval ^ mask);
}

std::int16_t muLawToLinear(std::uint8_t code) {
    code = static_cast<std::uint8_t>(~code);
    int t = ((code & 0x0F) << 3) + 0x84;
    t <<= (code & 0x70) >> 4;
    return static_cast<std::int16_t>((code & 0x80) ? (0x84 - t) : (t - 0x84));
}

bool decodeGsmWav49(const std::uint8_t* blocks, std::size_t blockCount, std::int16_t* samples) {
    gsm g = gsm_create();
    if (!g) return false;
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    bool ok = true;
    for (std::size_t b = 0; b < blockCount && ok; ++b) {
        gsm_byte* in = const_cast<gsm_byte*>(blocks + b * kGsmBlockBytes);
        gsm_signal* out = samples + b * kGsmSamplesPerBlock;
        ok = gsm_decode(g, in, out) == 0 && gsm_decode(g, in + 33, out + 160) == 0;
    }
    gsm_destroy(g);
    return ok;
}

}  // namespace zeb::audio
