// The fax parameter record and the per-mode correction table, as the main
// program keeps them in section "FAXPARAM" of its settings file, and the
// values derived from them (line width, buffer height, pixel rate, the
// half-periods of the two tones and the grey scale factor).
//
// Both records are stored as runs of hexadecimal digits, so their byte layout
// is a file format: FaxConfig is 48 bytes little-endian, CorrectionTable 24
// f32 values (row = IOC, column = LPM, row-major).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ProfileFile.h"
#include "common/Result.h"

namespace zeb::fax {

inline constexpr int kSampleRate = 11025;
inline constexpr int kBlockLength = 1024;
inline constexpr std::array<int, 4> kIocValues{267, 288, 352, 576};
inline constexpr std::array<int, 6> kLpmValues{48, 60, 90, 120, 180, 240};
inline constexpr std::array<int, 4> kFilterOrders{0, 32, 64, 128};

// Ranges of the panel's knobs; values outside them are replaced by defaults.
inline constexpr int kMinCenter = 1000, kMaxCenter = 2100;
inline constexpr int kMinShift = 150, kMaxShift = 1000;
inline constexpr int kMinBandwidth = 150, kMaxBandwidth = 2500;

// Tone values the start and stop tones may have: kMinTone up to the line
// width of the IOC. A broadcast's start (300 Hz; 675 Hz for IOC 288) and
// stop (450 Hz) alternations give the tone value Hz · 120 / LPM: 150 for the
// start of a 240-LPM broadcast is the lowest in use, and below it the ±2 %
// window of a tone shrinks to three values, fewer than lie between two
// values the line analysis reports. A line of W pixels holds at most W / 2
// black/white cycles (tone value W). 0 or 65535 would leave the decoder
// waiting for ever.
inline constexpr int kMinTone = 150;
int maxTone(int ioc);
// The largest sample-clock error a correction-table entry may stand for:
// ±1 % of the mode's nominal rate (10000 ppm). Sound cards run within a few
// hundred ppm of 11025 Hz, the worst known (11127 Hz) 0.93 % fast; an entry
// beyond that is a damaged record: 1e-30 lays down no pixel at all, 0.9999999
// lines three times too short, and neither start tone nor picture is found.
inline constexpr double kMaxClockError = 0.01;

inline constexpr std::size_t kConfigSize = 48;

struct FaxConfig {
    std::array<std::uint8_t, 12> reserved0{};
    std::uint16_t center = 1900;     // Hz, mid-way between black and white
    std::uint16_t shift = 800;       // Hz, white − black
    std::uint16_t bandwidth = 1200;  // Hz, input band-pass filter
    std::uint16_t filterOrder = 64;  // 0 (off), 32, 64 or 128; the filter has order + 1 taps
    std::uint16_t ioc = 576;
    std::uint16_t lpm = 120;
    float pixelRate = 0.32834467f;  // pixels per sample; output only, recomputed on apply
    std::uint16_t startTone = 300;  // tone values (twice the cycles per line)
    std::uint16_t stopTone = 450;
    std::uint8_t phasingWidth = 5;  // percent of a line
    std::array<std::uint8_t, 4> reserved33{0, 0, 1, 0};
    std::uint8_t phasingPolarity = 0;  // 0: the pulse is white, otherwise black
    std::array<std::uint8_t, 2> reserved38{};
    std::uint8_t stationValue = 1;  // carried with frequency-list entries, unused here
    std::array<std::uint8_t, 7> reserved41{};

    bool operator==(const FaxConfig&) const = default;
};

std::array<std::uint8_t, kConfigSize> serialize(const FaxConfig& config);
// Reads the record from `bytes` (missing bytes count as zero).
FaxConfig parseConfig(std::span<const std::uint8_t> bytes);

// A value of the settings that was refused and what is used instead, for a
// warning: "FAXPARAM CONFIG start tone 0 refused (outside 150-1810 for IOC
// 576), 300 used".
struct Refusal {
    std::string key;     // "CONFIG" or the correction table's key
    std::string field;   // "start tone", "correction IOC 576 LPM 120"
    std::string value;   // as read
    std::string reason;  // "outside 150-1810 for IOC 576"
    std::string used;    // the replacement
};
std::string describe(const Refusal& refusal);

// Brings every field the decoder uses into its set or range: IOC and LPM to
// their lists (else 576 / 120), centre, shift and bandwidth to the knob ranges
// (else the defaults), the bandwidth to at least the shift, the filter order
// to 0/32/64/128 (else 64), the phasing width to 1 … 100 % (else 5) and the
// start and stop tones to kMinTone … maxTone(IOC) (else 300 / 450). A stop tone
// that a line could match as the start tone as well (their ±2 % windows
// overlap) is replaced by 450, and when the start tone is that close to 450,
// the start tone by 300. A record from a damaged file or a short "CONFIG"
// value would otherwise give a line width of 0, a division by zero in the
// grey scale, a filter that is "on" but has no taps or a tone that never
// comes. Returns the number of fields replaced; each is added to `refused`
// (key "CONFIG") when given.
int validate(FaxConfig& config, std::vector<Refusal>* refused = nullptr);

// A tone value within kMinTone … maxTone(ioc).
bool usableTone(int tone, int ioc);
// Some tone value lies within the ±2 % windows of both tones.
bool tonesOverlap(int a, int b);

// A bandwidth below the shift is raised to the shift (the panel sets its knob
// back to the returned value).
int bandwidthForShift(int bandwidth, int shift);

class CorrectionTable {
public:
    static constexpr std::size_t kEntries = kIocValues.size() * kLpmValues.size();
    static constexpr std::size_t kBytes = kEntries * 4;

