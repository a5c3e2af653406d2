#include "ui/StationListPanel.h"

#include "common/Codepage.h"
#include "ui/CodeFilterDialog.h"
#include "ui/MessageBoxes.h"

#include <QFontDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace zeb::ui {

using stations::StationRecord;

TextTableModel::TextTableModel(QStringList headers, Cell cell, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)), cell_(std::move(cell)) {}

void TextTableModel::reset(int rows) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) return {};
    return cell_(index.row(), index.column());
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= headers_.size())
        return {};
    return headers_[section];
}

namespace {

struct CommandButton {
    StationCommand command;
    int StationTexts::*caption;
    const char* english;
    const char* name;
};

constexpr CommandButton kCommands[] = {
    {StationCommand::New, &StationTexts::newButton, "&New", "new"},
    {StationCommand::Edit, &StationTexts::editButton, "&Edit", "edit"},
    {StationCommand::Delete, &StationTexts::deleteButton, "&Delete", "delete"},
    {StationCommand::Save, &StationTexts::saveButton, "&Save", "save"},
    {StationCommand::Font, &StationTexts::fontButton, "&Font", "font"},
    {StationCommand::AddToSchedule, &StationTexts::addToScheduleButton, "Add to s&chedule",
     "addToSchedule"},
    {StationCommand::Tune, &StationTexts::tuneButton, "&Tune", "tune"},
    {StationCommand::Start, &StationTexts::startButton, "St&art", "start"},
};

constexpr const char* kColumnNames[6] = {"Frequency", "Name", "Call sign",
                                         "Country",   "Type", "Modulation"};

QTreeView* makeListView(QWidget* parent) {
    auto* view = new QTreeView(parent);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionsClickable(true);
    view->header()->setSectionsMovable(false);
    view->header()->setStretchLastSection(false);
    return view;
}

}  // namespace

StationListPanel::StationListPanel(std::vector<StationRecord>& records, std::filesystem::path file,
                                   stations::ListSettings& settings, const StationStrings& strings,
                                   const MessageBoxes& messages, QWidget* parent)
    : QWidget(parent),
      records_(records),
      file_(std::move(file)),
      settings_(settings),
      strings_(strings),
      messages_(messages) {
    QStringList headers;
    for (int c = 0; c < 6; ++c)
        headers << strings_.text(strings_.numbers().columns[c], kColumnNames[c]);
    model_ = new TextTableModel(
        headers, [this](int r, int c) { return cell(r, c); }, this);
    view_ = makeListView(this);
    view_->setModel(model_);
    view_->installEventFilter(this);
    connect(view_->header(), &QHeaderView::sectionClicked, this, &StationListPanel::headerClicked);
    connect(view_, &QTreeView::doubleClicked, this, [this] { run(StationCommand::Start); });
    status_ = new QLabel(this);

    auto* buttons = new QHBoxLayout;
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        const CommandButton& c = kCommands[i];
        auto* b = new QPushButton(strings_.text(strings_.numbers().*c.caption, c.english), this);
        b->setObjectName(QString::fromLatin1(c.name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, command = c.command] { run(command); });
        buttons_[i] = b;
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    rebuild({});
}

QString StationListPanel::cell(int row, int column) const {
    // The program may change the records before it calls refresh().
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size() ||
        rows_[static_cast<std::size_t>(row)] >= records_.size())
        return {};
    const StationRecord& r = records_[rows_[static_cast<std::size_t>(row)]];
    switch (column) {
        case 0: return QString::fromStdString(stations::frequencyText(r.frequencyKhz));
        case 1: return QString::fromStdString(cp1252ToUtf8(stations::nameText(r)));
        case 2: return QString::fromStdString(cp1252ToUtf8(stations::callSignText(r)));
        case 3: return strings_.countryName(r.country);
        case 4: return strings_.typeName(r.type);
        case 5: return strings_.modulationLabel(r.modulation);
        default: return {};
    }
}

QString StationListPanel::statusText() const {
    return strings_.format(strings_.numbers().shownCount, "%d of %d stations",
                           {static_cast<int>(rows_.size()), static_cast<int>(records_.size())});
}

QPushButton* StationListPanel::button(StationCommand command) const {
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].command == command) return buttons_[i];
    return nullptr;
}

void StationListPanel::refresh() { rebuild(selectedIds()); }

