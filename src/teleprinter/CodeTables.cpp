#include "teleprinter/CodeTables.h"

namespace zeb::teleprinter {

// clang-format off
const std::array<std::uint8_t, 32> kBaudotLetters = {
    kBaudotNone, 'T', 13, 'O', ' ', 'H', 'N', 'M',
    10,          'L', 'R', 'G', 'I', 'P', 'C', 'V',
    'E',         'Z', 'D', 'B', 'S', 'Y', 'F', 'X',
    'A',         'W', 'J', kBaudotFigs, 'U', 'Q', 'K', kBaudotLtrs,
};

const std::array<std::uint8_t, 32> kBaudotFigures = {
    kBaudotNone, '5', 13, '9', ' ', '_', ',', '.',
    10,          ')', '4', 0x7C, '8', '0', ':', '=',
    '3',         '+', '#', '?', '\'', '6', '_', '/',
    '-',         '2', 0x0E, kBaudotFigs, '7', '1', '(', kBaudotLtrs,
};
// clang-format on

namespace {

struct SitorRow {
    std::uint8_t word, letter, figure;
};

// The 35 valid words; figure 0 = invalid in figures shift.
constexpr SitorRow kSitorRows[] = {
    {0x0F, 13, 13},
    {0x17, 'T', '5'},
    {0x1B, 10, 10},
    {0x1D, ' ', ' '},
    {0x1E, 'V', '='},
    {0x27, 'B', '?'},
    {0x2B, '*', '*'},
    {0x2D, kSitorLtrs, kSitorLtrs},
    {0x2E, 'X', '/'},
    {0x33, kSitorBeta, kSitorBeta},
    {0x35, 'E', '3'},
    {0x36, kSitorFigs, kSitorFigs},
    {0x39, 'U', '7'},
    {0x3A, 'Q', '1'},
    {0x3C, 'K', '('},
    {0x47, 'O', '9'},
    {0x4B, 'H', 0},
    {0x4D, 'N', ','},
    {0x4E, 'M', '.'},
    {0x53, 'L', ')'},
    {0x55, 'R', '4'},
    {0x56, 'G', 0},
    {0x59, 'I', '8'},
    {0x5A, 'P', '0'},
    {0x5C, 'C', ':'},
    {0x63, 'Z', '+'},
    {0x65, 'D', 0},
    {0x66, kSitorRepetition, kSitorRepetition},
    {0x69, 'S', '.'},
    {0x6A, 'Y', '6'},
    {0x6C, 'F', 0},
    {0x71, 'A', '-'},
    {0x72, 'W', '2'},
    {0x74, 'J', 0x0E},
    {0x78, kSitorAlpha, kSitorAlpha},
};

std::array<std::uint8_t, 128> buildSitor(bool figures) {
    std::array<std::uint8_t, 128> table{};
    for (const SitorRow& row : kSitorRows) table[row.word] = figures ? row.figure : row.letter;
    return table;
}

}  // namespace

const std::array<std::uint8_t, 128> kSitorLetters = buildSitor(false);
const std::array<std::uint8_t, 128> kSitorFigures = buildSitor(true);

}  // namespace zeb::teleprinter
