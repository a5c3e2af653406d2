#include "Rigman.h"

#include "NetworkPorts.h"
#include "NmeaBridge.h"
#include "RigmanWindow.h"
#include "SerialDriver.h"
#include "common/SuiteDirs.h"
#include "rig/HamlibDriver.h"
#include "rig/TermiosPort.h"
#include "ui/BusNotifier.h"
#include "ui/DialogLoader.h"
#include "ui/FdNotifier.h"
#include "ui/LanguageBundle.h"
#include "ui/QtStatusTimer.h"
#include "ui/ShowState.h"

#include <QApplication>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>

namespace zeb::rigman {

namespace {

constexpr int kLastPort = 16;

std::vector<std::filesystem::path> bundleDirectories(const std::filesystem::path& workDir) {
    std::vector<std::filesystem::path> dirs{workDir};
    for (const auto& dir : sharedDirs()) dirs.push_back(dir);
    return dirs;
}

}  // namespace

Rigman::Rigman(RigmanOptions options)
    : options_(std::move(options)), messages_(ui::Program::Rigman) {
    std::error_code ec;
    if (options_.workDir.empty()) options_.workDir = std::filesystem::current_path(ec);
}

Rigman::~Rigman() { shutdown(); }

std::optional<int> Rigman::fail(const QString& text) {
    messages_.showText(text);
    shutdown();
    return kStartFailed;
}

std::optional<int> Rigman::startUp() {
    // 1. One instance: a second start ends at once.
    auto claimed = ui::BusNotifier::claim(kClassName, this);
    if (!claimed) {
        if (claimed.error().code == bus::BusError::AlreadyRunning) return 0;
        std::fprintf(stderr, "RIGMAN: %s\n", claimed.error().message.c_str());
        return kStartFailed;
    }
    bus_ = std::move(*claimed);

    // 2. The language bundle.
    auto bundle =
        ui::LanguageBundle::load(ui::Program::Rigman, bundleDirectories(options_.workDir));
    if (!bundle) {
        ui::reportMissingBundle(ui::Program::Rigman,
                                QString::fromStdString(bundle.error().message));
        shutdown();
        return kStartFailed;
    }
    bundle_ = std::move(*bundle);
    messages_.setBundle(bundle_.get());

    // 3. Settings.
    profile_.buildPath(options_.workDir.string(), kSettingsFile);
    settings_ = readSettings(profile_);

    // 5. The receiver model, and 7. its port (the window needs the model).
    if (auto failed = openReceiver()) return failed;

    // 4. The window.
    window_ = RigmanWindow::create(*this);
    if (!window_) {
        std::fprintf(stderr, "RIGMAN: the bundle has no usable window (dialog 101)\n");
        shutdown();
        return kStartFailed;
    }
    messages_.setOwner(window_);
    window_->setWindowTitle(
        QString::fromStdString(settings_.title.empty() ? driver_->displayName() : settings_.title));
    window_->adjustSize();
    window_->place();
    connect(bus_.get(), &ui::BusNotifier::closeRequested, window_, &QWidget::close);
    connect(bus_.get(), &ui::BusNotifier::exitProgramRequested, window_,
            &RigmanWindow::closeWithoutQuestion);
    connect(bus_.get(), &ui::BusNotifier::activateRequested, window_, [this] {
        window_->showNormal();
        window_->raise();
    });
    // Sentences from the navigation program for the serial line.
    connect(bus_.get(), &ui::BusNotifier::registeredMessage, this,
            [this](const QString& name, qint64, qint64, const QByteArray& payload) {
                if (nmea_ && name == QLatin1String(kNavigationMessage.data()))
                    nmea_->fromNavigation({reinterpret_cast<const std::uint8_t*>(payload.data()),
                                           static_cast<std::size_t>(payload.size())});
            });
    // The private refresh message (WM_USER + 1) of the other programs.
    connect(bus_.get(), &ui::BusNotifier::userMessage, window_, [this](quint32 id) {
        if (id == 1) window_->refresh();
    });
    if (options_.show) ui::showMainWindow(window_);

    // 6, 8. The command service and the NMEA mailslot.
    if (auto failed = startServices()) return failed;
    // 9. The receiver to its stored state; 10. the NMEA reader.
    restoreReceiverState();
    if (settings_.nmea) setNmeaForwarding(true);
    startNetworkPorts();
    window_->refresh();
    started_ = true;
    return std::nullopt;
}

std::optional<int> Rigman::openReceiver() {
    if (settings_.receiver != kHamlibModel) return openSerialReceiver();
    rig::HamlibSettings hamlib;
    hamlib.model = settings_.hamlibModel;
    hamlib.port = settings_.hamlibPort;
    hamlib.speed = settings_.hamlibSpeed;
    auto opened = rig::HamlibDriver::open(hamlib);
    if (!opened) return fail(bundle_->format(kHamlibFailed, {opened.error().message}));
    driver_ = std::move(*opened);
    if (driver_->reportFd() >= 0)
        reportNotifier_ =
            std::make_unique<ui::FdNotifier>(driver_->reportFd(), [this] { onReport(); });
    return std::nullopt;
}

std::optional<int> Rigman::openSerialReceiver() {
    const rig::ReceiverProfile& profile = rig::receiverProfile(settings_.receiver);
    link_ = std::make_unique<rig::SerialLink>(std::make_unique<rig::TermiosPort>(), *this);
    link_->setReceiverSettings(profile.line, profile.handshake, profile.writeStyle);
    ProfileFile system;
    system.buildPath(options_.workDir.string(), "ZEBSYS.INI");
    bool open = false;
    for (int port = 1; port <= kLastPort && !open; ++port) open = link_->open_port(port, system);
    if (!open) return fail(ui::withLineSuffix(bundle_->string(kNoPort), kStartLine));

    rig::RigState state =
        rig::Receiver::initialState(profile, settings_.icomRadio, settings_.icomController);
    state.frequencyKhz = settings_.frequencyKhz;
    if (storesFilterCode(profile.model)) state.pcrFilterCode = settings_.filter;
    statusTimer_ = std::make_unique<ui::QtStatusTimer>();
    auto serial = std::make_unique<SerialDriver>(profile, *link_, statusTimer_.get(), state);
    driver_ = std::move(serial);
    return std::nullopt;
}

std::optional<int> Rigman::startServices() {
    service_.clearRecords();
    auto server = bus::ConversationServer::create(bus::kReceiverService, service_);
    if (!server) return fail(ui::withLineSuffix(bundle_->string(kServiceFailed), kStartLine));
    server_.emplace(std::move(*server));
    serverNotifier_ =
        std::make_unique<ui::FdNotifier>(server_->fd(), [this] { server_->process(); });

    auto bridge = NmeaBridge::create(link_.get(), this);
    if (!bridge) return fail(QString::fromStdString(bridge.error().message));
    nmea_ = std::move(*bridge);
    connect(nmea_.get(), &NmeaBridge::sentenceReceived, this, [this] {
        if (window_) window_->showNmea();
    });
    connect(nmea_.get(), &NmeaBridge::sentenceSent, this, [this] {
        if (window_) window_->showOutgoing();
    });
    return std::nullopt;
}

// Power on twice, mode, frequency, filter, attenuator, volume; the squelch
// is left as the receiver has it. Radios reached through Hamlib are shared
// with other programs and keep their power as it is.
void Rigman::restoreReceiverState() {
    if (settings_.receiver != kHamlibModel) {
        driver_->power(true);
        driver_->power(true);
    }
    driver_->setMode(settings_.mode);
    driver_->setFrequency(settings_.frequencyKhz);
    const auto labels = driver_->filterLabels();
    if (storesFilterCode(settings_.receiver)) {
        if (const int value = pcrFilterValue(settings_.filter); value >= 0)
            driver_->setFilter(value);
    } else if (settings_.filter >= 0 && settings_.filter < static_cast<int>(labels.size())) {
        driver_->setFilter(
            rig::filterLabelValue(labels[static_cast<std::size_t>(settings_.filter)]));
    }
    driver_->setAttenuator(settings_.attenuator);
    driver_->setVolume(settings_.volume);
}

void Rigman::startNetworkPorts() {
    network_ = std::make_unique<NetworkPorts>(*this);
    auto warn = [this](int port, const std::string& why) {
        messages_.showText(bundle_->format(kNetworkPortFailed, {port, why}));
    };
    if (settings_.rigctlPort > 0)
        if (auto r = network_->startRigctl(settings_.rigctlPort); !r)
            warn(settings_.rigctlPort, r.error().message);
    if (settings_.nmeaTcpPort > 0)
        if (auto r = network_->startNmea(settings_.nmeaTcpPort); !r)
            warn(settings_.nmeaTcpPort, r.error().message);
    if (nmea_) nmea_->setSentenceSink([this](std::string_view s) { network_->publish(s); });
}

void Rigman::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (started_ && driver_) {
        settings_.frequencyKhz = driver_->frequencyKhz();
        settings_.mode = driver_->mode();
        if (auto written = writeSettings(profile_, settings_, driver_->features()); !written)
            std::fprintf(stderr, "RIGMAN: %s\n", written.error().message.c_str());
    }
    if (nmea_) nmea_->setSentenceSink({});
    network_.reset();
    serverNotifier_.reset();
    server_.reset();
    reportNotifier_.reset();
    if (nmea_) nmea_->setNavigationLink(false, kClassName);
    if (link_)
        link_->close_port([this] {
            if (driver_) driver_->power(false);
        });
    nmea_.reset();
    driver_.reset();
    link_.reset();
    delete window_.data();
    bundle_.reset();
    bus_.reset();
}

