// The user's own list of programs, kept in EXTENS.LST of a working directory
// and shown by the main program's audio page and by the launcher.
//
// File: one entry per line, the full path of a program, a space and a
// caption the user typed. Line ends CR LF or LF are read; empty lines are
// skipped. The file is rewritten whole (atomically) whenever the list
// changes, CR LF ends; lines read are written back byte for byte. New
// entries are UTF-8; a line that is no UTF-8 (a list from an older
// installation) is shown as Windows-1252.
//
// Panel: a double click starts the entry's program (the text up to the first
// space, without a shell and without arguments) in the list's directory; a
// double click with Ctrl held removes the entry. Files dropped on the list
// are asked a caption each and appended. A path holding a blank cannot be
// stored (the first blank ends the program's name), so such a file is
// refused with a message instead of storing an entry that starts another
// program.
#pragma once

#include <QFileIconProvider>
#include <QObject>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

class QListWidget;

namespace zeb::ui {

class MessageBoxes;

inline constexpr std::string_view kProgramListFile = "EXTENS.LST";

// The program of an entry: its text up to the first space.
std::string_view programOfLine(std::string_view line);
// The caption: the text after the first space (empty when there is none).
std::string_view captionOfLine(std::string_view line);
// The text shown for stored bytes: UTF-8 as it is, other bytes as Windows-1252.
QString textOfStoredBytes(std::string_view bytes);

// The entries of a list file; a missing file is an empty list.
Result<std::vector<std::string>> readProgramList(const std::filesystem::path& file);
// Replaces the list file atomically with one line per entry.
Result<void> writeProgramList(const std::filesystem::path& file,
                              const std::vector<std::string>& lines);

class ProgramList : public QObject {
    Q_OBJECT
public:
    struct Texts {
        // Title of the caption question; " " and the dropped file's name follow.
        QString captionTitle = QStringLiteral("Description of");
        // A dropped file whose path holds a blank; " " and the path follow.
        QString blankInPath =
            QStringLiteral("A program whose path holds a blank cannot be listed:");
    };

    // Takes over `view` (its items, drops and double clicks) for the list
    // in `directory` and reads the file. Messages (a file that cannot be
    // read or written, a program that does not start) go to `messages`.
    ProgramList(QListWidget& view, std::filesystem::path directory, const MessageBoxes* messages,
                Texts texts, QObject* parent = nullptr);

    QListWidget& view() const { return view_; }
    // The list file (EXTENS.LST, or a file of that name in another case).
    const std::filesystem::path& file() const { return file_; }
    const std::vector<std::string>& lines() const { return lines_; }

    // Reads the file again.
    void reload();
    // Starts the program of entry `row` in the list's directory.
    Result<pid_t> start(int row);
    // Removes entry `row` and rewrites the file; when the file cannot be
    // written the entry stays and the reason is said.
    bool remove(int row);
    // Asks a caption for each file and appends it; returns the entries added.
    int addFiles(const QStringList& paths);

    // How a caption is asked: the question's title; nullopt when cancelled.
    // Tests answer it; the default is a small text dialog.
    std::function<std::optional<QString>(const QString& title)> askCaption;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill();
    void addItem(const std::string& line);
    bool save();
    void say(const QString& text) const;

    QListWidget& view_;
    QObject* viewport_ = nullptr;  // compared only, never called
    std::filesystem::path directory_;
    std::filesystem::path file_;
    const MessageBoxes* messages_;
    Texts texts_;
    std::vector<std::string> lines_;
    // Why the file could not be read; while it is set nothing is written over it.
    QString readError_;
    QFileIconProvider icons_;
};

}  // namespace zeb::ui
