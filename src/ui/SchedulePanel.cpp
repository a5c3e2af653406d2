#include "ui/SchedulePanel.h"

#include "common/Codepage.h"
#include "stations/FrequencyList.h"
#include "ui/DialogLoader.h"
#include "ui/MessageBoxes.h"
#include "ui/PanelControls.h"
#include "ui/StationListPanel.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace zeb::ui {

using stations::ScheduleEntry;
using stations::StationRecord;

namespace {

constexpr const char* kColumnNames[5] = {"Start", "End", "Station", "Frequency", "Modulation"};

struct CommandButton {
    ScheduleCommand command;
    int StationTexts::*caption;
    const char* english;
    const char* name;
};

constexpr CommandButton kCommands[] = {
    {ScheduleCommand::Edit, &StationTexts::scheduleEditButton, "&Edit", "edit"},
    {ScheduleCommand::Delete, &StationTexts::scheduleDeleteButton, "&Delete", "delete"},
    {ScheduleCommand::Save, &StationTexts::scheduleSaveButton, "&Save", "save"},
    {ScheduleCommand::Load, &StationTexts::scheduleLoadButton, "&Load", "load"},
};

QString shownTime(int hhmm) {
    if (!stations::isValidTime(hhmm)) return QStringLiteral("--:--");
    return QString::fromStdString(stations::timeText(hhmm));
}

// Start and end of an entry as "%2d:%02d"; confirming reads them back and
// refuses anything that is not a valid time.
class TimeDialog : public QDialog {
public:
    TimeDialog(const ScheduleEntry& entry, const StationStrings& strings,
               const MessageBoxes& messages, QWidget* parent)
        : QDialog(parent), strings_(strings), messages_(messages) {
        const StationTexts& t = strings.numbers();
        setWindowTitle(strings.text(t.timeTitle, "Reception time (UTC)"));
        auto* form = new QFormLayout;
        for (auto [id, edit, hhmm] : {std::tuple{kStartTimeField, &start_, entry.start},
                                      std::tuple{kEndTimeField, &end_, entry.end}}) {
            *edit = new QLineEdit(shownTime(hhmm).trimmed(), this);
            (*edit)->setObjectName(controlName(id));
        }
        form->addRow(strings.text(t.startLabel, "Start"), start_);
        form->addRow(strings.text(t.endLabel, "End"), end_);
        auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(box, &QDialogButtonBox::accepted, this, &TimeDialog::accept);
        connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(box);
    }

    void accept() override {
        const auto start = stations::parseTimeText(start_->text().toStdString());
        const auto end = stations::parseTimeText(end_->text().toStdString());
        if (!start || !end) {
            messages_.showText(strings_.text(strings_.numbers().invalidTime,
                                             "Enter the times as hh:mm, from 0:00 to 23:59."));
            return;
        }
        start_time = *start;
        end_time = *end;
        QDialog::accept();
    }

    std::int16_t start_time = 0;
    std::int16_t end_time = 0;

private:
    const StationStrings& strings_;
    const MessageBoxes& messages_;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
};

}  // namespace

SchedulePanel::SchedulePanel(stations::Schedule& schedule,
                             const std::vector<StationRecord>& stations,
                             std::filesystem::path timerDirectory, const StationStrings& strings,
                             const MessageBoxes& messages, QWidget* parent)
    : QWidget(parent),
      schedule_(schedule),
      stations_(stations),
      timerDirectory_(std::move(timerDirectory)),
      strings_(strings),
      messages_(messages) {
    const StationTexts& t = strings_.numbers();
    QStringList headers;
    for (int c = 0; c < 5; ++c) headers << strings_.text(t.scheduleColumns[c], kColumnNames[c]);
    model_ = new TextTableModel(
        headers, [this](int r, int c) { return cell(r, c); }, this);
    view_ = new QTreeView(this);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setModel(model_);
    connect(view_, &QTreeView::doubleClicked, this, [this] { run(ScheduleCommand::Edit); });

    auto* buttons = new QHBoxLayout;
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        const CommandButton& c = kCommands[i];
        auto* b = new QPushButton(strings_.text(t.*c.caption, c.english), this);
        b->setObjectName(QString::fromLatin1(c.name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, command = c.command] { run(command); });
        buttons_[i] = b;
        buttons->addWidget(b);
    }
    switch_ = new LitSwitch(this);
    switch_->setText(strings_.text(t.scheduleSwitch, "Acti&ve"));
    switch_->setObjectName(QStringLiteral("active"));
    connect(switch_, &QPushButton::clicked, this, [this] { setActive(!schedule_.active()); });
    buttons->addStretch();
    buttons->addWidget(switch_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    refresh();
}

