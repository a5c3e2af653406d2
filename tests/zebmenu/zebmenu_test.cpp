// The launcher with the receiver control RIGMAN on a pseudo-terminal: a
// scheduled fax station tuned, started with TIMER and closed when its window
// ends; schedules that cannot run; the panel closing the other decoder
// first; one instance; the settings dialog and the clean-up; the end of the
// suite.
#include "ZebMenu.h"
#include "MenuWindow.h"
#include "SettingsDialog.h"
#include "common/LittleEndian.h"
#include "common/bus/Bus.h"
#include "rig/Receiver.h"
#include "rig/ReceiverProfile.h"
#include "stations/FrequencyList.h"
#include "support/BoxRecorder.h"
#include "support/ChildProcess.h"
#include "support/Pty.h"
#include "support/TestEnv.h"
#include "ui/BusNotifier.h"
#include "ui/LanguageBundle.h"
#include "ui/PanelControls.h"
#include "ui/ReceivedPanel.h"
#include "ui/SchedulePanel.h"
#include "ui/StationListPanel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace zeb::zebmenu {
namespace {

namespace fs = std::filesystem;
using stations::StationRecord;

bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(30)) {
    return zeb::test::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        bound);
}

// Time key of today's hh:mm UTC.
TimeKey at(int hh, int mm) {
    const TimeKey now = zeb::now();
    return now - now % 86400 + hh * 3600 + mm * 60;
}

