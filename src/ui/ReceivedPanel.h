// The received-files browser of the main program (its tab 2) and of the
// launcher (its third tab): the received files of the working directory (fax
// pictures, warnings, information bulletins, recordings and the observation
// times of the station file) as one list, oldest first, with a preview, the
// viewers and the deletion (dialog 111).
//
// The panel may exist only while its tab is selected. The index of the
// selected entry outlives it: the program keeps it and the next panel selects
// it again (the newest entry when it lies outside the list). A click selects
// and clears the preview; a right click or Space previews; a double click or
// Enter opens the entry in its viewer, closing a viewer of the same kind first.
//
// The two programs number their strings differently, so each passes its own
// table of numbers (ReceivedTexts).
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Result.h"
#include "store/ReceivedStore.h"
#include "ui/LanguageBundle.h"
#include "ui/MessageBoxes.h"

class QPlainTextEdit;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace zeb::weather {
struct WeatherData;
}

namespace zeb::ui {

// Control ids of dialog 111.
namespace receivedid {
inline constexpr int kDialog = 111;
inline constexpr int kPlayFile = 1008;
inline constexpr int kBulletinViewer = 1016;
inline constexpr int kWorldMap = 1017;
inline constexpr int kDelete = 1018;
inline constexpr int kFaxViewer = 1020;
inline constexpr int kList = 1119;
inline constexpr int kPreview = 1123;
}  // namespace receivedid

// The browser's strings, by number.
struct ReceivedTexts {
    int faxLabel = 0;          // year, month, day, hour, minute of a fax picture
    int textLabel = 0;         // a bulletin's label line, or "Audio" for a recording
    int observationLabel = 0;  // year, month, day, hour, minute of an observation time
    int deleteQuestion = 0;
    int noPlayer = 0;     // no program plays a recording
    int audioFilter = 0;  // the file filter of "Play…"
    int notDeleted = 0;   // how many entries could not be deleted, and the first reason
    // The first of the ten texts of the plain-language observations
    // (weather::ReportFormats::fromTable); 0: the English ones.
    int reportFormats = 0;
};

// The main program's numbers.
inline ReceivedTexts nimbaReceivedTexts() {
    ReceivedTexts t;
    t.faxLabel = 67;
    t.textLabel = 68;
    t.observationLabel = 69;
    t.deleteQuestion = 70;
    t.noPlayer = 77;
    t.audioFilter = 79;
    t.notDeleted = 9115;
    t.reportFormats = 40;
    return t;
}

// The launcher's numbers.
inline ReceivedTexts launcherReceivedTexts() {
    ReceivedTexts t;
    t.faxLabel = 45;
    t.textLabel = 46;
    t.observationLabel = 47;
    t.deleteQuestion = 54;
    t.noPlayer = 55;
    t.audioFilter = 56;
    t.notDeleted = 57;
    t.reportFormats = 60;
    return t;
}

// Starts a program of the suite with `args` (one argv element each, no
// shell) in `workDir`, where the viewers find the files they are given. The
// program is looked for beside this program, in `workDir`, then on PATH.
Result<pid_t> startInWorkDir(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& workDir);

// Asks the running program whose window class is `windowClass` to close
// (over the suite bus); nothing happens when none runs.
void closeByWindowClass(const std::string& windowClass);

// What the panel needs from its program.
struct ReceivedContext {
    using Starter = std::function<Result<pid_t>(const std::string& program,
                                                const std::vector<std::string>& args,
                                                const std::filesystem::path& workDir)>;

    const LanguageBundle* bundle = nullptr;
    const MessageBoxes* messages = nullptr;
    std::filesystem::path workDir = ".";
    // Puts a text into the program's status field.
    std::function<void(const QString&)> setStatus = [](const QString&) {};
    ReceivedTexts texts;
    // How viewers and the player are started, and how a running viewer is
    // closed; a test replaces them to watch.
    Starter start = startInWorkDir;
    std::function<void(const std::string& windowClass)> closeByClass = closeByWindowClass;
};

// The list text of an entry: faxes and observations by their time, bulletins
// by their label and recordings by "Audio"; observations with their record
// count in front. Without a bundle: the file's name.
QString receivedLabel(const store::Entry& entry, const LanguageBundle* bundle,
                      const ReceivedTexts& texts);

// The plain-language text of the station records `records`, as the decoders
// write it; the bulletin lines before the first record of each bulletin.
// `reportFormats` as in ReceivedTexts.
QString observationText(const std::vector<weather::SynopRecordBytes>& records,
                        const weather::WeatherData* data, const LanguageBundle* bundle,
                        int reportFormats);

class ReceivedPanel : public QWidget {
    Q_OBJECT
public:
    // `remembered`: the selected entry's index, kept by the program while
    // panels come and go (-1: none).
    ReceivedPanel(ReceivedContext context, const weather::WeatherData* weatherData, int& remembered,
                  QWidget* parent = nullptr);

    // Reads the list again; the selected entries stay selected where they
    // still exist, and the preview stays when its entry is still the current one.
    void refresh();

    const std::vector<store::Entry>& entries() const { return entries_; }
    QTreeWidget* list() const { return list_; }
    QWidget* dialog() const { return dialog_; }
    // The current entry's index, -1 when the list is empty.
    int currentIndex() const;
    void setCurrentIndex(int index);

    // Previews, opens or deletes what is selected.
    void previewCurrent();
    void openCurrent();
    void deleteSelected();
    // Plays a recording with the player of the suite, else the desktop's.
    void play(const std::filesystem::path& file);

    // What the preview shows: a picture, a text, or nothing.
    const QImage& previewImage() const { return previewImage_; }
    QString previewText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Identity {
        store::EntryKind kind;
        TimeKey key;
        std::filesystem::path path;
        bool operator==(const Identity&) const = default;
    };
    static Identity identityOf(const store::Entry& entry);

    void buildControls();
    void buildPreview(QWidget* frame);
    void connectList();
    void connectButtons();
    void rebuild(const std::vector<Identity>& selected, const std::optional<Identity>& current);
    int indexOf(const Identity& identity) const;
    void currentChanged(QTreeWidgetItem* item);
    void clearPreview();
    void showText(const QString& text);
    void openEntry(const store::Entry& entry);
    void startViewer(store::EntryKind kind, bool withFile, const store::Entry& entry);
    void chooseAndPlay();
    void say(const std::string& text);
    QString string(int id) const;

    ReceivedContext context_;
    const weather::WeatherData* data_;
    int& remembered_;
    QWidget* dialog_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QStackedWidget* preview_ = nullptr;
    QWidget* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QImage previewImage_;
    std::optional<Identity> previewed_;
    std::vector<store::Entry> entries_;
    bool rebuilding_ = false;
};

}  // namespace zeb::ui
