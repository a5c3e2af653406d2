// Recordings written through the compressor and the WAV writer, read back by
// independent readers (libsndfile, sox when installed); header layout; format
// matching; failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numbers>
#include <random>

#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Codec.h"
#include "audioio/Streams.h"
#include "audioio/WaveFileWriter.h"
#include "common/LittleEndian.h"
#include "fake_device.h"
#include "support/TestEnv.h"

namespace zeb::audio {
namespace {

std::vector<std::int16_t> testSignal(std::size_t n) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 11025.0;
        s[i] = static_cast<std::int16_t>(
            std::lround(9000.0 * std::sin(2.0 * std::numbers::pi * 700.0 * t) + noise(rng)));
    }
    return s;
}

const WaveFormat& installed(std::uint16_t tag) {
    for (const CodecFormat& f : findCodec(tag)->formats) {
        if (f.format.samplesPerSec == 11025 && f.format.channels == 1 &&
            (tag != kTagPcm || f.format.bitsPerSample == 16)) {
            return f.format;
        }
    }
    throw std::logic_error("no 11025 Hz mono format");
}

// Records samples as the recorder does: 1024-sample blocks through the
// compressor, the remainder compressed at the end, then the codec flushed.
void record(const std::filesystem::path& path, std::uint16_t tag,
            const std::vector<std::int16_t>& samples) {
    auto backend = std::make_shared<test::FakeBackend>();
    CaptureStream capture(backend);
    ASSERT_TRUE(capture.openDefault());
    const WaveFormat& target = installed(tag);
    ASSERT_TRUE(capture.openCompressor(target)) << audioErrorMessage(lastAudioError());
    WaveFileWriter writer;
    ASSERT_TRUE(writer.openFile(path, target));

    std::vector<std::uint8_t> pending;  // PCM bytes not yet taken by the codec
    std::vector<std::uint8_t> out(capture.compressorDestinationBytes() + 1024);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples.data());
    const std::size_t total = samples.size() * 2;
    for (std::size_t at = 0; at < total; at += 2048) {
        pending.insert(pending.end(), bytes + at, bytes + std::min(total, at + 2048));
        if (pending.size() < 2048 && at + 2048 < total) continue;
        for (;;) {
            std::uint32_t length = static_cast<std::uint32_t>(
                std::min<std::size_t>(pending.size(), capture.compressorSourceBytes()));
            if (length == 0) break;
            const std::uint32_t made = capture.compressBytes(pending.data(), out.data(), length);
            ASSERT_FALSE(capture.compressorFailed());
            ASSERT_TRUE(writer.write(out.data(), made));
            pending.erase(pending.begin(), pending.begin() + length);
            if (made == 0) break;
        }
    }
    std::uint32_t length = static_cast<std::uint32_t>(pending.size());
    const std::uint32_t made = capture.compressFinal(pending.data(), out.data(), length);
    EXPECT_EQ(length, pending.size());  // nothing of the end is lost
    ASSERT_TRUE(writer.write(out.data(), made));
    for (std::uint32_t n; (n = capture.compressBlock(nullptr, out.data())) > 0;) {
        ASSERT_TRUE(writer.write(out.data(), n));
    }
    EXPECT_TRUE(writer.closeFile());
    EXPECT_TRUE(capture.close());
}

std::vector<std::int16_t> readWithSndfile(const std::filesystem::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (!f) return {};
    std::vector<std::int16_t> s(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_short(f, s.data(), info.frames), info.frames);
    sf_close(f);
    return s;
}

std::optional<std::vector<std::int16_t>> readWithSox(const std::filesystem::path& path) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) return std::nullopt;
    const auto raw = path.string() + ".raw";
    const std::string cmd =
        "sox '" + path.string() + "' -t raw -e signed -b 16 -L '" + raw + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return std::vector<std::int16_t>{};
    const std::string bytes = zeb::test::readFile(raw);
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

double errorToSignal(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                     std::size_t n) {
    double err = 0.0;
    double sig = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[i];
        const double y = b[i];
        err += (x - y) * (x - y);
        sig += x * x;
    }
    return sig > 0 ? std::sqrt(err / sig) : 0.0;
}

struct RoundTripCase {
    const char* name;
    std::uint16_t tag;
    std::size_t samples;
};

class RecordingRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RecordingRoundTrip, IndependentReadersGetTheAudioBack) {
    const RoundTripCase c = GetParam();
    zeb::test::TempDir dir;
    const auto path = dir / "rec.wav";
    const std::vector<std::int16_t> original = testSignal(c.samples);
    record(path, c.tag, original);

    SF_INFO info{};
    const std::vector<std::int16_t> all = readWithSndfile(path, info);
    EXPECT_EQ(info.samplerate, 11025);
    EXPECT_EQ(info.channels, 1);
    // Codec blocks round the length up to whole blocks (GSM: 320 samples).
    const std::size_t block = c.tag == kTagGsm610 ? 320 : 1;
    const std::size_t expected = (c.samples + block - 1) / block * block;
    std::vector<std::int16_t> got = all;
    if (c.tag == kTagGsm610 && (expected / 320) % 2 == 1 && all.size() == expected + 320) {
        // libsndfile reads 320 frames too many when the block count is odd,
        // whatever the fact chunk says; the rest must agree.
        got.resize(expected);
    }
    ASSERT_EQ(got.size(), expected);

    switch (c.tag) {
        case kTagPcm:
            EXPECT_EQ(std::vector<std::int16_t>(got.begin(), got.begin() + c.samples), original);
            break;
        case kTagALaw:
        case kTagMuLaw:
            // Companding keeps about 12 bits of a loud signal.
            EXPECT_LT(errorToSignal(original, got, c.samples), 0.03);
            break;
        case kTagGsm610: {
            // libgsm's own reading of the WAV49 blocks agrees with libsndfile's.
            const std::string bytes = zeb::test::readFile(path);
            const std::size_t dataAt = bytes.find("data") + 8;
            const std::size_t blocks = (bytes.size() - dataAt) / 65;
            ASSERT_EQ(blocks, expected / 320);
            std::vector<std::int16_t> decoded(blocks * 320);
            ASSERT_TRUE(decodeGsmWav49(reinterpret_cast<const std::uint8_t*>(bytes.data()) + dataAt,
                                       blocks, decoded.data()));
            EXPECT_EQ(decoded, got);
            if (c.samples > 2000) {
                EXPECT_LT(errorToSignal(original, got, c.samples), 0.6);
            }
            break;
        }
    }
    if (const auto sox = readWithSox(path)) {
        ASSERT_GE(sox->size(), got.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), sox->begin()))
            << "sox reads the file differently";
        EXPECT_LE(sox->size(), got.size() + 320);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, RecordingRoundTrip,
    ::testing::Values(RoundTripCase{"Pcm", kTagPcm, 11025 * 2 + 77},
                      RoundTripCase{"PcmShort", kTagPcm, 5},
                      RoundTripCase{"ALaw", kTagALaw, 11025 + 1},  // odd data length
                      RoundTripCase{"ALawShort", kTagALaw, 3},
                      RoundTripCase{"MuLaw", kTagMuLaw, 4097},
                      RoundTripCase{"Gsm", kTagGsm610, 11025 * 2},
                      RoundTripCase{"GsmOddBlocks", kTagGsm610, 320 * 7 - 5},  // 65 × 7 bytes
                      RoundTripCase{"GsmShorterThanOneBlock", kTagGsm610, 100}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RecordingReplay, GsmRecordingOfOddBlockCountReplaysWithoutJunk) {
    zeb::test::TempDir dir;
    const auto path = dir / "rec.wav";
    record(path, kTagGsm610, testSignal(320 * 7));
    const std::string bytes = zeb::test::readFile(path);
    std::vector<std::int16_t> decoded(7 * 320);
    ASSERT_TRUE(
        decodeGsmWav49(reinterpret_cast<const std::uint8_t*>(bytes.data()) + bytes.find("data") + 8,
                       7, decoded.data()));

    CaptureStream capture(makeFileBackend(path, FilePacing::AsFastAsTaken));
    std::mutex m;
    std::vector<std::int16_t> got;
    capture.setRoutine(DecoderMode::Recorder, [&](std::span<const float> b) {
        std::lock_guard lock(m);
        for (float v : b) got.push_back(static_cast<std::int16_t>(v));
    });
    capture.setMode(DecoderMode::Recorder);
    ASSERT_TRUE(capture.openDefault());
    ASSERT_TRUE(capture.start());
    ASSERT_TRUE(test::eventually([&] { return capture.inputEnded(); }));
    EXPECT_TRUE(capture.close());
    ASSERT_EQ(got.size(), 3u * 1024);
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), got.begin()));
    EXPECT_TRUE(
        std::all_of(got.begin() + 7 * 320, got.end(), [](std::int16_t v) { return v == 0; }));
}

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

