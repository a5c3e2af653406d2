// The frequency-list and schedule panels and their dialogs, offscreen: the
// commands as the user gives them (buttons, header clicks, double-click,
// Enter), with the message boxes recorded and the dialogs filled in by the
// test instead of a modal loop.
#include "stations/FrequencyList.h"
#include "stations/Schedule.h"
#include "support/BoxRecorder.h"
#include "support/TestEnv.h"
#include "ui/CodeFilterDialog.h"
#include "ui/DialogLoader.h"
#include "ui/MessageBoxes.h"
#include "ui/PanelControls.h"
#include "ui/SchedulePanel.h"
#include "ui/StationEditDialog.h"
#include "ui/StationListPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace zeb::ui {
namespace {

using stations::StationRecord;

StationRecord station(std::uint32_t id, double kHz, const char* name, const char* call,
                      std::uint8_t country, std::uint8_t modulation) {
    StationRecord r;
    r.id = id;
    r.frequencyKhz = kHz;
    stations::setName(r, name);
    stations::setCallSign(r, call);
    r.country = country;
    r.modulation = modulation;
    return r;
}

std::vector<StationRecord> someStations() {
    return {station(1, 4583.0, "DDK2 Pinneberg", "DDK2", 1, 5),
            station(2, 147.3, "Hamburg", "DDH47", 1, 3), station(3, 8040.0, "Boston", "NMF", 5, 6),
            station(4, 518.0, "Ankara", "TAH", 24, 16)};
}

void setText(QDialog& d, int id, const QString& text) {
    ASSERT_NE(controlAs<QLineEdit>(&d, id), nullptr) << id;
    controlAs<QLineEdit>(&d, id)->setText(text);
}

// Confirms a dialog as the OK button does and returns its result.
int confirm(QDialog& d) {
    d.accept();
    return d.result();
}

class StationListTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::BoxRecorder boxes;
    MessageBoxes messages{QStringLiteral("Test")};
    std::vector<StationRecord> records = someStations();
    stations::ListSettings settings;
    StationListPanel panel{records, dir / "RCFRQ.DAT", settings, StationStrings({}, nullptr),
                           messages};

    std::vector<std::string> shownNames() const {
        std::vector<std::string> names;
        for (std::size_t i : panel.rows()) names.push_back(stations::nameText(records[i]));
        return names;
    }
    void click(StationCommand c) { panel.button(c)->click(); }
};

TEST_F(StationListTest, HeaderClicksSortAndKeepTheSelectedStation) {
    EXPECT_EQ(panel.statusText(), QStringLiteral("4 of 4 stations"));
    EXPECT_EQ(shownNames(),
              (std::vector<std::string>{"Hamburg", "Ankara", "DDK2 Pinneberg", "Boston"}));
    ASSERT_TRUE(panel.selectStation(3));
    const struct {
        int column;
        std::vector<std::string> names;
    } cases[] = {{1, {"Ankara", "Boston", "DDK2 Pinneberg", "Hamburg"}},
                 {2, {"Hamburg", "DDK2 Pinneberg", "Boston", "Ankara"}},
                 {0, {"Hamburg", "Ankara", "DDK2 Pinneberg", "Boston"}}};
    for (const auto& c : cases) {
        emit panel.view()->header()->sectionClicked(c.column);
        EXPECT_EQ(shownNames(), c.names) << c.column;
        EXPECT_EQ(static_cast<int>(settings.sort), c.column);
        EXPECT_EQ(panel.selectedId(), 3u);
        EXPECT_EQ(stations::nameText(records[panel.rows()[panel.selectedRow()]]), "Boston");
    }
    panel.selectRow(99);
    EXPECT_EQ(panel.selectedId(), 3u);  // the last row
}

