#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "AudioPage.h"
#include "CwPage.h"
#include "FaxDisplays.h"
#include "FaxPage.h"
#include "LogoView.h"
#include "Nimba.h"
#include "ReceivedPage.h"
#include "ReceiverPanel.h"
#include "RttyPage.h"
#include "SpectrumLink.h"
#include "StationPages.h"
#include "common/SuiteDirs.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/TextWindow.h"

namespace zeb::nimba {
namespace {

constexpr int kMainDialog = 101;
constexpr int kTabControl = 1000;
constexpr int kStatusField = 1012;
constexpr int kLogo = 1102;
constexpr int kIcon = 103;
constexpr std::array<int, kTabCount> kTabCaptions = {1, 2, 3, 4, 5, 6, 72};
// What the pages still to come will hold (strings of the bundle).
constexpr int kPlaceholderFirst = 9000;
constexpr std::array<int, 5> kModeButtons = {kFaxButton, kRttyButton, kCwButton, kRecorderButton,
                                             kOffButton};
// The template's font height in pixels; the window's font is this × the
// vertical scale × 0.8, bold Arial.
constexpr double kTemplateFontPixels = 16.0;
constexpr int kTemplateWidth = 800;
constexpr int kTemplateHeight = 600;

}  // namespace

void Housekeeping::tick(TimeKey now, bool scheduleRunning) {
    if (scheduleRunning) schedulerTick(now);
    if (++cleanupTicks_ >= kCleanupTicks) {
        cleanupTicks_ = 0;
        cleanup();
    }
    if (++refreshTicks_ >= kRefreshTicks) {
        refreshTicks_ = 0;
        refreshBrowser();
    }
}

MainWindow::MainWindow(Nimba& nimba, QWidget* parent) : QWidget(parent), nimba_(nimba) {
    ui::registerPanelControls();
    registerLogoView();
    registerRttyPageControls();
    // A companion program's window has its class's name.
    const QString name = QString::fromStdString(nimba_.className());
    setObjectName(name);
    setWindowTitle(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const ui::LanguageBundle* bundle = nimba_.bundle();
    if (bundle) {
        dialog_ = bundle->dialog(kMainDialog, this);
        setWindowIcon(bundle->icon(kIcon));
    }
    if (!dialog_) {
        dialog_ = new QWidget(this);
        auto* inner = new QVBoxLayout(dialog_);
        auto* tabs = new QTabWidget(dialog_);
        tabs->setObjectName(ui::controlName(kTabControl));
        inner->addWidget(tabs, 1);
        auto* status = new QLabel(dialog_);
        status->setObjectName(ui::controlName(kStatusField));
        inner->addWidget(status);
    }
    layout->addWidget(dialog_);
    tabs_ = ui::controlAs<QTabWidget>(dialog_, kTabControl);
    status_ = ui::controlAs<QLabel>(dialog_, kStatusField);

    for (int id : kModeButtons) {
        if (auto* b = ui::controlAs<QPushButton>(dialog_, id))
            connect(b, &QPushButton::clicked, this, [this, id] { command(id); });
    }
    // The user's own logo in the working directory, else the shipped one.
    if (auto* logo = ui::controlAs<LogoView>(dialog_, kLogo)) {
        std::error_code ec;
        const std::filesystem::path own = nimba_.workDir() / "LOGO.BMP";
        logo->load(std::filesystem::exists(own, ec) ? own : findShared("LOGO.BMP").value_or(own));
    }

    for (int i = 0; i < kTabCount; ++i) {
        auto* container = new QWidget();
        auto* box = new QVBoxLayout(container);
        box->setContentsMargins(4, 4, 4, 4);
        containers_[static_cast<std::size_t>(i)] = container;
        const QString caption =
            bundle ? bundle->string(kTabCaptions[static_cast<std::size_t>(i)]) : QString::number(i);
        tabs_->addTab(container, caption);
    }
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        leavePage(current_);
        current_ = index;
        enterPage(index);
    });

    scaleToSettings();
    timer_.setInterval(Housekeeping::kPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &MainWindow::housekeepingTick);
    timer_.start();
    pumpTimer_.setInterval(kPumpMs);
    connect(&pumpTimer_, &QTimer::timeout, this, &MainWindow::pump);
    pumpTimer_.start();
    refreshModeButtons();
}

