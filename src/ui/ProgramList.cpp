#include "ui/ProgramList.h"

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <cerrno>
#include <cstdlib>

#include "common/AtomicFile.h"
#include "common/Codepage.h"
#include "common/FindFile.h"
#include "common/Launch.h"
#include "ui/MessageBoxes.h"

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;

// The directories a program named without a path is looked for in: the
// list's directory, then PATH.
std::vector<fs::path> searchDirs(const fs::path& directory) {
    std::vector<fs::path> dirs{directory};
    const auto onPath = launch::pathDirectories();
    dirs.insert(dirs.end(), onPath.begin(), onPath.end());
    return dirs;
}

// The local files of a drop, in their order.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile());
    return files;
}

// A caption is one line of text.
QString oneLine(QString caption) {
    caption.replace(QLatin1Char('\r'), QLatin1Char(' '));
    caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return caption.trimmed();
}

}  // namespace

std::string_view programOfLine(std::string_view line) { return line.substr(0, line.find(' ')); }

std::string_view captionOfLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    return blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
}

QString textOfStoredBytes(std::string_view bytes) {
    const std::string utf8 = isUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Result<std::vector<std::string>> readProgramList(const fs::path& file) {
    auto bytes = readWholeFile(file);
    if (!bytes) {
        if (bytes.error().systemError() == ENOENT) return std::vector<std::string>{};
        return bytes.error();
    }
    std::vector<std::string> lines;
    std::string_view rest(*bytes);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (!line.empty()) lines.emplace_back(line);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return lines;
}

Result<void> writeProgramList(const fs::path& file, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return writeFileAtomically(file, bytes);
}

ProgramList::ProgramList(QListWidget& view, fs::path directory, const MessageBoxes* messages,
                         Texts texts, QObject* parent)
    : QObject(parent),
      view_(view),
      directory_(std::move(directory)),
      messages_(messages),
      texts_(std::move(texts)) {
    askCaption = [this](const QString& title) -> std::optional<QString> {
        bool ok = false;
        const QString text =
            QInputDialog::getText(&view_, title, title, QLineEdit::Normal, QString(), &ok);
        return ok ? std::optional(text) : std::nullopt;
    };
    view_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_.setSelectionMode(QAbstractItemView::SingleSelection);
    view_.setAcceptDrops(true);
    QWidget* viewport = view_.viewport();
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(this);
    viewport_ = viewport;
    reload();
}

void ProgramList::reload() {
    file_ = findFileNoCase(directory_, kProgramListFile);
    auto lines = readProgramList(file_);
    readError_.clear();
    if (lines) {
        lines_ = std::move(*lines);
    } else {
        // Nothing is written over a list that could not be read.
        lines_.clear();
        readError_ = QString::fromStdString(lines.error().message);
        say(readError_);
    }
    fill();
}

void ProgramList::fill() {
    view_.clear();
    for (const std::string& line : lines_) addItem(line);
}

void ProgramList::addItem(const std::string& line) {
    const QString program = textOfStoredBytes(programOfLine(line));
    const QString caption = textOfStoredBytes(captionOfLine(line));
    auto* item = new QListWidgetItem(caption.isEmpty() ? program : caption, &view_);
    item->setToolTip(program);
    item->setIcon(icons_.icon(QFileInfo(program)));
}

Result<pid_t> ProgramList::start(int row) {
    if (row < 0 || row >= static_cast<int>(lines_.size()))
        return Error(EINVAL, "There is no program in this line of the list.");
    const std::string_view program = programOfLine(lines_[static_cast<std::size_t>(row)]);
    launch::Options options;
    options.searchDirs = searchDirs(directory_);
    options.workDir = directory_;
    auto started = launch::startProgram(program, {}, options);
    if (!started) say(QString::fromStdString(started.error().message));
    return started;
}

bool ProgramList::remove(int row) {
    if (row < 0 || row >= static_cast<int>(lines_.size())) return false;
    if (!readError_.isEmpty()) {
        say(readError_);
        return false;
    }
    const auto at = lines_.begin() + row;
    const std::string line = *at;
    lines_.erase(at);
    if (!save()) {
        lines_.insert(lines_.begin() + row, line);
        return false;
    }
    delete view_.takeItem(row);
    return true;
}

int ProgramList::addFiles(const QStringList& paths) {
    if (!readError_.isEmpty()) {
        say(readError_);
        return 0;
    }
    int added = 0;
    for (const QString& path : paths) {
        const std::string bytes =
            QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
        if (bytes.find_first_of(" \t\r\n") != std::string::npos) {
            say(texts_.blankInPath + QLatin1Char(' ') + path);
            continue;
        }
        const auto caption =
            askCaption(texts_.captionTitle + QLatin1Char(' ') + QFileInfo(path).fileName());
        if (!caption) continue;
        lines_.push_back(bytes + ' ' + oneLine(*caption).toStdString());
        if (!save()) {
            lines_.pop_back();
            break;
        }
        addItem(lines_.back());
        ++added;
    }
    return added;
}

bool ProgramList::save() {
    if (auto written = writeProgramList(file_, lines_); !written) {
        say(QString::fromStdString(written.error().message));
        return false;
    }
    return true;
}

void ProgramList::say(const QString& text) const {
    if (messages_) messages_->showText(text);
}

bool ProgramList::eventFilter(QObject* watched, QEvent* event) {
    // The viewport as it was taken: while the list is being destroyed its
    // viewport still sends events, and the list may no longer be asked.
    if (watched != viewport_) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (droppedFiles(drag->mimeData()).isEmpty()) return false;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = droppedFiles(drop->mimeData());
            if (files.isEmpty()) return false;
            drop->acceptProposedAction();
            addFiles(files);
            return true;
        }
        case QEvent::MouseButtonDblClick: {
            auto* click = static_cast<QMouseEvent*>(event);
            if (click->button() != Qt::LeftButton) return false;
            QListWidgetItem* item = view_.itemAt(click->position().toPoint());
            if (!item) return true;
            const int row = view_.row(item);
            if (click->modifiers() & Qt::ControlModifier)
                remove(row);
            else
                (void)start(row);
            return true;
        }
        default: return QObject::eventFilter(watched, event);
    }
}

}  // namespace zeb::ui