double Rigman::frequencyKhz() const {
    return driver_ ? driver_->frequencyKhz() : settings_.frequencyKhz;
}
unsigned Rigman::mode() const { return driver_ ? driver_->mode() : settings_.mode; }

void Rigman::tune(double khz) {
    if (!driver_) return;
    driver_->setFrequency(khz);
    settings_.frequencyKhz = driver_->frequencyKhz();
    if (window_) window_->showFrequency();
    emit receiverChanged();
}

void Rigman::tuneBySteps(int steps) { tune(frequencyKhz() + settings_.step * steps / 1000.0); }

void Rigman::selectMode(unsigned modeFlag) {
    if (!driver_) return;
    driver_->setMode(modeFlag);
    settings_.mode = driver_->mode();
    if (window_) window_->refresh();
    emit receiverChanged();
}

void Rigman::setBreak(bool on) {
    if (!link_ || !link_->is_open()) return;
    std::lock_guard lock(link_->lock());
    link_->begin_operation();
    link_->set_break(on);
    link_->end_operation();
}

void Rigman::setStep(int hz) { settings_.step = hz; }

void Rigman::selectFilterEntry(int index) {
    if (!driver_) return;
    const auto labels = driver_->filterLabels();
    if (index < 0 || index >= static_cast<int>(labels.size())) return;
    driver_->setFilter(rig::filterLabelValue(labels[static_cast<std::size_t>(index)]));
    const auto* serial = dynamic_cast<const SerialDriver*>(driver_.get());
    settings_.filter = storesFilterCode(settings_.receiver) && serial
                           ? serial->receiver().state().pcrFilterCode
                           : index;
}

