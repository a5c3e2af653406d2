#include "SerialDriver.h"

#include <array>

namespace zeb::rigman {

SerialDriver::SerialDriver(const rig::ReceiverProfile& profile, rig::SerialLink& link,
                           rig::StatusTimer* timer, rig::RigState state)
    : sink_(link, timer), receiver_(profile, sink_, state) {}

bool storesFilterCode(int model) { return model == 12 || model == 22; }

int pcrFilterValue(int code) {
    constexpr std::array<int, 5> kValues = {3, 6, 15, 50, 230};
    return code >= 0 && code < static_cast<int>(kValues.size()) ? kValues[code] : -1;
}

}  // namespace zeb::rigman
