// The warning-tone player: the order of the tones it asks for, refusals while
// playing or switched off, and the audio output on the null device.
#include "ui/TextWindow.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "EventLoop.h"
#include "weather/BulletinOutput.h"

namespace zeb::ui {
namespace {

// Records what the player asks for: a frequency per start, 0 for a stop.
class RecordingOutput : public ToneOutput {
public:
    void startTone(int frequencyHz) override { calls.push_back(frequencyHz); }
    void stopTone() override { calls.push_back(0); }
    std::vector<int> calls;
};

void pumpBriefly() {
    test::pumpUntil([] { return false; }, std::chrono::milliseconds(30));
}

TEST(TonePlayer, PlaysTheWarningSequenceOnceAndRefusesMeanwhile) {
    RecordingOutput out;
    TonePlayer player(out);
    int finished = 0;
    QObject::connect(&player, &TonePlayer::finished, [&] { ++finished; });

    ASSERT_TRUE(player.play(weather::kWarningTone));
    EXPECT_TRUE(out.calls.empty());  // the first tone comes from the event loop
    EXPECT_FALSE(player.play(weather::kWarningTone));
    ASSERT_TRUE(test::pumpUntil([&] { return finished > 0; }));
    EXPECT_EQ(out.calls, (std::vector<int>{900, 1100, 1320, 900, 1100, 1320, 0}));
    EXPECT_FALSE(player.playing());
    pumpBriefly();
    EXPECT_EQ(finished, 1);

    // Without its closing 0 a sequence ends after its last pair.
    out.calls.clear();
    const std::array<weather::TonePair, 2> open = {{{500, 5}, {600, 5}}};
    ASSERT_TRUE(player.play(open));
    ASSERT_TRUE(test::pumpUntil([&] { return finished == 2; }));
    EXPECT_EQ(out.calls, (std::vector<int>{500, 600, 0}));
}

TEST(TonePlayer, DisabledOrEmptyPlaysNothing) {
    RecordingOutput out;
    TonePlayer player(out);
    player.setEnabled(false);
    EXPECT_FALSE(player.play(weather::kWarningTone));
    player.setEnabled(true);
    EXPECT_FALSE(player.play({}));
    pumpBriefly();
    EXPECT_TRUE(out.calls.empty());
    EXPECT_FALSE(player.playing());
}

TEST(TonePlayer, DestroyedWhilePlayingSilencesTheOutput) {
    RecordingOutput out;
    {
        TonePlayer player(out);
        ASSERT_TRUE(player.play(weather::kWarningTone));
        ASSERT_TRUE(test::pumpUntil([&] { return !out.calls.empty(); }));
    }
    pumpBriefly();
    EXPECT_EQ(out.calls.back(), 0);
}

TEST(TonePlayer, AudioOutputOnTheNullDevice) {
    auto output = makeAudioToneOutput("null");
    output->stopTone();  // before any tone: harmless
    output->startTone(900);
    output->startTone(1100);
    pumpBriefly();
    output->stopTone();
    output->stopTone();
    {
        TonePlayer player(*output);
        bool finished = false;
        QObject::connect(&player, &TonePlayer::finished, [&] { finished = true; });
        ASSERT_TRUE(player.play(weather::kWarningTone));
        ASSERT_TRUE(test::pumpUntil([&] { return finished; }));
    }
    output->startTone(1320);
    pumpBriefly();
    output.reset();  // destroyed during a tone: the device is closed
}

}  // namespace
}  // namespace zeb::ui
