#include "fax/FaxConfig.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <type_traits>

#include "common/LittleEndian.h"

namespace zeb::fax {

namespace {

using le::get16;
using le::get32;
using le::put16;
using le::put32;

template <std::size_t N>
int indexOf(const std::array<int, N>& list, int value) {
    const auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

std::string formatRate(double r) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", r);
    return text;
}

std::string range(int lo, int hi) { return std::to_string(lo) + "-" + std::to_string(hi); }

// The mode of entry i (row IOC, column LPM).
int iocOf(std::size_t i) { return kIocValues[i / kLpmValues.size()]; }
int lpmOf(std::size_t i) { return kLpmValues[i % kLpmValues.size()]; }

double nominalRate(int ioc, int lpm) {
    return lineWidth(ioc) * static_cast<double>(lpm) / 60.0 / kSampleRate;
}

// The entries of a sound card that runs fast by the factor `fast` (1 + e);
// implausible ones (a card beyond ±1 %) become 0.
void fillForClock(std::array<float, CorrectionTable::kEntries>& entries, double fast) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const float r = static_cast<float>(nominalRate(iocOf(i), lpmOf(i)) / fast);
        entries[i] = plausibleRate(iocOf(i), lpmOf(i), r) ? r : 0.0f;
    }
}

}  // namespace

std::string describe(const Refusal& r) {
    std::string text = std::string(kFaxSection) + " " + r.key;
    if (!r.field.empty()) text += " " + r.field;
    text += " " + r.value + " refused";
    if (!r.reason.empty()) text += " (" + r.reason + ")";
    return text + ", " + r.used + " used";
}

std::array<std::uint8_t, kConfigSize> serialize(const FaxConfig& c) {
    std::array<std::uint8_t, kConfigSize> b{};
    std::copy(c.reserved0.begin(), c.reserved0.end(), b.begin());
    put16(&b[12], c.center);
    put16(&b[14], c.shift);
    put16(&b[16], c.bandwidth);
    put16(&b[18], c.filterOrder);
    put16(&b[20], c.ioc);
    put16(&b[22], c.lpm);
    put32(&b[24], std::bit_cast<std::uint32_t>(c.pixelRate));
    put16(&b[28], c.startTone);
    put16(&b[30], c.stopTone);
    b[32] = c.phasingWidth;
    std::copy(c.reserved33.begin(), c.reserved33.end(), b.begin() + 33);
    b[37] = c.phasingPolarity;
    std::copy(c.reserved38.begin(), c.reserved38.end(), b.begin() + 38);
    b[40] = c.stationValue;
    std::copy(c.reserved41.begin(), c.reserved41.end(), b.begin() + 41);
    return b;
}

FaxConfig parseConfig(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, kConfigSize> b{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), b.size()), b.begin());
    FaxConfig c;
    std::copy_n(b.begin(), 12, c.reserved0.begin());
    c.center = get16(&b[12]);
    c.shift = get16(&b[14]);
    c.bandwidth = get16(&b[16]);
    c.filterOrder = get16(&b[18]);
    c.ioc = get16(&b[20]);
    c.lpm = get16(&b[22]);
    c.pixelRate = std::bit_cast<float>(get32(&b[24]));
    c.startTone = get16(&b[28]);
    c.stopTone = get16(&b[30]);
    c.phasingWidth = b[32];
    std::copy_n(b.begin() + 33, 4, c.reserved33.begin());
    c.phasingPolarity = b[37];
    std::copy_n(b.begin() + 38, 2, c.reserved38.begin());
    c.stationValue = b[40];
    std::copy_n(b.begin() + 41, 7, c.reserved41.begin());
    return c;
}

int bandwidthForShift(int bandwidth, int shift) { return std::max(bandwidth, shift); }

int maxTone(int ioc) { return lineWidth(ioc); }

bool usableTone(int tone, int ioc) { return tone >= kMinTone && tone <= maxTone(ioc); }

bool tonesOverlap(int a, int b) {
    // toneMatches() takes the values strictly inside tone ± tone / 50.
    const int lo = std::max(a - a / 50, b - b / 50), hi = std::min(a + a / 50, b + b / 50);
    return hi - lo >= 2;
}