int Rigman::filterEntry() const {
    if (!driver_) return -1;
    const auto labels = driver_->filterLabels();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const bool match =
            storesFilterCode(settings_.receiver)
                ? pcrFilterValue(settings_.filter) == rig::filterLabelValue(labels[i])
                : settings_.filter == static_cast<int>(i);
        if (match) return static_cast<int>(i);
    }
    return -1;
}

void Rigman::setAttenuator(bool on) {
    settings_.attenuator = on;
    if (driver_) driver_->setAttenuator(on);
}

void Rigman::setVolume(int level) {
    settings_.volume = level;
    if (driver_) driver_->setVolume(level);
}

void Rigman::setSquelch(int level) {
    settings_.squelch = level;
    if (driver_) driver_->setSquelch(level);
}

bool Rigman::nmeaPossible() const {
    if (!link_ || settings_.receiver == kHamlibModel) return false;
    const rig::ReceiverProfile& profile = rig::receiverProfile(settings_.receiver);
    return profile.handshake != rig::Handshake::Hardware && profile.model != 12;
}

void Rigman::setNmeaForwarding(bool on) {
    if (!nmeaPossible() || !nmea_) {
        if (window_) window_->refresh();
        return;
    }
    if (on && !link_->reader_running()) {
        NmeaBridge* bridge = nmea_.get();
        link_->start_reader([bridge](const std::string& sentence) { bridge->fromLine(sentence); });
        if (link_->reader_running()) nmea_->setNavigationLink(true, kClassName);
    } else if (!on) {
        nmea_->setNavigationLink(false, kClassName);
        link_->stop_reader();
        setNmeaPanel(false);
    }
    settings_.nmea = link_->reader_running();
    if (window_) window_->refresh();
}

void Rigman::setNmeaPanel(bool open) {
    if (!window_) return;
    QWidget* panel = ui::control(window_->dialog(), 1022);
    if (!panel) return;
    nmeaPanelOpen_ = open && settings_.nmea;
    panel->setVisible(nmeaPanelOpen_);
    if (nmeaPanelOpen_) window_->showNmea();
    window_->adjustSize();
    window_->refresh();
}

void Rigman::recordWindowRect(const WindowRect& rect) { settings_.mainPos = rect; }

void Rigman::onReport() {
    if (!driver_) return;
    while (auto report = driver_->takeReport()) {
        settings_.frequencyKhz = report->frequencyKhz;
        if (report->mode != 0) settings_.mode = report->mode;
        strength_ = report->strength;
        if (window_) {
            window_->refresh();
            window_->setStrength(report->strength);
        }
        emit receiverChanged();
    }
}

void Rigman::showWarning(const std::string& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { messages_.showText(QString::fromStdString(text)); },
        Qt::QueuedConnection);
}

void Rigman::requestQuit() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (window_) window_->closeWithoutQuestion();
        },
        Qt::QueuedConnection);
}

}  // namespace zeb::rigman
