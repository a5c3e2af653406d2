// The last six characters fed to the bulletin scanner, matched against
// six-position patterns through the teleprinter code: a group that arrived
// in the wrong shift (a lost LTRS or FIGS) still reads as intended, so
// "QWERT" received in letters matches five digits and reads 12345.
//
// Pattern characters:
//   ?  any character
//   +  the figures reading is a digit or "/"
//   -  the figures reading is a digit or a space
//   #  the letters reading is a letter
//   |  the character itself is a letter or a digit
//   a letter: the letters reading equals it; anything else (a digit, a
//   space): the figures reading equals it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zeb::weather {

// The ITA2 code of a character (letters, digits, punctuation, space, CR, LF
// of either case; 1 and 2 stand for LTRS and FIGS); 0 for anything else.
std::uint8_t ita2Code(std::uint8_t ch);
// The character a code reads as in letters or in figures shift.
std::uint8_t lettersReading(std::uint8_t ch);
std::uint8_t figuresReading(std::uint8_t ch);

class GroupWindow {
public:
    static constexpr int kSize = 6;

    // Shifts a character in (the oldest drops out); `counted` characters
    // (letters, digits, "/") raise the count.
    void push(std::uint8_t ch, bool counted) {
        for (int i = 0; i + 1 < kSize; ++i) chars_[i] = chars_[i + 1];
        chars_[kSize - 1] = ch;
        if (counted && count_ < 1000000) ++count_;
    }
    // Zeroes the characters; the count stays.
    void clear() { chars_.fill(0); }
    // Starts counting anew; the characters stay.
    void restartCount() { count_ = 0; }
    // Zeroes the characters and the count.
    void reset() {
        chars_.fill(0);
        count_ = 0;
    }

    int count() const { return count_; }
    std::uint8_t at(int position) const { return chars_[position]; }
    const std::array<std::uint8_t, kSize>& chars() const { return chars_; }

    // True when all six positions match; a pattern shorter than six never matches.
    bool matches(std::string_view pattern) const;
    // The decimal number of the figures readings at positions first..last
    // (inclusive); -1 when any of them is "/" or not a digit.
    int number(int first, int last) const;
    // The letters readings at positions first..last.
    std::string letters(int first, int last) const;
    // The figures reading of one position (a digit, "/" or another character).
    char figure(int position) const { return static_cast<char>(figuresReading(chars_[position])); }

private:
    std::array<std::uint8_t, kSize> chars_{};
    int count_ = 0;
};

}  // namespace zeb::weather