TEST_F(StationListTest, FilterDialogsHideRowsButKeepTheRecords) {
    const auto before = records;
    const struct {
        int column;
        int uncheckCode;  // -1: "none"
        int rows;
    } cases[] = {{5, 3, 3}, {3, 1, 2}, {5, -1, 0}};
    for (const auto& c : cases) {
        panel.setDialogRunner([&c](QDialog& d) {
            auto& filter = dynamic_cast<CodeFilterDialog&>(d);
            if (c.uncheckCode < 0) filter.findChild<QPushButton*>("none")->click();
            for (int i = 0; i < filter.list()->count(); ++i)
                if (filter.list()->item(i)->data(Qt::UserRole).toInt() == c.uncheckCode)
                    filter.list()->item(i)->setCheckState(Qt::Unchecked);
            return confirm(d);
        });
        emit panel.view()->header()->sectionClicked(c.column);
        EXPECT_EQ(panel.rows().size(), static_cast<std::size_t>(c.rows)) << c.column;
    }
    EXPECT_EQ(panel.statusText(), QStringLiteral("0 of 4 stations"));
    EXPECT_EQ(records, before);
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(StationListTest, CommandsWithoutSelectionOrWhileScheduleRunsAreRefused) {
    int emitted = 0;
    QObject::connect(&panel, &StationListPanel::startRequested, [&] { ++emitted; });
    QObject::connect(&panel, &StationListPanel::tuneRequested, [&] { ++emitted; });
    QObject::connect(&panel, &StationListPanel::addToScheduleRequested, [&] { ++emitted; });
    for (auto c : {StationCommand::Start, StationCommand::Tune, StationCommand::Edit,
                   StationCommand::Delete, StationCommand::AddToSchedule})
        click(c);
    EXPECT_EQ(boxes.texts, QStringList(5, QStringLiteral("Select a station first.")));
    panel.selectRow(0);
    panel.setScheduleActive([] { return true; });
    click(StationCommand::Start);
    EXPECT_EQ(boxes.texts.back(), "This is not possible while the schedule is running.");
    EXPECT_EQ(emitted, 0);
}

TEST_F(StationListTest, StartAndScheduleGetTheSelectedStations) {
    std::vector<StationRecord> started;
    std::vector<std::uint32_t> scheduled;
    QObject::connect(&panel, &StationListPanel::startRequested,
                     [&](const StationRecord& r) { started.push_back(r); });
    QObject::connect(&panel, &StationListPanel::addToScheduleRequested,
                     [&](std::vector<std::uint32_t> ids) { scheduled = ids; });
    panel.resize(600, 300);
    panel.show();
    QApplication::processEvents();

    // Double-click on the third row (DDK2).
    QWidget* viewport = panel.view()->viewport();
    const QPointF at = panel.view()->visualRect(panel.view()->model()->index(2, 1)).center();
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                      QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
    }
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], records[panel.rows()[2]]);
    EXPECT_EQ(started[0].id, 1u);

    // Two stations selected: Start and Enter take the upper one.
    panel.view()->selectionModel()->select(panel.view()->model()->index(3, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    panel.view()->selectionModel()->select(panel.view()->model()->index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    click(StationCommand::Start);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(panel.view(), &enter);
    click(StationCommand::AddToSchedule);
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[1].id, 4u);
    EXPECT_EQ(started[2].id, 4u);
    EXPECT_EQ(scheduled, (std::vector<std::uint32_t>{4, 1, 3}));
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(StationListTest, DeleteNewAndSaveChangeTheList) {
    int changes = 0;
    QObject::connect(&panel, &StationListPanel::listChanged, [&] { ++changes; });
    panel.selectStation(2);
    panel.view()->selectionModel()->select(panel.view()->model()->index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    click(StationCommand::Delete);
    EXPECT_EQ(boxes.texts.back(), "Delete the 2 selected stations?");
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"DDK2 Pinneberg", "Boston"}));

    // New takes the smallest free id; its dialog is filled in here.
    panel.setDialogRunner([](QDialog& d) {
        setText(d, kFrequencyField, "12.5");
        d.findChild<QRadioButton*>("c1012")->setChecked(true);  // MHz
        setText(d, kNameField, "Northwood");
        return confirm(d);
    });
    click(StationCommand::New);
    EXPECT_EQ(changes, 2);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(panel.selectedId(), 2u);
    EXPECT_DOUBLE_EQ(records[panel.rows()[panel.selectedRow()]].frequencyKhz, 12500.0);

    click(StationCommand::Save);
    EXPECT_EQ(boxes.texts.back(), "Save the frequency list?");
    const auto loaded = stations::loadFrequencyList(dir / "RCFRQ.DAT");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->records, records);

    test::writeFile(dir / "plain", "x");
    StationListPanel broken(records, dir / "plain" / "RCFRQ.DAT", settings,
                            StationStrings({}, nullptr), messages);
    broken.run(StationCommand::Save);
    EXPECT_TRUE(boxes.texts.back().startsWith("The frequency list could not be saved.\n"));
}

