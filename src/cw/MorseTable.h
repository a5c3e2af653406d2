// The Morse table of the decoder: element sequences of up to eight elements
// mapped to a character or to a prosign text, and the register that collects
// the elements of the character being received.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zeb::cw {

enum class Element : std::uint8_t { Dot, Dash };

// One table entry: the elements written with '.' and '-', and the output (a
// single character, or a prosign text with its surrounding spaces).
struct MorseEntry {
    std::string_view elements;
    std::string_view output;
};

// The 57 entries of the decoder's table.
std::span<const MorseEntry> morseTable();

// The output for an element sequence, or nullopt when the table has none.
std::optional<std::string_view> lookupMorse(std::string_view elements);

// The last up to eight elements of the current character, oldest first.
// Appending a ninth drops the oldest.
class ElementRegister {
public:
    static constexpr int kCapacity = 8;

    void append(Element element);
    void clear() { size_ = 0; }
    bool empty() const { return size_ == 0; }
    int size() const { return size_; }
    // The held elements as '.' and '-', oldest first.
    std::string_view elements() const { return {chars_.data(), static_cast<std::size_t>(size_)}; }

private:
    std::array<char, kCapacity> chars_{};
    int size_ = 0;
};

}  // namespace zeb::cw