void MainWindow::pump() {
    if (!nimba_.output().empty()) drainOutput();
    nimba_.spectrum().poll();
    if (rttyPage_) rttyPage_->poll();
    if (cwPage_) cwPage_->poll();
    if (faxPage_) faxPage_->poll();
    if (ui::SignalWindow* signal = nimba_.signalWindow()) signal->refresh();
}

MainWindow::~MainWindow() {
    timer_.stop();
    pumpTimer_.stop();
}

void MainWindow::scaleToSettings() {
    ProfileFile& profile = nimba_.profile();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QSize full = screen ? screen->size() : QSize(800, 600);
    profile.setSection("WINDOW");
    int w = profile.readInt("MAINX", std::min(full.width(), kTemplateWidth));
    int h = profile.readInt("MAINY", std::min(full.height(), kTemplateHeight));
    // A hand-edited value that makes no window falls back to the template.
    if (w < 200 || w > 16384) w = std::min(full.width(), kTemplateWidth);
    if (h < 150 || h > 16384) h = std::min(full.height(), kTemplateHeight);
    const double y = double(h) / kTemplateHeight;
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(std::max(8, static_cast<int>(kTemplateFontPixels * y * 0.8)));
    setFont(font);
    resize(w, h);
    // Centred, wholly on the screen.
    QRect frame(QPoint(0, 0), QSize(w, h));
    frame.moveCenter(available.center());
    frame.moveLeft(std::max(available.left(), std::min(frame.left(), available.right() - w)));
    frame.moveTop(std::max(available.top(), std::min(frame.top(), available.bottom() - h)));
    move(frame.topLeft());
}

void MainWindow::createPages() {
    PageContext& context = nimba_.pageContext();
    if (nimba_.rtty() && !rttyPage_) {
        rttyPage_ = new RttyPage(context, *nimba_.rtty());
        containers_[kRttyTab]->layout()->addWidget(rttyPage_);
        pages_[kRttyTab] = rttyPage_.data();
    }
    if (nimba_.cw() && !cwPage_) {
        cwPage_ = new CwPage(context, *nimba_.cw());
        containers_[kCwTab]->layout()->addWidget(cwPage_);
        pages_[kCwTab] = cwPage_.data();
        nimba_.cw()->setReception(
            context.receptionActive,
            [this] { return cwPage_ ? cwPage_->text().model().contents() : std::string(); },
            context.clock);
    }
    current_ = tabs_->currentIndex();
    enterPage(current_);
}

void MainWindow::selectTab(int index) {
    if (index >= 0 && index < kTabCount) tabs_->setCurrentIndex(index);
}

void MainWindow::showOnly(int index, DecoderMode mode) {
    selectTab(index);
    // Disabled tabs cannot be reached by the keyboard either.
    for (int i = 0; i < kTabCount; ++i) tabs_->setTabEnabled(i, i == index);
    tabs_->tabBar()->hide();
    for (int id : kModeButtons) {
        if (auto* b = ui::controlAs<QPushButton>(dialog_, id))
            b->setVisible(id == kOffButton || id == buttonOfMode(mode));
    }
}

int MainWindow::currentTab() const { return tabs_->currentIndex(); }

QWidget* MainWindow::page(int index) const {
    if (index < 0 || index >= kTabCount) return nullptr;
    return pages_[static_cast<std::size_t>(index)].data();
}

void MainWindow::leavePage(int index) {
    if (index < 0 || index >= kTabCount) return;
    auto& page = pages_[static_cast<std::size_t>(index)];
    if (index == kRttyTab || index == kCwTab) return;  // hidden with the tab, kept
    if (index == kFaxTab && nimba_.faxDisplays()) nimba_.faxDisplays()->setPage(nullptr);
    delete page.data();
    page.clear();
    faxPage_.clear();
}

