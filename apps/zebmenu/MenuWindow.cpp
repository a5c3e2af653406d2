#include "MenuWindow.h"

#include "SettingsDialog.h"
#include "ZebMenu.h"
#include "common/Codepage.h"
#include "common/LittleEndian.h"
#include "store/ReceivedStore.h"
#include "ui/DialogLoader.h"
#include "ui/LanguageBundle.h"
#include "ui/PanelControls.h"
#include "ui/ProgramList.h"
#include "ui/ReceivedPanel.h"
#include "ui/SchedulePanel.h"
#include "ui/StationListPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>

namespace zeb::zebmenu {
namespace {

constexpr int kLogicalFontBytes = 60;
constexpr int kFaceOffset = 28;
constexpr int kMinWidth = 640, kMinHeight = 320;
constexpr std::array<const char*, 6> kColumnKeys = {"FRQWIDTH",  "NAMEWIDTH", "CALLWIDTH",
                                                    "LANDWIDTH", "TYPWIDTH",  "MODWIDTH"};
constexpr std::array<int, 12> kPanelButtons = {
    button::kReceiverControl, button::kRtty,      button::kFax,        button::kWorldMap,
    button::kBulletins,       button::kFaxViewer, button::kTimeSignal, button::kCw,
    button::kRecorder,        button::kPlayer,    button::kSettings,   0};

QFont defaultListFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Medium);
    return f;
}

}  // namespace

QByteArray logicalFontRecord(const QFont& font) {
    QByteArray record(kLogicalFontBytes, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(record.data());
    le::Writer w(std::span<std::uint8_t>(bytes, kLogicalFontBytes));
    const int pixels = font.pixelSize() > 0 ? font.pixelSize()
                                            : static_cast<int>(font.pointSizeF() * 96 / 72 + 0.5);
    w.i32(0, -pixels);
    // Windows weights run 100..900 like Qt 6's.
    w.i32(16, static_cast<int>(font.weight()));
    bytes[20] = font.italic() ? 1 : 0;
    bytes[21] = font.underline() ? 1 : 0;
    bytes[22] = font.strikeOut() ? 1 : 0;
    const std::string face = utf8ToCp1252(font.family().toStdString());
    std::copy_n(face.begin(), std::min<std::size_t>(face.size(), 31), bytes + kFaceOffset);
    return record;
}

QFont fontFromLogicalRecord(const QByteArray& record, const QFont& fallback) {
    if (record.size() != kLogicalFontBytes) return fallback;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.constData());
    le::Reader r(std::span<const std::uint8_t>(bytes, kLogicalFontBytes));
    std::string face;
    for (int i = kFaceOffset; i < kLogicalFontBytes && bytes[i] != 0; ++i)
        face.push_back(static_cast<char>(bytes[i]));
    QFont font = fallback;
    if (!face.empty()) font.setFamily(QString::fromStdString(cp1252ToUtf8(face)));
    const int height = std::abs(r.i32(0));
    if (height >= 6 && height <= 72) font.setPixelSize(height);
    const int weight = r.i32(16);
    if (weight >= 100 && weight <= 900) font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(bytes[20] != 0);
    font.setUnderline(bytes[21] != 0);
    font.setStrikeOut(bytes[22] != 0);
    return font;
}

MenuWindow::MenuWindow(ZebMenu& program, QWidget* parent) : QMainWindow(parent), program_(program) {
    setObjectName(QString::fromLatin1(kClassName));
    setWindowTitle(QString::fromLatin1(kClassName));
    setEnabled(false);  // until the start is complete
    if (const auto* bundle = program.bundle()) setWindowIcon(bundle->icon(109));
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    setCentralWidget(central);
    buildPanel();
    buildTabs();
    layout->addWidget(panel_);
    layout->addWidget(tabs_, 1);
    status_ = new QLabel(this);
    clock_ = new QLabel(this);
    clock_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00:00 UTC")) + 12);
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(clock_);
    setWindowTitle(program.string(str::kTitle));
    setMinimumSize(kMinWidth, kMinHeight);
    place();
}

void MenuWindow::buildPanel() {
    const auto* bundle = program_.bundle();
    panel_ = bundle ? bundle->dialog(101, this) : nullptr;
    if (!panel_) panel_ = new QWidget(this);
    for (int id : kPanelButtons) {
        auto* b = ui::controlAs<QAbstractButton>(panel_, id);
        if (!b) continue;
        if (id == button::kSettings)
            connect(b, &QAbstractButton::clicked, this, &MenuWindow::openSettings);
        else
            connect(b, &QAbstractButton::clicked, this, [this, id] { program_.runButton(id); });
    }
    if (auto* list = ui::controlAs<QListWidget>(panel_, button::kUserPrograms)) {
        ui::ProgramList::Texts texts;
        if (bundle && bundle->hasString(str::kDescription))
            texts.captionTitle = bundle->string(str::kDescription);
        programs_ =
            new ui::ProgramList(*list, program_.workDir(), &program_.messages(), texts, this);
    }
}

