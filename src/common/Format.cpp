#include "common/Format.h"

#include <locale.h>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <vector>

namespace zeb {
namespace {

constexpr int kMaxWidth = 512;
constexpr int kMaxPrecision = 64;

// Runs snprintf in the "C" locale for this thread only.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        old_ = uselocale(cLocale);
    }
    ~CLocaleScope() { uselocale(old_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t old_;
};

struct Conversion {
    std::string flags;
    int width = -1;
    int precision = -1;
    char conversion = 0;
};

std::string printfOne(const std::string& conversion, auto value) {
    char buf[kMaxWidth + kMaxPrecision + 400];
    const int n = std::snprintf(buf, sizeof buf, conversion.c_str(), value);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(std::min<int>(n, sizeof buf - 1)));
}

std::string conversionText(const Conversion& s, std::string_view lengthModifier, char conversion) {
    std::string out = "%" + s.flags;
    if (s.width >= 0) out += std::to_string(s.width);
    if (s.precision >= 0) out += "." + std::to_string(s.precision);
    out += lengthModifier;
    out += conversion;
    return out;
}

std::string pad(std::string text, const Conversion& s) {
    if (s.width > 0 && text.size() < static_cast<std::size_t>(s.width)) {
        const std::size_t fill = static_cast<std::size_t>(s.width) - text.size();
        if (s.flags.find('-') != std::string::npos)
            text.append(fill, ' ');
        else
            text.insert(0, fill, ' ');
    }
    return text;
}

std::string formatText(std::string_view text, const Conversion& s) {
    if (s.precision >= 0 && text.size() > static_cast<std::size_t>(s.precision))
        text = text.substr(0, static_cast<std::size_t>(s.precision));
    return pad(std::string(text), s);
}

std::string formatInteger(std::int64_t v, const Conversion& s) {
    switch (s.conversion) {
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return printfOne(conversionText(s, "ll", s.conversion),
                             static_cast<unsigned long long>(v));
        case 'c': {
            const char c = static_cast<char>(v);
            return pad(std::string(1, c), s);
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': return printfOne(conversionText(s, "", s.conversion), static_cast<double>(v));
        case 's': return formatText(std::to_string(v), s);
        default: return printfOne(conversionText(s, "ll", 'd'), static_cast<long long>(v));
    }
}

std::string formatDouble(double v, const Conversion& s) {
    switch (s.conversion) {
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': return printfOne(conversionText(s, "", s.conversion), v);
        case 's': {
            Conversion plain = s;
            plain.precision = -1;
            return formatText(printfOne(std::string("%g"), v), plain);
        }
        default: {
            // An integer conversion of a real prints its integer part.
            const double clamped = v != v ? 0.0 : std::max(-9.2e18, std::min(9.2e18, v));
            return formatInteger(static_cast<std::int64_t>(clamped), s);
        }
    }
}

// The arguments of one formatPrintf call, taken in order.
class ArgCursor {
public:
    explicit ArgCursor(std::initializer_list<FormatArg> args)
        : next_(args.begin()), end_(args.end()) {}
    const FormatArg* take() { return next_ != end_ ? next_++ : nullptr; }
    // A '*' width or precision: an integer argument, limited; 0 for anything else.
    int takeInt() {
        const FormatArg* a = take();
        if (!a) return 0;
        if (auto* i = std::get_if<std::int64_t>(&a->value()))
            return static_cast<int>(
                std::max<std::int64_t>(-kMaxWidth, std::min<std::int64_t>(*i, kMaxWidth)));
        return 0;
    }

private:
    const FormatArg* next_;
    const FormatArg* end_;
};

// Reads the flags, width, precision and length of a conversion starting at
// `i` (just behind the '%'); `i` ends on the conversion character.
Conversion readConversion(std::string_view format, std::size_t& i, ArgCursor& args) {
    Conversion s;
    while (i < format.size() &&
           std::string_view("-+ #0").find(format[i]) != std::string_view::npos) {
        if (s.flags.find(format[i]) == std::string::npos) s.flags += format[i];
        ++i;
    }
    if (i < format.size() && format[i] == '*') {
        ++i;
        s.width = args.takeInt();
        if (s.width < 0) {
            s.flags += '-';
            s.width = -s.width;
        }
    } else {
        int w = 0;
        bool any = false;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            w = std::min(w * 10 + (format[i++] - '0'), kMaxWidth);
            any = true;
        }
        if (any) s.width = w;
    }
    if (i < format.size() && format[i] == '.') {
        ++i;
        if (i < format.size() && format[i] == '*') {
            ++i;
            s.precision = std::max(args.takeInt(), -1);
        } else {
            int p = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                p = std::min(p * 10 + (format[i++] - '0'), kMaxWidth);
            s.precision = p;
        }
        s.precision = std::min(s.precision, kMaxPrecision);
    }
    while (i < format.size() &&
           std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos)
        ++i;
    return s;
}

}  // namespace

std::string formatPrintf(std::string_view format, std::initializer_list<FormatArg> args) {
    CLocaleScope cLocale;
    std::string out;
    ArgCursor cursor(args);
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Conversion s = readConversion(format, i, cursor);
        if (i >= format.size()) break;  // a lone '%' at the end prints nothing
        s.conversion = format[i++];
        if (std::string_view("diuoxXcsfFeEgG").find(s.conversion) == std::string_view::npos)
            continue;  // unknown conversions (including %n and %p) print nothing
        const FormatArg* arg = cursor.take();
        if (!arg) continue;
        std::visit(
            [&](auto&& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::int64_t>)
                    out += formatInteger(v, s);
                else if constexpr (std::is_same_v<T, double>)
                    out += formatDouble(v, s);
                else
                    out += formatText(v, s);
            },
            arg->value());
    }
    return out;
}

std::string formatFixed(double value, int decimals) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                   std::clamp(decimals, 0, 20));
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

}  // namespace zeb
