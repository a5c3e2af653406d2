#include "ui/ReceivedPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "common/Codepage.h"
#include "common/Launch.h"
#include "common/bus/Bus.h"
#include "fax/Bmp.h"
#include "store/Viewer.h"
#include "ui/DialogLoader.h"
#include "weather/ReportDescription.h"
#include "weather/Rtf.h"
#include "weather/WeatherData.h"

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;
using store::Entry;
using store::EntryKind;

// The bulletin preview's font: 6 points.
constexpr int kPreviewPoints = 6;
// Reduced companions are at most 160 × 128 pixels; a file much larger than
// that is no companion and is not read.
constexpr std::uintmax_t kMaxCompanionBytes = 1 << 20;
// Bulletins are a few kilobytes; more than this is not shown.
constexpr std::uintmax_t kMaxBulletinBytes = 4 << 20;
constexpr const char* kPlayer = "zebplay";
constexpr const char* kDesktopOpener = "xdg-open";

// A picture scaled to fit, its proportions kept, on the button face.
class PicturePreview : public QWidget {
public:
    PicturePreview(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        if (image_.isNull()) return;
        QRect target(QPoint(0, 0), image_.size().scaled(size(), Qt::KeepAspectRatio));
        target.moveCenter(rect().center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
    }

private:
    const QImage& image_;
};

QIcon kindIcon(EntryKind kind) {
    QStyle* style = QApplication::style();
    switch (kind) {
        case EntryKind::Fax: return style->standardIcon(QStyle::SP_DesktopIcon);
        case EntryKind::Warning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
        case EntryKind::Information: return style->standardIcon(QStyle::SP_MessageBoxInformation);
        case EntryKind::Audio: return style->standardIcon(QStyle::SP_MediaVolume);
        case EntryKind::Observations: return style->standardIcon(QStyle::SP_FileDialogDetailedView);
    }
    return {};
}

// A file of the store, read whole when it is not larger than `limit`.
std::optional<std::string> readSmallFile(const fs::path& file, std::uintmax_t limit) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > limit) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

QImage toImage(const fax::Bitmap& bitmap) {
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < bitmap.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width; ++x) {
            const fax::Rgb c = bitmap.colour(x, y);
            line[x] = qRgb(c.r, c.g, c.b);
        }
    }
    return image;
}

// The reduced companion of a fax picture, in the case of the picture's name
// first; a null image when there is none or it cannot be read.
QImage companionImage(const fs::path& workDir, const Entry& entry) {
    const std::string ext = entry.path.extension().string();
    const bool lower = !ext.empty() && ext.back() == 'p';
    for (const char* companion : {lower ? ".bmm" : ".BMM", lower ? ".BMM" : ".bmm"}) {
        const auto bytes = readSmallFile(
            workDir / fs::path(entry.path).replace_extension(companion), kMaxCompanionBytes);
        if (!bytes) continue;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->data());
        auto bitmap = fax::decodeBmp(std::span<const std::uint8_t>(data, bytes->size()));
        return bitmap ? toImage(*bitmap) : QImage();
    }
    return {};
}

QString bulletinText(const fs::path& file) {
    const auto bytes = readSmallFile(file, kMaxBulletinBytes);
    if (!bytes) return {};
    const auto document = weather::readRtf(*bytes);
    return document ? QString::fromStdString(cp1252ToUtf8(document->plainText())) : QString();
}

// Beside this program, the working directory, then PATH.
std::vector<fs::path> programSearchDirs(const fs::path& workDir) {
    std::vector<fs::path> dirs;
    std::error_code ec;
    if (const fs::path self = fs::read_symlink("/proc/self/exe", ec); !ec)
        dirs.push_back(self.parent_path());
    dirs.push_back(fs::absolute(workDir, ec));
    const auto onPath = launch::pathDirectories();
    dirs.insert(dirs.end(), onPath.begin(), onPath.end());
    return dirs;
}

}  // namespace

