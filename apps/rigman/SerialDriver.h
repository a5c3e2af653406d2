// The listed receiver models as a RigDriver: the model's command set sent
// over the serial link, each operation wrapped in the link's line settings.
#pragma once

#include "rig/Receiver.h"
#include "rig/RigDriver.h"
#include "rig/SerialLink.h"

namespace zeb::rigman {

class SerialDriver final : public rig::RigDriver {
public:
    SerialDriver(const rig::ReceiverProfile& profile, rig::SerialLink& link,
                 rig::StatusTimer* timer, rig::RigState state);

    std::string displayName() const override { return std::string(receiver_.profile().name); }
    std::uint32_t features() const override { return receiver_.profile().features; }
    std::uint8_t steps() const override { return receiver_.profile().steps; }
    std::span<const std::string_view> filterLabels() const override {
        return receiver_.profile().filterLabels;
    }
    double frequencyKhz() const override { return receiver_.state().frequencyKhz; }
    unsigned mode() const override { return receiver_.state().mode; }

    bool power(bool on) override { return receiver_.power(on); }
    bool setFrequency(double khz) override { return receiver_.setFrequency(khz); }
    bool setMode(unsigned mode) override { return receiver_.setMode(mode); }
    bool setFilter(int labelValue) override { return receiver_.setFilter(labelValue); }
    bool setAttenuator(bool on) override { return receiver_.setAttenuator(on); }
    bool setVolume(int level) override { return receiver_.setVolume(level); }
    bool setSquelch(int level) override { return receiver_.setSquelch(level); }

    const rig::Receiver& receiver() const { return receiver_; }

private:
    rig::LinkCommandSink sink_;
    rig::Receiver receiver_;
};

// The IC-PCR models keep a filter code (0 for 3 kHz … 4 for 230 kHz) in the
// settings instead of a list entry.
bool storesFilterCode(int model);
// The label value of a stored IC-PCR filter code; -1 for a code without one.
int pcrFilterValue(int code);

}  // namespace zeb::rigman
