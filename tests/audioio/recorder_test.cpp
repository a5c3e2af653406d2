// The recorder end to end: recordings in each codec read back from the file
// (own chunk walk, sox when installed), samples, names, codec choice, no
// allocation per block, failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "audioio/Recorder.h"
#include "support/AllocationCount.h"
#include "support/TestEnv.h"

namespace zeb::audio {
namespace {

namespace fs = std::filesystem;

std::vector<float> tone(std::size_t n) {
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 11025.0;
        s[i] = static_cast<float>(9000.0 * std::sin(2.0 * std::numbers::pi * 700.0 * t));
    }
    return s;
}

std::vector<std::uint8_t> stored(std::uint16_t tag, std::uint32_t rate = 11025,
                                 std::uint16_t bits = 16) {
    return WaveFormat{tag, 1, rate, 0, 0, bits, {}}.serialize();
}

std::uint32_t le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    return v;
}

// The chunks of a RIFF/WAVE file, walked independently of the writer.
struct Layout {
    std::uint32_t riffSize = 0, dataSize = 0, factSamples = 0;
    std::uint16_t tag = 0;
    std::size_t dataOffset = 0;
};

Layout layoutOf(const std::string& b) {
    Layout l;
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return l;
    l.riffSize = le32(b, 4);
    for (std::size_t pos = 12; pos + 8 <= b.size() && l.dataOffset == 0;) {
        const std::uint32_t size = le32(b, pos + 4);
        if (b.compare(pos, 4, "fmt ") == 0) l.tag = static_cast<std::uint8_t>(b[pos + 8]);
        if (b.compare(pos, 4, "fact") == 0) l.factSamples = le32(b, pos + 8);
        if (b.compare(pos, 4, "data") == 0) l.dataSize = size, l.dataOffset = pos + 8;
        pos += 8 + size + size % 2;
    }
    return l;
}

// The samples of a 16-bit PCM recording.
std::vector<std::int16_t> pcmSamples(const std::string& file) {
    const Layout l = layoutOf(file);
    std::vector<std::int16_t> s(l.dataSize / 2);
    std::memcpy(s.data(), file.data() + l.dataOffset, s.size() * 2);
    return s;
}

// The sample count `sox --i` reads from the file ("" when it fails); nullopt without sox.
std::optional<std::string> soxSamples(const fs::path& path) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string cmd = "sox --i -s '" + path.string() + "' 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        if (pclose(p) != 0) out.clear();
    }
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
    return out;
}

struct RecordingCase {
    const char* name;
    std::uint16_t tag;
    int calls, count;               // block() calls of `count` samples
    std::uint32_t bytesBeforeStop;  // whole codec blocks converted while recording
    std::uint32_t samples, dataBytes;
};

class RecorderFile : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(RecorderFile, IsAPlayableRecordingOfTheRightLength) {
    const RecordingCase& c = GetParam();
    zeb::test::TempDir dir;
    Recorder recorder;
    const auto started = recorder.start({dir.path(), {2004, 6, 3, 14, 5}, stored(c.tag)});
    ASSERT_TRUE(started.ok()) << started.error().message;
    const auto input = tone(static_cast<std::size_t>(c.calls * c.count));
    for (int i = 0; i < c.calls; ++i) recorder.block(input.data() + i * c.count, c.count);
    EXPECT_EQ(recorder.bytesWritten(), c.bytesBeforeStop);
    if (c.calls * c.count >= static_cast<int>(Recorder::kRefreshSamples)) {
        // A crash now would leave a file whose header describes most of the audio.
        const std::string now = zeb::test::readFile(*started);
        const Layout l = layoutOf(now);
        EXPECT_GT(l.dataSize, c.bytesBeforeStop / 2);
        EXPECT_EQ(l.riffSize + 8, l.dataOffset + l.dataSize + l.dataSize % 2);
        EXPECT_LE(l.dataOffset + l.dataSize, now.size());
    }
    ASSERT_TRUE(recorder.stop().ok());
    EXPECT_TRUE(recorder.stop().ok());  // a second stop does nothing
    EXPECT_FALSE(recorder.recording() || recorder.writeFailed());

