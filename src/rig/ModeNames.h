// The receiver modes under the names Hamlib gives them ("USB", "CW", "AM"),
// for the programs that talk Hamlib's language: the Hamlib receiver entry and
// the rigctld-compatible network port.
#pragma once

#include <cstdint>
#include <string_view>

namespace zeb::rig {

// Hamlib's name of a mode flag ("USB" for ModeFlag::Usb); CW narrow and AM
// narrow share the name of their wide mode. Empty for the modes Hamlib has no
// name for (the HF-150 keys, JRC code 6).
std::string_view hamlibModeName(unsigned modeFlag);

// The passband Hamlib should be told for a mode flag, in Hz: the narrow CW and
// AM filters, 0 ("the radio's normal") for every other mode.
int hamlibPassband(unsigned modeFlag);

// The mode flag for a Hamlib mode name and passband, among the modes in
// `features` (ModeFlag bits): "CW" with a passband of 500 Hz or less picks CW
// narrow when the model has it, else CW; "AM" with 6 kHz or less picks AM
// narrow likewise; the reversed and data variants (CWR, RTTYR, PKTUSB,
// PKTLSB, SAM, AMS, FMN) fall back to their plain mode. 0 when the name is
// unknown or the model has none of the candidates.
unsigned modeFlagFromHamlib(std::string_view name, int passbandHz, std::uint32_t features);

}  // namespace zeb::rig