void StationListPanel::rebuild(const std::vector<std::uint32_t>& keepSelected) {
    stations::sortStations(records_, settings_.sort);
    rows_ = stations::filteredIndexes(records_, settings_.filters);
    model_->reset(static_cast<int>(rows_.size()));
    view_->header()->setSortIndicatorShown(true);
    view_->header()->setSortIndicator(static_cast<int>(settings_.sort), Qt::AscendingOrder);
    status_->setText(statusText());
    selectIds(keepSelected);
}

void StationListPanel::selectIds(const std::vector<std::uint32_t>& ids) {
    QItemSelection selection;
    QModelIndex current;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const std::uint32_t id = records_[rows_[row]].id;
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) continue;
        const QModelIndex first = model_->index(static_cast<int>(row), 0);
        selection.select(first, model_->index(static_cast<int>(row), 5));
        if (id == ids.front() && !current.isValid()) current = first;
    }
    view_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!current.isValid() && !selection.isEmpty()) current = selection.indexes().front();
    if (current.isValid()) {
        view_->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        view_->scrollTo(current);
    }
}

std::vector<std::uint32_t> StationListPanel::selectedIds() const {
    QModelIndexList selected = view_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::uint32_t> ids;
    for (const QModelIndex& index : selected) {
        const auto row = static_cast<std::size_t>(index.row());
        if (row < rows_.size() && rows_[row] < records_.size())
            ids.push_back(records_[rows_[row]].id);
    }
    return ids;
}

std::optional<std::uint32_t> StationListPanel::selectedId() const {
    const auto ids = selectedIds();
    if (ids.empty()) return std::nullopt;
    return ids.front();
}

int StationListPanel::selectedRow() const {
    int row = -1;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        if (row < 0 || index.row() < row) row = index.row();
    return row;
}

bool StationListPanel::selectStation(std::uint32_t id) {
    selectIds({id});
    return selectedId() == id;
}

void StationListPanel::selectRow(int row) {
    if (rows_.empty()) {
        view_->clearSelection();
        return;
    }
    row = std::clamp(row, 0, static_cast<int>(rows_.size()) - 1);
    selectIds({records_[rows_[static_cast<std::size_t>(row)]].id});
}

const StationRecord* StationListPanel::firstSelected() {
    const auto id = selectedId();
    const auto at = id ? stations::findStation(records_, *id) : std::nullopt;
    if (!at) {
        messages_.showText(
            strings_.text(strings_.numbers().noSelection, "Select a station first."));
        return nullptr;
    }
    return &records_[*at];
}

QFont StationListPanel::listFont() const { return view_->font(); }

void StationListPanel::setListFont(const QFont& font) { view_->setFont(font); }

std::array<int, 6> StationListPanel::columnWidths() const {
    std::array<int, 6> widths{};
    for (int c = 0; c < 6; ++c)
        widths[static_cast<std::size_t>(c)] = view_->header()->sectionSize(c);
    return widths;
}

void StationListPanel::setColumnWidths(const std::array<int, 6>& widths) {
    for (int c = 0; c < 6; ++c)
        if (widths[static_cast<std::size_t>(c)] > 0)
            view_->header()->resizeSection(c, widths[static_cast<std::size_t>(c)]);
}

void StationListPanel::setReceiverValues(StationEditDialog::ReceiverValues source) {
    receiverValues_ = std::move(source);
}

void StationListPanel::setReceiverFrequency(StationEditDialog::ReceiverFrequency source) {
    receiverFrequency_ = std::move(source);
}

