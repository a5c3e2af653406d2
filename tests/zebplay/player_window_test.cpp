// The player's window on the null output, as a user meets it: the newest
// recording plays to its end showing its length, Space pauses and plays
// again from the start after the end, the slider seeks, a handed-over file
// plays, and files or an output that cannot be used are named with the reason.
#include "PlayerTestSupport.h"
#include "PlayerWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace zeb::zebplay::test {
namespace {

namespace fs = std::filesystem;

bool ends(PlayerWindow& window) {
    return waitFor([&] { return window.playback().state() == PlayState::Ended; });
}

// What the key does: its action on the window.
void press(PlayerWindow& window, QKeySequence key) {
    for (QAction* action : window.actions())
        if (action->shortcuts().contains(key)) return action->trigger();
    ADD_FAILURE() << "no action for " << key.toString().toStdString();
}

QPushButton* playButton(PlayerWindow& window) {
    for (auto* button : window.findChildren<QPushButton*>())
        if (button->text() == "Play" || button->text() == "Pause") return button;
    return nullptr;
}

TEST(PlayerWindow, TheNewestRecordingPlaysToItsEndShowingItsLength) {
    TempDir dir;
    for (const std::uint16_t tag : {audio::kTagPcm, audio::kTagGsm610}) {
        SCOPED_TRACE(tag);
        const fs::path file = record(dir.path(), tag, toneSamples(2.5));  // the next minute's
        PlayerWindow window(dir.path(), "null");
        int finished = 0;
        QObject::connect(&window, &PlayerWindow::finished, [&] { ++finished; });
        window.openNewest();
        EXPECT_EQ(window.recordingPath(), file);
        EXPECT_TRUE(window.problem().isEmpty()) << window.problem().toStdString();
        EXPECT_TRUE(window.windowTitle().contains(QString::fromStdString(file.filename())));
        EXPECT_EQ(window.timeText(), "0:00 / 0:02");
        EXPECT_EQ(playButton(window)->text(), "Pause");
        ASSERT_TRUE(waitFor([&] { return window.playback().level() > 0.0f; }));
        if (const std::string shots = zeb::test::testSetting("ZEB_SCREENSHOT_DIR");
            !shots.empty() && tag == audio::kTagGsm610) {
            window.show();
            QCoreApplication::processEvents();
            EXPECT_TRUE(window.grab().save(QString::fromStdString(shots + "/zebplay.png")));
        }
        ASSERT_TRUE(ends(window));
        ASSERT_TRUE(waitFor([&] { return finished == 1; }));
        EXPECT_EQ(window.timeText(), "0:02 / 0:02");
        EXPECT_EQ(playButton(window)->text(), "Play");
    }
}

TEST(PlayerWindow, SpacePausesAndTheSliderSeeks) {
    TempDir dir;
    record(dir.path(), audio::kTagGsm610, toneSamples(2.5));
    PlayerWindow window(dir.path(), "null");
    window.openNewest();
    const Playback& playback = window.playback();
    ASSERT_TRUE(waitFor([&] { return playback.position() > 0; }));
    press(window, Qt::Key_Space);
    EXPECT_EQ(playback.state(), PlayState::Paused);
    auto* slider = window.findChild<QSlider*>();
    slider->setValue(2000);  // as a click on the groove does
    EXPECT_EQ(playback.position(), 2 * kRate);
    EXPECT_EQ(window.timeText(), "0:02 / 0:02");
    press(window, Qt::Key_Space);
    ASSERT_TRUE(ends(window));
    press(window, Qt::Key_Space);  // after the end: from the start again
    EXPECT_EQ(playback.state(), PlayState::Playing);
    EXPECT_LT(playback.position(), kRate);
    slider->setValue(2000);
    press(window, Qt::Key_Home);
    EXPECT_LT(slider->value(), 1000);
}

TEST(PlayerWindow, FilesThatAreNoRecordingAreNamedWithTheReason) {
    TempDir dir;
    const fs::path good = record(dir.path(), audio::kTagPcm, toneSamples(0.5));
    const fs::path cut = good.parent_path() / "AUDIO_2024-03-05_16-00.WAV";
    const fs::path text = good.parent_path() / "AUDIO_2024-03-05_16-01.WAV";
    zeb::test::writeFile(cut, zeb::test::readFile(good).substr(0, 24));
    zeb::test::writeFile(text, "not audio at all\n");
    PlayerWindow window(dir.path(), "null");
    for (const fs::path& file : {cut, text}) {
        const QString name = QString::fromStdString(file.filename());
        window.openRecording(file);
        EXPECT_TRUE(window.problem().startsWith(name + " cannot be played: "))
            << window.problem().toStdString();
        EXPECT_FALSE(playButton(window)->isEnabled());
    }
    // Still usable: a recording handed over plays and the message goes.
    EXPECT_FALSE(window.takeMessage("ZEB_OTHER", QByteArray()));
    EXPECT_TRUE(window.takeMessage(kOpenMessage, QByteArray::fromStdString(good.string())));
    EXPECT_TRUE(window.problem().isEmpty());
    EXPECT_EQ(window.playback().state(), PlayState::Playing);
    EXPECT_TRUE(ends(window));
}

TEST(PlayerWindow, WithoutRecordingsOrOutputItSaysSo) {
    TempDir dir;
    PlayerWindow window(dir.path(), "zebplay_no_such_device");  // an ALSA name that exists nowhere
    window.openNewest();
    EXPECT_TRUE(window.problem().startsWith("No recordings in")) << window.problem().toStdString();
    EXPECT_FALSE(playButton(window)->isEnabled());
    window.openRecording(record(dir.path(), audio::kTagPcm, toneSamples(0.5)));
    EXPECT_TRUE(window.problem().contains("“zebplay_no_such_device” cannot be opened"))
        << window.problem().toStdString();
    EXPECT_TRUE(playButton(window)->isEnabled());
}

}  // namespace
}  // namespace zeb::zebplay::test