// A program of the suite that only owns its window class: it notes the
// close request and the end-of-suite message and leaves the bus on either.
class FakeProgram {
public:
    explicit FakeProgram(std::string windowClass) {
        auto claimed = bus::ClassEndpoint::claim(windowClass);
        if (!claimed) return;
        endpoint_.emplace(std::move(*claimed));
        thread_ = std::thread([this] {
            while (!stop_) {
                if (auto m = endpoint_->receive()) {
                    const bool exit = m->kind == bus::MessageKind::Registered &&
                                      m->name == ui::kExitProgramMessage;
                    if (m->kind == bus::MessageKind::Close || exit) {
                        (exit ? exitSeen_ : closeSeen_) = true;
                        endpoint_.reset();
                        return;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~FakeProgram() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool running() const { return thread_.joinable() && !closeSeen_ && !exitSeen_; }
    bool closed() const { return closeSeen_; }
    bool exited() const { return exitSeen_; }

private:
    std::optional<bus::ClassEndpoint> endpoint_;
    std::thread thread_;
    std::atomic<bool> stop_{false}, closeSeen_{false}, exitSeen_{false};
};

StationRecord station(std::uint32_t id, double kHz, std::uint8_t modulation, const char* name) {
    StationRecord r;
    r.id = id;
    r.frequencyKhz = kHz;
    r.modulation = modulation;
    r.receiverMode = stations::kModeUsb;
    stations::setName(r, name);
    return r;
}

// A working directory with the staged bundles, a three-station list, a bus
// of its own and RIGMAN (started on demand) driving model 5 on a pty.
struct Sandbox {
    zeb::test::TempDir dir;
    zeb::test::ScopedEnv bus{"ZEB_BUS_DIR", (dir.path() / "bus").string()};
    zeb::test::ScopedEnv offscreen{"QT_QPA_PLATFORM", "offscreen"};
    zeb::test::BoxRecorder boxes;
    zeb::test::Pty pty;
    std::optional<zeb::test::ChildProcess> rigman;
    TimeKey now = at(9, 59);
    std::mutex startsLock;
    std::vector<std::string> starts;
    bool ready = prepare();

    bool prepare() {
        const fs::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
        for (const char* name : {"MENUEN.DLL", "RIGMANEN.DLL", "rigman"})
            if (suite.empty() || !fs::exists(suite / name)) return false;
        fs::copy(suite / "MENUEN.DLL", dir / "MENUEN.DLL");
        fs::copy(suite / "RIGMANEN.DLL", dir / "RIGMANEN.DLL");
        fs::create_directories(dir / "DATA" / "TIMER");
        const std::vector<StationRecord> list = {station(1, 7880.0, 5, "DWD Fax"),
                                                 station(2, 10100.8, 3, "DWD RTTY"),
                                                 station(3, 4583.0, 0, "Beacon")};
        zeb::test::writeFile(dir / "DATA" / "RCFRQ.DAT", stations::encodeFrequencyList(list));
        zeb::test::writeFile(dir / "RIGMAN.INI", "[PARAM]\r\nRECEIVER=5\r\nFREQ=7000\r\n");
        zeb::test::writeFile(dir / "ZEBSYS.INI", "[PORTS]\r\nCOM1=" + pty.name() + "\r\n");
        return pty.ok();
    }
    ZebMenuOptions options() {
        ZebMenuOptions o;
        o.workDir = dir.path();
        o.show = false;
        o.clock = [this] { return now; };
        o.scheduledStartWait = std::chrono::milliseconds(0);
        o.programStartWait = std::chrono::milliseconds(0);
        o.receiver.firstRetry = std::chrono::milliseconds(300);
        o.receiver.start = [this] {
            rigman.emplace(std::vector<std::string>{
                (fs::path(zeb::test::testSetting("ZEB_TEST_SUITE_DIR")) / "rigman").string(),
                "--dir", dir.path().string()});
            return true;
        };
        o.start = [this](const std::string& line) -> Result<void> {
            std::lock_guard lock(startsLock);
            starts.push_back(line);
            return success();
        };
        return o;
    }
    std::vector<std::string> started() {
        std::lock_guard lock(startsLock);
        return starts;
    }
    // Everything RIGMAN wrote to the receiver until the line went quiet.
    std::string received() {
        std::string bytes;
        for (;;) {
            QCoreApplication::processEvents();
            const std::string some = pty.readSome(300);
            if (some.empty()) return bytes;
            bytes += some;
        }
    }
    ~Sandbox() {
        if (rigman) {
            bus::broadcast(ui::kExitProgramMessage);
            (void)rigman->waitExit();
        }
    }
};

// What the receiver hears when it is tuned to `kHz`, or set to USB.
std::string tuningBytes(std::optional<double> kHz) {
    struct Sink final : rig::CommandSink {
        std::string bytes;
        bool send(std::span<const std::uint8_t> b) override {
            bytes.append(b.begin(), b.end());
            return true;
        }
        void wait(std::chrono::milliseconds) override {}
    } sink;
    rig::RigState state = rig::Receiver::initialState(rig::receiverProfile(5));
    rig::Receiver receiver(rig::receiverProfile(5), sink, state);
    if (kHz)
        receiver.setFrequency(*kHz);
    else
        receiver.setMode(rig::ModeFlag::Usb);
    return sink.bytes;
}

TEST(ZebMenuSchedule, ScheduledFaxIsTunedStartedWithTimerAndClosedAtTheEnd) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    ZebMenu menu(box.options());
    ASSERT_FALSE(menu.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    MenuWindow* window = menu.window();
    box.received();

    ui::SchedulePanel* schedule = window->schedulePanel();
    ASSERT_TRUE(schedule->addStations({1}));
    ASSERT_TRUE(schedule->editRow(0, 1000, 1030));
    ASSERT_TRUE(schedule->setActive(true));

    menu.tick();  // 9:59: nothing yet
    EXPECT_TRUE(box.started().empty());
    box.now = at(10, 0);
    menu.tick();
    ASSERT_TRUE(pumpUntil([&] { return !box.started().empty(); }));
    EXPECT_EQ(box.started(), std::vector<std::string>{"ZEBFAX.EXE TIMER"});
    // 7880 kHz less the fax tone's 1.9 kHz.
    const std::string heard = box.received();
    const auto tuned = heard.find(tuningBytes(7878.1));
    EXPECT_NE(tuned, std::string::npos);
    const std::string usb = tuningBytes(std::nullopt);
    ASSERT_FALSE(usb.empty());
    EXPECT_NE(heard.find(usb, tuned), std::string::npos);  // then USB
    EXPECT_EQ(window->clockText(), "10:00 UTC");

    FakeProgram fax("ZEB-FAX");
    box.now = at(10, 29);
    menu.tick();
    EXPECT_TRUE(fax.running());
    box.now = at(10, 30);
    menu.tick();
    EXPECT_TRUE(pumpUntil([&] { return fax.closed(); }));
    EXPECT_EQ(box.started().size(), 1u);

    window->closeWithoutAsking();
    window->close();
    menu.shutdown();
}

TEST(ZebMenuSchedule, FreshOrOverlappingEntriesKeepTheScheduleOff) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    ZebMenu menu(box.options());
    ASSERT_FALSE(menu.startUp().has_value());
    ui::SchedulePanel* schedule = menu.window()->schedulePanel();
    const QString overlap = menu.bundle()->string(29);

    // Added from the list: 0:00-0:00 until it is edited.
    menu.window()->frequencyPanel()->selectStation(2);
    menu.window()->frequencyPanel()->run(ui::StationCommand::AddToSchedule);
    ASSERT_EQ(menu.schedule().entries().size(), 1u);
    EXPECT_FALSE(schedule->setActive(true));
    EXPECT_FALSE(menu.schedule().active());
    ASSERT_FALSE(box.boxes.texts.isEmpty());
    EXPECT_EQ(box.boxes.texts.back(), overlap);

    struct Case {
        std::int16_t start, end;
        bool runs;
    };
    ASSERT_TRUE(schedule->editRow(0, 1000, 1100));
    ASSERT_TRUE(schedule->addStations({3}));
    for (const Case& c : {Case{1030, 1200, false}, Case{1100, 1200, true}}) {
        schedule->setActive(false);
        const int row = schedule->rows()[0] == 0 ? 1 : 0;
        (void)schedule->editRow(row, c.start, c.end);
        EXPECT_EQ(schedule->setActive(true), c.runs) << c.start;
        EXPECT_EQ(menu.schedule().active(), c.runs);
    }
    // While it runs, the panel's decoders are refused.
    box.boxes.texts.clear();
    menu.runButton(button::kRtty);
    EXPECT_TRUE(box.started().empty());
    EXPECT_EQ(box.boxes.texts, QStringList{menu.bundle()->string(48)});
    menu.window()->closeWithoutAsking();
    menu.shutdown();
}

TEST(ZebMenuPanel, StartsCloseTheOtherDecoderAndOneInstanceComesToTheFront) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    ZebMenu menu(box.options());
    ASSERT_FALSE(menu.startUp().has_value());

    // RTTY from the panel: the running fax decoder is closed first.
    FakeProgram fax("ZEB-FAX");
    FakeProgram viewer("ZEB-FAX Viewer");
    menu.runButton(button::kRtty);
    EXPECT_TRUE(fax.closed());
    EXPECT_TRUE(viewer.running());
    EXPECT_EQ(box.started(), std::vector<std::string>{"ZEBRTTY.EXE"});

    // A station from the list: the teleprinter record, the dial frequency
    // 10100.8 - 1.275 - 0.2125 kHz, and the RTTY program.
    box.received();
    menu.window()->frequencyPanel()->selectStation(2);
    menu.window()->frequencyPanel()->run(ui::StationCommand::Start);
    EXPECT_NE(box.received().find(tuningBytes(10099.3125)), std::string::npos);
    EXPECT_EQ(box.started().back(), "ZEBRTTY.EXE");
    // Take from receiver: RIGMAN hands back the tuned frequency and the
    // parameters the start parked there.
    StationRecord blank = station(2, 10100.8, 3, "DWD RTTY");
    const auto taken = menu.receiverValues(blank);
    ASSERT_TRUE(taken.has_value());
    EXPECT_NEAR(taken->dialFrequencyKhz, 10099.3125, 0.001);
    EXPECT_EQ(taken->speed, 50);
    EXPECT_EQ(taken->centreHz, 1275);

    // A second launcher hands over to the first and ends.
    EXPECT_FALSE(menu.window()->isVisible());
    {
        ZebMenu second(box.options());
        EXPECT_EQ(second.startUp(), std::optional<int>(0));
    }
    EXPECT_TRUE(pumpUntil([&] { return menu.window()->isVisible(); }));

    // The end: the decoders are closed, every program of the suite is told
    // to exit, and RIGMAN ends.
    FakeProgram rtty("ZEB-RTTY");
    FakeProgram map("ZEB-WorldMap");
    ASSERT_TRUE(box.rigman.has_value());
    menu.window()->close();  // the question is answered yes
    EXPECT_EQ(box.boxes.texts.back(), menu.bundle()->string(50));
    menu.shutdown();
    EXPECT_TRUE(rtty.closed());
    EXPECT_TRUE(pumpUntil([&] { return map.exited() && viewer.exited(); }));
    EXPECT_TRUE(box.rigman->waitExit().has_value());
    box.rigman.reset();
}

TEST(ZebMenuSettings, DialogWritesTheSystemKeysAndTheCleanUpUsesTheAge) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    fs::create_directories(box.dir / "FAX");
    const auto faxName = [&](int hoursAgo) {
        const NameTime t = breakDown(box.now - hoursAgo * 3600);
        return formatPrintf("FAX_%04d-%02d-%02d_%02d-%02d",
                            {t.year, t.month, t.day, t.hour, t.minute});
    };
    for (int h : {49, 47})
        for (const char* ext : {".BMP", ".BMM"})
            zeb::test::writeFile(box.dir / "FAX" / (faxName(h) + ext), "x");
    zeb::test::writeFile(box.dir / "FAX" / "FAX_old.BMP", "x");

    ZebMenu menu(box.options());
    ASSERT_FALSE(menu.startUp().has_value());
    EXPECT_EQ(menu.cleanUp(), (std::pair<std::size_t, std::size_t>{0, 0}));  // never by default

    SettingsDialog::setRunner([](QDialog& d) {
        d.findChild<QRadioButton*>(QStringLiteral("c1024"))->setChecked(true);
        d.findChild<QCheckBox*>(QStringLiteral("c1028"))->setChecked(false);
        d.findChild<QSpinBox*>(QStringLiteral("c1029"))->setValue(-150);
        return int(QDialog::Accepted);
    });
    menu.window()->openSettings();
    SettingsDialog::setRunner({});
    const std::string system = zeb::test::readFile(box.dir / "ZEBSYS.INI");
    for (const char* line : {"DELTIME=48", "WARNSOUND=0", "RADIOERR=-150", "COM1="})
        EXPECT_NE(system.find(line), std::string::npos) << line;

    EXPECT_EQ(menu.cleanUp().first, 2u);
    for (const auto& [name, kept] : {std::pair{faxName(49) + ".BMP", false},
                                     {faxName(49) + ".BMM", false},
                                     {faxName(47) + ".BMP", true},
                                     {std::string("FAX_old.BMP"), true}})
        EXPECT_EQ(fs::exists(box.dir / "FAX" / name), kept) << name;
    menu.window()->closeWithoutAsking();
    menu.shutdown();
}

TEST(ZebMenuStart, WithoutTheListOrAReceiverControlTheLauncherEnds) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    ZebMenuOptions options = box.options();
    options.receiver.start = [] { return false; };
    options.receiver.giveUp = std::chrono::milliseconds(500);
    {
        ZebMenu menu(options);
        EXPECT_EQ(menu.startUp(), std::optional<int>(kStartFailed));
        EXPECT_EQ(box.boxes.texts, QStringList{menu.bundle()->string(24)});
    }
    // Started with an argument, the program ends at once and touches nothing.
    const fs::path program = fs::path(zeb::test::testSetting("ZEB_TEST_SUITE_DIR")) / "zebmenu";
    zeb::test::ChildProcess withArgument({program.string(), "--dir", box.dir.path().string(), "X"});
    EXPECT_EQ(withArgument.waitExit(), std::optional<int>(0));
    EXPECT_FALSE(fs::exists(box.dir / kSettingsFile));

    fs::remove(box.dir / "DATA" / "RCFRQ.DAT");
    box.boxes.texts.clear();
    ZebMenu menu(box.options());
    EXPECT_EQ(menu.startUp(), std::optional<int>(kStartFailed));
    EXPECT_TRUE(box.boxes.texts.isEmpty());
    EXPECT_FALSE(box.rigman.has_value());
}

// The first tab follows what the store holds; each tab is saved for the
// README when screenshots are asked for.
TEST(ZebMenuWindow, FirstTabFollowsTheStoreAndTheSchedule) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundles or no pseudo-terminal";
    const fs::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
    if (!fs::exists(suite / "DATA" / "RCFRQ.DAT")) GTEST_SKIP() << "no shipped frequency list";
    fs::copy_file(suite / "DATA" / "RCFRQ.DAT", box.dir / "DATA" / "RCFRQ.DAT",
                  fs::copy_options::overwrite_existing);
    // A day's schedule of four stations of the list, for the schedule case.
    const auto list = stations::loadFrequencyList(box.dir / "DATA" / "RCFRQ.DAT");
    ASSERT_TRUE(list && list->records.size() >= 40);
    std::vector<stations::ScheduleEntry> day;
    const std::int16_t times[][2] = {{430, 500}, {1020, 1040}, {1600, 1630}, {2200, 2300}};
    for (std::size_t i = 0; i < 4; ++i)
        day.push_back({times[i][0], times[i][1], list->records[i * 12 + 3].id, false});
    zeb::test::writeFile(box.dir / "DATA" / "TIMER" / "DAY.TIM", stations::encodeSchedule(day));

    struct Case {
        const char* file;  // received, or the settings that run the schedule
        Tab first;
    };
    for (const Case& c : {Case{nullptr, Tab::Frequencies},
                          Case{"SYNOP/AUDIO_2026-12-09_10-00.WAV", Tab::Frequencies},
                          Case{kSettingsFile, Tab::Schedule},
                          Case{"FAX/FAX_2026-12-09_10-05.BMP", Tab::Received}}) {
        if (c.file && c.file == std::string_view(kSettingsFile)) {
            zeb::test::writeFile(box.dir / kSettingsFile,
                                 "[TIMER]\r\nACTIVE=1\r\nNAME=DAY.TIM\r\n");
        } else if (c.file) {
            fs::create_directories((box.dir / c.file).parent_path());
            zeb::test::writeFile(box.dir / c.file, "x");
        }
        ZebMenu menu(box.options());
        ASSERT_FALSE(menu.startUp().has_value());
        EXPECT_EQ(menu.window()->tabs()->currentIndex(), static_cast<int>(c.first)) << c.file;
        EXPECT_EQ(menu.window()->windowTitle(), menu.bundle()->string(41));
        menu.window()->closeWithoutAsking();
        menu.shutdown();
        if (box.rigman) (void)box.rigman->waitExit();  // ended with the suite
        box.rigman.reset();
    }
    // The running schedule was kept for the next start.
    EXPECT_NE(zeb::test::readFile(box.dir / kSettingsFile).find("ACTIVE=1"), std::string::npos);

    const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR");
    if (dir.empty()) return;
    ZebMenu menu(box.options());
    ASSERT_FALSE(menu.startUp().has_value());
    MenuWindow* window = menu.window();
    window->resize(1100, 560);
    window->show();
    zeb::test::writeFile(box.dir / "SYNOP" / "WARN_2026-12-09_09-40.RTF",
                         "{\\rtf1\\ansi ZCZC GA41\\par GALE WARNING GERMAN BIGHT\\par NNNN\\par}");
    window->frequencyPanel()->selectRow(3);
    window->receivedPanel()->refresh();
    for (const auto& [tab, name] : {std::pair{Tab::Frequencies, "zebmenu-frequencies.png"},
                                    {Tab::Schedule, "zebmenu-schedule.png"},
                                    {Tab::Received, "zebmenu-received.png"}}) {
        window->tabs()->setCurrentIndex(static_cast<int>(tab));
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->grab().save(QString::fromStdString(dir + "/" + name)));
    }
    window->closeWithoutAsking();
    menu.shutdown();
}

