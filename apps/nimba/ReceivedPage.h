// Tab 2 of the main window: the received files of the working directory (fax
// pictures, warnings, information bulletins, recordings and the observation
// times of the station file) as one list, oldest first, with a preview, the
// viewers and the deletion (dialog 111).
//
// The page exists while its tab is selected. The index of the selected entry
// outlives it: the program keeps it and the next page selects it again (the
// newest entry when it lies outside the list). A click selects and clears the
// preview; a right click or Space previews; a double click or Enter opens the
// entry in its viewer, closing a viewer of the same kind first.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PageContext.h"
#include "common/Result.h"
#include "store/ReceivedStore.h"

class QPlainTextEdit;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace zeb::weather {
struct WeatherData;
}

namespace zeb::nimba {

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

// The list text of an entry: faxes and observations by their time through
// strings 67 and 69, bulletins by their label and recordings by "Audio"
// through string 68; observations with their record count in front.
QString receivedLabel(const store::Entry& entry, const ui::LanguageBundle* bundle);

// The plain-language text of the station records `records`, as the decoders
// write it; the bulletin lines before the first record of each bulletin.
QString observationText(const std::vector<weather::SynopRecordBytes>& records,
                        const weather::WeatherData* data, const ui::LanguageBundle* bundle);

// Starts a program of the suite with `args` (one argv element each, no
// shell) in `workDir`, where the viewers find the files they are given. The
// program is looked for beside this program, in `workDir`, then on PATH.
Result<pid_t> startInWorkDir(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& workDir);

class ReceivedPage : public QWidget {
    Q_OBJECT
public:
    // `remembered`: the selected entry's index, kept by the program while
    // pages come and go (-1: none).
    ReceivedPage(PageContext& context, const weather::WeatherData* weatherData, int& remembered,
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
    void connectButtons();
    void rebuild(const std::vector<Identity>& selected, const std::optional<Identity>& current);
    int indexOf(const Identity& identity) const;
    void currentChanged(QTreeWidgetItem* item);
    void clearPreview();
    void showPicture(const store::Entry& entry);
    void showText(const QString& text);
    void openEntry(const store::Entry& entry);
    void startViewer(store::EntryKind kind, bool withFile, const store::Entry& entry);
    void chooseAndPlay();
    void say(const std::string& text);

    PageContext& context_;
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

}  // namespace zeb::nimba