struct LayoutCase {
    const char* name;
    WaveFormat format;
    std::size_t dataBytes;
    std::uint32_t fmtSize;
    std::size_t dataChunkAt;  // offset of "data"
};

class WaveLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WaveLayout, ChunksSitAtTheirOffsetsWithSizesPatched) {
    const LayoutCase c = GetParam();
    zeb::test::TempDir dir;
    WaveFileWriter writer;
    ASSERT_TRUE(writer.openFile(dir / "x.wav", c.format));
    std::vector<std::uint8_t> data(c.dataBytes, 0x11);
    ASSERT_TRUE(writer.write(data.data(), data.size()));
    ASSERT_TRUE(writer.closeFile());
    const std::string b = zeb::test::readFile(dir / "x.wav");
    const std::size_t pad = c.dataBytes % 2;
    ASSERT_EQ(b.size(), c.dataChunkAt + 8 + c.dataBytes + pad);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), c.fmtSize);
    const std::vector<std::uint8_t> record = c.format.serialize();
    EXPECT_EQ(b.substr(20, record.size()), std::string(record.begin(), record.end()));
    EXPECT_EQ(b.substr(c.dataChunkAt, 4), "data");
    EXPECT_EQ(c.dataChunkAt % 2, 0u);
    EXPECT_EQ(le32(b, c.dataChunkAt + 4), c.dataBytes);
    if (pad) {
        EXPECT_EQ(b.back(), '\0');
    }
}

