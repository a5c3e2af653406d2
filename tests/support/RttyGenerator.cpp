#include "support/RttyGenerator.h"

#include <cmath>
#include <numbers>
#include <random>

namespace zeb::test {
namespace {

constexpr double kRate = 11025.0;

// ITA2 in the standard's notation: unit 1 … 5, '1' = mark (Z), '0' = space (A).
struct Ita2Char {
    char ch;
    const char* units;
    bool figures;
};

// clang-format off
constexpr Ita2Char kIta2[] = {
    {'A', "11000", false}, {'B', "10011", false}, {'C', "01110", false}, {'D', "10010", false},
    {'E', "10000", false}, {'F', "10110", false}, {'G', "01011", false}, {'H', "00101", false},
    {'I', "01100", false}, {'J', "11010", false}, {'K', "11110", false}, {'L', "01001", false},
    {'M', "00111", false}, {'N', "00110", false}, {'O', "00011", false}, {'P', "01101", false},
    {'Q', "11101", false}, {'R', "01010", false}, {'S', "10100", false}, {'T', "00001", false},
    {'U', "11100", false}, {'V', "01111", false}, {'W', "11001", false}, {'X', "10111", false},
    {'Y', "10101", false}, {'Z', "10001", false},
    {'-', "11000", true}, {'?', "10011", true}, {':', "01110", true}, {'3', "10000", true},
    {'8', "01100", true}, {'(', "11110", true}, {')', "01001", true}, {'.', "00111", true},
    {',', "00110", true}, {'9', "00011", true}, {'0', "01101", true}, {'1', "11101", true},
    {'4', "01010", true}, {'\'', "10100", true}, {'5', "00001", true}, {'7', "11100", true},
    {'=', "01111", true}, {'2', "11001", true}, {'/', "10111", true}, {'6', "10101", true},
    {'+', "10001", true},
};
// clang-format on
constexpr const char* kIta2Space = "00100";
constexpr const char* kIta2Cr = "00010";
constexpr const char* kIta2Lf = "01000";
constexpr const char* kIta2Ltrs = "11111";
constexpr const char* kIta2Figs = "11011";

// CCIR 476 in the standard's notation, bit 1 first: 'B' (mark) and 'Y' (space).
struct CcirChar {
    char ch;
    const char* units;
    bool figures;
};

// clang-format off
constexpr CcirChar kCcir[] = {
    {'A', "BBBYYYB", false}, {'B', "YBYYBBB", false}, {'C', "BYBBBYY", false},
    {'D', "BBYYBYB", false}, {'E', "YBBYBYB", false}, {'F', "BBYBBYY", false},
    {'G', "BYBYBBY", false}, {'H', "BYYBYBB", false}, {'I', "BYBBYYB", false},
    {'J', "BBBYBYY", false}, {'K', "YBBBBYY", false}, {'L', "BYBYYBB", false},
    {'M', "BYYBBBY", false}, {'N', "BYYBBYB", false}, {'O', "BYYYBBB", false},
    {'P', "BYBBYBY", false}, {'Q', "YBBBYBY", false}, {'R', "BYBYBYB", false},
    {'S', "BBYBYYB", false}, {'T', "YYBYBBB", false}, {'U', "YBBBYYB", false},
    {'V', "YYBBBBY", false}, {'W', "BBBYYBY", false}, {'X', "YBYBBBY", false},
    {'Y', "BBYBYBY", false}, {'Z', "BBYYYBB", false},
    {'-', "BBBYYYB", true}, {'?', "YBYYBBB", true}, {':', "BYBBBYY", true},
    {'3', "YBBYBYB", true}, {'8', "BYBBYYB", true}, {'(', "YBBBBYY", true},
    {')', "BYBYYBB", true}, {'.', "BYYBBBY", true}, {',', "BYYBBYB", true},
    {'9', "BYYYBBB", true}, {'0', "BYBBYBY", true}, {'1', "YBBBYBY", true},
    {'4', "BYBYBYB", true}, {'5', "YYBYBBB", true}, {'7', "YBBBYYB", true},
    {'=', "YYBBBBY", true}, {'2', "BBBYYBY", true}, {'/', "YBYBBBY", true},
    {'6', "BBYBYBY", true}, {'+', "BBYYYBB", true},
};
// clang-format on
constexpr const char* kCcirSpace = "YYBBBYB";
constexpr const char* kCcirCr = "YYYBBBB";
constexpr const char* kCcirLf = "YYBBYBB";
constexpr const char* kCcirLtrs = "YBYBBYB";
constexpr const char* kCcirFigs = "YBBYBBY";

int units(const char* u, char one) {
    int v = 0;
    for (const char* c = u; *c != 0; ++c) v = (v << 1) | (*c == one ? 1 : 0);
    return v;
}

template <typename Table>
std::vector<int> encode(std::string_view text, const Table& table, char one, const char* space,
                        const char* cr, const char* lf, const char* ltrs, const char* figs) {
    std::vector<int> out;
    int shift = -1;  // unknown: the first character always sends its shift
    auto send = [&](const char* u) { out.push_back(units(u, one)); };
    for (char c : text) {
        if (c == ' ') {
            send(space);
            continue;
        }
        if (c == '\n') {
            send(cr);
            send(lf);
            continue;
        }
        const auto* found = static_cast<decltype(&table[0])>(nullptr);
        for (const auto& e : table) {
            if (e.ch == c) found = &e;
            if (found != nullptr) break;
        }
        if (found == nullptr) {
            send(space);
            continue;
        }
        const int want = found->figures ? 1 : 0;
        if (want != shift) {
            send(want != 0 ? figs : ltrs);
            shift = want;
        }
        send(found->units);
    }
    return out;
}

}  // namespace

std::vector<int> ita2Codes(std::string_view text) {
    return encode(text, kIta2, '1', kIta2Space, kIta2Cr, kIta2Lf, kIta2Ltrs, kIta2Figs);
}

std::vector<FskElement> ita2Frames(const std::vector<int>& codes, double stopBits, double idleBits,
                                   double leadBits) {
    std::vector<FskElement> out;
    if (leadBits > 0.0) out.push_back({true, leadBits});
    for (int code : codes) {
        out.push_back({false, 1.0});
        for (int b = 4; b >= 0; --b) out.push_back({((code >> b) & 1) != 0, 1.0});
        out.push_back({true, stopBits + idleBits});
    }
    return out;
}

std::vector<int> ccir476Words(std::string_view text) {
    return encode(text, kCcir, 'B', kCcirSpace, kCcirCr, kCcirLf, kCcirLtrs, kCcirFigs);
}

std::vector<int> fecSlots(const std::vector<int>& words, int phasingPairs, bool alphaInDx) {
    const int dxPhasing = alphaInDx ? kCcirAlpha : kCcirBeta;
    const int rxPhasing = alphaInDx ? kCcirBeta : kCcirAlpha;
    std::vector<int> slots;
    for (int i = 0; i < phasingPairs; ++i) {
        slots.push_back(dxPhasing);
        slots.push_back(rxPhasing);
    }
    // DX slot i carries word i; the RX slot after it carries word i − 2, so
    // that the repetition follows its first transmission five slots later.
    // RX slots before the first repetition carry the RX phasing signal. The
    // end of emission is three α in DX slots; the emission stops after the
    // last of them.
    const int n = static_cast<int>(words.size());
    for (int i = 0; i < n + 3; ++i) {
        slots.push_back(i < n ? words[i] : kCcirAlpha);
        const int rep = i - 2;
        if (rep < n) slots.push_back(rep < 0 ? rxPhasing : words[rep]);
    }
    return slots;
}

std::vector<FskElement> sitorElements(const std::vector<int>& slots, double leadBits) {
    std::vector<FskElement> out;
    if (leadBits > 0.0) out.push_back({true, leadBits});
    for (int w : slots) {
        for (int b = 6; b >= 0; --b) out.push_back({((w >> b) & 1) != 0, 1.0});
    }
    return out;
}

std::vector<float> fskAudio(const std::vector<FskElement>& elements, const FskSignal& s) {
    double bits = s.tailSeconds * s.baud;
    for (const auto& e : elements) bits += e.bits;
    const auto total = static_cast<std::size_t>(std::ceil(bits / s.baud * kRate));
    std::vector<float> out(total);
    std::mt19937 rng(s.seed);
    // Eb/N0 with Eb = (A²/2)·Tb and noise of density N0 over the full band:
    // σ² = N0·fs/2.
    const double ebN0 = std::pow(10.0, s.ebN0Db / 10.0);
    const double sigma = s.ebN0Db > 200.0
                             ? 0.0
                             : std::sqrt(s.amplitude * s.amplitude * kRate / (4.0 * s.baud * ebN0));
    std::normal_distribution<double> noise(0.0, sigma > 0.0 ? sigma : 1.0);

    double phase = 0.0;
    std::size_t element = 0;
    double elementEnd = elements.empty() ? 0.0 : elements[0].bits / s.baud;
    for (std::size_t i = 0; i < total; ++i) {
        const double t = static_cast<double>(i) / kRate;
        while (element < elements.size() && t >= elementEnd) {
            ++element;
            if (element < elements.size()) elementEnd += elements[element].bits / s.baud;
        }
        const bool mark = element >= elements.size() || elements[element].mark;
        const double f = (mark ? s.markHz : s.spaceHz) + s.driftHzPerSecond * t;
        phase += 2.0 * std::numbers::pi * f / kRate;
        if (phase > 2.0 * std::numbers::pi) phase -= 2.0 * std::numbers::pi;
        double v = s.amplitude * std::sin(phase);
        if (sigma > 0.0) v += noise(rng);
        out[i] = static_cast<float>(v);
    }
    return out;
}

}  // namespace zeb::test
