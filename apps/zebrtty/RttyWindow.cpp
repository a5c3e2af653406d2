#include "RttyWindow.h"

#include "ZebRtty.h"
#include "common/Codepage.h"
#include "common/Format.h"
#include "common/Launch.h"
#include "ui/LanguageBundle.h"
#include "ui/TextWindow.h"
#include "weather/Rtf.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

namespace zeb::zebrtty {

namespace {

constexpr int kStrOpenTitle = 67;
constexpr int kStrSaveTitle = 68;
constexpr int kStrSaveFailed = 69;
constexpr int kStrPrintFailed = 18;

// Button, tooltip string, checkable, standard icon.
struct Button {
    int command;
    int tooltip;
    bool checkable;
    QStyle::StandardPixmap icon;
};
constexpr std::array<Button, 12> kButtons = {{
    {Command::Open, 1, false, QStyle::SP_DialogOpenButton},
    {Command::Save, 2, false, QStyle::SP_DialogSaveButton},
    {Command::Fonts, 3, false, QStyle::SP_FileDialogDetailedView},
    {Command::Spectrum, 4, true, QStyle::SP_ComputerIcon},
    {Command::Print, 5, false, QStyle::SP_FileIcon},
    {Command::Meter, 6, true, QStyle::SP_BrowserReload},
    {Command::Settings, 7, true, QStyle::SP_FileDialogContentsView},
    {Command::BitRaster, 8, true, QStyle::SP_FileDialogListView},
    {Command::Record, 12, true, QStyle::SP_MediaSeekForward},
    {Command::Replay, 13, true, QStyle::SP_MediaPlay},
    {Command::CrossScope, 17, true, QStyle::SP_DesktopIcon},
    {Command::WorldMap, 19, false, QStyle::SP_DirHomeIcon},
}};

bool isRtf(const QString& path) {
    return path.endsWith(QLatin1String(".RTF"), Qt::CaseInsensitive);
}

}  // namespace

std::array<QString, 5> statusTexts(const rtty::RttyParams& p) {
    static const char* kModes[] = {"\tBaudot", "\tsync. Baudot", "\tSitor-B"};
    const int mode = std::clamp(p.mode, 0, 2);
    return {QString::fromLatin1(kModes[mode]), QStringLiteral("\t%1 Baud").arg(p.baud),
            QStringLiteral("\t%1 Stop").arg(QString::fromStdString(formatFixed(p.stop, 1))),
            QStringLiteral("\t%1 Hz Shift").arg(p.shift),
            p.invert ? QStringLiteral("\tInvers") : QStringLiteral("\tNormal")};
}

RttyWindow::RttyWindow(ZebRtty& program) : program_(program) {
    setWindowTitle(QStringLiteral("ZEB-RTTY"));
    setWindowIcon(program.bundle()->icon(116));
    text_ = new ui::ReceivedTextWindow(program.synopDir(), weather::TextModel::TrimPolicy::MoveMark,
                                       this);
    setCentralWidget(text_);
    buildToolbar();
    buildStatusBar();
    applyAppearance();
    place();
    refreshStatus();
}

RttyWindow::~RttyWindow() = default;

void RttyWindow::buildToolbar() {
    auto* bar = addToolBar(QStringLiteral("Commands"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    for (const Button& b : kButtons) {
        QAction* a =
            bar->addAction(style()->standardIcon(b.icon), program_.bundle()->string(b.tooltip));
        a->setObjectName(QStringLiteral("b%1").arg(b.command));
        a->setToolTip(program_.bundle()->string(b.tooltip));
        a->setCheckable(b.checkable);
        connect(a, &QAction::triggered, this, [this, c = b.command](bool on) { run(c, on); });
        if (b.command == Command::Meter) meterAction_ = a;
    }
    meter_ = new QProgressBar(bar);
    meter_->setRange(0, 100);
    meter_->setMaximumWidth(120);
    meter_->setFormat(QStringLiteral("%p %"));
    meterSlot_ = bar->addWidget(meter_);
    meterSlot_->setVisible(false);
}

void RttyWindow::buildStatusBar() {
    const int unit = fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW"));
    for (std::size_t i = 0; i < status_.size(); ++i) {
        status_[i] = new QLabel(this);
        if (i < 5) status_[i]->setMinimumWidth(unit);
        statusBar()->addWidget(status_[i], i < 5 ? 0 : 1);
    }
}

QAction* RttyWindow::action(int command) const {
    return findChild<QAction*>(QStringLiteral("b%1").arg(command));
}

void RttyWindow::place() {
    const WindowPos& pos = program_.settings().windows[0];
    if (!pos.empty()) {
        setGeometry(pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top);
        return;
    }
    // Full width, the lower half of the screen.
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        setGeometry(area.left(), area.top() + area.height() / 2, area.width(), area.height() / 2);
    }
}

void RttyWindow::recordPositions(ZebRttySettings& settings) const {
    if (isMinimized() || isMaximized()) return;
    const QRect r = geometry();
    settings.windows[0] = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void RttyWindow::applyAppearance() {
    const ZebRttySettings& s = program_.settings();
    const ui::FontRecordBytes font = s.font.value_or(defaultFontRecord());
    const ui::FontRecordBytes report = s.reportFont.value_or(defaultReportRecord(font));
    text_->applyFont(ui::fontFromRecord(font));
    auto colour = [](const std::array<int, 3>& c) { return QColor(c[0], c[1], c[2]); };
    text_->setStyles(colour(recordColour(font)), ui::fontFromRecord(report),
                     colour(recordColour(report)));
    QPalette palette = text_->palette();
    palette.setColor(QPalette::Base, QColor(s.background[0], s.background[1], s.background[2]));
    text_->setPalette(palette);
}

void RttyWindow::refreshStatus() {
    const auto texts = statusTexts(program_.params());
    for (std::size_t i = 0; i < texts.size(); ++i) status_[i]->setText(texts[i].mid(1));
}

void RttyWindow::showProcessingTime(double ms) {
    if (!meterSlot_->isVisible()) return;
    meter_->setValue(std::min(100, static_cast<int>(ms * 100.0 / 93.0)));
}

void RttyWindow::releaseReplay() {
    if (QAction* a = action(Command::Replay)) a->setChecked(false);
}

bool RttyWindow::openFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (isRtf(path)) {
        auto document = weather::readRtf(text);
        if (!document) return false;
        text = document->plainText();
    }
    // The file takes the window's place: a fresh text (and model) with it.
    auto* fresh = new ui::ReceivedTextWindow(program_.synopDir(),
                                             weather::TextModel::TrimPolicy::MoveMark, this);
    setCentralWidget(fresh);  // deletes the old one
    text_ = fresh;
    applyAppearance();
    text_->appendReceived(text);
    return true;
}

bool RttyWindow::saveFile(const QString& path) {
    return static_cast<bool>(text_->saveTo(path.toStdString()));
}

// The page setup of the printer (margins and paper), then the selection or
// the whole text; without a printer, message 18.
void RttyWindow::print() {
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        program_.messages().showMessage(kStrPrintFailed);
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    QPageSetupDialog setup(&printer, this);
    if (setup.exec() != QDialog::Accepted) return;
    printer.setDocName(QStringLiteral("ZEB-RTTY"));
    text_->printTo(printer);
    if (printer.printerState() == QPrinter::Error) program_.messages().showMessage(kStrPrintFailed);
}

void RttyWindow::run(int command, bool checked) {
    const QString filter = QStringLiteral("Rich Text (*.RTF);;Text (*)");
    switch (command) {
        case Command::Open: {
            const QString path = QFileDialog::getOpenFileName(
                this, program_.bundle()->string(kStrOpenTitle), QString(), filter);
            if (!path.isEmpty()) openFile(path);
            break;
        }
        case Command::Save: {
            const QString path = QFileDialog::getSaveFileName(
                this, program_.bundle()->string(kStrSaveTitle), QString(), filter);
            if (!path.isEmpty() && !saveFile(path)) program_.messages().showMessage(kStrSaveFailed);
            break;
        }
        case Command::Print: print(); break;
        case Command::Meter: {
            meterSlot_->setVisible(checked);
            break;
        }
        case Command::Record:
            if (!program_.setRecording(checked)) action(command)->setChecked(program_.recording());
            break;
        case Command::Replay:
            if (!program_.setReplaying(checked)) action(command)->setChecked(program_.replaying());
            break;
        case Command::WorldMap: {
            launch::Options options;
            (void)launch::startProgram("ZEBSYNV.EXE", {}, options);
            break;
        }
        default: emit toolWindowToggled(command, checked); break;
    }
}

void RttyWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F5) {
        program_.feedSynopText();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace zeb::zebrtty
