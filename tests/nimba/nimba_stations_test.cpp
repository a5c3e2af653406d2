// Stations in the running main program: starting one from the frequency
// list tunes the receiver to its dial frequency and hands the decoder its
// parameters; the schedule starts and ends its entries on the housekeeping
// tick.
#include <gtest/gtest.h>

#include <cmath>

#include <QLabel>
#include <QPixmap>

#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "StationPages.h"
#include "fax/FaxConfig.h"
#include "support/Pty.h"
#include "ui/EventLoop.h"
#include "ui/PanelControls.h"
#include "ui/SchedulePanel.h"
#include "ui/StationListPanel.h"

namespace zeb::nimba {
namespace {

struct FakeReceiver : ReceiverControl {
    double* tuned;
    int* mode;
    FakeReceiver(double* t, int* m) : tuned(t), mode(m) {}
    bool start() override { return true; }
    void stop() override {}
    bool controlling() const override { return true; }
    bool tune(double kHz) override {
        *tuned = kHz;
        return true;
    }
    bool selectMode(int code) override {
        *mode = code;
        return true;
    }
};

constexpr TimeKey k0900 = 1796720400;  // 2026-12-08 09:00 UTC

struct Running {
    test::Sandbox box;
    double tuned = 0.0;
    int mode = -1;
    std::unique_ptr<Nimba> nimba;

    explicit Running(const std::string& ini = {}, bool ownReceiver = false) {
        if (!box.ready) return;
        if (!ini.empty()) zeb::test::writeFile(box.dir / "NIMBA.INI", ini);
        StartOptions o;
        o.workDir = box.dir.path();
        o.input = "null";
        o.output = "null";
        o.show = false;
        o.clock = [] { return k0900; };
        o.mixer = [] { return std::unique_ptr<audio::MixerDevice>(); };
        if (!ownReceiver)
            o.receiver = [this] { return std::make_unique<FakeReceiver>(&tuned, &mode); };
        nimba = std::make_unique<Nimba>(o);
        if (nimba->startUp().has_value()) nimba.reset();
    }
};

stations::StationRecord station(std::uint8_t modulation, double kHz, std::uint16_t shift = 0) {
    stations::StationRecord r;
    r.id = 1;
    r.modulation = modulation;
    r.frequencyKhz = kHz;
    r.shiftHz = shift;
    r.receiverMode = stations::kModeUsb;
    stations::setName(r, "DWD Pinneberg");
    return r;
}

TEST(NimbaStations, StartingAStationTunesItsDialFrequencyAndSetsItsDecoder) {
    struct Case {
        const char* what;
        std::string ini;
        stations::StationRecord record;
        double dialKhz;
        DecoderMode mode;
    };
    stations::StationRecord cw = station(0, 4583.0);
    cw.dialFrequencyKhz = 4582.2;
    const Case cases[] = {
        {"fax, nothing stored", "", station(6, 7880.0), 7878.1, DecoderMode::Fax},
        {"RTTY, shift 450", "", station(3, 10100.8, 450), 10099.3, DecoderMode::Rtty},
        {"RTTY, shift 0", "", station(3, 10100.8), 10099.3125, DecoderMode::Rtty},
        {"RECOFFSET 500", "[PARAM]\nRECOFFSET=500\n", station(3, 10100.8, 450), 10099.8,
         DecoderMode::Rtty},
        {"CW, stored dial", "", cw, 4582.2, DecoderMode::Cw},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Running run(c.ini);
        if (!run.box.ready) GTEST_SKIP() << "suite not staged";
        ASSERT_TRUE(run.nimba);
        run.nimba->startStation(c.record);
        EXPECT_NEAR(run.tuned, c.dialKhz, 1e-9);
        EXPECT_EQ(run.mode, 1);  // USB
        EXPECT_EQ(run.nimba->modes().mode(), c.mode);
        if (c.mode == DecoderMode::Fax) {
            const fax::FaxConfig f = run.nimba->faxDecoder()->config();
            EXPECT_EQ(std::tuple(f.lpm, f.ioc, f.startTone, f.stopTone, f.shift, f.center),
                      std::tuple(120, 576, 300, 450, 800, 1900));
        }
        if (c.mode == DecoderMode::Rtty) {
            const rtty::RttyParams p = run.nimba->rtty()->params();
            EXPECT_EQ(std::tuple(p.baud, p.shift, p.center, p.mode),
                      std::tuple(50, c.record.shiftHz ? 450 : 425, 1275, 0));
        }
    }
}

TEST(NimbaStations, AScheduledEntryStartsAtItsFirstTickAndEndsWithAllDecodersOff) {
    Running run;
    if (!run.box.ready) GTEST_SKIP() << "suite not staged";
    ASSERT_TRUE(run.nimba);
    Nimba& nimba = *run.nimba;
    ASSERT_NE(nimba.frequencyList(), nullptr);
    stations::StationRecord rtty = station(3, 10100.8, 450);
    rtty.id = 8000;  // not used by the shipped list
    nimba.frequencyList()->records.push_back(rtty);
    ASSERT_TRUE(nimba.schedule().replace({{1000, 1030, 8000, false}, {1100, 1200, 7999, false}}));
    ASSERT_TRUE(nimba.setScheduleActive(true));

    const auto at = [](int hh, int mm) { return k0900 + (hh - 9) * 3600 + mm * 60; };
    nimba.schedulerTick(at(9, 59));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::None);
    nimba.schedulerTick(at(10, 0));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Rtty);
    EXPECT_TRUE(nimba.receptionActive());
    EXPECT_NEAR(run.tuned, 10099.3, 1e-9);
    EXPECT_EQ(nimba.window()->statusText().toStdString(),
              "DWD Pinneberg|10:00-10:30|10100.8 KHz|RTTY");
    nimba.schedulerTick(at(10, 29));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Rtty);
    nimba.schedulerTick(at(10, 30));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::None);
    EXPECT_FALSE(nimba.receptionActive());
    EXPECT_TRUE(nimba.window()->statusText().isEmpty());
    // A station that is no longer in the list starts nothing.
    nimba.schedulerTick(at(11, 0));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::None);
    EXPECT_TRUE(nimba.schedule().entries()[1].started);
}

