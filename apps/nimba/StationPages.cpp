#include "StationPages.h"

#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "MainWindow.h"
#include "Nimba.h"
#include "ui/SchedulePanel.h"
#include "ui/StationListPanel.h"

namespace zeb::nimba {
namespace {

constexpr const char* kSelection = "SELECTION";
constexpr const char* kListColumns = "FCOLUMN";
constexpr const char* kScheduleColumns = "TCOLUMN";

template <std::size_t N>
std::array<int, N> readColumns(ProfileFile& profile, const char* section) {
    profile.setSection(section);
    std::array<int, N> widths{};
    for (std::size_t i = 0; i < N; ++i) {
        const int w = profile.readInt("C" + std::to_string(i), 0);
        widths[i] = w > 0 && w < 4000 ? w : 0;  // 0: the panel's own width
    }
    return widths;
}

template <std::size_t N>
void writeColumns(ProfileFile& profile, const char* section, const std::array<int, N>& widths) {
    profile.setSection(section);
    for (std::size_t i = 0; i < N; ++i)
        if (!profile.writeInt("C" + std::to_string(i), widths[i])) return;
}

QVBoxLayout* bareLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

}  // namespace

ui::StationTexts nimbaStationTexts() {
    ui::StationTexts t;
    t.columns = {9100, 9101, 9102, 9103, 9104, 9105};
    t.shownCount = 9106;
    t.deleteQuestion = 9107;
    t.saveQuestion = 9108;
    t.saveFailed = 9109;
    t.noSelection = 9110;
    t.scheduleActive = 9111;
    t.overlap = 9112;
    t.scheduleSaveTitle = 9113;
    t.scheduleLoadTitle = 9114;
    return t;
}

FrequencyPage::FrequencyPage(Nimba& nimba, QWidget* parent) : QWidget(parent), nimba_(nimba) {
    stations::LoadedList* list = nimba.frequencyList();
    if (!list) return;
    ProfileFile& profile = nimba.profile();
    settings_ = stations::readListSettings(profile, nullptr);
    const ui::StationStrings strings(nimbaStationTexts(), nimba.bundle());
    panel_ = new ui::StationListPanel(list->records, nimba.workDir() / stations::kFrequencyListPath,
                                      settings_, strings, nimba.messages(), this);
    bareLayout(this)->addWidget(panel_);
    panel_->setScheduleActive([&nimba] { return nimba.scheduleRunning(); });
    panel_->setReceiverFrequency([&nimba]() -> std::optional<double> {
        ReceiverControl* r = nimba.receiver();
        if (!r || !r->controlling()) return std::nullopt;
        return r->frequencyKhz();
    });
    connect(panel_, &ui::StationListPanel::startRequested, this,
            [&nimba](const stations::StationRecord& r) { nimba.startStation(r); });
    connect(panel_, &ui::StationListPanel::tuneRequested, this,
            [&nimba](const stations::StationRecord& r) { nimba.tuneStation(r); });
    connect(panel_, &ui::StationListPanel::addToScheduleRequested, this,
            [this, strings](const std::vector<std::uint32_t>& ids) {
                if (nimba_.scheduleRunning()) {
                    nimba_.messages().showText(strings.text(nimbaStationTexts().scheduleActive,
                                                            "The schedule is running."));
                    return;
                }
                for (std::uint32_t id : ids) nimba_.schedule().addStation(id);
            });
    const auto widths = readColumns<6>(profile, kListColumns);
    if (std::any_of(widths.begin(), widths.end(), [](int w) { return w > 0; }))
        panel_->setColumnWidths(widths);
    profile.setSection(kSelection);
    panel_->selectRow(profile.readInt("LASTSEL", 1) - 1);
}

FrequencyPage::~FrequencyPage() {
    if (!panel_) return;
    ProfileFile& profile = nimba_.profile();
    (void)stations::writeListSettings(profile, settings_);
    profile.setSection(kSelection);
    (void)profile.writeInt("LASTSEL", panel_->selectedRow() + 1);
    writeColumns(profile, kListColumns, panel_->columnWidths());
}

SchedulePage::SchedulePage(Nimba& nimba, QWidget* parent) : QWidget(parent), nimba_(nimba) {
    stations::LoadedList* list = nimba.frequencyList();
    if (!list) return;
    const ui::StationStrings strings(nimbaStationTexts(), nimba.bundle());
    panel_ = new ui::SchedulePanel(nimba.schedule(), list->records,
                                   nimba.workDir() / stations::kScheduleDirectory, strings,
                                   nimba.messages(), this);
    bareLayout(this)->addWidget(panel_);
    panel_->setFileName(QString::fromStdString(nimba.settings().timerName));
    connect(panel_, &ui::SchedulePanel::activeChanged, this, [&nimba](bool on) {
        nimba.settings().timerActive = on ? 1 : 0;
        nimba.modes().setScheduleRunning(on);
    });
    const auto widths = readColumns<5>(nimba.profile(), kScheduleColumns);
    if (std::any_of(widths.begin(), widths.end(), [](int w) { return w > 0; }))
        panel_->setColumnWidths(widths);
}

SchedulePage::~SchedulePage() {
    if (!panel_) return;
    nimba_.settings().timerName = panel_->fileName().toStdString();
    writeColumns(nimba_.profile(), kScheduleColumns, panel_->columnWidths());
}

}  // namespace zeb::nimba
