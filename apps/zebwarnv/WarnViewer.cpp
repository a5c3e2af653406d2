#include "WarnViewer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "common/Codepage.h"

namespace zeb::zebwarnv {

namespace fs = std::filesystem;

namespace {

const QString kTitle = QStringLiteral("ZEB-Warn-View");
constexpr int kStatusMessageMs = 8000;

QString fileNameOf(const fs::path& path) {
    return QString::fromStdString(path.filename().string());
}

QString timeText(const NameTime& t) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d UTC", t.year, t.month, t.day, t.hour,
                             t.minute);
}

QString fromCp1252(const std::string& bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }

bool isWarning(const BulletinEntry& entry) { return entry.kind == ReceivedKind::Warning; }

}  // namespace

WarnViewer::WarnViewer(fs::path workDir, QWidget* parent)
    : QMainWindow(parent), workDir_(std::move(workDir)) {
    setWindowTitle(kTitle);
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    text_ = new QTextEdit;
    text_->setReadOnly(true);
    text_->setAcceptRichText(false);
    text_->setLineWrapMode(QTextEdit::NoWrap);  // teleprinter lines keep their columns
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* splitter = new QSplitter;
    splitter->addWidget(buildList());
    splitter->addWidget(text_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 700});
    setCentralWidget(splitter);
    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    buildActions();

    rescan_ = new QTimer(this);
    rescan_->setSingleShot(true);
    rescan_->setInterval(500);  // a bulletin being written changes the folder several times
    connect(rescan_, &QTimer::timeout, this, &WarnViewer::refreshList);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, rescan_, qOverload<>(&QTimer::start));

    QSize size(1000, 700);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize() * 9 / 10);
    resize(size);
    text_->installEventFilter(this);
    text_->setFocus();
}

WarnViewer::~WarnViewer() = default;

bool WarnViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->ignore();  // not taken by the text area: the shortcut runs copy()
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

QWidget* WarnViewer::buildList() {
    auto* side = new QWidget;
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    warningsOnly_ = new QCheckBox(QStringLiteral("Warnings only"));
    connect(warningsOnly_, &QCheckBox::toggled, this, [this] { applyFilter(); });
    list_ = new QListWidget;
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAlternatingRowColors(true);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(entries_.size())) return;
        if (row != currentIndex() || !hasBulletin()) openBulletin(entries_[std::size_t(row)].path);
    });
    layout->addWidget(warningsOnly_);
    layout->addWidget(list_, 1);
    return side;
}

