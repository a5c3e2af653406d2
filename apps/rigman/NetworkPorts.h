// The receiver offered to the programs radio users already run, on
// 127.0.0.1: a rigctld-compatible port (fldigi, WSJT-X, gpredict, rigctl -m 2
// read and set frequency and mode through this program, so the window and the
// suite's other programs see every change) and an NMEA output that gpsd reads.
#pragma once

#include "common/Result.h"
#include "rig/NmeaTcpServer.h"
#include "rig/RigctlServer.h"

#include <memory>
#include <optional>
#include <string_view>

namespace zeb::ui {
class FdNotifier;
}

namespace zeb::rigman {

class Rigman;

class NetworkPorts final : public rig::RigctlTarget {
public:
    explicit NetworkPorts(Rigman& program);
    ~NetworkPorts() override;

    Result<void> startRigctl(int port);
    Result<void> startNmea(int port);
    // A sentence for the NMEA output (nothing while it is off).
    void publish(std::string_view sentence);

    const rig::RigctlServer* rigctl() const { return rigctl_ ? &*rigctl_ : nullptr; }
    const rig::NmeaTcpServer* nmea() const { return nmea_ ? &*nmea_ : nullptr; }

    // RigctlTarget
    double frequencyHz() const override;
    bool setFrequencyHz(double hz) override;
    unsigned mode() const override;
    bool setMode(unsigned modeFlag) override;
    std::uint32_t features() const override;
    double lowHz() const override;
    double highHz() const override;
    std::optional<int> strengthDb() const override;

private:
    Rigman& program_;
    std::optional<rig::RigctlServer> rigctl_;
    std::optional<rig::NmeaTcpServer> nmea_;
    std::unique_ptr<ui::FdNotifier> rigctlNotifier_;
    std::unique_ptr<ui::FdNotifier> nmeaNotifier_;
};

}  // namespace zeb::rigman
