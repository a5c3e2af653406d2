// The window of the audio player: the recording's name, when it was made
// and how it is encoded; Play/Pause, a slider to seek with the position and
// the length as "m:ss", a level meter, and Open… (also by dropping a file on
// the window). Space plays and pauses, the arrow keys move by 5 s, Home goes
// back to the start.
//
// A file that cannot be played (missing, cut off in its header, no audio at
// all) leaves the window up with "… cannot be played: reason" in place of
// the recording; an output that cannot be opened is named with its reason.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Playback.h"

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace zeb::zebplay {

// The window class the player owns on the suite bus.
inline constexpr const char* kClassName = "ZEB-Audioplayer";
// Registered message by which a second start hands its recording to the
// running player: the payload is the file's absolute path, or empty for the
// newest recording.
inline constexpr const char* kOpenMessage = "ZEB_PLAY_OPEN";

// The output device the windows of this process use (--output); without it
// they read ZEBSYS.INI of their working directory.
void setOutputOverride(std::optional<std::string> device);

// A horizontal bar for the level of the sound played, on a decibel scale
// from −48 dB to full scale; it falls back slowly, as a meter's needle does.
class LevelMeter : public QWidget {
public:
    explicit LevelMeter(QWidget* parent = nullptr);
    // The peak of the sound just played, 0 … 1.
    void setLevel(float peak);
    float level() const { return level_; }
    // True once the bar has fallen back to nothing.
    bool resting() const { return shown_ == 0.0f; }
    QSize sizeHint() const override { return {200, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float level_ = 0.0f;
    float shown_ = 0.0f;  // 0 … 1 of the bar's width
};

class PlayerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit PlayerWindow(std::filesystem::path workDir, QWidget* parent = nullptr);
    PlayerWindow(std::filesystem::path workDir, std::string outputDevice,
                 QWidget* parent = nullptr);
    ~PlayerWindow() override;

    // Opens a recording in place of the one before and, with `start`, plays
    // it; a file that cannot be played is named with the reason.
    void openRecording(const std::filesystem::path& path, bool start = true);
    // Opens the newest recording of the working directory's SYNOP folder, or
    // says that there is none and waits for Open….
    void openNewest(bool start = true);

    void play();
    void pause();
    void togglePlay();
    // Moves to a frame of the recording (clamped), playing on when it played.
    void seekTo(std::int64_t frame);

    const Playback& playback() const { return *playback_; }
    const std::filesystem::path& recordingPath() const { return path_; }
    // The message shown about the file or the output; empty when all is well.
    const QString& problem() const { return problem_; }
    // "position / length" as the window shows it ("0:07 / 1:30").
    QString timeText() const;
    const std::string& output() const { return outputName_; }

    // Restores the window when minimised and brings it to the front.
    void bringToFront();
    // A registered message from the bus: kOpenMessage plays the recording it
    // names (the newest for an empty payload) and brings the window to the
    // front. False for any other message.
    bool takeMessage(const QString& name, const QByteArray& payload);

signals:
    // The recording was played to its end.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* buildControls();
    void buildActions();
    void chooseAndOpen();
    void showProblem(const QString& text);
    // Follows the playback: position, slider, meter, button, title.
    void refresh();
    void seekToSlider();

    std::filesystem::path workDir_;
    std::string outputName_;
    std::unique_ptr<Playback> playback_;
    std::filesystem::path path_;
    QString problem_;
    std::uint64_t endingsSeen_ = 0;
    bool settingSlider_ = false;

    QLabel* name_ = nullptr;
    QLabel* details_ = nullptr;
    QLabel* message_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    QPushButton* playButton_ = nullptr;
    LevelMeter* meter_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* ticker_ = nullptr;
};

}  // namespace zeb::zebplay
