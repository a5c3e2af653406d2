// The file backend through a capture stream: every sample of a recording
// arrives once, in order, in 1024-sample blocks.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <random>
#include <vector>

#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Streams.h"
#include "fake_device.h"
#include "support/TestEnv.h"

namespace zeb::audio {
namespace {

using test::eventually;

// Writes frames × channels interleaved 16-bit samples as a WAV file; with a
// float sample format, as floats of ±1 full scale, as other programs write them.
void writeRecording(const std::filesystem::path& path, int rate, int channels,
                    const std::vector<std::int16_t>& interleaved,
                    int sampleFormat = SF_FORMAT_PCM_16) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | sampleFormat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    if (sampleFormat == SF_FORMAT_PCM_16) {
        ASSERT_EQ(sf_writef_short(f, interleaved.data(), frames), frames);
    } else {
        std::vector<float> scaled(interleaved.size());
        for (std::size_t i = 0; i < scaled.size(); ++i) scaled[i] = interleaved[i] / 32768.0f;
        ASSERT_EQ(sf_writef_float(f, scaled.data(), frames), frames);
    }
    sf_close(f);
}

// Runs a capture stream on the recording until its end; returns every sample.
std::vector<std::int16_t> captureAll(const std::filesystem::path& path) {
    CaptureStream capture(makeFileBackend(path, FilePacing::AsFastAsTaken));
    std::mutex m;
    std::vector<std::int16_t> got;
    std::vector<std::size_t> blockSizes;
    capture.setRoutine(DecoderMode::Recorder, [&](std::span<const float> block) {
        std::lock_guard lock(m);
        blockSizes.push_back(block.size());
        for (float v : block) got.push_back(static_cast<std::int16_t>(v));
    });
    capture.setMode(DecoderMode::Recorder);
    EXPECT_TRUE(capture.openDefault()) << audioErrorMessage(lastAudioError());
    EXPECT_TRUE(capture.start());
    EXPECT_TRUE(eventually([&] { return capture.inputEnded(); }));
    EXPECT_TRUE(capture.close());
    for (std::size_t n : blockSizes) EXPECT_EQ(n, 1024u);
    return got;
}

struct RecordingCase {
    const char* name;
    int rate;
    int channels;
    int sampleFormat = SF_FORMAT_PCM_16;
};

class FileCapture : public ::testing::TestWithParam<RecordingCase> {};
class FileCaptureExact : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(FileCaptureExact, SameRateDeliversEverySampleOnceInOrder) {
    const RecordingCase c = GetParam();
    zeb::test::TempDir dir;
    const std::size_t frames = 5 * 1024 + 300;  // the last block is padded
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<std::int16_t> mono(frames);
    for (auto& s : mono) s = static_cast<std::int16_t>(dist(rng));
    std::vector<std::int16_t> interleaved;
    for (std::int16_t s : mono) {
        for (int ch = 0; ch < c.channels; ++ch) interleaved.push_back(s);
    }
    writeRecording(dir / "in.wav", c.rate, c.channels, interleaved);

    const std::vector<std::int16_t> got = captureAll(dir / "in.wav");
    ASSERT_EQ(got.size(), 6u * 1024);
    for (std::size_t i = 0; i < frames; ++i) ASSERT_EQ(got[i], mono[i]) << "sample " << i;
    for (std::size_t i = frames; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << "padding " << i;
}

TEST_P(FileCapture, ResampledKeepsLengthAndTone) {
    const RecordingCase c = GetParam();
    zeb::test::TempDir dir;
    const double toneHz = 1000.0;
    const std::size_t frames = static_cast<std::size_t>(c.rate) * 2;
    std::vector<std::int16_t> interleaved;
    for (std::size_t i = 0; i < frames; ++i) {
        const double v =
            12000.0 * std::sin(2.0 * std::numbers::pi * toneHz * static_cast<double>(i) / c.rate);
        for (int ch = 0; ch < c.channels; ++ch) {
            interleaved.push_back(static_cast<std::int16_t>(std::lround(v)));
        }
    }
    writeRecording(dir / "tone.wav", c.rate, c.channels, interleaved, c.sampleFormat);

    const std::vector<std::int16_t> got = captureAll(dir / "tone.wav");
    const double expected = static_cast<double>(frames) * 11025.0 / c.rate;
    ASSERT_EQ(got.size() % 1024, 0u);
    EXPECT_GE(static_cast<double>(got.size()), expected - 2.0);
    EXPECT_LT(static_cast<double>(got.size()), expected + 1024.0 + 2.0);

    // Frequency from the rising zero crossings of the middle second.
    const std::size_t from = 11025 / 2;
    const std::size_t to = from + 11025;
    int crossings = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (got[i - 1] < 0 && got[i] >= 0) {
            if (crossings++ == 0) first = i;
            last = i;
        }
    }
    ASSERT_GT(crossings, 100);
    const double hz = (crossings - 1) * 11025.0 / static_cast<double>(last - first);
    EXPECT_NEAR(hz, toneHz, 2.0);
    // The amplitude survives mixing down and resampling.
    int peak = 0;
    for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(int{got[i]}));
    EXPECT_NEAR(peak, 12000, 300);
}

