#include "ui/FormatCheck.h"

namespace zeb::ui {
namespace {

char kindOf(char conversion) {
    switch (conversion) {
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
        case 'c': return 'i';
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': return 'f';
        case 's': return 's';
        default: return 0;
    }
}

Error formatError(std::string message) { return Error{0, std::move(message)}; }

// Reads a decimal number; false when it exceeds `limit`.
bool readNumber(std::string_view format, std::size_t& pos, int limit) {
    int value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        value = value * 10 + (format[pos++] - '0');
        if (value > limit) return false;
    }
    return true;
}

}  // namespace

Result<std::string> formatSignature(std::string_view format) {
    std::string signature;
    for (std::size_t pos = 0; pos < format.size();) {
        if (format[pos++] != '%') continue;
        if (pos < format.size() && format[pos] == '%') {
            ++pos;
            continue;
        }
        while (pos < format.size() &&
               std::string_view("-+ #0").find(format[pos]) != std::string_view::npos) {
            ++pos;
        }
        if (pos < format.size() && format[pos] == '*') {
            signature += 'i';
            ++pos;
        } else {
            const std::size_t start = pos;
            if (!readNumber(format, pos, kMaxFormatWidth))
                return formatError("field width over " + std::to_string(kMaxFormatWidth));
            if (pos > start && pos < format.size() && format[pos] == '$')
                return formatError("positional arguments are not supported");
        }
        if (pos < format.size() && format[pos] == '.') {
            ++pos;
            if (pos < format.size() && format[pos] == '*') {
                signature += 'i';
                ++pos;
            } else if (!readNumber(format, pos, kMaxFormatPrecision)) {
                return formatError("precision over " + std::to_string(kMaxFormatPrecision));
            }
        }
        while (pos < format.size() &&
               std::string_view("hlLqjzt").find(format[pos]) != std::string_view::npos) {
            ++pos;
        }
        if (pos >= format.size()) return formatError("the text ends inside a placeholder");
        const char conversion = format[pos++];
        const char kind = kindOf(conversion);
        if (kind == 0)
            return formatError(std::string("the placeholder %") + conversion + " is not allowed");
        signature += kind;
    }
    return signature;
}

bool signatureFits(std::string_view actual, std::string_view expected) {
    return expected.starts_with(actual);
}

}  // namespace zeb::ui