void WarnViewer::buildActions() {
    auto* bar = addToolBar(QStringLiteral("Bulletin"));
    bar->setObjectName(QStringLiteral("bulletinToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setMovable(false);
    const auto add = [&](const QString& text, const QString& theme, QList<QKeySequence> keys,
                         auto slot) {
        auto* action = new QAction(QIcon::fromTheme(theme), text, this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(text + QStringLiteral(" (") +
                           keys.first().toString(QKeySequence::NativeText) + QLatin1Char(')'));
        connect(action, &QAction::triggered, this, slot);
        bar->addAction(action);
    };
    add(QStringLiteral("Open…"), QStringLiteral("document-open"), {QKeySequence::Open},
        [this] { chooseAndOpen(); });
    add(QStringLiteral("Copy"), QStringLiteral("edit-copy"), {QKeySequence::Copy},
        [this] { copy(); });
    add(QStringLiteral("Print…"), QStringLiteral("document-print"), {QKeySequence::Print},
        [this] { print(); });
    auto* close = new QAction(this);
    close->setShortcuts({QKeySequence::Close, QKeySequence::Quit});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void WarnViewer::openBulletin(const fs::path& path) {
    std::error_code ec;
    path_ = fs::absolute(path, ec).lexically_normal();
    listDir_ = path_.parent_path();
    auto loaded = loadBulletin(path_);
    if (loaded)
        showText(fromCp1252(*loaded), false);
    else
        showText(QStringLiteral("%1 cannot be read: %2")
                     .arg(fileNameOf(path_), QString::fromStdString(loaded.error().message)),
                 true);
    refreshList();
}

void WarnViewer::openNewest() {
    const fs::path dir = workDir_ / kSynopDir;
    const auto bulletins = listBulletins(dir);
    if (!bulletins.empty()) return openBulletin(bulletins.front().path);
    path_.clear();
    listDir_ = dir;
    showText(QStringLiteral("No received warnings or information bulletins in %1.")
                 .arg(QString::fromStdString(dir.string())),
             true);
    refreshList();
}

bool WarnViewer::takeMessage(const QString& name, const QByteArray& payload) {
    if (name != QLatin1String(kOpenMessage)) return false;
    if (payload.isEmpty())
        openNewest();
    else
        openBulletin(fs::path(payload.toStdString()));
    bringToFront();
    return true;
}

void WarnViewer::showText(const QString& text, bool problem) {
    problem_ = problem ? text : QString();
    text_->setPlainText(text);
    text_->moveCursor(QTextCursor::Start);
    updateTitleAndStatus();
}

QString WarnViewer::shownText() const { return text_->toPlainText(); }

int WarnViewer::currentIndex() const {
    if (path_.empty()) return -1;
    // Every entry lies in the shown bulletin's folder.
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].path.filename() == path_.filename()) return static_cast<int>(i);
    return -1;
}

void WarnViewer::refreshList() {
    entries_ = listBulletins(listDir_);
    const QSignalBlocker blocker(list_);
    list_->clear();
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon information = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (const BulletinEntry& entry : entries_) {
        QString text = timeText(entry.time);
        const QString label = fromCp1252(entry.label).trimmed();
        if (!label.isEmpty()) text += QLatin1Char('\n') + label;
        auto* item = new QListWidgetItem(isWarning(entry) ? warning : information, text);
        QFont font = list_->font();
        font.setBold(isWarning(entry));
        item->setFont(font);
        item->setToolTip(fileNameOf(entry.path));
        list_->addItem(item);
    }
    applyFilter();
    watchFolder();
    updateTitleAndStatus();
}

void WarnViewer::watchFolder() {
    // Watch the folder, or where it will appear.
    std::error_code ec;
    const fs::path watched = fs::is_directory(listDir_, ec) ? listDir_ : listDir_.parent_path();
    const QStringList before = watcher_->directories();
    const QString now = QString::fromStdString(watched.string());
    if (before.size() == 1 && before.front() == now) return;
    if (!before.isEmpty()) watcher_->removePaths(before);
    if (fs::is_directory(watched, ec)) watcher_->addPath(now);
}

void WarnViewer::setWarningsOnly(bool only) { warningsOnly_->setChecked(only); }

bool WarnViewer::warningsOnly() const { return warningsOnly_->isChecked(); }

void WarnViewer::applyFilter() {
    const bool only = warningsOnly();
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setHidden(only && !isWarning(entries_[std::size_t(i)]));
    markCurrent();
}

void WarnViewer::markCurrent() {
    const QSignalBlocker blocker(list_);
    const int current = currentIndex();
    if (current < 0 || list_->item(current)->isHidden()) {
        list_->setCurrentRow(-1);
        list_->clearSelection();
        return;
    }
    list_->setCurrentRow(current);
    list_->scrollToItem(list_->item(current));
}

QString WarnViewer::statusText() const {
    QStringList parts;
    if (const auto name = bulletinName(path_)) {
        parts << (name->kind == ReceivedKind::Warning ? QStringLiteral("Warning")
                                                      : QStringLiteral("Information"));
        parts << timeText(name->time);
    }
    if (const int current = currentIndex(); current >= 0)
        parts << QStringLiteral("%1 of %2").arg(current + 1).arg(entries_.size());
    return parts.join(QStringLiteral("    "));
}

void WarnViewer::updateTitleAndStatus() {
    setWindowTitle(path_.empty() ? kTitle : kTitle + QStringLiteral(" — ") + fileNameOf(path_));
    status_->setText(statusText());
}

void WarnViewer::copy() {
    const QTextCursor cursor = text_->textCursor();
    const QString text = cursor.hasSelection() ? cursor.selection().toPlainText() : shownText();
    QApplication::clipboard()->setText(text);
    statusBar()->showMessage(
        cursor.hasSelection() ? QStringLiteral("Selection copied") : QStringLiteral("Text copied"),
        kStatusMessageMs);
}

void WarnViewer::print() {
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        statusBar()->showMessage(QStringLiteral("No printer is set up: nothing printed."),
                                 kStatusMessageMs);
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    printer.setDocName(path_.empty() ? kTitle : fileNameOf(path_));
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, text_->textCursor().hasSelection());
    if (dialog.exec() != QDialog::Accepted) return;
    text_->print(&printer);  // the selection alone when the dialog chose it
    statusBar()->showMessage(printer.printerState() == QPrinter::Error
                                 ? QStringLiteral("Printing failed.")
                                 : QStringLiteral("Sent to %1.").arg(printer.printerName()),
                             kStatusMessageMs);
}

void WarnViewer::chooseAndOpen() {
    const QString dir = QString::fromStdString((listDir_.empty() ? workDir_ : listDir_).string());
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open a bulletin"), dir,
        QStringLiteral("Bulletins (WARN_*.RTF INFO_*.RTF *.rtf *.RTF);;All files (*)"));
    if (!file.isEmpty()) openBulletin(fs::path(file.toStdString()));
}

void WarnViewer::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

}  // namespace zeb::zebwarnv