QString receivedLabel(const Entry& entry, const LanguageBundle* bundle,
                      const ReceivedTexts& texts) {
    if (!bundle) return QString::fromStdString(entry.path.filename().string());
    const NameTime& t = entry.time;
    switch (entry.kind) {
        case EntryKind::Fax:
            return bundle->format(texts.faxLabel, {t.year, t.month, t.day, t.hour, t.minute});
        case EntryKind::Warning:
        case EntryKind::Information: {
            // A bulletin without its label line is named by its file.
            const std::string label =
                entry.label.empty() ? entry.path.filename().string() : cp1252ToUtf8(entry.label);
            return bundle->format(texts.textLabel, {label});
        }
        case EntryKind::Audio: return bundle->format(texts.textLabel, {"Audio"});
        case EntryKind::Observations:
            return QStringLiteral("[%1] %2")
                .arg(entry.records)
                .arg(bundle->format(texts.observationLabel,
                                    {t.year, t.month, t.day, t.hour, t.minute}));
    }
    return {};
}

QString observationText(const std::vector<weather::SynopRecordBytes>& records,
                        const weather::WeatherData* data, const LanguageBundle* bundle,
                        int reportFormats) {
    const weather::TextTable none;
    const weather::TextTable& texts = data ? data->texts : none;
    const auto formats = bundle && reportFormats > 0
                             ? weather::ReportFormats::fromTable(bundle->strings(), reportFormats)
                             : weather::ReportFormats::english();
    std::string text;
    std::optional<weather::SynopRecord> previous;
    for (const auto& bytes : records) {
        const weather::SynopRecord r = weather::decode(bytes);
        const bool newBulletin = !previous || previous->serial != r.serial ||
                                 previous->bulletinTime != r.bulletinTime ||
                                 previous->centre.name != r.centre.name;
        text += weather::describeReport(r, newBulletin, texts, formats);
        previous = r;
    }
    return QString::fromStdString(cp1252ToUtf8(text));
}

Result<pid_t> startInWorkDir(const std::string& program, const std::vector<std::string>& args,
                             const fs::path& workDir) {
    launch::Options options;
    options.searchDirs = programSearchDirs(workDir);
    options.workDir = workDir;
    return launch::startProgram(program, args, options);
}

void closeByWindowClass(const std::string& windowClass) { (void)bus::closeByClass(windowClass); }

ReceivedPanel::ReceivedPanel(ReceivedContext context, const weather::WeatherData* weatherData,
                             int& remembered, QWidget* parent)
    : QWidget(parent), context_(std::move(context)), data_(weatherData), remembered_(remembered) {
    buildControls();
    connectList();
    connectButtons();
    rebuild({}, std::nullopt);
    if (QTreeWidgetItem* item = list_->currentItem()) list_->scrollToItem(item);
    previewCurrent();
}

void ReceivedPanel::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (context_.bundle) dialog_ = context_.bundle->dialog(receivedid::kDialog, this);
    if (!dialog_) dialog_ = new QWidget(this);
    dialog_->setWindowFlags(Qt::Widget);
    layout->addWidget(dialog_);
    list_ = controlAs<QTreeWidget>(dialog_, receivedid::kList);
    auto* frame = controlAs<QFrame>(dialog_, receivedid::kPreview);
    if (!list_ || !frame) {
        // A template without them: the list and the preview side by side.
        auto* split = new QSplitter(dialog_);
        list_ = new QTreeWidget(split);
        frame = new QFrame(split);
        (new QVBoxLayout(dialog_))->addWidget(split);
    }
    list_->setColumnCount(1);
    list_->header()->hide();
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->installEventFilter(this);
    buildPreview(frame);
}

void ReceivedPanel::buildPreview(QWidget* frame) {
    preview_ = new QStackedWidget(frame);
    auto* box = new QVBoxLayout(frame);
    box->setContentsMargins(2, 2, 2, 2);
    box->addWidget(preview_);
    picture_ = new PicturePreview(previewImage_, preview_);
    text_ = new QPlainTextEdit(preview_);
    text_->setReadOnly(true);
    QFont small = text_->font();
    small.setPointSize(kPreviewPoints);
    text_->setFont(small);
    QPalette face = text_->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    text_->setPalette(face);
    preview_->addWidget(picture_);
    preview_->addWidget(text_);
}

