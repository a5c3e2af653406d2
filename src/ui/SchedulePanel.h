// The schedule panel of the launcher and the main program: the entries of a
// reception schedule as a table (start, end, station name, frequency,
// modulation), sorted by start, with the commands Edit, Delete, Save and
// Load and the switch that turns the schedule on and off.
//
// Entries whose station is not in the frequency list are kept but not shown;
// row numbers count the shown entries. While the schedule runs, its entries
// cannot be edited, deleted, added, saved or loaded: the running scheduler
// relies on windows that passed the overlap test, and on every started entry
// staying there until it is closed.
#pragma once

#include "common/Result.h"
#include "stations/Schedule.h"
#include "stations/StationRecord.h"
#include "ui/StationTexts.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QPushButton;
class QTreeView;

namespace zeb::ui {

class LitSwitch;
class MessageBoxes;
class TextTableModel;

inline constexpr int kStartTimeField = 1042, kEndTimeField = 1043;

enum class ScheduleCommand { Edit, Delete, Save, Load };

class SchedulePanel : public QWidget {
    Q_OBJECT
public:
    // Asks for a file to save to (`save`) or to load; nullopt when the user
    // cancels. The default is a QFileDialog with the filter "Timer (*.TIM)".
    using FileChooser = std::function<std::optional<std::filesystem::path>(
        bool save, const QString& title, const std::filesystem::path& directory)>;

    SchedulePanel(stations::Schedule& schedule,
                  const std::vector<stations::StationRecord>& stations,
                  std::filesystem::path timerDirectory, const StationStrings& strings,
                  const MessageBoxes& messages, QWidget* parent = nullptr);

    // Shows the entries and the switch again (after the schedule or the
    // frequency list changed outside the panel).
    void refresh();
    void run(ScheduleCommand command);
    QPushButton* button(ScheduleCommand command) const;
    LitSwitch* activeSwitch() const { return switch_; }
    QTreeView* view() const { return view_; }

    // Entry index of each row, top to bottom.
    const std::vector<std::size_t>& rows() const { return rows_; }
    // The row's texts: start, end, name, frequency, modulation.
    QString cell(int row, int column) const;

    int selectedRow() const;  // the first, -1 for none
    void selectRow(int row);  // limited to the rows

    // Appends a 0:00-0:00 entry for each station; refused (with a message)
    // while the schedule runs.
    bool addStations(const std::vector<std::uint32_t>& ids);
    // Edits the times of a row (as the edit dialog does once confirmed).
    bool editRow(int row, std::int16_t start, std::int16_t end);
    // Switches the schedule on (runs the overlap test) or off.
    bool setActive(bool on);

    // Saves or loads without asking; errors are returned, not shown. Loading
    // returns the number of bytes at the end of the file that make no whole
    // entry (they are ignored). Loading is refused while the schedule runs.
    Result<void> saveTo(const std::filesystem::path& file);
    Result<std::size_t> loadFrom(const std::filesystem::path& file);
    // The file last loaded or saved: its name when it is in the timer
    // directory, else its whole path.
    const QString& fileName() const { return fileName_; }
    void setFileName(const QString& name) { fileName_ = name; }

    std::array<int, 5> columnWidths() const;
    void setColumnWidths(const std::array<int, 5>& widths);

    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

signals:
    void activeChanged(bool active);
    void scheduleChanged();

private:
    const stations::StationRecord* stationOf(std::size_t entry) const;
    bool refusedWhileActive();
    void editSelected();
    void deleteSelected();
    void saveAs();
    void load();
    std::optional<std::filesystem::path> askFile(bool save);
    void remember(const std::filesystem::path& file);
    void selectEntry(const stations::ScheduleEntry& entry);

    stations::Schedule& schedule_;
    const std::vector<stations::StationRecord>& stations_;
    std::filesystem::path timerDirectory_;
    StationStrings strings_;
    const MessageBoxes& messages_;
    std::vector<std::size_t> rows_;
    QString fileName_;
    DialogRunner runDialog_;
    FileChooser chooseFile_;

    TextTableModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    LitSwitch* switch_ = nullptr;
    std::array<QPushButton*, 4> buttons_{};
};

}  // namespace zeb::ui
