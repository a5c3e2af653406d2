#include "ZebMenu.h"

#include "MenuWindow.h"
#include "common/Launch.h"
#include "common/SuiteDirs.h"
#include "common/bus/Bus.h"
#include "store/ReceivedStore.h"
#include "ui/BusNotifier.h"
#include "ui/LanguageBundle.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace zeb::zebmenu {
namespace {

constexpr int kTickMs = 10000;
constexpr std::uint64_t kCleanUpTicks = 90;  // 15 minutes
constexpr std::uint64_t kRefreshTicks = 11;
constexpr int kMaxOffsetHz = 100000;

std::array<int, 4> parseRect(const std::string& text) {
    std::array<int, 4> r{};
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]) != 4) return {};
    // A rectangle of no size (or turned inside out) counts as none.
    if (r[2] <= r[0] || r[3] <= r[1]) return {};
    return r;
}

}  // namespace

MenuSettings readMenuSettings(const ProfileFile& menu, const ProfileFile& system) {
    MenuSettings s;
    ProfileFile m = menu;
    m.setSection("WINDOW");
    s.mainPos = parseRect(m.readText("MAINPOS", "0,0,0,0", 64));
    m.setSection("TIMER");
    s.timerActive = m.readInt("ACTIVE", 0) == 1;
    s.timerName = m.readText("NAME", "", 255);
    ProfileFile y = system;
    y.setSection("SYSTEM");
    // Any positive age is an age; 0, a negative or a broken value never deletes.
    s.deleteHours = std::max(0, y.readInt("DELTIME", 0));
    s.warnSound = y.readInt("WARNSOUND", 1) != 0;
    s.receiverOffsetHz = std::clamp(y.readInt("RADIOERR", 0), -kMaxOffsetHz, kMaxOffsetHz);
    s.faxDir = y.readText("FAXDIR", "FAX", 255);
    s.synopDir = y.readText("SYNOPDIR", "SYNOP", 255);
    return s;
}

Result<void> writeSystemSettings(ProfileFile& system, const MenuSettings& s) {
    system.setSection("SYSTEM");
    if (auto r = system.writeInt("DELTIME", s.deleteHours); !r) return r;
    if (auto r = system.writeInt("WARNSOUND", s.warnSound ? 1 : 0); !r) return r;
    return system.writeInt("RADIOERR", s.receiverOffsetHz);
}

// The scheduler's requests: closing now, starting after the wait.
class ZebMenu::Owner final : public stations::SchedulerOwner {
public:
    explicit Owner(ZebMenu& menu) : menu_(menu) {}
    void closeDecoders(const stations::ScheduleEntry&) override {
        // Starts still waiting belong to windows that have ended.
        menu_.pendingStarts_.clear();
        for (std::string_view c : {"ZEB-FAX", "ZEB-RTTY", "ZEB-CW", "ZEB-Audiorecorder"})
            (void)menu_.closeClass(c);
    }
    void startStation(const stations::ScheduleEntry&,
                      const stations::StationRecord& station) override {
        menu_.pendingStarts_.push_back(station.id);
        if (!menu_.startTimer_->isActive())
            menu_.startTimer_->start(static_cast<int>(menu_.options_.scheduledStartWait.count()));
    }

private:
    ZebMenu& menu_;
};

ZebMenu::ZebMenu(ZebMenuOptions options)
    : options_(std::move(options)), messages_(ui::Program::ZebMenu) {
    std::error_code ec;
    if (options_.workDir.empty()) options_.workDir = std::filesystem::current_path(ec);
}

ZebMenu::~ZebMenu() {
    shutdown();
    delete window_;
}

QString ZebMenu::string(int id) const { return bundle_ ? bundle_->string(id) : QString(); }

std::optional<int> ZebMenu::fail(const QString& text) {
    if (!text.isEmpty()) messages_.showText(text);
    shutDown_ = true;  // nothing was started that the end would have to close
    return kStartFailed;
}

