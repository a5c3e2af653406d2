// Receiver: runs the selected profile's operations and keeps the program
// state they need (current frequency and mode, the PCR filter code, the Icom
// addresses). LinkCommandSink sends the operations' bytes over a SerialLink.
#pragma once

#include "rig/ReceiverProfile.h"
#include "rig/SerialLink.h"

#include <chrono>
#include <functional>
#include <mutex>

namespace zeb::rig {

class Receiver {
public:
    Receiver(const ReceiverProfile& profile, CommandSink& sink, RigState state = {});

    // The state for a profile: a model with a fixed radio address (the IC-746,
    // 86) talks to it whatever is configured.
    static RigState initialState(const ReceiverProfile& profile, int icomRadio = 0x32,
                                 int icomController = 0xE0);

    const ReceiverProfile& profile() const { return profile_; }
    const RigState& state() const { return state_; }

    // Each returns false when the model has no such operation. A frequency
    // outside the model's range returns false and leaves the current one; a
    // mode the model lacks returns false and leaves the current mode.
    bool power(bool on);
    bool setFrequency(double khz);
    bool setMode(unsigned mode);
    bool setFilter(int labelValue);
    bool setAttenuator(bool on);
    bool setVolume(int level);
    bool setSquelch(int level);

private:
    template <class Op, class... Args>
    bool run(Op op, Args... args);

    const ReceiverProfile& profile_;
    CommandSink& sink_;
    RigState state_;
};

// A timer on the program's event loop; the IC-PCR status poll uses it.
class StatusTimer {
public:
    virtual ~StatusTimer() = default;
    virtual void start(std::chrono::milliseconds period, std::function<void()> tick) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
};

class LinkCommandSink final : public CommandSink {
public:
    explicit LinkCommandSink(SerialLink& link, StatusTimer* timer = nullptr,
                             Sleeper sleeper = realSleep);

    bool send(std::span<const std::uint8_t> bytes) override;
    void wait(std::chrono::milliseconds duration) override { sleep_(duration); }
    void startStatusPoll() override;
    void stopStatusPoll() override;
    void setUrgent(bool urgent) override;
    void beginOperation() override;
    void endOperation() override;

    // One status request, "H1?\r\n", wrapped like every operation.
    void pollStatus();

private:
    SerialLink& link_;
    StatusTimer* timer_;
    Sleeper sleep_;
    std::unique_lock<std::mutex> held_;
    int savedNice_ = 0;
    bool raised_ = false;
};

}  // namespace zeb::rig
