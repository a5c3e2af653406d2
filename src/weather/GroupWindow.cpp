#include "weather/GroupWindow.h"

#include "teleprinter/CodeTables.h"

namespace zeb::weather {
namespace {

bool isLetter(std::uint8_t c) { return c >= 'A' && c <= 'Z'; }
bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

std::uint8_t ita2Code(std::uint8_t ch) {
    // The tables are built from the decoder's own, so the scanner reads every
    // character exactly as the decoder produced it.
    static const std::array<std::uint8_t, 256> kReverse = [] {
        std::array<std::uint8_t, 256> table{};
        for (int code = 1; code < 32; ++code) {
            if (code == teleprinter::kBaudotFigs || code == teleprinter::kBaudotLtrs) continue;
            const std::uint8_t l = teleprinter::kBaudotLetters[code];
            const std::uint8_t f = teleprinter::kBaudotFigures[code];
            if (table[f] == 0) table[f] = static_cast<std::uint8_t>(code);
            if (table[l] == 0) table[l] = static_cast<std::uint8_t>(code);
            if (isLetter(l)) table[l + 32] = static_cast<std::uint8_t>(code);
        }
        table[1] = teleprinter::kBaudotLtrs;
        table[2] = teleprinter::kBaudotFigs;
        return table;
    }();
    return kReverse[ch];
}

std::uint8_t lettersReading(std::uint8_t ch) { return teleprinter::kBaudotLetters[ita2Code(ch)]; }
std::uint8_t figuresReading(std::uint8_t ch) { return teleprinter::kBaudotFigures[ita2Code(ch)]; }

bool GroupWindow::matches(std::string_view pattern) const {
    if (pattern.size() != kSize) return false;
    for (int i = 0; i < kSize; ++i) {
        const std::uint8_t c = chars_[i];
        const char p = pattern[i];
        bool ok;
        switch (p) {
            case '?': ok = true; break;
            case '+': {
                const std::uint8_t f = figuresReading(c);
                ok = isDigit(f) || f == '/';
                break;
            }
            case '-': {
                const std::uint8_t f = figuresReading(c);
                ok = isDigit(f) || f == ' ';
                break;
            }
            case '#': ok = isLetter(lettersReading(c)); break;
            case '|': ok = isLetter(c) || isDigit(c) || (c >= 'a' && c <= 'z'); break;
            default:
                ok = isLetter(static_cast<std::uint8_t>(p))
                         ? lettersReading(c) == static_cast<std::uint8_t>(p)
                         : figuresReading(c) == static_cast<std::uint8_t>(p);
        }
        if (!ok) return false;
    }
    return true;
}

int GroupWindow::number(int first, int last) const {
    int value = 0;
    for (int i = first; i <= last; ++i) {
        const std::uint8_t f = figuresReading(chars_[i]);
        if (!isDigit(f)) return -1;
        value = value * 10 + (f - '0');
    }
    return value;
}

std::string GroupWindow::letters(int first, int last) const {
    std::string out;
    for (int i = first; i <= last; ++i) out.push_back(static_cast<char>(lettersReading(chars_[i])));
    return out;
}

}  // namespace zeb::weather
