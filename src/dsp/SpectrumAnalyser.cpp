#include "dsp/SpectrumAnalyser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"

namespace zeb::dsp {

SpectrumAnalyser::SpectrumAnalyser() = default;

bool SpectrumAnalyser::init(float sampleRate, int blockLength) {
    if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate) || blockLength < 2 ||
        blockLength > kMaxBlockLength || !std::has_single_bit(static_cast<unsigned>(blockLength))) {
        return false;
    }
    detachDisplay();
    sampleRate_ = sampleRate;
    blockLength_ = blockLength;
    transformOrder_ = std::countr_zero(static_cast<unsigned>(blockLength));
    return true;
}

void SpectrumAnalyser::setFrequencyRange(float lowHz, float highHz) {
    lowHz_ = lowHz;
    highHz_ = highHz;
}

void SpectrumAnalyser::setPassBand(float lowHz, float highHz) {
    passLowHz_.store(lowHz);
    passHighHz_.store(highHz);
}

void SpectrumAnalyser::setTones(float toneAHz, float toneBHz) {
    toneAHz_.store(toneAHz);
    toneBHz_.store(toneBHz);
}

void SpectrumAnalyser::setMarkers(const Markers& markers) {
    setPassBand(markers.passLowHz, markers.passHighHz);
    setTones(markers.toneAHz, markers.toneBHz);
}

bool SpectrumAnalyser::attachDisplay(int clientWidth, int clientHeight) {
    detachDisplay();
    const int wd = clientWidth - 2;
    const int hd = clientHeight - 2;
    if (wd < 1 || hd < 1) return false;
    const auto len = static_cast<std::size_t>(blockLength_);
    const int half = blockLength_ / 2;
    try {
        window_.assign(len, 1.0f);
        re_.assign(len, 0.0f);
        im_.assign(len, 0.0f);
        mag_.assign(len / 2, 0.0f);
        levels_.assign(len / 2, 0);
        edges_.assign(static_cast<std::size_t>(wd) + 3, 0);
        curve_.assign(static_cast<std::size_t>(wd), hd - 1);
    } catch (const std::bad_alloc&) {
        detachDisplay();
        return false;
    }
    if (blockLength_ >= 3) nspsWinHamming(window_.data(), blockLength_);
    // The transform's tables are built now, not on the first block.
    nspcrDft(re_.data(), im_.data(), transformOrder_, kDftForward | kDftPrepare);

    const double delta = static_cast<double>(highHz_ - lowHz_) / (wd + 1);
    for (int x = 0; x < wd + 3; ++x) {
        const double bin = ((x + 1) * delta + lowHz_ - 1.0) * blockLength_ / sampleRate_;
        edges_[x] = std::clamp(static_cast<int>(std::trunc(bin)), 0, half - 1);
    }
    width_ = wd;
    height_ = hd;
    return true;
}

void SpectrumAnalyser::detachDisplay() {
    width_ = 0;
    height_ = 0;
    window_ = {};
    re_ = {};
    im_ = {};
    mag_ = {};
    levels_ = {};
    edges_ = {};
    curve_ = {};
}

void SpectrumAnalyser::analyse(const float* block) {
    if (!displayAttached() || block == nullptr) return;
    const int n = blockLength_;
    const int half = n / 2;
    nspsbCopy(block, re_.data(), n);
    nspsbMpy2(window_.data(), re_.data(), n);
    nspsbZero(im_.data(), n);
    nspcrDft(re_.data(), im_.data(), transformOrder_, kDftForward);
    nspsbrMag(re_.data(), im_.data(), mag_.data(), half);

    const float fixed = fullScale_.load();
    float m = fixed > 0.0f ? fixed : std::max(nspsMax(mag_.data(), half), 1.0f);
    if (!std::isfinite(m)) m = 1.0f;
    usedFullScale_ = m;
    nspsbMpy1(static_cast<float>(height_ - 1) / m, mag_.data(), half);
    nspsbFloatToInt(mag_.data(), levels_.data(), half, 16, kRoundNearest);
    // A fixed full scale below the peak would put the curve above the area.
    for (auto& level : levels_)
        level = std::clamp<std::int16_t>(level, 0, static_cast<std::int16_t>(height_ - 1));

    const double span = std::max(static_cast<double>(highHz_ - lowHz_), 1.0);
    const bool narrow = width_ < span * half / (sampleRate_ / 2.0);
    const bool hold = peakHold_.load();
    for (int x = 1; x <= width_; ++x) {
        int level = levels_[edges_[x - 1]];
        if (narrow) {
            for (int b = edges_[x - 1] + 1; b < edges_[x]; ++b)
                level = std::max<int>(level, levels_[b]);
        }
        int y = (height_ - 1) - level;
        if (hold) y = std::min(y, curve_[x - 1] + 2);
        curve_[x - 1] = y;
    }
}

int SpectrumAnalyser::columnOf(float frequencyHz) const {
    const double span = std::max(static_cast<double>(highHz_ - lowHz_), 1.0);
    const double offset = std::floor(span / (blockLength_ / 2)) - 1.0;
    const double c = std::trunc((offset + frequencyHz) * width_ / span);
    if (std::isnan(c)) return 0;
    return static_cast<int>(std::clamp(c, -1.0, static_cast<double>(width_)));
}

std::optional<std::pair<int, int>> SpectrumAnalyser::passBandColumns() const {
    const float lo = passLowHz_.load(), hi = passHighHz_.load();
    if (!displayAttached() || (lo == 0.0f && hi == 0.0f)) return std::nullopt;
    const int first = std::min(1, width_ - 1), last = std::max(width_ - 1, 0);
    return std::pair{std::clamp(columnOf(lo), first, last), std::clamp(columnOf(hi), first, last)};
}

std::optional<std::pair<int, int>> SpectrumAnalyser::toneColumns() const {
    const float a = toneAHz_.load(), b = toneBHz_.load();
    if (!displayAttached() || a == 0.0f || b == 0.0f) return std::nullopt;
    return std::pair{std::clamp(columnOf(a), 0, width_ - 1),
                     std::clamp(columnOf(b), 0, width_ - 1)};
}

}  // namespace zeb::dsp