int validate(FaxConfig& c, std::vector<Refusal>* refused) {
    const FaxConfig defaults;
    int replaced = 0;
    const auto fix = [&](auto& field, bool ok, auto fallback, const char* name,
                         const std::string& reason) {
        if (ok) return;
        if (refused)
            refused->push_back(
                {"CONFIG", name, std::to_string(field), reason, std::to_string(fallback)});
        field = static_cast<std::remove_reference_t<decltype(field)>>(fallback);
        ++replaced;
    };
    fix(c.ioc, indexOf(kIocValues, c.ioc) >= 0, defaults.ioc, "IOC", "not 267, 288, 352 or 576");
    fix(c.lpm, indexOf(kLpmValues, c.lpm) >= 0, defaults.lpm, "LPM",
        "not 48, 60, 90, 120, 180 or 240");
    fix(c.center, c.center >= kMinCenter && c.center <= kMaxCenter, defaults.center, "centre",
        "outside " + range(kMinCenter, kMaxCenter) + " Hz");
    fix(c.shift, c.shift >= kMinShift && c.shift <= kMaxShift, defaults.shift, "shift",
        "outside " + range(kMinShift, kMaxShift) + " Hz");
    fix(c.bandwidth, c.bandwidth >= kMinBandwidth && c.bandwidth <= kMaxBandwidth,
        defaults.bandwidth, "bandwidth", "outside " + range(kMinBandwidth, kMaxBandwidth) + " Hz");
    const int raised = bandwidthForShift(c.bandwidth, c.shift);
    fix(c.bandwidth, raised == c.bandwidth, raised, "bandwidth", "below the shift");
    fix(c.filterOrder, indexOf(kFilterOrders, c.filterOrder) >= 0, defaults.filterOrder,
        "filter order", "not 0, 32, 64 or 128");
    fix(c.phasingWidth, c.phasingWidth >= 1 && c.phasingWidth <= 100, defaults.phasingWidth,
        "phasing width", "outside 1-100 %");
    const std::string toneRange =
        "outside " + range(kMinTone, maxTone(c.ioc)) + " for IOC " + std::to_string(c.ioc);
    fix(c.startTone, usableTone(c.startTone, c.ioc), defaults.startTone, "start tone", toneRange);
    fix(c.stopTone, usableTone(c.stopTone, c.ioc), defaults.stopTone, "stop tone", toneRange);
    // Tones that one line can match both: the stop tone gives way first
    // (the start tone tells the broadcast standards apart), the start tone
    // when it lies next to the default stop tone.
    const auto apart = [&] { return !tonesOverlap(c.startTone, c.stopTone); };
    if (c.stopTone != defaults.stopTone)
        fix(c.stopTone, apart(), defaults.stopTone, "stop tone", "too close to the start tone");
    fix(c.startTone, apart(), defaults.startTone, "start tone", "too close to the stop tone");
    return replaced;
}

bool plausibleRate(int ioc, int lpm, float rate) {
    if (rate == 0.0f) return true;
    if (!std::isfinite(rate)) return false;
    return std::fabs(rate / nominalRate(ioc, lpm) - 1.0) <= kMaxClockError;
}

float clampRate(int ioc, int lpm, float rate) {
    const double nominal = nominalRate(ioc, lpm);
    if (std::isnan(rate)) return static_cast<float>(nominal);
    // Rounded inwards: the ends are exactly representable as plausible.
    const float lo = std::nextafter(static_cast<float>(nominal * (1.0 - kMaxClockError)), 1.0f);
    const float hi = std::nextafter(static_cast<float>(nominal * (1.0 + kMaxClockError)), 0.0f);
    return std::clamp(rate, lo, hi);
}

float CorrectionTable::lookup(int ioc, int lpm) const {
    const int i = indexOf(kIocValues, ioc), j = indexOf(kLpmValues, lpm);
    if (i < 0 || j < 0) return 0.0f;
    return entries_[static_cast<std::size_t>(i) * kLpmValues.size() + static_cast<std::size_t>(j)];
}

void CorrectionTable::store(int ioc, int lpm, float rate) {
    const int i = indexOf(kIocValues, ioc), j = indexOf(kLpmValues, lpm);
    if (i < 0 || j < 0) return;
    entries_[static_cast<std::size_t>(i) * kLpmValues.size() + static_cast<std::size_t>(j)] =
        plausibleRate(ioc, lpm, rate) ? rate : 0.0f;
}

void CorrectionTable::applyToAllModes(int ioc, int lpm) {
    const float c = lookup(ioc, lpm);
    // The card's speed relative to 11025 Hz that the entry implies.
    const double fast = c > 0.0f ? nominalRate(ioc, lpm) / static_cast<double>(c) : 0.0;
    if (!(fast > 0.0) || !std::isfinite(fast)) {
        clear();
        return;
    }
    fillForClock(entries_, fast);
}

