#include "PlayerWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "Recordings.h"
#include "audioio/Backends.h"
#include "common/ReceivedFile.h"

namespace zeb::zebplay {

namespace fs = std::filesystem;

namespace {

const QString kTitle = QStringLiteral("ZEB-Audioplayer");
constexpr int kTickMs = 40;
constexpr int kSkipSeconds = 5;
constexpr float kMeterFloorDb = -48.0f;
constexpr float kMeterFallPerTick = 0.04f;  // of the bar's width

std::optional<std::string>& outputOverride() {
    static std::optional<std::string> device;
    return device;
}

QString fileNameOf(const fs::path& path) {
    return QString::fromStdString(path.filename().string());
}

QString utf8(const std::string& text) { return QString::fromStdString(text); }

// "Recorded 2024-03-05 14:05 · GSM 6.10 · 11025 Hz, mono".
QString detailsOf(const fs::path& path, const RecordingInfo& info) {
    QStringList parts;
    if (const auto t = recordingTime(path))
        parts << QString::asprintf("Recorded %04d-%02d-%02d %02d:%02d", t->year, t->month, t->day,
                                   t->hour, t->minute);
    parts << utf8(info.encoding);
    const QString channels = info.channels == 1 ? QStringLiteral("mono")
                             : info.channels == 2
                                 ? QStringLiteral("stereo")
                                 : QStringLiteral("%1 channels").arg(info.channels);
    parts << QStringLiteral("%1 Hz, %2").arg(info.rate).arg(channels);
    return parts.join(QStringLiteral(" · "));
}

}  // namespace

void setOutputOverride(std::optional<std::string> device) { outputOverride() = std::move(device); }

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("Level of the sound played"));
}

void LevelMeter::setLevel(float peak) {
    level_ = std::clamp(peak, 0.0f, 1.0f);
    const float db = level_ > 0.0f ? 20.0f * std::log10(level_) : kMeterFloorDb;
    const float target = std::clamp(1.0f - db / kMeterFloorDb, 0.0f, 1.0f);
    const float next = std::max(target, shown_ - kMeterFallPerTick);
    if (next == shown_) return;
    shown_ = next;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillRect(frame, palette().color(QPalette::Base));
    QLinearGradient gradient(frame.topLeft(), frame.topRight());
    gradient.setColorAt(0.0, QColor(40, 170, 70));
    gradient.setColorAt(0.75, QColor(230, 200, 40));
    gradient.setColorAt(1.0, QColor(220, 50, 40));
    painter.fillRect(QRectF(frame.topLeft(), QSizeF(frame.width() * shown_, frame.height())),
                     gradient);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
}

PlayerWindow::PlayerWindow(fs::path workDir, QWidget* parent)
    : PlayerWindow(workDir, outputDevice(workDir, outputOverride()), parent) {}

PlayerWindow::PlayerWindow(fs::path workDir, std::string output, QWidget* parent)
    : QMainWindow(parent),
      workDir_(std::move(workDir)),
      outputName_(std::move(output)),
      playback_(std::make_unique<Playback>(
          audio::makeBackend(outputName_, audio::FilePacing::RealTime))) {
    setWindowTitle(kTitle);
    setWindowIcon(style()->standardIcon(QStyle::SP_MediaVolume));
    setAcceptDrops(true);
    setCentralWidget(buildControls());
    status_ = new QLabel(QStringLiteral("Output: %1").arg(utf8(outputName_)));
    statusBar()->addWidget(status_, 1);
    buildActions();
    ticker_ = new QTimer(this);
    ticker_->setInterval(kTickMs);
    connect(ticker_, &QTimer::timeout, this, &PlayerWindow::refresh);
    resize(560, sizeHint().height());
    refresh();
}

PlayerWindow::~PlayerWindow() = default;

QWidget* PlayerWindow::buildControls() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    name_ = new QLabel;
    QFont big = name_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.25);
    name_->setFont(big);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details_ = new QLabel;
    message_ = new QLabel;
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->hide();
    slider_ = new QSlider(Qt::Horizontal);
    slider_->setSingleStep(kSkipSeconds * 1000);
    slider_->setPageStep(6 * kSkipSeconds * 1000);
    slider_->setToolTip(QStringLiteral("Position (arrow keys: 5 s, Home: start)"));
    time_ = new QLabel;
    time_->setFont(QFont(QStringLiteral("monospace")));
    connect(slider_, &QSlider::valueChanged, this, [this] {
        if (!settingSlider_ && !slider_->isSliderDown()) seekToSlider();
    });
    connect(slider_, &QSlider::sliderReleased, this, &PlayerWindow::seekToSlider);
    connect(slider_, &QSlider::sliderMoved, this, [this](int ms) {
        const int rate = playback_->info().rate;
        time_->setText(utf8(clockText(std::int64_t{ms} * rate / 1000, rate) + " / " +
                            clockText(playback_->info().frames, rate)));
    });
    auto* open = new QPushButton(style()->standardIcon(QStyle::SP_DialogOpenButton),
                                 QStringLiteral("Open…"));
    connect(open, &QPushButton::clicked, this, &PlayerWindow::chooseAndOpen);
    playButton_ = new QPushButton;
    connect(playButton_, &QPushButton::clicked, this, &PlayerWindow::togglePlay);
    for (QPushButton* button : {open, playButton_}) button->setFocusPolicy(Qt::NoFocus);
    meter_ = new LevelMeter;

    auto* seekRow = new QHBoxLayout;
    seekRow->addWidget(slider_, 1);
    seekRow->addWidget(time_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(open);
    buttonRow->addWidget(playButton_);
    buttonRow->addSpacing(12);
    buttonRow->addWidget(meter_, 1);
    layout->addWidget(name_);
    layout->addWidget(details_);
    layout->addWidget(message_);
    layout->addLayout(seekRow);
    layout->addLayout(buttonRow);
    layout->addStretch(1);
    slider_->setFocus();
    return panel;
}

