// The player's engine on recordings the recorder wrote: every codec plays to
// its end with the sound the file holds and without allocating, pause holds
// the position and loses nothing, a seek is heard at once, files that are no
// recording are refused with their reason; and the newest recording.
#include "Playback.h"
#include "PlayerTestSupport.h"
#include "Recordings.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <thread>

namespace zeb::zebplay::test {
namespace {

namespace fs = std::filesystem;
using Samples = std::vector<std::int16_t>;

bool ended(const Playback& p) { return p.state() == PlayState::Ended; }

bool silent(Samples::const_iterator from, Samples::const_iterator to) {
    return std::all_of(from, to, [](std::int16_t s) { return s == 0; });
}

// What a recording sounds like, played straight through; the capture's
// allocation marks in `allocations`.
Samples playedThrough(const fs::path& file, std::vector<long>* allocations = nullptr) {
    auto output = std::make_shared<CapturingBackend>(false);
    Playback playback(output);
    EXPECT_TRUE(playback.open(file).ok());
    EXPECT_TRUE(playback.play().ok());
    EXPECT_TRUE(waitFor([&] { return ended(playback); }));
    EXPECT_EQ(playback.position(), playback.info().frames);
    EXPECT_EQ(playback.level(), 0.0f);
    if (allocations) *allocations = output->allocations();
    return output->played();
}

TEST(Playback, PlaysEveryCodecOfTheRecorderToItsEndWithoutAllocating) {
    const struct {
        std::uint16_t tag;
        const char* encoding;  // in libsndfile's name of it
    } cases[] = {{audio::kTagPcm, "16 bit PCM"},
                 {audio::kTagGsm610, "GSM 6.10"},
                 {audio::kTagALaw, "A-Law"},
                 {audio::kTagMuLaw, "U-Law"}};
    const auto samples = toneSamples(1.2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        TempDir dir;
        const fs::path file = record(dir.path(), c.tag, samples);
        Playback probe(nullptr);
        ASSERT_TRUE(probe.open(file).ok());
        const RecordingInfo info = probe.info();
        EXPECT_EQ(info.rate, kRate);
        EXPECT_EQ(info.channels, 1);
        EXPECT_NE(info.encoding.find(c.encoding), std::string::npos) << info.encoding;
        // GSM stores whole blocks of 320 samples, the last one filled with silence.
        EXPECT_GE(info.frames, static_cast<std::int64_t>(samples.size()));
        EXPECT_LT(info.frames, static_cast<std::int64_t>(samples.size()) + 320);
        EXPECT_FALSE(probe.play().ok());  // no output at all: said, not crashed

        std::vector<long> allocations;
        const Samples played = playedThrough(file, &allocations);
        ASSERT_GE(played.size(), samples.size());
        EXPECT_EQ(allocations.front(), allocations.back());
        // The loud end of the tone is heard as loud (the codecs are lossy).
        EXPECT_GT(*std::max_element(played.end() - kRate / 4, played.end() - 320), 8000);
        EXPECT_TRUE(silent(played.begin() + info.frames, played.end()));
        if (c.tag == audio::kTagPcm) {
            EXPECT_TRUE(std::equal(samples.begin(), samples.end(), played.begin()));
        }
    }
}

TEST(Playback, PauseHoldsThePositionAndLosesNothing) {
    TempDir dir;
    const auto samples = toneSamples(1.5);
    auto output = std::make_shared<CapturingBackend>(true);
    Playback playback(output);
    ASSERT_TRUE(playback.open(record(dir.path(), audio::kTagPcm, samples)).ok());
    ASSERT_TRUE(playback.play().ok());
    ASSERT_TRUE(waitFor([&] { return playback.position() > 0; }));
    EXPECT_GT(playback.level(), 0.0f);
    playback.pause();
    EXPECT_EQ(playback.state(), PlayState::Paused);
    const std::int64_t held = playback.position();
    std::this_thread::sleep_for(300ms);  // the device would have played three blocks
    EXPECT_EQ(playback.position(), held);
    EXPECT_LT(held, playback.info().frames);

    ASSERT_TRUE(playback.play().ok());
    ASSERT_TRUE(waitFor([&] { return ended(playback); }));
    const Samples played = output->played();
    ASSERT_GE(played.size(), samples.size());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), played.begin()));
    EXPECT_TRUE(silent(played.begin() + std::ssize(samples), played.end()));
}