const StationRecord* SchedulePanel::stationOf(std::size_t entry) const {
    const auto& entries = schedule_.entries();
    if (entry >= entries.size()) return nullptr;
    const auto at = stations::findStation(stations_, entries[entry].stationId);
    return at ? &stations_[*at] : nullptr;
}

void SchedulePanel::refresh() {
    const int selected = selectedRow();
    const auto& entries = schedule_.entries();
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&entries](std::size_t a, std::size_t b) {
        return entries[a].start < entries[b].start;
    });
    rows_.clear();
    for (std::size_t i : order)
        if (stationOf(i)) rows_.push_back(i);
    model_->reset(static_cast<int>(rows_.size()));
    switch_->setLit(schedule_.active());
    if (selected >= 0) selectRow(selected);
}

QString SchedulePanel::cell(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
    const std::size_t index = rows_[static_cast<std::size_t>(row)];
    const StationRecord* station = stationOf(index);
    if (!station) return {};  // changed outside, before refresh()
    const ScheduleEntry& e = schedule_.entries()[index];
    switch (column) {
        case 0: return shownTime(e.start);
        case 1: return shownTime(e.end);
        case 2: return QString::fromStdString(cp1252ToUtf8(stations::nameText(*station)));
        case 3: return QString::fromStdString(stations::frequencyText(station->frequencyKhz));
        case 4: return strings_.modulationLabel(station->modulation);
        default: return {};
    }
}

QPushButton* SchedulePanel::button(ScheduleCommand command) const {
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].command == command) return buttons_[i];
    return nullptr;
}

int SchedulePanel::selectedRow() const {
    int row = -1;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        if (row < 0 || index.row() < row) row = index.row();
    return row;
}

void SchedulePanel::selectRow(int row) {
    if (rows_.empty()) {
        view_->clearSelection();
        return;
    }
    row = std::clamp(row, 0, static_cast<int>(rows_.size()) - 1);
    const QModelIndex index = model_->index(row, 0);
    view_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(index);
}

void SchedulePanel::selectEntry(const ScheduleEntry& entry) {
    const auto& entries = schedule_.entries();
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const ScheduleEntry& e = entries[rows_[row]];
        if (e.stationId == entry.stationId && e.start == entry.start && e.end == entry.end) {
            selectRow(static_cast<int>(row));
            return;
        }
    }
}

std::array<int, 5> SchedulePanel::columnWidths() const {
    std::array<int, 5> widths{};
    for (int c = 0; c < 5; ++c)
        widths[static_cast<std::size_t>(c)] = view_->header()->sectionSize(c);
    return widths;
}

void SchedulePanel::setColumnWidths(const std::array<int, 5>& widths) {
    for (int c = 0; c < 5; ++c)
        if (widths[static_cast<std::size_t>(c)] > 0)
            view_->header()->resizeSection(c, widths[static_cast<std::size_t>(c)]);
}

bool SchedulePanel::refusedWhileActive() {
    if (!schedule_.active()) return false;
    messages_.showText(strings_.text(strings_.numbers().scheduleActive,
                                     "This is not possible while the schedule is running."));
    return true;
}

void SchedulePanel::run(ScheduleCommand command) {
    if (refusedWhileActive()) return;
    switch (command) {
        case ScheduleCommand::Edit: editSelected(); break;
        case ScheduleCommand::Delete: deleteSelected(); break;
        case ScheduleCommand::Save: saveAs(); break;
        case ScheduleCommand::Load: load(); break;
    }
}

bool SchedulePanel::addStations(const std::vector<std::uint32_t>& ids) {
    if (refusedWhileActive()) return false;
    if (ids.empty()) return true;
    for (std::uint32_t id : ids) schedule_.addStation(id);
    refresh();
    emit scheduleChanged();
    return true;
}

bool SchedulePanel::editRow(int row, std::int16_t start, std::int16_t end) {
    if (refusedWhileActive()) return false;
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return false;
    if (!stations::isValidTime(start) || !stations::isValidTime(end)) return false;
    ScheduleEntry edited = schedule_.entries()[rows_[static_cast<std::size_t>(row)]];
    edited.start = start;
    edited.end = end;
    // The times are kept even when the test fails, so the user can correct them.
    const auto result = schedule_.edit(rows_[static_cast<std::size_t>(row)], start, end);
    refresh();
    selectEntry(edited);
    emit scheduleChanged();
    if (result) return true;
    if (result.error().code == stations::ScheduleError::Overlap)
        messages_.showText(strings_.text(
            strings_.numbers().overlap,
            "The schedule has a window of zero length, an invalid time or windows that overlap."));
    else
        messages_.showText(QString::fromStdString(result.error().message));
    return false;
}

