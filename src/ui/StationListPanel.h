// The frequency-list panel of the launcher and the main program: the
// stations of DATA/RCFRQ.DAT as a table (frequency, name, call sign, country,
// type, modulation), filtered and sorted by the list settings, with a status
// line and a row of command buttons.
//
// The panel works on the program's records, settings and file path. Sorting
// reorders the records (the list is saved in the order shown); filtering
// only hides rows. Clicking the header of the first three columns sorts by
// that column; the other three open the filter of their codes.
//
// Commands: New, Edit, Delete, Save, Font, Add to schedule, Tune and Start
// (also double-click or Enter). Start and Tune hand the first selected
// station to the program; Start is refused while a schedule runs.
#pragma once

#include "stations/FrequencyList.h"
#include "stations/StationRecord.h"
#include "ui/StationEditDialog.h"
#include "ui/StationTexts.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeView;

namespace zeb::ui {

class MessageBoxes;

// A read-only table of texts for the list views of the station widgets.
class TextTableModel : public QAbstractTableModel {
public:
    using Cell = std::function<QString(int row, int column)>;

    TextTableModel(QStringList headers, Cell cell, QObject* parent = nullptr);

    // Starts over with `rows` rows (selections are dropped).
    void reset(int rows);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList headers_;
    Cell cell_;
    int rows_ = 0;
};

enum class StationCommand { New, Edit, Delete, Save, Font, AddToSchedule, Tune, Start };

class StationListPanel : public QWidget {
    Q_OBJECT
public:
    using FontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& current)>;

    StationListPanel(std::vector<stations::StationRecord>& records, std::filesystem::path file,
                     stations::ListSettings& settings, const StationStrings& strings,
                     const MessageBoxes& messages, QWidget* parent = nullptr);

    // Sorts, filters and shows the records again (after the program changed
    // the records or the settings); the selected stations stay selected.
    void refresh();
    void run(StationCommand command);
    void headerClicked(int column);

    QPushButton* button(StationCommand command) const;
    QTreeView* view() const { return view_; }
    QString statusText() const;
    // Record indexes of the rows, top to bottom.
    const std::vector<std::size_t>& rows() const { return rows_; }
    const std::filesystem::path& file() const { return file_; }

    // Selection. The first selected station is the one of the lowest row.
    std::optional<std::uint32_t> selectedId() const;
    std::vector<std::uint32_t> selectedIds() const;  // top to bottom
    // Selects the station alone and scrolls to it; false when it is not shown.
    bool selectStation(std::uint32_t id);
    int selectedRow() const;  // -1 for none
    // Limited to the rows; selects nothing when the list shows none.
    void selectRow(int row);

    QFont listFont() const;
    void setListFont(const QFont& font);
    std::array<int, 6> columnWidths() const;
    // Widths of 0 or less (a missing setting) leave the column as it is.
    void setColumnWidths(const std::array<int, 6>& widths);

    // True while a schedule runs (Start is refused then).
    void setScheduleActive(std::function<bool()> active) { scheduleActive_ = std::move(active); }
    // Passed to the station dialog (see StationEditDialog).
    void setReceiverValues(StationEditDialog::ReceiverValues source);
    void setReceiverFrequency(StationEditDialog::ReceiverFrequency source);
    // Replace how dialogs and the font box are shown (tests).
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    void setFontChooser(FontChooser chooser) { chooseFont_ = std::move(chooser); }

signals:
    void startRequested(const zeb::stations::StationRecord& station);
    void tuneRequested(const zeb::stations::StationRecord& station);
    void addToScheduleRequested(std::vector<std::uint32_t> ids);
    // The records changed (new, edited or deleted stations).
    void listChanged();
    // The sort order or a filter changed.
    void settingsChanged();
    void fontChanged(const QFont& font);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString cell(int row, int column) const;
    void rebuild(const std::vector<std::uint32_t>& keepSelected);
    void selectIds(const std::vector<std::uint32_t>& ids);
    const stations::StationRecord* firstSelected();
    void newStation();
    void editStation();
    void deleteStations();
    void saveList();
    void chooseFont();
    void handOver(StationCommand command);
    void chooseFilter(int column);
    std::optional<stations::StationRecord> editInDialog(const stations::StationRecord& r);

    std::vector<stations::StationRecord>& records_;
    std::filesystem::path file_;
    stations::ListSettings& settings_;
    StationStrings strings_;
    const MessageBoxes& messages_;
    std::vector<std::size_t> rows_;

    std::function<bool()> scheduleActive_ = [] { return false; };
    StationEditDialog::ReceiverValues receiverValues_;
    StationEditDialog::ReceiverFrequency receiverFrequency_;
    DialogRunner runDialog_;
    FontChooser chooseFont_;

    TextTableModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLabel* status_ = nullptr;
    std::array<QPushButton*, 8> buttons_{};
};

}  // namespace zeb::ui