void CorrectionTable::setSampleRateError(double ppm) { fillForClock(entries_, 1.0 + ppm * 1e-6); }

std::array<std::uint8_t, CorrectionTable::kBytes> CorrectionTable::serialize() const {
    std::array<std::uint8_t, kBytes> b{};
    for (std::size_t i = 0; i < kEntries; ++i)
        put32(&b[i * 4], std::bit_cast<std::uint32_t>(entries_[i]));
    return b;
}

CorrectionTable CorrectionTable::parse(std::span<const std::uint8_t> bytes,
                                       std::vector<Refusal>* refused) {
    CorrectionTable t;
    for (std::size_t i = 0; i < kEntries && (i + 1) * 4 <= bytes.size(); ++i) {
        const float r = std::bit_cast<float>(get32(&bytes[i * 4]));
        if (plausibleRate(iocOf(i), lpmOf(i), r)) {
            t.entries_[i] = r;
            continue;
        }
        if (refused)
            refused->push_back(
                {{},
                 "correction IOC " + std::to_string(iocOf(i)) + " LPM " + std::to_string(lpmOf(i)),
                 formatRate(r),
                 "more than " + formatRate(100 * kMaxClockError) + " % from " +
                     formatRate(nominalPixelRate(iocOf(i), lpmOf(i))),
                 "0 (no correction)"});
    }
    return t;
}

int lineWidth(int ioc) { return static_cast<int>(std::floor(ioc * std::numbers::pi + 0.5)); }

float nominalPixelRate(int ioc, int lpm) { return static_cast<float>(nominalRate(ioc, lpm)); }

double nominalLineSamples(int lpm) { return 60.0 / lpm * kSampleRate; }

double sampleRateErrorPpm(double lineSamples, int lpm) {
    return (lineSamples / nominalLineSamples(lpm) - 1.0) * 1e6;
}

Derived derive(const FaxConfig& c, const CorrectionTable& table) {
    Derived d;
    d.width = lineWidth(c.ioc);
    d.height = static_cast<int>(1.5 * d.width);
    const float corrected = table.lookup(c.ioc, c.lpm);
    d.pixelRate = corrected != 0.0f ? corrected : nominalPixelRate(c.ioc, c.lpm);
    d.whiteHalf = 5512.5f / (static_cast<float>(c.center) + static_cast<float>(c.shift) / 2.0f);
    d.blackHalf = 5512.5f / (static_cast<float>(c.center) - static_cast<float>(c.shift) / 2.0f);
    d.greyFactor = 16.0f / (d.blackHalf - d.whiteHalf);
    return d;
}

std::string correctionKey(std::string_view device) {
    std::string key = "CORRTABLE";
    if (device.empty()) return key;
    key += '.';
    for (const char c : device) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || c == ':' ||
                           c == ',';
        key += plain ? c : '_';
    }
    return key;
}

std::vector<Refusal> readSettings(ProfileFile& profile, FaxConfig& config, CorrectionTable& table,
                                  std::string_view device) {
    std::vector<Refusal> refused;
    profile.setSection(kFaxSection);
    std::array<std::uint8_t, CorrectionTable::kBytes> tableBytes{};
    const std::string deviceKey = correctionKey(device);
    const std::string key = profile.hasKey(deviceKey) ? deviceKey : correctionKey({});
    if (profile.readBytes(key, tableBytes) == tableBytes.size()) {
        table = CorrectionTable::parse(tableBytes, &refused);
        for (Refusal& r : refused) r.key = key;
    } else {
        table.clear();
    }
    auto bytes = serialize(config);
    if (profile.hasKey("CONFIG")) {
        (void)profile.readBytes("CONFIG", bytes);
        config = parseConfig(bytes);
    }
    validate(config, &refused);
    return refused;
}

Result<void> writeSettings(ProfileFile& profile, const FaxConfig& config,
                           const CorrectionTable& table, std::string_view device) {
    profile.setSection(kFaxSection);
    const auto bytes = serialize(config);
    if (auto r = profile.writeBytes("CONFIG", bytes); !r) return r;
    const auto tableBytes = table.serialize();
    return profile.writeBytes(correctionKey(device), tableBytes);
}

bool readAutoSlant(const ProfileFile& profile) {
    ProfileFile p = profile;
    p.setSection(kFaxSection);
    return p.readInt(kAutoSlantKey, 1) != 0;
}

Result<void> writeAutoSlant(ProfileFile& profile, bool on) {
    profile.setSection(kFaxSection);
    return profile.writeInt(kAutoSlantKey, on ? 1 : 0);
}

}  // namespace zeb::fax