WaveFormat withOddExtra() {
    WaveFormat f = WaveFormat::pcm(11025, 1, 16);
    f.extra = {1, 2, 3};
    return f;
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveLayout,
                         ::testing::Values(
                             // 18-byte "fmt " chunk for PCM too, no fact chunk: data at 38.
                             LayoutCase{"Pcm", WaveFormat::pcm(11025, 1, 16), 2048, 18, 38},
                             LayoutCase{"PcmOddData", WaveFormat::pcm(11025, 1, 8), 1001, 18, 38},
                             // 21 bytes of format + 1 pad byte.
                             LayoutCase{"OddExtraSize", withOddExtra(), 10, 21, 42},
                             // 20 bytes of format, then a 12-byte fact chunk.
                             LayoutCase{"Gsm", installed(kTagGsm610), 65 * 3, 20, 40 + 12}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WaveLayoutFact, CompressedFilesCountTheirSamples) {
    zeb::test::TempDir dir;
    WaveFileWriter writer;
    ASSERT_TRUE(writer.openFile(dir / "g.wav", installed(kTagGsm610)));
    std::vector<std::uint8_t> data(65 * 5, 0);
    ASSERT_TRUE(writer.write(data.data(), data.size()));
    ASSERT_TRUE(writer.closeFile());
    const std::string b = zeb::test::readFile(dir / "g.wav");
    EXPECT_EQ(b.substr(40, 4), "fact");
    EXPECT_EQ(le32(b, 48), 5u * 320);
}

struct MatchCase {
    const char* name;
    WaveFormat stored;
    bool found;
    WaveFormat expected;
    const char* longName;
};

class FormatMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(FormatMatching, CompletesAgainstInstalledCodecs) {
    const MatchCase c = GetParam();
    WaveFormat f = c.stored;
    CodecChoice choice;
    EXPECT_EQ(completeFormat(f, &choice), c.found);
    EXPECT_EQ(f, c.expected);
    if (c.found) {
        EXPECT_EQ(choice.longName, c.longName);
    }

    // The same through the stored record bytes.
    std::vector<std::uint8_t> record = c.stored.serialize();
    const auto before = record;
    EXPECT_EQ(completeFormatRecord(record), c.found);
    if (c.found) {
        EXPECT_EQ(record.size(), largestFormatSize());
        EXPECT_EQ(WaveFormat::parse(record), c.expected);
    } else {
        EXPECT_EQ(record, before);
    }
}

WaveFormat raw(std::uint16_t tag, std::uint16_t ch, std::uint32_t rate, std::uint16_t bits) {
    return WaveFormat{tag, ch, rate, 0, 0, bits, {}};
}

INSTANTIATE_TEST_SUITE_P(
    Stored, FormatMatching,
    ::testing::Values(
        MatchCase{"GsmWithoutSizes", raw(kTagGsm610, 1, 11025, 16), true,
                  WaveFormat{kTagGsm610, 1, 11025, 2239, 65, 0, {0x40, 0x01}}, "GSM 6.10"},
        MatchCase{"PcmWithoutSizes", raw(kTagPcm, 1, 11025, 16), true,
                  WaveFormat::pcm(11025, 1, 16), "PCM"},
        MatchCase{"ALaw8000", raw(kTagALaw, 1, 8000, 8), true,
                  WaveFormat{kTagALaw, 1, 8000, 8000, 1, 8, {}}, "CCITT A-Law"},
        MatchCase{"MuLawStereo", raw(kTagMuLaw, 2, 44100, 8), true,
                  WaveFormat{kTagMuLaw, 2, 44100, 88200, 2, 8, {}}, "CCITT u-Law"},
        MatchCase{"UnknownTag", raw(85, 1, 11025, 16), false, raw(85, 1, 11025, 16), ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WaveWriterFailure, UncreatableFileFailsWithCode18) {
    WaveFileWriter writer;
    EXPECT_FALSE(writer.openFile("/nonexistent-dir/x.wav", WaveFormat::pcm(11025, 1, 16)));
    AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::WaveFile);
    EXPECT_EQ(e.line, 86);
    EXPECT_EQ(e.source, kWaveSource);
    EXPECT_FALSE(writer.isOpen());
    const std::uint8_t b[2] = {};
    EXPECT_FALSE(writer.write(b, 2));  // no open file
    EXPECT_FALSE(writer.closeFile());

    // A device that takes nothing: the header cannot be written.
    EXPECT_FALSE(writer.openFile("/dev/full", WaveFormat::pcm(11025, 1, 16)));
    e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::WaveFile);
    EXPECT_EQ(e.line, 98);
    EXPECT_FALSE(writer.isOpen());
}

// A full disk in the middle of the data: PCM written in large blocks, and
// GSM in its 65-byte blocks, which stdio holds back in its buffer and then
// fails to write. Either way the header describes exactly what reached the
// disk, in whole codec blocks.
TEST(WaveWriterFailure, ShortWriteIsReportedAndTheFileKeepsCorrectSizes) {
    struct Case {
        std::uint16_t tag;
        std::size_t writeBytes;
    };
    for (const Case& c : {Case{kTagPcm, 2048}, Case{kTagGsm610, 65}}) {
        zeb::test::TempDir dir;
        const auto path = dir / "full.wav";
        signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        WaveFileWriter writer;
        const WaveFormat& format = installed(c.tag);
        ASSERT_TRUE(writer.openFile(path, format));
        rlimit small = old;
        small.rlim_cur = 8192 + 100;  // the disk is "full" after about 8 KiB
        setrlimit(RLIMIT_FSIZE, &small);
        std::vector<std::uint8_t> block(c.writeBytes, 0x22);
        bool failed = false;
        for (int i = 0; i < 20000 && !failed; ++i)
            failed = !writer.write(block.data(), block.size());
        EXPECT_TRUE(failed);
        EXPECT_TRUE(writer.failed());
        EXPECT_FALSE(writer.write(block.data(), block.size()));  // stays failed
        EXPECT_FALSE(writer.closeFile());
        setrlimit(RLIMIT_FSIZE, &old);

        const std::string bytes = zeb::test::readFile(path);
        const auto le32 = [&](std::size_t at) {
            return le::get32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at);
        };
        const std::size_t data = bytes.find("data", 12);
        ASSERT_NE(data, std::string::npos);
        const std::uint32_t dataBytes = le32(data + 4);
        EXPECT_GT(dataBytes, 4096u) << c.tag;
        EXPECT_EQ(dataBytes % format.blockAlign, 0u) << c.tag;
        EXPECT_EQ(data + 8 + dataBytes + dataBytes % 2, bytes.size()) << c.tag;
        EXPECT_EQ(le32(4) + 8u, bytes.size()) << c.tag;
        SF_INFO info{};
        (void)readWithSndfile(path, info);
        EXPECT_GT(info.frames, 0) << c.tag;
    }
}