void ReceivedPanel::connectList() {
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { currentChanged(item); });
    connect(list_, &QTreeWidget::itemClicked, this, [this] { clearPreview(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { openCurrent(); });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = list_->itemAt(at);
        if (!item) return;
        // The entry clicked becomes the current one; a selection it is part of stays.
        list_->setCurrentItem(item, 0,
                              item->isSelected() ? QItemSelectionModel::NoUpdate
                                                 : QItemSelectionModel::ClearAndSelect);
        previewCurrent();
    });
}

void ReceivedPanel::connectButtons() {
    auto button = [this](int id, auto slot) {
        if (auto* b = controlAs<QAbstractButton>(dialog_, id))
            connect(b, &QAbstractButton::clicked, this, slot);
    };
    button(receivedid::kDelete, [this] { deleteSelected(); });
    button(receivedid::kFaxViewer, [this] { startViewer(EntryKind::Fax, false, {}); });
    button(receivedid::kBulletinViewer, [this] { startViewer(EntryKind::Warning, false, {}); });
    button(receivedid::kWorldMap, [this] { startViewer(EntryKind::Observations, false, {}); });
    button(receivedid::kPlayFile, [this] { chooseAndPlay(); });
}

ReceivedPanel::Identity ReceivedPanel::identityOf(const Entry& entry) {
    return {entry.kind, entry.key, entry.path};
}

int ReceivedPanel::indexOf(const Identity& identity) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (identityOf(entries_[i]) == identity) return static_cast<int>(i);
    return -1;
}

void ReceivedPanel::refresh() {
    std::vector<Identity> selected;
    for (QTreeWidgetItem* item : list_->selectedItems()) {
        const int i = list_->indexOfTopLevelItem(item);
        if (i >= 0 && i < static_cast<int>(entries_.size()))
            selected.push_back(identityOf(entries_[static_cast<std::size_t>(i)]));
    }
    std::optional<Identity> current;
    if (const int i = currentIndex(); i >= 0) current = identityOf(entries_[std::size_t(i)]);
    rebuild(selected, current);
}

void ReceivedPanel::rebuild(const std::vector<Identity>& selected,
                            const std::optional<Identity>& current) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    rebuilding_ = true;
    entries_ = store::listReceived(context_.workDir);
    list_->clear();
    for (const Entry& entry : entries_) {
        auto* item = new QTreeWidgetItem(
            list_, QStringList{receivedLabel(entry, context_.bundle, context_.texts)});
        item->setIcon(0, kindIcon(entry.kind));
        if (!entry.path.empty()) item->setToolTip(0, QString::fromStdString(entry.path.string()));
    }
    const int count = static_cast<int>(entries_.size());
    int index = current ? indexOf(*current) : -1;
    if (index < 0) index = remembered_ >= 0 && remembered_ < count ? remembered_ : count - 1;
    if (index >= 0) list_->setCurrentItem(list_->topLevelItem(index));
    for (const Identity& identity : selected) {
        if (const int i = indexOf(identity); i >= 0) list_->topLevelItem(i)->setSelected(true);
    }
    remembered_ = index;
    rebuilding_ = false;
    QApplication::restoreOverrideCursor();
    // The preview stays while it shows the current entry.
    if (!previewed_ || index < 0 || identityOf(entries_[std::size_t(index)]) != *previewed_)
        clearPreview();
}

int ReceivedPanel::currentIndex() const {
    QTreeWidgetItem* item = list_->currentItem();
    return item ? list_->indexOfTopLevelItem(item) : -1;
}

void ReceivedPanel::setCurrentIndex(int index) {
    if (QTreeWidgetItem* item = list_->topLevelItem(index)) list_->setCurrentItem(item);
}

void ReceivedPanel::currentChanged(QTreeWidgetItem* item) {
    if (rebuilding_) return;
    remembered_ = item ? list_->indexOfTopLevelItem(item) : -1;
    clearPreview();
}