// FONT of [WINDOW] keeps the list font in the 60-byte record other tools
// read: face, pixel height (negative), weight and the effect bytes.
TEST(ZebMenuWindow, ListFontRecordRoundTrips) {
    struct Case {
        const char* face;
        int pixels;
        QFont::Weight weight;
        bool italic;
    };
    for (const Case& c :
         {Case{"Arial", 14, QFont::Medium, false}, Case{"Liberation Mono", 20, QFont::Bold, true},
          Case{"Caf\xc3\xa9 Sans", 9, QFont::Normal, false}}) {
        QFont font(QString::fromUtf8(c.face));
        font.setPixelSize(c.pixels);
        font.setWeight(c.weight);
        font.setItalic(c.italic);
        const QByteArray record = logicalFontRecord(font);
        ASSERT_EQ(record.size(), 60);
        EXPECT_EQ(static_cast<std::int32_t>(
                      le::get32(reinterpret_cast<const std::uint8_t*>(record.constData()))),
                  -c.pixels);
        const QFont back = fontFromLogicalRecord(record, QFont());
        EXPECT_EQ(back.family(), font.family()) << c.face;
        EXPECT_EQ(back.pixelSize(), c.pixels);
        EXPECT_EQ(back.weight(), c.weight);
        EXPECT_EQ(back.italic(), c.italic);
    }
    // A record of another size leaves the font as it was.
    const QFont fallback(QStringLiteral("Arial"));
    EXPECT_EQ(fontFromLogicalRecord(QByteArray(12, '\x01'), fallback), fallback);
}

}  // namespace
}  // namespace zeb::zebmenu