std::optional<int> ZebMenu::startUp() {
    // 1. One instance: a second start brings the first to the front.
    auto claimed = ui::BusNotifier::claim(kClassName, this);
    if (!claimed) {
        if (claimed.error().code != bus::BusError::AlreadyRunning) {
            std::fprintf(stderr, "ZEBMENU: %s\n", claimed.error().message.c_str());
            return kStartFailed;
        }
        (void)bus::post(kClassName, bus::Message{bus::MessageKind::Activate, {}, 0, 0, 0, {}});
        return 0;
    }
    bus_ = std::move(*claimed);

    // 2. The language bundle; 3. the rich-text support needs no check here.
    std::vector<std::filesystem::path> dirs{options_.workDir};
    for (const auto& dir : sharedDirs()) dirs.push_back(dir);
    auto bundle = ui::LanguageBundle::load(ui::Program::ZebMenu, dirs);
    if (!bundle) {
        ui::reportMissingBundle(ui::Program::ZebMenu,
                                QString::fromStdString(bundle.error().message));
        return fail({});
    }
    bundle_ = std::move(*bundle);
    messages_.setBundle(bundle_.get());

    // 4. Settings files and the window (disabled until the start is done).
    profile_.buildPath(options_.workDir.string(), kSettingsFile);
    system_.buildPath(options_.workDir.string(), kSystemFile);
    settings_ = readMenuSettings(profile_, system_);

    // 5. List settings and the frequency list.
    listSettings_ = stations::readListSettings(profile_, nullptr);
    if (auto ended = loadStations()) return ended;
    // 6. The schedule, and the report texts the browser describes observations with.
    loadSchedule();
    auto data = weather::loadWeatherData(options_.workDir / weather::kDataDir);
    if (!data)
        if (auto shipped = findShared(weather::kDataDir)) data = weather::loadWeatherData(*shipped);
    if (data) data_.emplace(std::move(*data));
    // 7. The receiver control.
    if (auto ended = connectReceiver()) return ended;

    window_ = new MenuWindow(*this);
    messages_.setOwner(window_);
    connect(bus_.get(), &ui::BusNotifier::closeRequested, window_, &QWidget::close);
    // Another program ending the suite ends the launcher too, without asking.
    connect(bus_.get(), &ui::BusNotifier::exitProgramRequested, window_, [this] {
        window_->closeWithoutAsking();
        window_->close();
    });
    connect(bus_.get(), &ui::BusNotifier::activateRequested, window_,
            [this] { window_->bringToFront(); });

    ticker_ = new QTimer(this);
    connect(ticker_, &QTimer::timeout, this, &ZebMenu::tick);
    startTimer_ = new QTimer(this);
    startTimer_->setSingleShot(true);
    connect(startTimer_, &QTimer::timeout, this, &ZebMenu::startScheduled);
    waitTimer_ = new QTimer(this);
    connect(waitTimer_, &QTimer::timeout, this, [this] {
        if (waitingFor_ && !bus::classExists(*waitingFor_)) return;
        waitingFor_.reset();
        waitTimer_->stop();
        if (window_) window_->setPanelEnabled(true);
    });

    // 8. The first tab, then the window takes input.
    started_ = true;
    window_->chooseFirstTab();
    window_->setEnabled(true);
    if (options_.show) window_->show();
    ticker_->start(kTickMs);
    tick();
    return std::nullopt;
}

std::optional<int> ZebMenu::loadStations() {
    const auto path = options_.workDir / stations::kFrequencyListPath;
    auto loaded = stations::loadFrequencyList(path);
    if (!loaded) {
        // The launcher cannot work without its list; it says why on the
        // terminal and ends without a box.
        std::fprintf(stderr, "ZEBMENU: %s %s\n", string(str::kNoList).toLocal8Bit().constData(),
                     loaded.error().message.c_str());
        return fail({});
    }
    list_ = std::move(*loaded);
    stations::sortStations(list_.records, listSettings_.sort);
    return std::nullopt;
}