void ReceivedPanel::clearPreview() {
    previewed_.reset();
    previewImage_ = QImage();
    text_->clear();
    preview_->setCurrentWidget(picture_);
    picture_->update();
}

void ReceivedPanel::previewCurrent() {
    clearPreview();
    const int index = currentIndex();
    if (index < 0) return;
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    switch (entry.kind) {
        case EntryKind::Fax:
            previewImage_ = companionImage(context_.workDir, entry);
            picture_->update();
            break;
        case EntryKind::Warning:
        case EntryKind::Information: showText(bulletinText(context_.workDir / entry.path)); break;
        case EntryKind::Observations: {
            const auto records = store::recordsAt(context_.workDir, entry.key);
            if (records)
                showText(observationText(*records, data_, context_.bundle,
                                         context_.texts.reportFormats));
            break;
        }
        case EntryKind::Audio: break;
    }
    previewed_ = identityOf(entry);
}

void ReceivedPanel::showText(const QString& text) {
    text_->setPlainText(text);
    preview_->setCurrentWidget(text_);
}

QString ReceivedPanel::previewText() const {
    return preview_->currentWidget() == text_ ? text_->toPlainText() : QString();
}

void ReceivedPanel::openCurrent() {
    const int index = currentIndex();
    if (index >= 0) openEntry(entries_[static_cast<std::size_t>(index)]);
}

void ReceivedPanel::openEntry(const Entry& entry) {
    if (entry.kind == EntryKind::Audio) {
        play(context_.workDir / entry.path);
        return;
    }
    startViewer(entry.kind, true, entry);
}

void ReceivedPanel::startViewer(EntryKind kind, bool withFile, const Entry& entry) {
    Entry of = entry;
    of.kind = kind;
    const auto viewer = store::viewerFor(of);
    if (!viewer) return;
    std::vector<std::string> args;
    if (withFile) {
        // One viewer of a kind: the one showing another entry goes first.
        context_.closeByClass(viewer->windowClass);
        args = viewer->args;
    }
    if (auto started = context_.start(viewer->program, args, context_.workDir); !started)
        say(started.error().message);
}

void ReceivedPanel::play(const fs::path& file) {
    const auto dirs = programSearchDirs(context_.workDir);
    std::error_code ec;
    const fs::path full = fs::absolute(file, ec);
    for (const char* player : {kPlayer, kDesktopOpener}) {
        if (!launch::resolveProgram(player, dirs)) continue;
        if (auto started = context_.start(player, {full.string()}, context_.workDir); !started)
            say(started.error().message);
        return;
    }
    if (context_.messages) context_.messages->showMessage(context_.texts.noPlayer);
}

void ReceivedPanel::chooseAndPlay() {
    const QString dir = QString::fromStdString((context_.workDir / "SYNOP").string());
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Audio"), dir,
                                                      string(context_.texts.audioFilter));
    if (!file.isEmpty()) play(file.toStdString());
}

void ReceivedPanel::deleteSelected() {
    std::vector<Entry> chosen;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->isSelected() && i < static_cast<int>(entries_.size()))
            chosen.push_back(entries_[static_cast<std::size_t>(i)]);
    }
    if (chosen.empty()) return;
    if (!context_.messages || !context_.messages->askMessage(context_.texts.deleteQuestion)) return;
    const store::Report report = store::deleteEntries(context_.workDir, chosen);
    if (!report.failures.empty() && context_.bundle) {
        context_.setStatus(context_.bundle->format(
            context_.texts.notDeleted,
            {static_cast<int>(report.failures.size()), report.failures.front().error.message}));
    }
    refresh();
}

void ReceivedPanel::say(const std::string& text) {
    context_.setStatus(QString::fromStdString(text));
}

QString ReceivedPanel::string(int id) const {
    return context_.bundle ? context_.bundle->string(id) : QString();
}

bool ReceivedPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space) {
            previewCurrent();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zeb::ui