void PlayerWindow::buildActions() {
    const auto add = [this](QList<QKeySequence> keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    add({Qt::Key_Space, Qt::Key_MediaTogglePlayPause}, [this] { togglePlay(); });
    add({Qt::Key_Home}, [this] { seekTo(0); });
    add({QKeySequence::Open}, [this] { chooseAndOpen(); });
    add({QKeySequence::Close, QKeySequence::Quit}, [this] { close(); });
}

void PlayerWindow::openRecording(const fs::path& path, bool start) {
    std::error_code ec;
    path_ = fs::absolute(path, ec).lexically_normal();
    problem_.clear();
    endingsSeen_ = playback_->endings();
    if (auto opened = playback_->open(path_); !opened) {
        showProblem(QStringLiteral("%1 cannot be played: %2")
                        .arg(fileNameOf(path_), utf8(opened.error().message)));
        return;
    }
    showProblem({});
    if (start) play();
    refresh();
}

void PlayerWindow::openNewest(bool start) {
    const fs::path dir = workDir_ / kSynopDir;
    if (const auto newest = newestRecording(dir)) return openRecording(*newest, start);
    playback_->close();
    path_.clear();
    showProblem(QStringLiteral("No recordings in %1. Open one with Open… or drop it here.")
                    .arg(utf8(dir.string())));
}

void PlayerWindow::play() {
    if (!playback_->isOpen()) return;
    if (auto started = playback_->play(); !started) {
        showProblem(QStringLiteral("The audio output “%1” cannot be opened: %2")
                        .arg(utf8(outputName_), utf8(started.error().message)));
        return;
    }
    if (!problem_.isEmpty()) showProblem({});
    ticker_->start();
    refresh();
}

void PlayerWindow::pause() {
    playback_->pause();
    refresh();  // the ticker runs on until the meter has fallen back
}

void PlayerWindow::togglePlay() {
    if (playback_->state() == PlayState::Playing)
        pause();
    else
        play();
}

void PlayerWindow::seekTo(std::int64_t frame) {
    playback_->seek(frame);
    refresh();
}

void PlayerWindow::seekToSlider() {
    const int rate = playback_->info().rate;
    if (rate > 0) seekTo(std::int64_t{slider_->value()} * rate / 1000);
}

QString PlayerWindow::timeText() const { return time_->text(); }

void PlayerWindow::showProblem(const QString& text) {
    problem_ = text;
    message_->setText(text);
    message_->setVisible(!text.isEmpty());
    refresh();
}

void PlayerWindow::refresh() {
    const Playback& p = *playback_;
    const bool open = p.isOpen();
    const bool playing = p.state() == PlayState::Playing;
    const RecordingInfo& info = p.info();
    setWindowTitle(path_.empty() ? kTitle : kTitle + QStringLiteral(" — ") + fileNameOf(path_));
    name_->setText(path_.empty() ? QStringLiteral("No recording") : fileNameOf(path_));
    details_->setText(open ? detailsOf(path_, info) : QString());
    playButton_->setEnabled(open);
    playButton_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playButton_->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    slider_->setEnabled(open);
    if (!slider_->isSliderDown()) {
        settingSlider_ = true;
        const auto ms = [&](std::int64_t frames) {
            return info.rate > 0 ? static_cast<int>(frames * 1000 / info.rate) : 0;
        };
        slider_->setRange(0, ms(info.frames));
        slider_->setValue(ms(p.position()));
        settingSlider_ = false;
        time_->setText(
            utf8(clockText(p.position(), info.rate) + " / " + clockText(info.frames, info.rate)));
    }
    meter_->setLevel(p.level());
    if (!playing && ticker_ && meter_->resting()) ticker_->stop();
    if (p.endings() != endingsSeen_) {
        endingsSeen_ = p.endings();
        emit finished();
    }
}

void PlayerWindow::chooseAndOpen() {
    const fs::path synop = workDir_ / kSynopDir;
    std::error_code ec;
    const fs::path dir = !path_.empty()                ? path_.parent_path()
                         : fs::is_directory(synop, ec) ? synop
                                                       : workDir_;
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open a recording"), utf8(dir.string()),
        QStringLiteral("Recordings (AUDIO_*.WAV AUDIO_*.GSM *.wav);;All files (*)"));
    if (!file.isEmpty()) openRecording(fs::path(file.toStdString()));
}

bool PlayerWindow::takeMessage(const QString& name, const QByteArray& payload) {
    if (name != QLatin1String(kOpenMessage)) return false;
    if (payload.isEmpty())
        openNewest();
    else
        openRecording(fs::path(payload.toStdString()));
    bringToFront();
    return true;
}

void PlayerWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
    // The sound stops with the window, not when the program has ended.
    playback_->close();
    QMainWindow::closeEvent(event);
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && mime->urls().size() == 1 && mime->urls().front().isLocalFile())
        event->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    openRecording(fs::path(urls.front().toLocalFile().toStdString()));
}

}  // namespace zeb::zebplay