void ZebMenu::loadSchedule() {
    if (settings_.timerName.empty()) return;
    std::filesystem::path file(settings_.timerName);
    if (file.is_relative()) {
        std::error_code ec;
        const auto inWork = options_.workDir / file;
        file = std::filesystem::exists(inWork, ec)
                   ? inWork
                   : options_.workDir / stations::kScheduleDirectory / file;
    }
    auto loaded = stations::loadSchedule(file);
    if (!loaded) return;
    (void)schedule_.replace(std::move(loaded->entries));
    // A schedule that was running goes on, unless its windows overlap.
    if (settings_.timerActive) (void)schedule_.activate();
    settings_.timerActive = schedule_.active();
}

std::optional<int> ZebMenu::connectReceiver() {
    if (!bus::ensureDirectory()) return fail(string(str::kNoLink));
    auto client = bus::ReceiverClient::connect(options_.receiver);
    // A receiver control that was ending as we connected (the suite closed
    // and opened again at once) is given time to go, then started afresh.
    for (int retry = 0; !client && client.error().code != bus::BusError::NotFound && retry < 3;
         ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        client = bus::ReceiverClient::connect(options_.receiver);
    }
    if (!client) {
        std::fprintf(stderr, "ZEBMENU: %s\n", client.error().message.c_str());
        return fail(string(str::kNoReceiverControl));
    }
    receiver_.emplace(std::move(*client));
    return std::nullopt;
}

void ZebMenu::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (ticker_) ticker_->stop();
    if (startTimer_) startTimer_->stop();
    if (waitTimer_) waitTimer_->stop();
    if (!started_) return;
    if (window_) window_->saveSettings();
    settings_.timerActive = schedule_.active();
    profile_.setSection("TIMER");
    (void)profile_.writeInt("ACTIVE", settings_.timerActive ? 1 : 0);
    (void)profile_.writeText("NAME", settings_.timerName);
    (void)stations::writeListSettings(profile_, listSettings_);
    for (std::string_view c : kDecoderClasses) (void)closeClass(c);
    receiver_.reset();
    bus_.reset();  // our own class leaves the bus before the broadcast
    bus::broadcast(ui::kExitProgramMessage);
}

bool ZebMenu::poke(std::uint16_t code, std::span<const std::uint8_t> payload) {
    // A receiver control closed by the user meanwhile is started again once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!receiver_) {
            auto client = bus::ReceiverClient::connect(options_.receiver);
            if (!client) return false;
            receiver_.emplace(std::move(*client));
        }
        auto answer = receiver_->poke(code, payload);
        if (answer) return *answer == bus::PokeAnswer::Acknowledged;
        receiver_.reset();
    }
    return false;
}

bool ZebMenu::closeClass(std::string_view windowClass) {
    if (options_.close) return options_.close(windowClass);
    auto closed = bus::closeByClass(windowClass);
    return closed && *closed != bus::CloseResult::StillRunning;
}

Result<void> ZebMenu::startCommand(const std::string& commandLine) {
    if (options_.start) return options_.start(commandLine);
    launch::Options o;
    o.workDir = options_.workDir;
    o.searchDirs = {};
    auto started = launch::startCommandLine(commandLine, o);
    if (!started) return started.error();
    return success();
}

StartPlatform ZebMenu::platform() {
    StartPlatform p;
    p.close = [this](std::string_view c) { return closeClass(c); };
    p.poke = [this](std::uint16_t code, std::span<const std::uint8_t> payload) {
        return poke(code, payload);
    };
    p.start = [this](const std::string& line) { return startCommand(line); };
    return p;
}

void ZebMenu::runButton(int id) {
    const auto program = panelProgram(id);
    if (!program || waiting()) return;
    if (program->refusedWhileScheduled && schedule_.active()) {
        messages_.showMessage(str::kScheduleRunning);
        return;
    }
    for (std::string_view c : program->closes) (void)closeClass(c);
    const std::string line(program->program);
    if (auto started = startCommand(line); !started) {
        messages_.showText(bundle_->format(str::kNotStarted, {line, started.error().message}));
        return;
    }
    if (program->waits) {
        waitingFor_ = std::string(program->windowClass);
        if (window_) window_->setPanelEnabled(false);
        waitTimer_->start(100);
        QTimer::singleShot(options_.programStartWait, this, [this] {
            if (!waitingFor_) return;
            waitingFor_.reset();
            waitTimer_->stop();
            if (window_) window_->setPanelEnabled(true);
        });
    }
}