// The station dialog on a record whose unused bytes are all set.
StationRecord withUnusedBytes(std::uint8_t modulation) {
    std::array<std::uint8_t, stations::kStationRecordSize> bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37);
    StationRecord r = stations::decodeStationRecord(bytes);
    r = StationRecord{.id = 7, .frequencyKhz = 7880.35, .unused = r.unused};
    stations::setName(r, "Pinneberg");
    r.modulation = modulation;
    r.stopBits = 1.33f;
    r.codeVariant = stations::kVariantSyncBaudot;
    return r;
}

struct EditCase {
    std::uint8_t modulation;
    bool synchronous;
    bool inverted;
    std::uint16_t variant;
    std::uint8_t polarity;
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << "modulation " << int{c.modulation} << (c.synchronous ? " sync" : "")
        << (c.inverted ? " inverted" : "");
}

class StationDialogSync : public ::testing::TestWithParam<EditCase> {};

TEST_P(StationDialogSync, TeleprinterFieldsAndSwitches) {
    const EditCase c = GetParam();
    MessageBoxes messages{QStringLiteral("Test")};
    const StationRecord original = withUnusedBytes(c.modulation);
    StationEditDialog d(original, StationStrings({}, nullptr), messages);
    EXPECT_EQ(controlAs<QLineEdit>(&d, kStopBitsField)->text(), "1.3");
    setText(d, kSpeedField, "75");
    d.findChild<QCheckBox*>("c1033")->setChecked(c.synchronous);
    d.findChild<QCheckBox*>("c1032")->setChecked(c.inverted);
    ASSERT_EQ(confirm(d), QDialog::Accepted);
    StationRecord expected = original;
    expected.speed = 75;
    expected.codeVariant = c.variant;
    expected.polarity = c.polarity;
    EXPECT_EQ(stations::encodeStationRecord(d.record()), stations::encodeStationRecord(expected));
}

INSTANTIATE_TEST_SUITE_P(StationSwitches, StationDialogSync,
                         ::testing::Values(EditCase{3, true, false, 1, 1},
                                           EditCase{3, false, true, 0, 0},
                                           EditCase{16, false, false, 2, 1}));

TEST(StationDialog, FaxFieldsBadNumbersAndTheReceiverFrequency) {
    test::BoxRecorder boxes;
    MessageBoxes messages{QStringLiteral("Test")};
    StationRecord original = withUnusedBytes(5);
    original.frequencyKhz = 0.0;
    StationEditDialog d(original, StationStrings({}, nullptr), messages);
    EXPECT_FALSE(d.findChild<QWidget*>("teleprinter")->isEnabled());
    setText(d, kSpeedField, "abc");  // in the disabled group: not read
    setText(d, kFaxIocField, "99999");
    EXPECT_NE(confirm(d), QDialog::Accepted);
    EXPECT_EQ(boxes.texts.back(), "Index of cooperation: enter a number from 0 to 2000.");
    setText(d, kFaxIocField, "288");
    setText(d, kFaxSpeedField, "60");
    d.findChild<QCheckBox*>("c1037")->setChecked(true);
    EXPECT_NE(confirm(d), QDialog::Accepted);
    EXPECT_EQ(boxes.texts.back(), "Enter the frequency of the station.");
    d.setReceiverFrequency([] { return std::optional<double>(8040.0); });
    ASSERT_EQ(confirm(d), QDialog::Accepted);
    StationRecord expected = original;
    expected.faxIoc = 288;
    expected.speed = 60;
    expected.faxOption = 1;
    expected.frequencyKhz = 8040.0;
    EXPECT_EQ(stations::encodeStationRecord(d.record()), stations::encodeStationRecord(expected));
}

class ScheduleTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::BoxRecorder boxes;
    MessageBoxes messages{QStringLiteral("Test")};
    std::vector<StationRecord> list = someStations();
    stations::Schedule schedule;
    SchedulePanel panel{schedule, list, dir.path(), StationStrings({}, nullptr), messages};
    std::vector<bool> switched;

    void SetUp() override {
        QObject::connect(&panel, &SchedulePanel::activeChanged,
                         [this](bool on) { switched.push_back(on); });
        ASSERT_TRUE(panel.addStations({2, 3}));
    }
    // Edits a row through the dialog.
    void edit(int row, const char* start, const char* end) {
        panel.setDialogRunner([&](QDialog& d) {
            setText(d, kStartTimeField, start);
            setText(d, kEndTimeField, end);
            return confirm(d);
        });
        panel.selectRow(row);
        panel.button(ScheduleCommand::Edit)->click();
    }
    QStringList row(int r) const {
        QStringList cells;
        for (int c = 0; c < 5; ++c) cells << panel.cell(r, c);
        return cells;
    }
};

TEST_F(ScheduleTest, EditsAreCheckedForBadTimesAndOverlaps) {
    panel.activeSwitch()->click();  // 0:00-0:00 windows cannot run
    EXPECT_FALSE(schedule.active());
    EXPECT_FALSE(panel.activeSwitch()->isLit());
    EXPECT_TRUE(switched.empty());
    const QString overlap =
        "The schedule has a window of zero length, an invalid time or windows that overlap.";
    EXPECT_EQ(boxes.texts, QStringList{overlap});

    edit(0, "25:00", "1:00");
    EXPECT_EQ(boxes.texts.back(), "Enter the times as hh:mm, from 0:00 to 23:59.");
    EXPECT_EQ(row(0)[0], " 0:00");
    boxes.texts.clear();
    edit(1, "10:00", "11:00");  // Boston; Hamburg still has no window
    edit(0, "10:30", "12:00");  // Hamburg
    EXPECT_EQ(boxes.texts, (QStringList{overlap, overlap}));
    EXPECT_EQ(row(0), (QStringList{"10:00", "11:00", "Boston", "8040.0 KHz", "Fax F1C"}));
    EXPECT_EQ(row(1), (QStringList{"10:30", "12:00", "Hamburg", "147.3 KHz", "RTTY"}));
    edit(1, "11:00", "12:00");
    EXPECT_EQ(boxes.texts.size(), 2);
    EXPECT_FALSE(schedule.active());

    ASSERT_TRUE(panel.addStations({99}));  // not in the list: kept, not shown
    EXPECT_EQ(schedule.entries().size(), 3u);
    EXPECT_EQ(panel.rows().size(), 2u);
}

TEST_F(ScheduleTest, SavedScheduleLoadsBackAndRunningOneIsLocked) {
    edit(0, "22:00", "2:00");
    edit(0, "6:00", "7:00");  // the other station, now first
    std::filesystem::path chosen = dir / "night";
    panel.setFileChooser([&](bool, const QString&, const std::filesystem::path& where) {
        EXPECT_EQ(where, dir.path());
        return std::optional(chosen);
    });
    panel.button(ScheduleCommand::Save)->click();
    EXPECT_EQ(panel.fileName(), "night.TIM");
    const auto saved = schedule.entries();
    ASSERT_TRUE(panel.addStations({4}));
    chosen = dir / "night.TIM";
    panel.button(ScheduleCommand::Load)->click();
    EXPECT_EQ(schedule.entries(), saved);

    panel.activeSwitch()->click();
    EXPECT_TRUE(schedule.active());
    EXPECT_TRUE(panel.activeSwitch()->isLit());
    boxes.texts.clear();
    for (auto c : {ScheduleCommand::Edit, ScheduleCommand::Delete, ScheduleCommand::Save,
                   ScheduleCommand::Load})
        panel.button(c)->click();
    EXPECT_FALSE(panel.addStations({4}));
    EXPECT_EQ(boxes.texts, QStringList(5, "This is not possible while the schedule is running."));
    EXPECT_EQ(schedule.entries(), saved);
    panel.activeSwitch()->click();
    EXPECT_EQ(switched, (std::vector<bool>{true, false}));

    panel.selectRow(0);
    panel.button(ScheduleCommand::Delete)->click();
    EXPECT_EQ(schedule.entries().size(), saved.size() - 1);
}

}  // namespace
}  // namespace zeb::ui