INSTANTIATE_TEST_SUITE_P(Recordings, FileCaptureExact,
                         ::testing::Values(RecordingCase{"Mono11025", 11025, 1},
                                           RecordingCase{"Stereo11025", 11025, 2}),
                         [](const auto& param) { return std::string(param.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Recordings, FileCapture,
    ::testing::Values(RecordingCase{"Mono11025", 11025, 1}, RecordingCase{"Stereo11025", 11025, 2},
                      RecordingCase{"Mono8000", 8000, 1}, RecordingCase{"Mono44100", 44100, 1},
                      RecordingCase{"Mono48000", 48000, 1}, RecordingCase{"Stereo48000", 48000, 2},
                      RecordingCase{"Float11025", 11025, 1, SF_FORMAT_FLOAT},
                      RecordingCase{"DoubleStereo11025", 11025, 2, SF_FORMAT_DOUBLE},
                      RecordingCase{"Float48000", 48000, 1, SF_FORMAT_FLOAT}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FileCaptureDamage, ADamagedFloatSampleCostsOnlyTheSamplesAroundIt) {
    // Stereo at 48 kHz, so the samples are mixed down and resampled.
    zeb::test::TempDir dir;
    const std::size_t frames = 48000;
    std::vector<float> clean(frames * 2);
    for (std::size_t i = 0; i < clean.size(); ++i)
        clean[i] = 0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 *
                                                      static_cast<double>(i / 2) / 48000.0));
    const auto write = [&](const std::filesystem::path& path, const std::vector<float>& samples) {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_writef_float(f, samples.data(), static_cast<sf_count_t>(frames));
        sf_close(f);
    };
    write(dir / "clean.wav", clean);
    const std::vector<std::int16_t> reference = captureAll(dir / "clean.wav");
    const float damage[] = {std::nanf(""), INFINITY, -INFINITY, 3e38f, 1e30f};
    for (float bad : damage) {
        SCOPED_TRACE(bad);
        std::vector<float> damaged = clean;
        damaged[2 * 20000] = damaged[2 * 20000 + 1] = bad;  // both channels: the sum overflows
        write(dir / "damaged.wav", damaged);
        const std::vector<std::int16_t> got = captureAll(dir / "damaged.wav");
        ASSERT_EQ(got.size(), reference.size());
        std::size_t spoilt = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            spoilt += std::abs(int{got[i]} - int{reference[i]}) > 300;
        EXPECT_LT(spoilt, 200u);
    }
}

TEST(FileCaptureMixdown, StereoIsAveraged) {
    zeb::test::TempDir dir;
    writeRecording(dir / "lr.wav", 11025, 2, {1000, 3000, -1000, -2000, 32767, 32767, 5, 6});
    const std::vector<std::int16_t> got = captureAll(dir / "lr.wav");
    ASSERT_EQ(got.size(), 1024u);
    EXPECT_EQ(got[0], 2000);
    EXPECT_EQ(got[1], -1500);
    EXPECT_EQ(got[2], 32767);
    EXPECT_EQ(got[3], 6);  // 5.5 rounded away from zero
}

struct BadInputCase {
    const char* name;
    const char* content;  // nullptr: no file at all
};

class FileCaptureBadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(FileCaptureBadInput, OpenFailsWithAClearErrorAndCloses) {
    zeb::test::TempDir dir;
    const auto path = dir / "bad.wav";
    if (GetParam().content) zeb::test::writeFile(path, GetParam().content);
    CaptureStream capture(makeFileBackend(path, FilePacing::AsFastAsTaken));
    EXPECT_FALSE(capture.openDefault());
    const AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::InputDevice);
    EXPECT_EQ(e.line, 80);
    EXPECT_EQ(e.deviceResult, kResultNoFile);
    EXPECT_NE(audioErrorMessage(e).find("The recording cannot be opened (Line 80)"),
              std::string::npos);
    EXPECT_TRUE(capture.close());
    if (GetParam().content) {
        EXPECT_EQ(zeb::test::readFile(path), GetParam().content);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FileCaptureBadInput,
                         ::testing::Values(BadInputCase{"Missing", nullptr},
                                           BadInputCase{"NotAudio", "RIFF\x10\0\0\0WAVEjunk"},
                                           BadInputCase{"Empty", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(NullBackend, DeliversSilenceAndDiscardsOutput) {
    CaptureStream capture(makeNullBackend());
    std::atomic<int> blocks{0};
    std::atomic<bool> silent{true};
    capture.setRoutine(DecoderMode::Fax, [&](std::span<const float> b) {
        for (float v : b) silent = silent && v == 0.0f;
        ++blocks;
    });
    capture.setMode(DecoderMode::Fax);
    ASSERT_TRUE(capture.openDefault());
    ASSERT_TRUE(capture.start());
    EXPECT_TRUE(eventually([&] { return blocks >= 2; }));
    EXPECT_TRUE(silent);
    EXPECT_TRUE(capture.close());

    MonitorStream monitor(makeNullBackend());
    ASSERT_TRUE(monitor.openDefault());
    std::vector<float> samples(1024, 100.0f);
    EXPECT_TRUE(monitor.writeSamples(samples));
    EXPECT_TRUE(monitor.start());
    EXPECT_TRUE(eventually([&] { return monitor.queuedOutput() == 0; }));
    EXPECT_TRUE(monitor.close());
}

}  // namespace
}  // namespace zeb::audio
