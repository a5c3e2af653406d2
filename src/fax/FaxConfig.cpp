#include "fax/FaxConfig.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

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

bool usableRate(float r) { return std::isfinite(r) && r > 0.0f && r < 1.0f; }

}  // namespace

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

int validate(FaxConfig& c) {
    const FaxConfig defaults;
    int replaced = 0;
    const auto fix = [&](std::uint16_t& field, bool ok, std::uint16_t fallback) {
        if (!ok) {
            field = fallback;
            ++replaced;
        }
    };
    fix(c.ioc, indexOf(kIocValues, c.ioc) >= 0, defaults.ioc);
    fix(c.lpm, indexOf(kLpmValues, c.lpm) >= 0, defaults.lpm);
    fix(c.center, c.center >= kMinCenter && c.center <= kMaxCenter, defaults.center);
    fix(c.shift, c.shift >= kMinShift && c.shift <= kMaxShift, defaults.shift);
    fix(c.bandwidth, c.bandwidth >= kMinBandwidth && c.bandwidth <= kMaxBandwidth,
        defaults.bandwidth);
    const int raised = bandwidthForShift(c.bandwidth, c.shift);
    fix(c.bandwidth, raised == c.bandwidth, static_cast<std::uint16_t>(raised));
    fix(c.filterOrder, indexOf(kFilterOrders, c.filterOrder) >= 0, defaults.filterOrder);
    if (c.phasingWidth < 1 || c.phasingWidth > 100) {
        c.phasingWidth = defaults.phasingWidth;
        ++replaced;
    }
    return replaced;
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
        usableRate(rate) ? rate : 0.0f;
}

void CorrectionTable::applyToAllModes(int ioc, int lpm) {
    const float c = lookup(ioc, lpm);
    const double rate = c > 0.0f ? (lineWidth(ioc) / static_cast<double>(c)) * lpm / 60.0 : 0.0;
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        clear();
        return;
    }
    for (std::size_t i = 0; i < kIocValues.size(); ++i) {
        for (std::size_t j = 0; j < kLpmValues.size(); ++j) {
            const float r =
                static_cast<float>(lineWidth(kIocValues[i]) * kLpmValues[j] / 60.0 / rate);
            entries_[i * kLpmValues.size() + j] = usableRate(r) ? r : 0.0f;
        }
    }
}

void CorrectionTable::setSampleRateError(double ppm) {
    const double rate = kSampleRate * (1.0 + ppm * 1e-6);
    for (std::size_t i = 0; i < kIocValues.size(); ++i) {
        for (std::size_t j = 0; j < kLpmValues.size(); ++j) {
            const float r =
                static_cast<float>(lineWidth(kIocValues[i]) * kLpmValues[j] / 60.0 / rate);
            entries_[i * kLpmValues.size() + j] = usableRate(r) ? r : 0.0f;
        }
    }
}

std::array<std::uint8_t, CorrectionTable::kBytes> CorrectionTable::serialize() const {
    std::array<std::uint8_t, kBytes> b{};
    for (std::size_t i = 0; i < kEntries; ++i)
        put32(&b[i * 4], std::bit_cast<std::uint32_t>(entries_[i]));
    return b;
}

CorrectionTable CorrectionTable::parse(std::span<const std::uint8_t> bytes) {
    CorrectionTable t;
    for (std::size_t i = 0; i < kEntries && (i + 1) * 4 <= bytes.size(); ++i) {
        const float r = std::bit_cast<float>(get32(&bytes[i * 4]));
        t.entries_[i] = usableRate(r) ? r : 0.0f;
    }
    return t;
}

int lineWidth(int ioc) { return static_cast<int>(std::floor(ioc * std::numbers::pi + 0.5)); }

float nominalPixelRate(int ioc, int lpm) {
    return static_cast<float>(lineWidth(ioc) * static_cast<double>(lpm) / 60.0 / kSampleRate);
}

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

void readSettings(ProfileFile& profile, FaxConfig& config, CorrectionTable& table,
                  std::string_view device) {
    profile.setSection(kFaxSection);
    std::array<std::uint8_t, CorrectionTable::kBytes> tableBytes{};
    const std::string deviceKey = correctionKey(device);
    const std::string key = profile.hasKey(deviceKey) ? deviceKey : correctionKey({});
    if (profile.readBytes(key, tableBytes) == tableBytes.size())
        table = CorrectionTable::parse(tableBytes);
    else
        table.clear();
    auto bytes = serialize(config);
    if (profile.hasKey("CONFIG")) {
        (void)profile.readBytes("CONFIG", bytes);
        config = parseConfig(bytes);
    }
    validate(config);
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