TEST(WaveWriterFailure, DataBeyondThe32BitSizesIsRefused) {
    zeb::test::TempDir dir;
    WaveFileWriter writer;
    ASSERT_TRUE(writer.openFile(dir / "big.wav", WaveFormat::pcm(11025, 1, 16)));
    EXPECT_EQ(writer.dataLimit(), 0xFFFFFFFFull + 8 - 46 - 1);
    const std::uint8_t b[2] = {};
    // Refused before a single byte is touched.
    EXPECT_FALSE(writer.write(b, static_cast<std::size_t>(writer.dataLimit()) + 1));
    EXPECT_EQ(writer.dataBytes(), 0u);
    EXPECT_TRUE(writer.write(b, 2));
    EXPECT_TRUE(writer.closeFile());
}

struct CompressorFailCase {
    const char* name;
    WaveFormat target;
};

class CompressorOpen : public ::testing::TestWithParam<CompressorFailCase> {};

TEST_P(CompressorOpen, UnconvertibleTargetFailsWithCode13) {
    CaptureStream capture(std::make_shared<test::FakeBackend>());
    ASSERT_TRUE(capture.openDefault());
    EXPECT_FALSE(capture.openCompressor(GetParam().target));
    const AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::CompressorOpen);
    EXPECT_EQ(e.line, 252);
    EXPECT_FALSE(capture.compressorOpen());
    // Without a compressor, blocks pass unchanged.
    std::vector<std::uint8_t> in(2048, 7), out(2048, 0);
    EXPECT_EQ(capture.compressBlock(in.data(), out.data()), 2048u);
    EXPECT_EQ(out, in);
    EXPECT_TRUE(capture.close());
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CompressorOpen,
    ::testing::Values(
        CompressorFailCase{"OtherRate", WaveFormat{kTagGsm610, 1, 8000, 1625, 65, 0, {0x40, 0x01}}},
        CompressorFailCase{"Stereo", WaveFormat{kTagALaw, 2, 11025, 22050, 2, 8, {}}},
        CompressorFailCase{"UnknownTag", raw(85, 1, 11025, 16)}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Compressor, LessThanOneCodecBlockIsNothingYetNotAnError) {
    CaptureStream capture(std::make_shared<test::FakeBackend>());
    ASSERT_TRUE(capture.openDefault());
    ASSERT_TRUE(capture.openCompressor(installed(kTagGsm610)));
    // One 2048-byte block makes up to 4 codec blocks, which take 2560 bytes.
    EXPECT_EQ(capture.compressorSourceBytes(), 2560u);
    EXPECT_EQ(capture.compressorDestinationBytes(), 4u * 65);
    std::vector<std::uint8_t> in(5000, 1), out(capture.compressorDestinationBytes());
    std::uint32_t length = 200;  // 100 samples
    EXPECT_EQ(capture.compressBytes(in.data(), out.data(), length), 0u);
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(capture.compressorFailed());
    length = 5000;  // more than the source buffer: only what fits is taken
    EXPECT_EQ(capture.compressBytes(in.data(), out.data(), length), 4u * 65);
    EXPECT_EQ(length, 4u * 640);
    length = 200;
    EXPECT_EQ(capture.compressFinal(in.data(), out.data(), length), 65u);
    EXPECT_EQ(length, 200u);
    EXPECT_TRUE(capture.close());
}

TEST(Companding, RoundTripIsMonotonicAndCloseForEveryCode) {
    // Every code decodes and re-encodes to itself (except the two zeros of µ-law).
    for (int code = 0; code < 256; ++code) {
        const auto c = static_cast<std::uint8_t>(code);
        EXPECT_EQ(linearToALaw(aLawToLinear(c)), c) << code;
        if (code != 0x7F) {
            EXPECT_EQ(linearToMuLaw(muLawToLinear(c)), c) << code;
        }
    }
    for (int v = -32768; v <= 32767; v += 97) {
        const auto s = static_cast<std::int16_t>(v);
        EXPECT_LE(std::abs(aLawToLinear(linearToALaw(s)) - v), std::abs(v) / 16 + 16) << v;
        EXPECT_LE(std::abs(muLawToLinear(linearToMuLaw(s)) - v), std::abs(v) / 16 + 140) << v;
    }
}

}  // namespace
}  // namespace zeb::audio