void MainWindow::enterPage(int index) {
    if (index < 0 || index >= kTabCount) return;
    auto& page = pages_[static_cast<std::size_t>(index)];
    if (page) return;
    QWidget* container = containers_[static_cast<std::size_t>(index)];
    if (index == kFaxTab && nimba_.faxDecoder() && nimba_.faxDisplays()) {
        auto* fax = new FaxPage(nimba_.pageContext(), *nimba_.faxDecoder(), *nimba_.faxDisplays());
        faxPage_ = fax;
        page = fax;
    } else if (index == kFrequencyTab) {
        page = new FrequencyPage(nimba_);
    } else if (index == kScheduleTab) {
        page = new SchedulePage(nimba_);
    } else if (index == kReceivedTab) {
        auto* received = new ReceivedPage(nimba_.pageContext(), nimba_.weatherData(),
                                          nimba_.receivedSelection());
        receivedPage_ = received;
        page = received;
    } else if (index == kAudioTab) {
        auto* audio = new AudioPage(nimba_);
        audio->setCodecChooser([audio] { audio->chooseCodec(); });
        audioPage_ = audio;
        page = audio;
    } else if (index < kFaxTab) {
        auto* label = new QLabel();
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignCenter);
        label->setMargin(24);
        label->setTextFormat(Qt::PlainText);
        if (nimba_.bundle()) label->setText(nimba_.bundle()->string(kPlaceholderFirst + index));
        page = label;
    }
    if (page) container->layout()->addWidget(page.data());
}

ReceiverPanel* MainWindow::attachReceiver(ReceiverControl* receiver) {
    delete receiverPanel_.data();
    receiverPanel_ = new ReceiverPanel(dialog_, receiver);
    return receiverPanel_.data();
}

RttyPage* MainWindow::rttyPage() const { return rttyPage_.data(); }
CwPage* MainWindow::cwPage() const { return cwPage_.data(); }
FaxPage* MainWindow::faxPage() const { return faxPage_.data(); }
ReceivedPage* MainWindow::receivedPage() const { return receivedPage_.data(); }
AudioPage* MainWindow::audioPage() const { return audioPage_.data(); }

ui::LitSwitch* MainWindow::modeButton(int id) const {
    return ui::controlAs<ui::LitSwitch>(dialog_, id);
}

void MainWindow::command(int id) {
    ModeSwitcher& modes = nimba_.modes();
    modes.setScheduleRunning(nimba_.scheduleRunning());
    if (auto m = modeOfButton(id)) {
        modes.switchWithChecks(*m);
    } else if (auto c = modeOfCommand(id)) {
        modes.switchWithoutChecks(*c);
    }
}

void MainWindow::refreshModeButtons() {
    const DecoderMode mode = nimba_.modes().mode();
    for (int id : kModeButtons) {
        ui::LitSwitch* b = modeButton(id);
        if (!b) continue;
        b->setLitColour(id == kOffButton ? QColor(128, 128, 128) : QColor(64, 64, 192));
        b->setLit(buttonOfMode(mode) == id);
    }
    setFocus();
}

void MainWindow::setStatus(const QString& text) {
    if (status_) status_->setText(text);
}

QString MainWindow::statusText() const { return status_ ? status_->text() : QString(); }

void MainWindow::housekeepingTick() {
    housekeeping_.tick(nimba_.now(), nimba_.started() && nimba_.scheduleRunning());
}

void MainWindow::drainOutput() {
    nimba_.output().take(batch_);
    for (const OutputItem& item : batch_.items) {
        ui::ReceivedTextWindow* window = nullptr;
        if (item.target == TextTarget::Rtty && rttyPage_) window = &rttyPage_->text();
        if (item.target == TextTarget::Cw && cwPage_) window = &cwPage_->text();
        const std::string_view text(batch_.text.data() + item.offset, item.length);
        const auto kind = static_cast<weather::Collected>(item.arg);
        switch (item.kind) {
            case ItemKind::Received:
                if (window) window->appendReceived(text);
                break;
            case ItemKind::Report:
                if (window) window->appendText(text);
                break;
            case ItemKind::Mark:
                // The RTTY page notes where each NAVTEX message starts.
                if (item.target == TextTarget::Rtty && rttyPage_)
                    rttyPage_->markStart(kind);
                else if (window)
                    window->markStart(kind);
                break;
            case ItemKind::Save:
                if (window) window->saveCollected(kind, item.flag, text);
                break;
            case ItemKind::Tone:
                if (nimba_.tones()) nimba_.tones()->play(weather::kWarningTone);
                break;
            case ItemKind::Message:
                if (item.target == TextTarget::Rtty && rttyPage_ &&
                    item.offset < batch_.messages.size())
                    rttyPage_->messageFramed(batch_.messages[item.offset]);
                break;
        }
    }
    batch_.clear();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    timer_.stop();
    pumpTimer_.stop();
    event->accept();
    emit closed();
}

}  // namespace zeb::nimba