void ZebMenu::startStation(const stations::StationRecord& station) {
    const StationStart plan =
        planStationStart(station, settings_.receiverOffsetHz, schedule_.active());
    if (auto started = carryOut(plan, platform()); !started && window_)
        window_->showStatus(
            bundle_->format(str::kNotStarted, {plan.commandLine, started.error().message}));
}

void ZebMenu::tuneStation(const stations::StationRecord& station) {
    (void)carryOut(planTune(station, settings_.receiverOffsetHz), platform());
}

std::optional<stations::StationRecord> ZebMenu::receiverValues(
    const stations::StationRecord& station) {
    const bool fax =
        stations::modulationClass(station.modulation) == stations::ModulationClass::Fax;
    if (!poke(fax ? bus::ReceiverCode::ReadRecordB : bus::ReceiverCode::ReadRecordA, {}) ||
        !receiver_)
        return std::nullopt;
    auto answer = receiver_->request();
    if (!answer || !*answer) return std::nullopt;
    stations::StationRecord r = station;
    const auto& bytes = **answer;
    Result<void> taken = fax ? [&]() -> Result<void> {
        auto h = stations::decodeFaxHandover(bytes);
        if (!h) return h.error();
        return stations::takeFromReceiver(r, *h);
    }()
        : [&]() -> Result<void> {
              auto h = stations::decodeTeleprinterHandover(bytes);
              if (!h) return h.error();
              return stations::takeFromReceiver(r, *h);
          }();
    if (!taken) return std::nullopt;
    return r;
}

void ZebMenu::scheduleSwitched(bool on) {
    if (!on) pendingStarts_.clear();
    settings_.timerActive = on;
}

void ZebMenu::startScheduled() {
    if (pendingStarts_.empty() || !schedule_.active()) return;
    const std::uint32_t id = pendingStarts_.front();
    pendingStarts_.pop_front();
    if (const auto at = stations::findStation(list_.records, id)) {
        const stations::StationRecord station = list_.records[*at];
        startStation(station);
        if (window_)
            window_->showStatus(
                bundle_->format(str::kScheduleStatus, {stations::nameText(station)}));
    }
    // Each further start waits its own time.
    if (!pendingStarts_.empty())
        startTimer_->start(static_cast<int>(options_.scheduledStartWait.count()));
}

void ZebMenu::tick() {
    const TimeKey now = options_.clock();
    if (window_) window_->showClock(stations::KeyUtcClock(now).hhmm());
    if (schedule_.active()) {
        Owner owner(*this);
        const stations::KeyUtcClock clock(now);
        stations::Scheduler(schedule_, clock).tick(list_.records, owner);
    }
    ++ticks_;
    if (ticks_ % kCleanUpTicks == 0) cleanUp();
    if (ticks_ % kRefreshTicks == 0) emit receivedChanged();
}

std::pair<std::size_t, std::size_t> ZebMenu::cleanUp() {
    if (settings_.deleteHours <= 0) return {0, 0};
    const store::Report report =
        store::cleanUp(options_.workDir, settings_.deleteHours, options_.clock());
    for (const auto& f : report.failures)
        std::fprintf(stderr, "ZEBMENU: %s: %s\n", f.path.string().c_str(), f.error.message.c_str());
    if ((report.files || report.records) && window_)
        window_->showStatus(bundle_->format(
            str::kCleanedUp, {static_cast<int>(report.files), static_cast<int>(report.records),
                              settings_.deleteHours}));
    emit receivedChanged();
    return {report.files, report.records};
}

void ZebMenu::saveSystemSettings() {
    if (!writeSystemSettings(system_, settings_)) messages_.showMessage(str::kSettingsNotSaved);
}

}  // namespace zeb::zebmenu