    const std::string bytes = zeb::test::readFile(*started);
    const Layout l = layoutOf(bytes);
    EXPECT_EQ(l.tag, c.tag);
    EXPECT_EQ(l.riffSize, bytes.size() - 8);
    EXPECT_EQ(l.dataSize, c.dataBytes);
    EXPECT_EQ(l.dataOffset + l.dataSize + l.dataSize % 2, bytes.size());
    if (c.tag != kTagPcm) {
        EXPECT_EQ(l.factSamples, c.samples);
    } else {  // every sample in order across the carried-over remainders
        std::vector<std::int16_t> expected(input.size());
        for (std::size_t i = 0; i < input.size(); ++i)
            expected[i] = static_cast<std::int16_t>(std::lrint(input[i]));
        EXPECT_EQ(pcmSamples(bytes), expected);
    }
    const auto sox = soxSamples(*started);
    if (!sox) GTEST_SKIP() << "sox is not installed";
    EXPECT_EQ(*sox, std::to_string(c.samples));
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, RecorderFile,
    ::testing::Values(
        RecordingCase{"Pcm", kTagPcm, 5, 1024, 10240, 5120, 10240},
        RecordingCase{"PcmUnevenCounts", kTagPcm, 7, 1000, 14000, 7000, 14000},
        RecordingCase{"PcmCountsBeyondTheBuffer", kTagPcm, 2, 5000, 20000, 10000, 20000},
        RecordingCase{"PcmOneSample", kTagPcm, 1, 1, 2, 1, 2},
        RecordingCase{"ALaw", kTagALaw, 3, 1024, 3072, 3072, 3072},
        RecordingCase{"ALawOddLength", kTagALaw, 1, 333, 333, 333, 333},
        RecordingCase{"Gsm", kTagGsm610, 3, 1024, 585, 3200, 650},
        // Past the header refresh after a few seconds.
        RecordingCase{"GsmLong", kTagGsm610, 60, 1024, 12480, 61440, 12480},
        RecordingCase{"GsmUnevenCounts", kTagGsm610, 7, 1000, 1365, 7040, 1430},
        RecordingCase{"GsmCountsBeyondTheBuffer", kTagGsm610, 2, 5000, 2015, 10240, 2080},
        RecordingCase{"GsmBelowOneCodecBlock", kTagGsm610, 1, 100, 0, 320, 65}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RecorderSamples, AreRoundedToNearestEvenAndClipped) {
    zeb::test::TempDir dir;
    Recorder recorder;
    const auto started = recorder.start({dir.path(), {2004, 6, 3, 14, 5}, stored(kTagPcm)});
    ASSERT_TRUE(started.ok());
    const float in[] = {0.5f, 1.5f, -1.6f, 1234.5f, 32767.4f, 40000.0f, -1e9f, NAN};
    recorder.block(in, 8);
    ASSERT_TRUE(recorder.stop().ok());
    EXPECT_EQ(pcmSamples(zeb::test::readFile(*started)),
              (std::vector<std::int16_t>{0, 2, -2, 1234, 32767, 32767, -32768, 0}));
}

TEST(RecorderName, IsTheFirstFreeLocalMinuteAndNeverReplacesARecording) {
    zeb::test::TempDir dir;
    Recorder recorder;
    const RecorderStart request{dir.path(), {2004, 6, 3, 14, 5, 42}, {}};
    const auto first = recorder.start(request);
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(*first, dir / "SYNOP/AUDIO_2004-06-03_14-05.WAV");
    EXPECT_EQ(recorder.start(request).value(), *first);  // already recording
    const float silence[1024] = {};
    recorder.block(silence, 1024);
    ASSERT_TRUE(recorder.stop().ok());
    const auto firstSize = fs::file_size(*first);
    zeb::test::writeFile(dir / "SYNOP/AUDIO_2004-06-03_14-07.GSM", "external recorder");
    // A name that looks free but cannot be created exclusively is passed over too.
    fs::create_symlink(dir / "elsewhere.wav", dir / "SYNOP/AUDIO_2004-06-03_14-08.WAV");
    for (const char* next : {"AUDIO_2004-06-03_14-06.WAV", "AUDIO_2004-06-03_14-09.WAV"}) {
        const auto again = recorder.start(request);
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ(*again, dir / "SYNOP" / next);
        ASSERT_TRUE(recorder.stop().ok());
    }
    EXPECT_EQ(fs::file_size(*first), firstSize);
    EXPECT_FALSE(fs::exists(dir / "elsewhere.wav"));
}

struct ChoiceCase {
    const char* name;
    std::vector<std::uint8_t> record;
    std::uint16_t tag;
    bool fellBack;
};

class RecorderCodec : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(RecorderCodec, ComesFromTheStoredRecordOrFallsBackToPcm) {
    zeb::test::TempDir dir;
    Recorder recorder;
    const auto started = recorder.start({dir.path(), {2004, 6, 3, 14, 5}, GetParam().record});
    ASSERT_TRUE(started.ok()) << started.error().message;
    EXPECT_EQ(recorder.fellBack(), GetParam().fellBack);
    EXPECT_EQ(recorder.codec().formatTag, GetParam().tag);
    EXPECT_EQ(recorder.codec().formatName.rfind("11.025 kHz, Mono", 0), 0u);
    if (GetParam().fellBack) {
        EXPECT_EQ(recorder.format(), WaveFormat::pcm(11025, 1, 16));
    }
    ASSERT_TRUE(recorder.stop().ok());
    EXPECT_EQ(layoutOf(zeb::test::readFile(*started)).tag, GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecorderCodec,
    ::testing::Values(ChoiceCase{"EmptyIsGsm", {}, kTagGsm610, false},
                      ChoiceCase{"ALaw", stored(kTagALaw, 11025, 8), kTagALaw, false},
                      ChoiceCase{"UnknownTag", stored(0x1234), kTagPcm, true},
                      ChoiceCase{"GsmAtAnotherRate", stored(kTagGsm610, 22050), kTagPcm, true},
                      ChoiceCase{"EightBitPcm", stored(kTagPcm, 11025, 8), kTagPcm, true},
                      ChoiceCase{"TooShort", {49, 0, 1, 0}, kTagPcm, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RecorderBlocks, AllocateNothing) {
    const auto input = tone(64 * 1024);  // past a header refresh
    for (std::uint16_t tag : {kTagPcm, kTagALaw, kTagGsm610}) {
        SCOPED_TRACE(tag);
        zeb::test::TempDir dir;
        Recorder recorder;
        ASSERT_TRUE(recorder.start({dir.path(), {2004, 6, 3, 14, 5}, stored(tag)}).ok());
        const long before = zeb::test::allocationCount();
        for (int b = 0; b < 64; ++b) recorder.block(input.data() + b * 1024, 1024);
        EXPECT_EQ(zeb::test::allocationCount(), before);
        ASSERT_TRUE(recorder.stop().ok());
    }
}

TEST(RecorderFailure, UnwritableFolderGivesAClearErrorAndLeavesNoFile) {
    for (const bool synopIsAFile : {true, false}) {  // root writes into read-only folders: last
        zeb::test::TempDir dir;
        const fs::path synop = dir / "SYNOP";
        if (synopIsAFile) zeb::test::writeFile(synop, "not a folder");
        if (!synopIsAFile) {
            fs::create_directory(synop);
            fs::permissions(synop, fs::perms::owner_read | fs::perms::owner_exec);
            if (::access(synop.c_str(), W_OK) == 0) GTEST_SKIP() << "root may write anywhere";
        }
        Recorder recorder;
        const auto started = recorder.start({dir.path(), {2004, 6, 3, 14, 5}, {}});
        ASSERT_FALSE(started.ok());
        const std::string& message = started.error().message;
        EXPECT_NE(message.find(synopIsAFile ? "SYNOP\"" : "AUDIO_2004-06-03_14-05.WAV\""),
                  std::string::npos)
            << message;
        EXPECT_EQ(started.error().systemError(), synopIsAFile ? ENOTDIR : EACCES) << message;
        EXPECT_FALSE(recorder.recording());
        EXPECT_TRUE(synopIsAFile || fs::is_empty(synop));
    }
}

TEST(RecorderFailure, AFailedWriteIsRememberedAndTheRecordingGoesOn) {
    zeb::test::TempDir dir;
    Recorder recorder;
    const auto started = recorder.start({dir.path(), {2004, 6, 3, 14, 5}, stored(kTagPcm)});
    ASSERT_TRUE(started.ok());
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 8192;  // the disk is "full" after 8 KiB
    setrlimit(RLIMIT_FSIZE, &small);
    const auto input = tone(20 * 1024);
    for (int b = 0; b < 20; ++b) recorder.block(input.data() + b * 1024, 1024);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(recorder.writeFailed());
    EXPECT_TRUE(recorder.recording());
    const auto stopped = recorder.stop();
    ASSERT_FALSE(stopped.ok());
    EXPECT_NE(stopped.error().message.find("AUDIO_2004-06-03_14-05.WAV"), std::string::npos);
    EXPECT_GT(layoutOf(zeb::test::readFile(*started)).dataOffset, 0u);
}

}  // namespace
}  // namespace zeb::audio
