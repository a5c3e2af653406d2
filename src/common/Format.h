// printf-style formatting of texts that come from outside the program — the
// numbered strings of a language bundle, written by translators — with
// arguments whose types the program knows. A conversion that does not fit its
// argument (a "%s" given a number, a "%d" given a text) prints the argument
// sensibly instead of reading memory that is not there; a conversion without
// an argument prints nothing; widths and precisions are capped. Numbers use
// the "C" conventions whatever the desktop locale.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace zeb {

class FormatArg {
public:
    FormatArg(int v) : v_(static_cast<std::int64_t>(v)) {}
    FormatArg(long v) : v_(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : v_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned v) : v_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned long v) : v_(static_cast<std::int64_t>(v)) {}
    FormatArg(double v) : v_(v) {}
    FormatArg(std::string_view v) : v_(v) {}
    FormatArg(const char* v) : v_(std::string_view(v ? v : "")) {}
    FormatArg(const std::string& v) : v_(std::string_view(v)) {}

    const std::variant<std::int64_t, double, std::string_view>& value() const { return v_; }

private:
    std::variant<std::int64_t, double, std::string_view> v_;
};

// Formats `format` with the arguments in order. Supports the flags "-+ #0",
// width and precision (digits or '*'), the length modifiers hh h l ll z j t L
// (ignored; the argument's own type counts) and the conversions d i u o x X c
// s f F e E g G and "%%".
std::string formatPrintf(std::string_view format, std::initializer_list<FormatArg> args);

// Fixed-point text with `decimals` (0 to 20) decimals in the "C" convention,
// whatever the desktop's locale; any finite double fits ("%f" of the
// largest has 309 digits before the point).
std::string formatFixed(double value, int decimals);

}  // namespace zeb