void MenuWindow::buildTabs() {
    tabs_ = new QTabWidget(this);
    const ui::StationStrings strings(ui::launcherTexts(), program_.bundle());
    ProfileFile& profile = program_.profile();

    frequencies_ = new ui::StationListPanel(
        program_.stations(), program_.workDir() / stations::kFrequencyListPath,
        program_.listSettings(), strings, program_.messages(), tabs_);
    frequencies_->setScheduleActive([this] { return program_.schedule().active(); });
    frequencies_->setReceiverValues(
        [this](const stations::StationRecord& r) { return program_.receiverValues(r); });
    connect(frequencies_, &ui::StationListPanel::startRequested, this,
            [this](const stations::StationRecord& r) { program_.startStation(r); });
    connect(frequencies_, &ui::StationListPanel::tuneRequested, this,
            [this](const stations::StationRecord& r) { program_.tuneStation(r); });
    profile.setSection("WINDOW");
    std::array<int, 6> widths{};
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const int w = profile.readInt(kColumnKeys[i], 0);
        widths[i] = w > 0 && w < 4000 ? w : 0;
    }
    frequencies_->setColumnWidths(widths);
    std::array<std::uint8_t, kLogicalFontBytes> font{};
    if (profile.readBytes("FONT", font) == font.size())
        frequencies_->setListFont(fontFromLogicalRecord(
            QByteArray(reinterpret_cast<const char*>(font.data()), kLogicalFontBytes),
            defaultListFont()));
    else
        frequencies_->setListFont(defaultListFont());
    if (program_.listSettings().selectedStation > 0)
        frequencies_->selectStation(
            static_cast<std::uint32_t>(program_.listSettings().selectedStation));

    schedule_ = new ui::SchedulePanel(program_.schedule(), program_.stations(),
                                      program_.workDir() / stations::kScheduleDirectory, strings,
                                      program_.messages(), tabs_);
    schedule_->setFileName(QString::fromStdString(program_.settings().timerName));
    connect(schedule_, &ui::SchedulePanel::activeChanged, this,
            [this](bool on) { program_.scheduleSwitched(on); });
    connect(frequencies_, &ui::StationListPanel::addToScheduleRequested, this,
            [this](const std::vector<std::uint32_t>& ids) { schedule_->addStations(ids); });
    connect(frequencies_, &ui::StationListPanel::listChanged, schedule_,
            &ui::SchedulePanel::refresh);

    ui::ReceivedContext context;
    context.bundle = program_.bundle();
    context.messages = &program_.messages();
    context.workDir = program_.workDir();
    context.setStatus = [this](const QString& text) { showStatus(text); };
    context.texts = ui::launcherReceivedTexts();
    received_ =
        new ui::ReceivedPanel(std::move(context), program_.weatherData(), rememberedEntry_, tabs_);
    connect(&program_, &ZebMenu::receivedChanged, received_, &ui::ReceivedPanel::refresh);

    tabs_->addTab(frequencies_, program_.string(str::kFrequencyTab));
    tabs_->addTab(schedule_, program_.string(str::kScheduleTab));
    tabs_->addTab(received_, program_.string(str::kReceivedTab));
}

void MenuWindow::place() {
    const auto& pos = program_.settings().mainPos;
    if (pos[2] > pos[0]) {
        setGeometry(pos[0], pos[1], std::max(kMinWidth, pos[2] - pos[0]),
                    std::max(kMinHeight, pos[3] - pos[1]));
        return;
    }
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        setGeometry(area.left(), area.top(), std::max(kMinWidth, area.width()),
                    std::max(kMinHeight, area.height() / 2));
    }
}

void MenuWindow::chooseFirstTab() {
    const auto entries = store::listReceived(program_.workDir());
    const bool anyReceived = std::any_of(entries.begin(), entries.end(), [](const auto& e) {
        return e.kind != store::EntryKind::Audio;
    });
    if (anyReceived)
        tabs_->setCurrentIndex(static_cast<int>(Tab::Received));
    else if (program_.schedule().active())
        tabs_->setCurrentIndex(static_cast<int>(Tab::Schedule));
    else
        tabs_->setCurrentIndex(static_cast<int>(Tab::Frequencies));
}

void MenuWindow::setPanelEnabled(bool on) { panel_->setEnabled(on); }

void MenuWindow::showStatus(const QString& text) { status_->setText(text); }

QString MenuWindow::statusText() const { return status_->text(); }

QString MenuWindow::clockText() const { return clock_->text(); }

void MenuWindow::showClock(int hhmm) {
    clock_->setText(QString::asprintf("%d:%02d UTC", hhmm / 100, hhmm % 100));
}

void MenuWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void MenuWindow::openSettings() {
    if (settingsOpen_) return;
    settingsOpen_ = true;
    SettingsDialog dialog(program_, this);
    if (dialog.run() == QDialog::Accepted) program_.saveSystemSettings();
    settingsOpen_ = false;
}

void MenuWindow::saveSettings() {
    ProfileFile& profile = program_.profile();
    profile.setSection("WINDOW");
    if (!isMinimized() && !isMaximized()) {
        const QRect r = geometry();
        (void)profile.writeText(
            "MAINPOS", QString::asprintf("%d,%d,%d,%d", r.left(), r.top(), r.left() + r.width(),
                                         r.top() + r.height())
                           .toStdString());
    }
    const auto widths = frequencies_->columnWidths();
    for (std::size_t i = 0; i < widths.size(); ++i)
        (void)profile.writeInt(kColumnKeys[i], widths[i]);
    const QByteArray font = logicalFontRecord(frequencies_->listFont());
    (void)profile.writeBytes("FONT", std::span<const std::uint8_t>(
                                         reinterpret_cast<const std::uint8_t*>(font.constData()),
                                         static_cast<std::size_t>(font.size())));
    const auto id = frequencies_->selectedId();
    program_.listSettings().selectedStation = id ? static_cast<int>(*id) : -1;
    program_.settings().timerName = schedule_->fileName().toStdString();
}

void MenuWindow::closeEvent(QCloseEvent* event) {
    if (askOnClose_) {
        const int question = program_.schedule().active() ? str::kQuitScheduled : str::kQuit;
        if (!program_.messages().askMessage(question)) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

}  // namespace zeb::zebmenu
