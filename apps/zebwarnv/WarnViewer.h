// The window of the bulletin viewer: beside the text, a list of the received
// warnings and information (NAVTEX) bulletins of the shown bulletin's store,
// newest first, each with the UTC time from its name and its label, warnings
// in bold with a warning icon and a "Warnings only" filter; the selected
// bulletin's text in a fixed-pitch font as the teleprinter gave it; Copy,
// Print and Open…; the list follows the folder as bulletins arrive.
//
// A file that cannot be shown (missing, not RTF, cut off, too large) leaves
// the window up with "… cannot be read: reason" in place of the text.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <vector>

#include "WarnFiles.h"

class QCheckBox;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QTextEdit;
class QTimer;

namespace zeb::zebwarnv {

// The window class the viewer owns on the suite bus.
inline constexpr const char* kClassName = "ZEB-Warn-View";
// Registered message by which a second start hands its bulletin to the
// running viewer: the payload is the bulletin's absolute path, or empty for
// the newest bulletin.
inline constexpr const char* kOpenMessage = "ZEB_WARNV_OPEN";

class WarnViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit WarnViewer(std::filesystem::path workDir, QWidget* parent = nullptr);
    ~WarnViewer() override;

    // Shows a bulletin file, or why it cannot be shown. The list shows the
    // bulletins of the file's folder.
    void openBulletin(const std::filesystem::path& path);
    // Shows the newest bulletin of the working directory's SYNOP folder, or
    // a note that it has none.
    void openNewest();

    const std::filesystem::path& bulletinPath() const { return path_; }
    bool hasBulletin() const { return problem_.isEmpty() && !path_.empty(); }
    // The text shown (the bulletin's, or the message in its place).
    QString shownText() const;
    // The message shown instead of a text; empty while a bulletin is shown.
    const QString& problem() const { return problem_; }
    QString statusText() const;

    // The bulletins of the shown bulletin's folder, newest first, and the
    // position of the shown one (−1 when it is not among them).
    const std::vector<BulletinEntry>& entries() const { return entries_; }
    int currentIndex() const;
    // Rereads the folder (new bulletins arrive while the viewer runs).
    void refreshList();
    // Hides the information bulletins from the list.
    void setWarningsOnly(bool only);
    bool warningsOnly() const;

    // Copies the selected text, or the whole text without a selection.
    void copy();
    // Prints through the print dialog; without a printer says so in the
    // status bar.
    void print();

    // Restores the window when minimised and brings it to the front.
    void bringToFront();

    // A registered message from the bus: kOpenMessage shows the bulletin it
    // names (the newest for an empty payload) and brings the window to the
    // front. False for any other message.
    bool takeMessage(const QString& name, const QByteArray& payload);

protected:
    // Lets Ctrl+C reach the window's Copy even without a selection, which the
    // text area alone would ignore.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    QWidget* buildList();
    void showText(const QString& text, bool problem);
    void applyFilter();
    void markCurrent();
    void watchFolder();
    void updateTitleAndStatus();
    void chooseAndOpen();

    std::filesystem::path workDir_;
    std::filesystem::path path_;
    std::filesystem::path listDir_;
    QString problem_;
    std::vector<BulletinEntry> entries_;

    QListWidget* list_ = nullptr;
    QCheckBox* warningsOnly_ = nullptr;
    QTextEdit* text_ = nullptr;
    QLabel* status_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* rescan_ = nullptr;
};

}  // namespace zeb::zebwarnv