TEST(Playback, ASeekIsHeardAtOnceWhilePlayingAndWhilePaused) {
    // libsndfile cannot seek in GSM 6.10 WAV files: forward the player reads
    // on, back it starts again from the beginning.
    const struct {
        std::uint16_t tag;
        bool whilePaused;
        int after, to;  // in eighths of the recording: once past `after`, seek to `to`
    } cases[] = {{audio::kTagPcm, false, 0, 6},
                 {audio::kTagPcm, true, 4, 1},
                 {audio::kTagGsm610, true, 0, 6},
                 {audio::kTagGsm610, false, 4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE("tag " + std::to_string(c.tag) + (c.whilePaused ? " paused " : " playing ") +
                     std::to_string(c.after) + " to " + std::to_string(c.to));
        TempDir dir;
        const fs::path file = record(dir.path(), c.tag, toneSamples(1.5));
        const Samples whole = playedThrough(file);
        auto output = std::make_shared<CapturingBackend>(true);
        Playback playback(output);
        ASSERT_TRUE(playback.open(file).ok());
        const std::int64_t frames = playback.info().frames, eighth = frames / 8;
        const std::int64_t target = c.to * eighth;
        ASSERT_TRUE(playback.play().ok());
        ASSERT_TRUE(waitFor([&] { return playback.position() > c.after * eighth; }));
        if (c.whilePaused) playback.pause();
        playback.seek(target);
        if (c.whilePaused) {
            EXPECT_EQ(playback.position(), target);
            EXPECT_EQ(playback.state(), PlayState::Paused);
            ASSERT_TRUE(playback.play().ok());
        }
        ASSERT_TRUE(waitFor([&] { return ended(playback); }));

        // Heard: the beginning up to the seek, then the rest from the target, once.
        const Samples played = output->played();
        const auto tail = std::find_end(played.begin(), played.end(), whole.begin() + target,
                                        whole.begin() + target + 2000);
        ASSERT_NE(tail, played.end());
        EXPECT_TRUE(std::equal(played.begin(), tail, whole.begin()));
        ASSERT_GE(played.end() - tail, frames - target);
        EXPECT_TRUE(std::equal(whole.begin() + target, whole.begin() + frames, tail));
        EXPECT_TRUE(silent(tail + (frames - target), played.end()));
    }
}

// Any file libsndfile reads plays: here float samples at 44.1 kHz in three
// channels, which are mixed down to one.
TEST(Playback, PlaysOtherFilesLibsndfileReads) {
    TempDir dir;
    const fs::path file = dir.path() / "other.wav";
    constexpr int kFrames = 5000;
    std::vector<float> frames(std::size_t{kFrames} * 3);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = float(i % 3 + 1) * 0.125f;
    SF_INFO info{0, 44100, 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_writef_float(out, frames.data(), kFrames), kFrames);
    sf_close(out);

    const Samples played = playedThrough(file);
    ASSERT_GE(played.size(), std::size_t{kFrames});
    EXPECT_EQ(played.front(), 8192);  // (1 + 2 + 3) / 3 × 0.125 of full scale
    EXPECT_EQ(played[kFrames - 1], 8192);
}

TEST(Playback, RefusesFilesThatAreNoRecordingWithTheReason) {
    TempDir dir;
    const fs::path good = record(dir.path(), audio::kTagGsm610, toneSamples(0.5));
    const struct {
        const char* name;
        std::optional<std::string> content;  // nullopt: no such file
        const char* reason;                  // a part of it; "": libsndfile's words
    } cases[] = {
        {"AUDIO_2024-03-05_15-00.WAV", zeb::test::readFile(good).substr(0, 30), ""},
        {"AUDIO_2024-03-05_15-01.WAV", "a text file with a recording's name\n", ""},
        {"AUDIO_2024-03-05_15-02.WAV", "", "it is empty"},
        {"AUDIO_2024-03-05_15-03.WAV", std::nullopt, "the file does not exist"},
        {"", std::nullopt, "it is not a file"},
    };
    Playback playback(std::make_shared<CapturingBackend>(false));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.content) zeb::test::writeFile(dir.path() / c.name, *c.content);
        ASSERT_TRUE(playback.open(good).ok());
        const auto opened = playback.open(dir.path() / c.name);
        ASSERT_FALSE(opened.ok());
        EXPECT_FALSE(opened.error().message.empty());
        EXPECT_NE(opened.error().message.find(c.reason), std::string::npos)
            << opened.error().message;
        EXPECT_EQ(playback.state(), PlayState::Empty);
        EXPECT_FALSE(playback.play().ok());
    }
}

TEST(Recordings, TheNewestByTheTimeInItsNameAndTheOutput) {
    TempDir dir;
    const fs::path synop = dir.path() / "SYNOP";
    fs::create_directories(synop / "AUDIO_2030-01-01_00-00.WAV");  // a folder, not a recording
    for (const char* name :
         {"AUDIO_2024-03-05_14-05.WAV", "AUDIO_2024-12-31_23-59.GSM", "AUDIO_2024-12-31_23-58.WAV",
          "AUDIO_2025-01-01.WAV", "WARN_2026-01-01_00-00.RTF", "zz_AUDIO_2027-01-01_00-00.WAV"})
        zeb::test::writeFile(synop / name, "x");
    EXPECT_EQ(newestRecording(synop), synop / "AUDIO_2024-12-31_23-59.GSM");
    EXPECT_EQ(newestRecording(dir.path() / "none"), std::nullopt);

    EXPECT_EQ(outputDevice(dir.path(), std::nullopt), "default");
    zeb::test::writeFile(dir.path() / "ZEBSYS.INI", "[AUDIO]\nOUTPUT=plughw:1,0\n");
    EXPECT_EQ(outputDevice(dir.path(), std::nullopt), "plughw:1,0");
    EXPECT_EQ(outputDevice(dir.path(), std::string("null")), "null");
}

}  // namespace
}  // namespace zeb::zebplay::test
