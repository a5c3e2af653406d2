#include "cw/MorseTable.h"

#include <algorithm>

namespace zeb::cw {

namespace {

constexpr std::array<MorseEntry, 57> kTable{{
    {"-", "T"},
    {".", "E"},
    {"--", "M"},
    {"-.", "N"},
    {".-", "A"},
    {"..", "I"},
    {"---", "O"},
    {"--.", "G"},
    {"-.-", "K"},
    {"-..", "D"},
    {".--", "W"},
    {".-.", "R"},
    {"..-", "U"},
    {"...", "S"},
    {"--.-", "Q"},
    {"--..", "Z"},
    {"-.--", "Y"},
    {"-.-.", "C"},
    {"-..-", "X"},
    {"-...", "B"},
    {".---", "J"},
    {".--.", "P"},
    {".-..", "L"},
    {"..-.", "F"},
    {"...-", "V"},
    {"....", "H"},
    {"-----", "0"},
    {"----.", "9"},
    {"---..", "8"},
    {"--...", "7"},
    {"-.--.", "("},
    {"-.-.-", " <KA> "},
    {"-..-.", "/"},
    {"-...-", "="},
    {"-....", "6"},
    {".----", "1"},
    {".-.-.", "+"},
    {".-..-", "^"},
    {".-...", " <AS> "},
    {"..---", "2"},
    {"...--", "3"},
    {"...-.", " <VE> "},
    {"....-", "4"},
    {".....", "5"},
    {"---...", ":"},
    {"--..--", ","},
    {"-.--.-", ")"},
    {"-....-", "-"},
    {".----.", "'"},
    {".-.-.-", "."},
    {".-..-.", "\""},
    {"..--.-", "_"},
    {"..--..", "?"},
    {"...-.-", " <SK> "},
    {"-.-..-.", " <CL> "},
    {"-...-.-", " <BK> "},
    {"........", " <I> "},
}};

}  // namespace

std::span<const MorseEntry> morseTable() { return kTable; }

std::optional<std::string_view> lookupMorse(std::string_view elements) {
    const auto it = std::find_if(kTable.begin(), kTable.end(),
                                 [&](const MorseEntry& e) { return e.elements == elements; });
    if (it == kTable.end()) return std::nullopt;
    return it->output;
}

void ElementRegister::append(Element element) {
    if (size_ == kCapacity) {
        std::copy(chars_.begin() + 1, chars_.end(), chars_.begin());
        --size_;
    }
    chars_[static_cast<std::size_t>(size_++)] = element == Element::Dot ? '.' : '-';
}

}  // namespace zeb::cw