void SchedulePanel::editSelected() {
    const int row = selectedRow();
    if (row < 0) {
        messages_.showText(strings_.text(strings_.numbers().noSelection, "Select an entry first."));
        return;
    }
    TimeDialog dialog(schedule_.entries()[rows_[static_cast<std::size_t>(row)]], strings_,
                      messages_, this);
    if (runDialog(runDialog_, dialog) != QDialog::Accepted) return;
    editRow(row, dialog.start_time, dialog.end_time);
}

void SchedulePanel::deleteSelected() {
    std::vector<std::size_t> entries;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        if (static_cast<std::size_t>(index.row()) < rows_.size())
            entries.push_back(rows_[static_cast<std::size_t>(index.row())]);
    if (entries.empty()) {
        messages_.showText(strings_.text(strings_.numbers().noSelection, "Select an entry first."));
        return;
    }
    const int row = selectedRow();
    std::sort(entries.begin(), entries.end(), std::greater<>());
    for (std::size_t i : entries) (void)schedule_.remove(i);
    view_->clearSelection();
    refresh();
    selectRow(row);
    emit scheduleChanged();
}

bool SchedulePanel::setActive(bool on) {
    if (on != schedule_.active()) {
        if (on) {
            if (!schedule_.activate()) {
                switch_->setLit(false);
                messages_.showText(strings_.text(strings_.numbers().overlap,
                                                 "The schedule has a window of zero length, an "
                                                 "invalid time or windows that overlap."));
                return false;
            }
        } else {
            schedule_.deactivate();
        }
        emit activeChanged(on);
    }
    switch_->setLit(on);
    return true;
}

Result<void> SchedulePanel::saveTo(const std::filesystem::path& file) {
    return stations::saveSchedule(file, schedule_.entries());
}

Result<std::size_t> SchedulePanel::loadFrom(const std::filesystem::path& file) {
    auto loaded = stations::loadSchedule(file);
    if (!loaded) return loaded.error();
    if (auto replaced = schedule_.replace(std::move(loaded->entries)); !replaced)
        return replaced.error();
    refresh();
    emit scheduleChanged();
    return loaded->droppedBytes;
}

std::optional<std::filesystem::path> SchedulePanel::askFile(bool save) {
    const StationTexts& t = strings_.numbers();
    const QString title = save ? strings_.text(t.scheduleSaveTitle, "Save the schedule")
                               : strings_.text(t.scheduleLoadTitle, "Load a schedule");
    if (chooseFile_) return chooseFile_(save, title, timerDirectory_);
    const QString start =
        QString::fromStdString((timerDirectory_ / fileName_.toStdString()).string());
    const QString filter = QStringLiteral("Timer (*.TIM)");
    const QString chosen = save ? QFileDialog::getSaveFileName(this, title, start, filter)
                                : QFileDialog::getOpenFileName(this, title, start, filter);
    if (chosen.isEmpty()) return std::nullopt;
    return std::filesystem::path(chosen.toStdString());
}

void SchedulePanel::remember(const std::filesystem::path& file) {
    const bool inDirectory =
        file.parent_path().lexically_normal() == timerDirectory_.lexically_normal();
    fileName_ = QString::fromStdString(inDirectory ? file.filename().string() : file.string());
}

void SchedulePanel::saveAs() {
    auto file = askFile(true);
    if (!file) return;
    if (!file->has_extension()) file->replace_extension(stations::kScheduleExtension);
    if (auto saved = saveTo(*file); !saved) {
        messages_.showText(strings_.text(strings_.numbers().scheduleSaveFailed,
                                         "The schedule could not be saved.") +
                           QLatin1Char('\n') + QString::fromStdString(saved.error().message));
        return;
    }
    remember(*file);
}

void SchedulePanel::load() {
    const auto file = askFile(false);
    if (!file) return;
    const auto loaded = loadFrom(*file);
    if (!loaded) {
        messages_.showText(strings_.text(strings_.numbers().scheduleLoadFailed,
                                         "The schedule could not be loaded.") +
                           QLatin1Char('\n') + QString::fromStdString(loaded.error().message));
        return;
    }
    remember(*file);
    if (*loaded > 0)
        messages_.showText(
            strings_.format(strings_.numbers().scheduleIncomplete,
                            "The last %d bytes of the file make no whole entry and were ignored.",
                            {static_cast<int>(*loaded)}));
}

}  // namespace zeb::ui
