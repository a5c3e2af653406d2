// HamlibDriver: any radio Hamlib supports, a rigctld on the network (SDR++,
// Gqrx, flrig or a rigctld serving a radio) or Hamlib's dummy rig, driven
// through libhamlib. Every Hamlib call after open() runs on the driver's own
// worker thread, so a slow or silent radio never holds up the caller: the
// setters hand the value to the worker and return at once, and the worker
// reads the radio back periodically and reports what changed through
// reportFd()/takeReport().
#pragma once

#include "common/Result.h"
#include "rig/RigDriver.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zeb::rig {

struct HamlibSettings {
    int model = 1;     // Hamlib's model number: 1 the dummy rig, 2 a rigctld on the network
    std::string port;  // device path, or "host:port" for a network model; empty: Hamlib's default
    int speed = 0;     // serial speed in baud; 0: the model's default
    std::chrono::milliseconds pollInterval{500};  // how often the radio is read back
};

class HamlibDriver final : public RigDriver {
public:
    // Opens the radio and starts the worker; the error names the model, the
    // port and Hamlib's reason ("Hamlib model 2 on 127.0.0.1:4999: IO error").
    static Result<std::unique_ptr<HamlibDriver>> open(const HamlibSettings& settings);
    ~HamlibDriver() override;
    HamlibDriver(const HamlibDriver&) = delete;
    HamlibDriver& operator=(const HamlibDriver&) = delete;

    std::string displayName() const override { return caps_.name; }
    std::uint32_t features() const override { return caps_.features; }
    std::uint8_t steps() const override;
    std::span<const std::string_view> filterLabels() const override { return {}; }

    double frequencyKhz() const override { return frequencyKhz_; }
    unsigned mode() const override { return mode_; }

    bool power(bool on) override;
    bool setFrequency(double khz) override;
    bool setMode(unsigned mode) override;
    bool setFilter(int) override { return false; }
    bool setAttenuator(bool on) override;
    bool setVolume(int level) override;
    bool setSquelch(int level) override;

    int reportFd() const override;
    std::optional<RigReport> takeReport() override;

    // What the radio offers, read from Hamlib once the radio is open.
    struct Capabilities {
        std::string name;                                  // "Hamlib: <maker> <model>"
        std::uint32_t features = 0;                        // ModeFlag and Feature bits
        std::vector<std::pair<double, double>> rxRangeHz;  // empty: no limits known
        bool canPower = false;
    };

private:
    struct Session;  // the open radio and its worker thread

    HamlibDriver(std::unique_ptr<Session> session, Capabilities caps);

    std::unique_ptr<Session> session_;
    Capabilities caps_;
    double frequencyKhz_ = 0.0;
    unsigned mode_ = 0;
};

}  // namespace zeb::rig
