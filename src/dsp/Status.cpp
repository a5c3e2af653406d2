#include "dsp/Status.h"

#include <array>
#include <atomic>
#include <cstring>
#include <string_view>

#include "common/Format.h"

namespace zeb::dsp {

namespace {

std::atomic<ErrorHandler> gHandler{nullptr};
thread_local int tStatus = kStatusOk;

// The format is kept as the Windows-1252 bytes the language files use and is
// turned into UTF-8 when the message is built.
constexpr std::string_view kFatalFormat1252 = "Flie\xDFkomma-Fehler \"%s\" in Funktion \"%s\"";

// Windows-1252 0x80 … 0x9F; 0 marks the five unassigned bytes.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0) c = kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : U'\uFFFD';
        appendUtf8(out, c);
    }
    return out;
}

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace

ErrorHandler setErrorHandler(ErrorHandler handler) { return gHandler.exchange(handler); }
ErrorHandler errorHandler() { return gHandler.load(); }

int lastStatus() { return tStatus; }
void clearStatus() { tStatus = kStatusOk; }

void reportError(int status, const char* function, const char* message, SourcePosition where) {
    tStatus = status;
    if (status == kStatusOk) return;
    const ErrorHandler handler = gHandler.load();
    if (!handler) return;
    const ErrorReport report{status, function ? function : "", message ? message : "",
                             baseName(where.file), where.line};
    handler(report);
}

const char* statusText(int status) {
    static constexpr std::array<const char*, 15> kTexts = {
        "No error",                      //  0
        "Unspecified error",             // -1
        "Invalid internal state",        // -2
        "Function not implemented",      // -3
        "Out of memory",                 // -4
        "Bad argument",                  // -5
        "Null pointer",                  // -6
        "Zero or negative length",       // -7
        "Bad size of data",              // -8
        "Bad order of the transform",    // -9
        "Bad flag combination",          // -10
        "Bad number of filter taps",     // -11
        "Division by zero",              // -12
        "Overflow in computation",       // -13
        "Function called out of order",  // -14
    };
    if (status > 0 || status < -14) return "Unknown error or status code";
    return kTexts[static_cast<std::size_t>(-status)];
}

std::string dspErrorMessage(int status, const char* function) {
    return formatPrintf(cp1252ToUtf8(kFatalFormat1252), {statusText(status), function});
}

}  // namespace zeb::dsp
