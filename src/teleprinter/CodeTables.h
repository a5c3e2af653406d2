// Character tables of the ITA2 (5-unit) and CCIR 476 (7-unit) teleprinter
// codes as this decoder uses them.
#pragma once

#include <array>
#include <cstdint>

namespace zeb::teleprinter {

// ITA2, indexed by the 5-bit code whose most significant bit is the first
// data bit received.
inline constexpr std::uint8_t kBaudotNone = 0xB2;  // code 0: no character
inline constexpr std::uint8_t kBaudotFigs = 27;
inline constexpr std::uint8_t kBaudotLtrs = 31;
extern const std::array<std::uint8_t, 32> kBaudotLetters;
extern const std::array<std::uint8_t, 32> kBaudotFigures;

// CCIR 476, indexed by the 7-bit word whose bit 6 is the first bit received.
// 0 marks an invalid word (in figures shift also the letters H, G, D, F).
inline constexpr std::uint8_t kSitorAlphaWord = 0x78;       // phasing signal α
inline constexpr std::uint8_t kSitorBetaWord = 0x33;        // phasing signal β
inline constexpr std::uint8_t kSitorRepetitionWord = 0x66;  // signal repetition
inline constexpr std::uint8_t kSitorBlankWord = 0x2B;       // all-space blank, shown as "*"
// Table entries of the three service signals: values no character uses.
inline constexpr std::uint8_t kSitorAlpha = 0x01;
inline constexpr std::uint8_t kSitorBeta = 0x02;
inline constexpr std::uint8_t kSitorRepetition = 0x03;
inline constexpr std::uint8_t kSitorFigs = 27;
inline constexpr std::uint8_t kSitorLtrs = 31;
extern const std::array<std::uint8_t, 128> kSitorLetters;
extern const std::array<std::uint8_t, 128> kSitorFigures;

}  // namespace zeb::teleprinter
