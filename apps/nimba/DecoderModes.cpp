#include "DecoderModes.h"

namespace zeb::nimba {
namespace {

constexpr std::array<DecoderMode, 4> kDecoderModes = {DecoderMode::Fax, DecoderMode::Rtty,
                                                      DecoderMode::Cw, DecoderMode::Recorder};

}  // namespace

std::optional<DecoderMode> modeOfButton(int id) {
    switch (id) {
        case kFaxButton: return DecoderMode::Fax;
        case kRttyButton: return DecoderMode::Rtty;
        case kCwButton: return DecoderMode::Cw;
        case kRecorderButton: return DecoderMode::Recorder;
        case kOffButton: return DecoderMode::None;
        default: return std::nullopt;
    }
}

std::optional<DecoderMode> modeOfCommand(int id) {
    switch (id) {
        case 101: return DecoderMode::Fax;
        case 102: return DecoderMode::Rtty;
        case 103: return DecoderMode::Cw;
        case 104: return DecoderMode::Recorder;
        case 105: return DecoderMode::None;
        default: return std::nullopt;
    }
}

int buttonOfMode(DecoderMode mode) {
    switch (mode) {
        case DecoderMode::Fax: return kFaxButton;
        case DecoderMode::Rtty: return kRttyButton;
        case DecoderMode::Cw: return kCwButton;
        case DecoderMode::Recorder: return kRecorderButton;
        default: return kOffButton;
    }
}

ModeSwitcher::ModeSwitcher(Hooks hooks) : hooks_(std::move(hooks)) {}

void ModeSwitcher::setDecoder(DecoderMode mode, ModeDecoder* decoder) {
    decoders_[static_cast<std::size_t>(mode)] = decoder;
}

ModeDecoder* ModeSwitcher::decoder(DecoderMode mode) const {
    return decoders_[static_cast<std::size_t>(mode)];
}

bool ModeSwitcher::switchWithChecks(DecoderMode mode) {
    if (mode == mode_) return false;
    if (scheduleRunning_) {
        hooks_.refuseWhileScheduled();
        return false;
    }
    run(mode, false);
    return true;
}

void ModeSwitcher::switchWithoutChecks(DecoderMode mode) { run(mode, true); }

void ModeSwitcher::run(DecoderMode mode, bool restartTarget) {
    // The block handler runs nothing from here until the new decoder runs.
    hooks_.setCaptureMode(DecoderMode::None);
    for (DecoderMode other : kDecoderModes) {
        ModeDecoder* d = decoder(other);
        if (!d) continue;
        if (other != mode || (restartTarget && d->running())) d->stop();
    }
    DecoderMode result = DecoderMode::None;
    if (mode != DecoderMode::None) {
        ModeDecoder* target = decoder(mode);
        if (target && target->start()) result = mode;
    }
    mode_ = result;
    hooks_.setCaptureMode(result);
    hooks_.modeChanged();
}

void ModeSwitcher::stopAll() {
    hooks_.setCaptureMode(DecoderMode::None);
    for (DecoderMode m : kDecoderModes) {
        if (ModeDecoder* d = decoder(m)) d->stop();
    }
    mode_ = DecoderMode::None;
}

}  // namespace zeb::nimba
