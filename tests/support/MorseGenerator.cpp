#include "support/MorseGenerator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <numbers>
#include <random>
#include <utility>

namespace zeb::test {

namespace {

struct Code {
    char c;
    std::string_view pattern;
};

// International Morse code (ITU-R M.1677).
constexpr std::array<Code, 54> kCodes{{
    {'A', ".-"},      {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},     {'E', "."},
    {'F', "..-."},    {'G', "--."},    {'H', "...."},   {'I', ".."},      {'J', ".---"},
    {'K', "-.-"},     {'L', ".-.."},   {'M', "--"},     {'N', "-."},      {'O', "---"},
    {'P', ".--."},    {'Q', "--.-"},   {'R', ".-."},    {'S', "..."},     {'T', "-"},
    {'U', "..-"},     {'V', "...-"},   {'W', ".--"},    {'X', "-..-"},    {'Y', "-.--"},
    {'Z', "--.."},    {'0', "-----"},  {'1', ".----"},  {'2', "..---"},   {'3', "...--"},
    {'4', "....-"},   {'5', "....."},  {'6', "-...."},  {'7', "--..."},   {'8', "---.."},
    {'9', "----."},   {'.', ".-.-.-"}, {',', "--..--"}, {':', "---..."},  {'?', "..--.."},
    {'\'', ".----."}, {'-', "-....-"}, {'/', "-..-."},  {'(', "-.--."},   {')', "-.--.-"},
    {'"', ".-..-."},  {'=', "-...-"},  {'+', ".-.-."},  {'@', ".--.-."},  {'_', "..--.-"},
    {'!', "-.-.--"},  {'&', ".-..."},  {';', "-.-.-."}, {'$', "...-..-"},
}};

}  // namespace

std::string_view morsePattern(char c) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& code : kCodes) {
        if (code.c == u) return code.pattern;
    }
    return {};
}

std::vector<KeyInterval> morseKeying(std::string_view text, const MorseSignal& s) {
    const double unit = 1.2 / s.wpm * s.sampleRate;
    // Farnsworth: characters at s.wpm, the letter and word gaps stretched so
    // that "PARIS " takes 60 / farnsworthWpm seconds (31 units of characters
    // and 19 units of spacing).
    double spaceUnit = unit;
    if (s.farnsworthWpm > 0.0 && s.farnsworthWpm < s.wpm) {
        const double total = 60.0 / s.farnsworthWpm * s.sampleRate;
        spaceUnit = (total - 31.0 * unit) / 19.0;
    }
    std::mt19937 rng(s.seed);
    std::normal_distribution<double> shake(0.0, 1.0);
    auto length = [&](double nominal) {
        const double f = 1.0 + s.jitter * shake(rng);
        return std::max(0.3 * unit, nominal * f);
    };

    std::vector<KeyInterval> keys;
    double t = s.leadSeconds * s.sampleRate;
    bool first = true;
    bool pendingWord = false;
    for (char c : text) {
        if (c == ' ') {
            pendingWord = true;
            continue;
        }
        const auto pattern = morsePattern(c);
        if (pattern.empty()) continue;
        if (!first) t += length((pendingWord ? 7.0 : 3.0) * spaceUnit);
        first = false;
        pendingWord = false;
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (i > 0) t += length(unit);
            const double len = length(pattern[i] == '.' ? unit : s.dashRatio * unit);
            keys.push_back({std::lround(t), std::lround(len)});
            t += len;
        }
    }
    return keys;
}

std::vector<float> generateMorse(std::string_view text, const MorseSignal& s) {
    const auto keys = morseKeying(text, s);
    const long lead = std::lround(s.leadSeconds * s.sampleRate);
    const long end = keys.empty() ? 2 * lead : keys.back().start + keys.back().length + lead;
    std::vector<double> key(static_cast<std::size_t>(end), 0.0);

    // Raised-cosine edges: each interval ramps up over `rise` samples from its
    // start and down over `rise` samples after its end.
    const long rise = std::max(1L, std::lround(s.riseMs * 1e-3 * s.sampleRate));
    for (const auto& k : keys) {
        for (long i = 0; i < k.length + rise && k.start + i < end; ++i) {
            double g = 1.0;
            if (i < rise) g = 0.5 - 0.5 * std::cos(std::numbers::pi * (i + 0.5) / rise);
            if (i >= k.length) {
                g = std::min(g,
                             0.5 + 0.5 * std::cos(std::numbers::pi * (i - k.length + 0.5) / rise));
            }
            auto& v = key[static_cast<std::size_t>(k.start + i)];
            v = std::max(v, g);
        }
    }

    std::mt19937 rng(s.seed * 7919u + 17u);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> phase0(0.0, 2.0 * std::numbers::pi);
    const double noiseSigma = s.snrDb >= 100.0 ? 0.0
                                               : std::sqrt(s.amplitude * s.amplitude / 2.0 /
                                                           std::pow(10.0, s.snrDb / 10.0) *
                                                           (s.sampleRate / 2.0) / 3000.0);
    const double w = 2.0 * std::numbers::pi * (s.toneHz + s.offsetHz) / s.sampleRate;
    const double dw = 2.0 * std::numbers::pi * s.driftHzPerSecond / (s.sampleRate * s.sampleRate);
    double phase = phase0(rng);
    const double qsbPhase = phase0(rng);
    std::vector<float> out(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (s.phasePerMark && key[i] > 0.0 && (i == 0 || key[i - 1] == 0.0)) phase = phase0(rng);
        double fade = 1.0;
        if (s.qsbDepth > 0.0) {
            const double q =
                0.5 +
                0.5 * std::sin(2.0 * std::numbers::pi * s.qsbHz * i / s.sampleRate + qsbPhase);
            fade = 1.0 - s.qsbDepth * q;
        }
        const double t = static_cast<double>(i);
        const double v = s.amplitude * fade * key[i] * std::sin(w * t + 0.5 * dw * t * t + phase) +
                         (noiseSigma > 0.0 ? noiseSigma * gauss(rng) : 0.0);
        out[i] = static_cast<float>(std::clamp(v, -32768.0, 32767.0));
    }
    return out;
}

std::string normaliseSpaces(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

double characterErrorRate(std::string_view expected, std::string_view decoded) {
    const std::string a = normaliseSpaces(expected);
    const std::string b = normaliseSpaces(decoded);
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return a.empty() ? (b.empty() ? 0.0 : 1.0) : static_cast<double>(row[b.size()]) / a.size();
}

}  // namespace zeb::test
