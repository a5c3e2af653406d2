#include "NetworkPorts.h"

#include "Rigman.h"
#include "rig/ReceiverProfile.h"
#include "ui/FdNotifier.h"

namespace zeb::rigman {

namespace {

// The range announced for radios reached through Hamlib, whose own range
// the driver does not publish.
constexpr double kWideLowHz = 10e3;
constexpr double kWideHighHz = 2e9;

// The driver's strength 0..255 back on Hamlib's scale: dB over S9, S0 = -54,
// 255 = S9 + 60 dB.
constexpr int kS0Db = -54;
constexpr int kTopDb = 60;

}  // namespace

NetworkPorts::NetworkPorts(Rigman& program) : program_(program) {}
NetworkPorts::~NetworkPorts() = default;

Result<void> NetworkPorts::startRigctl(int port) {
    auto server = rig::RigctlServer::listen(static_cast<std::uint16_t>(port), *this);
    if (!server) return server.error();
    rigctl_.emplace(std::move(*server));
    rigctlNotifier_ =
        std::make_unique<ui::FdNotifier>(rigctl_->fd(), [this] { rigctl_->process(); });
    return {};
}

Result<void> NetworkPorts::startNmea(int port) {
    auto server = rig::NmeaTcpServer::listen(static_cast<std::uint16_t>(port));
    if (!server) return server.error();
    nmea_.emplace(std::move(*server));
    nmeaNotifier_ = std::make_unique<ui::FdNotifier>(nmea_->fd(), [this] { nmea_->process(); });
    return {};
}

void NetworkPorts::publish(std::string_view sentence) {
    if (nmea_) nmea_->publish(sentence);
}

double NetworkPorts::frequencyHz() const { return program_.frequencyKhz() * 1000.0; }

bool NetworkPorts::setFrequencyHz(double hz) {
    const double before = program_.frequencyKhz();
    program_.tune(hz / 1000.0);
    return program_.frequencyKhz() != before || hz / 1000.0 == before;
}

unsigned NetworkPorts::mode() const { return program_.mode(); }

bool NetworkPorts::setMode(unsigned modeFlag) {
    if (!(features() & modeFlag)) return false;
    program_.selectMode(modeFlag);
    return program_.mode() == modeFlag;
}

std::uint32_t NetworkPorts::features() const {
    return program_.driver() ? program_.driver()->features() & rig::ModeFlag::All : 0;
}

double NetworkPorts::lowHz() const {
    if (program_.settings().receiver == kHamlibModel) return kWideLowHz;
    return rig::receiverProfile(program_.settings().receiver).lowKhz * 1000.0;
}

double NetworkPorts::highHz() const {
    if (program_.settings().receiver == kHamlibModel) return kWideHighHz;
    return rig::receiverProfile(program_.settings().receiver).highKhz * 1000.0;
}

std::optional<int> NetworkPorts::strengthDb() const {
    const auto strength = program_.strength();
    if (!strength) return std::nullopt;
    return kS0Db + *strength * (kTopDb - kS0Db) / 255;
}

}  // namespace zeb::rigman