void saveScreenshot(QWidget* widget, const std::string& name) {
    const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR");
    if (dir.empty()) return;
    EXPECT_TRUE(widget->grab().save(QString::fromStdString(dir + "/" + name))) << dir;
}

// Everything the receiver side of the line has received within `ms`.
std::string drain(const zeb::test::Pty& pty, int ms) {
    std::string all;
    for (std::string part; !(part = pty.readSome(ms)).empty();) all += part;
    return all;
}

TEST(NimbaReceiverPanel, AnIcPcr1000OnTheLineIsTunedAndShowsItsSquelchAndStrength) {
    zeb::test::Pty pty;
    if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminal";
    Running run("[IPCRPARAM]\nPORT=" + pty.name() + "\nFREQ=7644.5\n", true);
    if (!run.box.ready) GTEST_SKIP() << "suite not staged";
    ASSERT_TRUE(run.nimba) << run.box.boxes.texts.join("\n").toStdString();
    Nimba& nimba = *run.nimba;
    ReceiverPanel* panel = nimba.window()->receiverPanel();
    ASSERT_TRUE(panel && panel->enabled());
    EXPECT_NE(drain(pty, 300).find("K0000764450001"), std::string::npos);

    nimba.startStation(station(6, 7880.0));  // fax, USB
    const std::string sent = drain(pty, 300);
    EXPECT_NE(sent.find("K00007878100"), std::string::npos) << sent;
    EXPECT_DOUBLE_EQ(panel->display()->value(), 7878.1);
    EXPECT_EQ(nimba.spectrum().dial(), std::optional(7878.1));

    pty.write("I007\r\n");
    EXPECT_TRUE(zeb::test::pumpUntil([&] { return panel->squelchLamp()->isLit(); }));
    pty.write("I004\r\nI1FF\r\n");
    EXPECT_TRUE(zeb::test::pumpUntil(
        [&] { return !panel->squelchLamp()->isLit() && panel->sMeter()->value() == 255; }));
    EXPECT_TRUE(nimba.receiver()->squelchClosed());
    nimba.window()->resize(1000, 700);
    saveScreenshot(nimba.window(), "receiver-panel.png");
    nimba.shutdown();
    EXPECT_NE(drain(pty, 300).find("H100"), std::string::npos);
    EXPECT_NE(zeb::test::readFile(run.box.dir / "NIMBA.INI").find("FREQ=7878.1"),
              std::string::npos);
}

TEST(NimbaReceiverPanel, WithTheControlOffNoPortIsOpenedAndThePanelSaysWhy) {
    Running run("[IPCRPARAM]\nPORT=none\n", true);
    if (!run.box.ready) GTEST_SKIP() << "suite not staged";
    ASSERT_TRUE(run.nimba);
    ReceiverPanel* panel = run.nimba->window()->receiverPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->enabled());
    EXPECT_FALSE(panel->display()->isEnabled());
    EXPECT_TRUE(panel->statusLabel()->text().contains(QStringLiteral("PORT=none")));
    EXPECT_FALSE(run.nimba->receiver()->controlling());
}

TEST(NimbaStationPages, TheListStartsItsStationAndTheScheduleShowsItsEntries) {
    Running run;
    if (!run.box.ready) GTEST_SKIP() << "suite not staged";
    ASSERT_TRUE(run.nimba);
    Nimba& nimba = *run.nimba;
    MainWindow& w = *nimba.window();
    w.selectTab(kFrequencyTab);
    auto* list = qobject_cast<FrequencyPage*>(w.page(kFrequencyTab));
    ASSERT_TRUE(list && list->panel());
    ASSERT_GT(list->panel()->rows().size(), 3u);
    list->panel()->selectRow(0);
    const auto first = list->panel()->selectedId();
    ASSERT_TRUE(first);
    list->panel()->run(ui::StationCommand::AddToSchedule);
    list->panel()->run(ui::StationCommand::Start);
    EXPECT_NE(nimba.modes().mode(), DecoderMode::None);
    EXPECT_GT(run.tuned, 0.0);
    w.resize(1000, 700);

    w.selectTab(kScheduleTab);
    auto* schedule = qobject_cast<SchedulePage*>(w.page(kScheduleTab));
    ASSERT_TRUE(schedule && schedule->panel());
    ASSERT_EQ(schedule->panel()->rows().size(), 1u);
    ASSERT_TRUE(schedule->panel()->editRow(0, 1000, 1030));
    ASSERT_TRUE(schedule->panel()->setActive(true));
    EXPECT_TRUE(nimba.scheduleRunning());
    saveScreenshot(&w, "schedule.png");
    w.selectTab(kFrequencyTab);  // the list page comes back with the row chosen
    nimba.shutdown();
    const std::string ini = zeb::test::readFile(run.box.dir / "NIMBA.INI");
    EXPECT_NE(ini.find("LASTSEL=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[FCOLUMN]"), std::string::npos);
    EXPECT_NE(ini.find("ACTIVE=1"), std::string::npos);
}

}  // namespace
}  // namespace zeb::nimba
