// The ALSA backend through ALSA's "file" plugin on a "null" slave: the real
// ALSA code path, byte-exact, without a sound card. Also the choice of backend.
#include <gtest/gtest.h>

#include <mutex>

#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Streams.h"
#include "common/ProfileFile.h"
#include "fake_device.h"
#include "support/TestEnv.h"

namespace zeb::audio {
namespace {

using test::eventually;

std::string fileDevice(const std::filesystem::path& dir) {
    return "pcm.zebtest { type file slave.pcm { type null } file \"" + (dir / "out.raw").string() +
           "\" infile \"" + (dir / "in.raw").string() + "\" format \"raw\" }\n";
}

TEST(AlsaBackend, CaptureReadsTheInputFileBlockByBlock) {
    zeb::test::TempDir dir;
    std::vector<std::int16_t> ramp(3 * 1024);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i * 7 - 9000);
    zeb::test::writeFile(dir / "in.raw",
                         std::string(reinterpret_cast<const char*>(ramp.data()), ramp.size() * 2));
    EXPECT_EQ(makeAlsaBackend("zebtest", fileDevice(dir.path()))
                  ->checkInputFormat(WaveFormat::pcm(11025, 1, 16)),
              0);
    CaptureStream capture(makeAlsaBackend("zebtest", fileDevice(dir.path())));
    std::mutex m;
    std::vector<std::int16_t> got;
    capture.setRoutine(DecoderMode::Cw, [&](std::span<const float> b) {
        std::lock_guard lock(m);
        for (float v : b) got.push_back(static_cast<std::int16_t>(v));
    });
    capture.setMode(DecoderMode::Cw);
    ASSERT_TRUE(capture.openDefault()) << audioErrorMessage(lastAudioError());
    ASSERT_TRUE(capture.start());
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(m);
        return got.size() >= ramp.size();
    }));
    EXPECT_TRUE(capture.close());
    std::lock_guard lock(m);
    EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), got.begin()));
}

TEST(AlsaBackend, PlaybackWritesEveryBlockInOrder) {
    zeb::test::TempDir dir;
    zeb::test::writeFile(dir / "in.raw", "");
    {
        MonitorStream monitor(makeAlsaBackend("zebtest", fileDevice(dir.path())));
        ASSERT_TRUE(monitor.openDefault()) << audioErrorMessage(lastAudioError());
        std::vector<float> block(1024);
        for (int b = 0; b < 6; ++b) {
            for (int i = 0; i < 1024; ++i) block[static_cast<std::size_t>(i)] = float(b * 1024 + i);
            ASSERT_TRUE(monitor.writeSamples(block));
        }
        ASSERT_TRUE(monitor.start());
        ASSERT_TRUE(eventually([&] { return monitor.queuedOutput() == 0; }));
        EXPECT_TRUE(monitor.close());
    }
    const std::string out = zeb::test::readFile(dir / "out.raw");
    ASSERT_GE(out.size(), 6u * 2048);
    const auto* s = reinterpret_cast<const std::int16_t*>(out.data());
    for (int i = 0; i < 6 * 1024; ++i) ASSERT_EQ(s[i], i) << i;
}

TEST(AlsaBackend, UnknownDeviceIsNoDevice) {
    auto backend = makeAlsaBackend("zeb-no-such-device");
    EXPECT_FALSE(backend->hasDevice(false));
    // The format question cannot be asked: ALSA's reason, not "not offered".
    const std::int32_t asked = backend->checkInputFormat(WaveFormat::pcm(11025, 1, 16));
    EXPECT_LT(asked, 0);
    EXPECT_NE(asked, kResultBadFormat);
    CaptureStream capture(backend);
    EXPECT_FALSE(capture.openDefault());
    EXPECT_EQ(lastAudioError().code, AudioErrorCode::NoInputDevice);
    EXPECT_TRUE(capture.close());
}

struct ChoiceCase {
    const char* name;
    const char* ini;  // nullptr: no file
    bool output;
    std::optional<std::string> commandLine;
    const char* device;
};

class DeviceChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(DeviceChoice, CommandLineThenSettingsThenDefault) {
    const ChoiceCase c = GetParam();
    zeb::test::TempDir dir;
    if (c.ini) zeb::test::writeFile(dir / "ZEBSYS.INI", c.ini);
    EXPECT_EQ(chooseDevice(ProfileFile(dir / "ZEBSYS.INI"), c.output, c.commandLine), c.device);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DeviceChoice,
    ::testing::Values(
        ChoiceCase{"NoFile", nullptr, false, std::nullopt, "default"},
        ChoiceCase{"Input", "[AUDIO]\nINPUT=file:/r/a b.wav\nOUTPUT=null\n", false, std::nullopt,
                   "file:/r/a b.wav"},
        ChoiceCase{"Output", "[AUDIO]\nINPUT=hw:1\nOUTPUT=null\n", true, std::nullopt, "null"},
        ChoiceCase{"CommandLineWins", "[audio]\ninput=hw:1\n", false, "file:x.wav", "file:x.wav"},
        ChoiceCase{"CommandLineIsInputOnly", "[AUDIO]\nOUTPUT=hw:2\n", true, "null", "hw:2"},
        ChoiceCase{"EmptyValue", "[AUDIO]\nINPUT=\n", false, std::nullopt, "default"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DeviceChoice, NamesMapToBackends) {
    EXPECT_EQ(makeBackend("null", FilePacing::RealTime)->name(), "null");
    EXPECT_EQ(makeBackend("file:/x.wav", FilePacing::RealTime)->name(), "file:/x.wav");
    EXPECT_EQ(makeBackend("", FilePacing::RealTime)->name(), "default");
    EXPECT_EQ(makeBackend("plughw:1,0", FilePacing::RealTime)->name(), "plughw:1,0");
}

}  // namespace
}  // namespace zeb::audio