    // The measured pixel rate of a mode, 0 for none (also for IOC or LPM
    // values outside the lists).
    float lookup(int ioc, int lpm) const;
    // Stores a rate; nothing for IOC/LPM outside the lists. A rate that is
    // not plausibleRate() for the mode is stored as 0 (no correction).
    void store(int ioc, int lpm, float rate);
    void clear() { entries_.fill(0.0f); }
    float at(std::size_t i) const { return entries_[i]; }

    // Every entry becomes the rate the current mode's entry implies for that
    // mode: the sample rate R = (W / c) · LPM / 60 is derived from the entry
    // c of (ioc, lpm), and entry (i, j) = W_i·LPM_j / 60 / R (W = line width
    // of the IOC). With no usable entry (c ≤ 0, or R not a positive finite
    // number) every entry becomes 0: all modes return to their nominal rate.
    void applyToAllModes(int ioc, int lpm);
    // Every entry becomes the rate of a sound card that runs fast by `ppm`:
    // the nominal rate / (1 + ppm·1e-6).
    void setSampleRateError(double ppm);

    std::array<std::uint8_t, kBytes> serialize() const;
    // Entries that are not plausibleRate() for their mode become 0, each
    // added to `refused` (without a key) when given.
    static CorrectionTable parse(std::span<const std::uint8_t> bytes,
                                 std::vector<Refusal>* refused = nullptr);

private:
    std::array<float, kEntries> entries_{};
};

// A correction entry for the mode: 0 (none), or a finite rate within
// ±kMaxClockError of nominalPixelRate(ioc, lpm).
bool plausibleRate(int ioc, int lpm, float rate);
// The nearest rate within ±kMaxClockError of the mode's nominal rate (the
// nominal rate for a value that is not a number).
float clampRate(int ioc, int lpm, float rate);

// Values computed from a validated record.
struct Derived {
    int width = 1810;         // W = round(IOC·π), pixels per line
    int height = 2715;        // H = trunc(1.5·W), rows of the picture buffer
    float pixelRate = 0.0f;   // r, pixels per sample (the table's entry or nominal)
    float whiteHalf = 0.0f;   // Tw, samples
    float blackHalf = 0.0f;   // Tb, samples
    float greyFactor = 0.0f;  // K = 16 / (Tb − Tw)
};

int lineWidth(int ioc);
// W·LPM / 60 / 11025: the W pixels of a line fill exactly one line period
// (0.3283447 for 576/120). A rate from the broadcast's IOC·π instead of the
// whole pixels of a line would lay a line of 1810 pixels over 1809.56 pixels'
// time and lean every picture by 0.44 pixel per line.
float nominalPixelRate(int ioc, int lpm);
// Samples of one line at the nominal sample rate: 60 / LPM · 11025.
double nominalLineSamples(int lpm);
// The sample-clock error in ppm that a line of `lineSamples` samples means.
double sampleRateErrorPpm(double lineSamples, int lpm);
Derived derive(const FaxConfig& config, const CorrectionTable& table);

// Settings file access (section "FAXPARAM", keys "CONFIG", "CORRTABLE" and
// "AUTOSLANT").
inline constexpr const char* kFaxSection = "FAXPARAM";
inline constexpr const char* kAutoSlantKey = "AUTOSLANT";
// The key of the correction table of an input device: "CORRTABLE" for "",
// else "CORRTABLE." and the device name with every character other than
// letters, digits and "._-:," replaced by "_" (a sound card's clock error
// belongs to the card, so each input has its own table).
std::string correctionKey(std::string_view device);
// An absent "CONFIG" leaves `config` as it is; the device's table is read
// from its key, else from "CORRTABLE"; an unreadable table is zeroed. Both
// are validated afterwards; returns what was refused and replaced.
std::vector<Refusal> readSettings(ProfileFile& profile, FaxConfig& config, CorrectionTable& table,
                                  std::string_view device = {});
// Writes "CONFIG" and the table under the device's key.
Result<void> writeSettings(ProfileFile& profile, const FaxConfig& config,
                           const CorrectionTable& table, std::string_view device = {});
// "AUTOSLANT": 1 (default) measures and corrects the slant, 0 does not.
bool readAutoSlant(const ProfileFile& profile);
Result<void> writeAutoSlant(ProfileFile& profile, bool on);

}  // namespace zeb::fax
