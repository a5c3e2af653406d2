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

// What validate() replaced, for a log line.
struct Corrections {
    int count = 0;
};

// Brings every field the decoder uses into its set or range: IOC and LPM to
// their lists (else 576 / 120), centre, shift and bandwidth to the knob ranges
// (else the defaults), the bandwidth to at least the shift, the filter order
// to 0/32/64/128 (else 64) and the phasing width to 1 … 100 % (else 5). A
// record from a damaged file or a short "CONFIG" value would otherwise give
// a line width of 0, a division by zero in the grey scale or a filter that is
// "on" but has no taps. Returns the number of fields replaced.
int validate(FaxConfig& config);

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
    // Stores a rate; nothing for IOC/LPM outside the lists. Values that are
    // not a finite rate between 0 and 1 are stored as 0 (no correction).
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
    static CorrectionTable parse(std::span<const std::uint8_t> bytes);

private:
    std::array<float, kEntries> entries_{};
};

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
// are validated afterwards.
void readSettings(ProfileFile& profile, FaxConfig& config, CorrectionTable& table,
                  std::string_view device = {});
// Writes "CONFIG" and the table under the device's key.
Result<void> writeSettings(ProfileFile& profile, const FaxConfig& config,
                           const CorrectionTable& table, std::string_view device = {});
// "AUTOSLANT": 1 (default) measures and corrects the slant, 0 does not.
bool readAutoSlant(const ProfileFile& profile);
Result<void> writeAutoSlant(ProfileFile& profile, bool on);

}  // namespace zeb::fax
