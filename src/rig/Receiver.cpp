#include "rig/Receiver.h"

#include <sys/resource.h>

#include <cerrno>

namespace zeb::rig {

Receiver::Receiver(const ReceiverProfile& profile, CommandSink& sink, RigState state)
    : profile_(profile), sink_(sink), state_(state) {}

RigState Receiver::initialState(const ReceiverProfile& profile, int icomRadio, int icomController) {
    RigState state;
    const int fixed = profile.variant.civ.fixedRadio;
    state.icomRadio = fixed >= 0 ? fixed : (icomRadio & 0xFF);
    state.icomController = icomController & 0xFF;
    return state;
}

template <class Op, class... Args>
bool Receiver::run(Op op, Args... args) {
    if (op == nullptr) return false;
    OpContext context{sink_, state_, profile_};
    sink_.beginOperation();
    using R = decltype(op(context, args...));
    bool result = true;
    if constexpr (std::is_same_v<R, bool>) {
        result = op(context, args...);
    } else {
        op(context, args...);
    }
    sink_.endOperation();
    return result;
}

bool Receiver::power(bool on) { return run(profile_.ops.power, on); }

bool Receiver::setFrequency(double khz) {
    if (profile_.ops.set_frequency == nullptr) {
        state_.frequencyKhz = khz;  // nothing to tune; the value is still the user's choice
        return true;
    }
    if (!profile_.tunes(khz) || !run(profile_.ops.set_frequency, khz)) return false;
    state_.frequencyKhz = khz;
    return true;
}

bool Receiver::setMode(unsigned mode) {
    if (!run(profile_.ops.set_mode, mode)) return false;
    state_.mode = mode;
    return true;
}

bool Receiver::setFilter(int labelValue) { return run(profile_.ops.set_filter, labelValue); }
bool Receiver::setAttenuator(bool on) { return run(profile_.ops.set_attenuator, on); }
bool Receiver::setVolume(int level) { return run(profile_.ops.set_volume, level); }
bool Receiver::setSquelch(int level) { return run(profile_.ops.set_squelch, level); }

LinkCommandSink::LinkCommandSink(SerialLink& link, StatusTimer* timer, Sleeper sleeper)
    : link_(link), timer_(timer), sleep_(std::move(sleeper)) {}

bool LinkCommandSink::send(std::span<const std::uint8_t> bytes) {
    return link_.send_command(bytes);
}

void LinkCommandSink::startStatusPoll() {
    if (timer_ == nullptr || timer_->running()) return;
    timer_->start(std::chrono::milliseconds(10000), [this] { pollStatus(); });
}

void LinkCommandSink::stopStatusPoll() {
    if (timer_ != nullptr) timer_->stop();
}

void LinkCommandSink::setUrgent(bool urgent) {
    // Ordinary users may not raise their priority; the pulse train is sent
    // all the same.
    if (urgent && !raised_) {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, 0);
        if (errno == 0 && setpriority(PRIO_PROCESS, 0, -20) == 0) {
            savedNice_ = nice;
            raised_ = true;
        }
    } else if (!urgent && raised_) {
        (void)setpriority(PRIO_PROCESS, 0, savedNice_);
        raised_ = false;
    }
}

void LinkCommandSink::beginOperation() {
    held_ = std::unique_lock<std::mutex>(link_.lock());
    link_.begin_operation();
}

void LinkCommandSink::endOperation() {
    link_.end_operation();
    if (held_.owns_lock()) held_.unlock();
}

void LinkCommandSink::pollStatus() {
    static constexpr std::uint8_t kStatus[] = {'H', '1', '?', '\r', '\n'};
    beginOperation();
    send(kStatus);
    endOperation();
}

}  // namespace zeb::rig