bool StationListPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            run(StationCommand::Start);
            return true;
        }
        if (key == Qt::Key_Delete) {
            run(StationCommand::Delete);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void StationListPanel::run(StationCommand command) {
    switch (command) {
        case StationCommand::New: newStation(); break;
        case StationCommand::Edit: editStation(); break;
        case StationCommand::Delete: deleteStations(); break;
        case StationCommand::Save: saveList(); break;
        case StationCommand::Font: chooseFont(); break;
        case StationCommand::AddToSchedule: {
            const auto ids = selectedIds();
            if (ids.empty())
                messages_.showText(
                    strings_.text(strings_.numbers().noSelection, "Select a station first."));
            else
                emit addToScheduleRequested(ids);
            break;
        }
        case StationCommand::Tune:
        case StationCommand::Start: handOver(command); break;
    }
}

void StationListPanel::handOver(StationCommand command) {
    if (command == StationCommand::Start && scheduleActive_ && scheduleActive_()) {
        messages_.showText(strings_.text(strings_.numbers().scheduleActive,
                                         "This is not possible while the schedule is running."));
        return;
    }
    const StationRecord* selected = firstSelected();
    if (!selected) return;
    const StationRecord station = *selected;  // the program may change the list
    if (command == StationCommand::Start)
        emit startRequested(station);
    else
        emit tuneRequested(station);
}

std::optional<StationRecord> StationListPanel::editInDialog(const StationRecord& r) {
    StationEditDialog dialog(r, strings_, messages_, this);
    dialog.setReceiverValues(receiverValues_);
    dialog.setReceiverFrequency(receiverFrequency_);
    if (runDialog(runDialog_, dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.record();
}

void StationListPanel::newStation() {
    const auto id = stations::newStationId(records_);
    if (!id) {
        messages_.showText(strings_.text(
            strings_.numbers().listFull,
            "The frequency list is full: it holds the greatest number of stations (8191)."));
        return;
    }
    StationRecord fresh;
    fresh.id = *id;
    const auto edited = editInDialog(fresh);
    if (!edited) return;
    records_.push_back(*edited);
    rebuild({edited->id});
    emit listChanged();
}

void StationListPanel::editStation() {
    const StationRecord* selected = firstSelected();
    if (!selected) return;
    const auto edited = editInDialog(*selected);
    if (!edited) return;
    if (const auto at = stations::findStation(records_, edited->id)) records_[*at] = *edited;
    rebuild(selectedIds());
    emit listChanged();
}

void StationListPanel::deleteStations() {
    const auto ids = selectedIds();
    if (ids.empty()) {
        messages_.showText(
            strings_.text(strings_.numbers().noSelection, "Select a station first."));
        return;
    }
    if (!messages_.ask(strings_.format(strings_.numbers().deleteQuestion,
                                       "Delete the %d selected stations?",
                                       {static_cast<int>(ids.size())})))
        return;
    const int row = selectedRow();
    std::erase_if(records_, [&ids](const StationRecord& r) {
        return std::find(ids.begin(), ids.end(), r.id) != ids.end();
    });
    rebuild({});
    selectRow(row);
    emit listChanged();
}

void StationListPanel::saveList() {
    if (!messages_.ask(strings_.text(strings_.numbers().saveQuestion, "Save the frequency list?")))
        return;
    if (auto saved = stations::saveFrequencyList(file_, records_); !saved) {
        messages_.showText(
            strings_.text(strings_.numbers().saveFailed, "The frequency list could not be saved.") +
            QLatin1Char('\n') + QString::fromStdString(saved.error().message));
    }
}

void StationListPanel::chooseFont() {
    std::optional<QFont> font;
    if (chooseFont_) {
        font = chooseFont_(this, listFont());
    } else {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, listFont(), this);
        if (ok) font = chosen;
    }
    if (!font) return;
    setListFont(*font);
    emit fontChanged(*font);
}

void StationListPanel::headerClicked(int column) {
    if (column >= 0 && column <= 2) {
        settings_.sort = static_cast<stations::SortOrder>(column);
        rebuild(selectedIds());
        emit settingsChanged();
        return;
    }
    if (column >= 3 && column <= 5) chooseFilter(column);
}

void StationListPanel::chooseFilter(int column) {
    std::vector<CodeFilterDialog::Code> codes;
    std::span<std::uint8_t> set;
    if (column == 3) {
        set = settings_.filters.countries;
        for (int code = 0; code < 256; ++code)
            if (QString name = strings_.countryName(code); !name.isEmpty())
                codes.push_back({code, name});
    } else {
        const bool types = column == 4;
        set = types ? std::span<std::uint8_t>(settings_.filters.types)
                    : std::span<std::uint8_t>(settings_.filters.modulations);
        const int count = types ? stations::kTypeCodeCount : stations::kModulationCodeCount;
        for (int code = 0; code < count; ++code) {
            const QString name = types ? strings_.typeName(code) : strings_.modulationLabel(code);
            codes.push_back({code, name.isEmpty() ? QString::number(code) : name});
        }
    }
    const StationTexts& t = strings_.numbers();
    CodeFilterDialog dialog(model_->headerData(column, Qt::Horizontal).toString(), codes, set,
                            strings_.text(t.filterAll, "&All"),
                            strings_.text(t.filterNone, "N&one"), this);
    if (runDialog(runDialog_, dialog) != QDialog::Accepted) return;
    const auto bits = dialog.bits();
    std::copy_n(bits.begin(), std::min(bits.size(), set.size()), set.begin());
    rebuild(selectedIds());
    emit settingsChanged();
}

}  // namespace zeb::ui
