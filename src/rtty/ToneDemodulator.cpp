#include "rtty/ToneDemodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/Dft.h"
#include "dsp/Primitives.h"

namespace zeb::rtty {
namespace {

constexpr int kTaps = kFilterOrder + 1;
constexpr int kCentre = kFilterOrder / 2;

}  // namespace

int toneBandwidth(int shift) {
    if (shift < 200) return 30;
    if (shift < 500) return 50;
    return 80;
}

std::vector<float> normalisedBandPass(double toneHz, int bandwidth) {
    const double nu1 = (toneHz - 0.4 * bandwidth) * 2.0 / kSampleRate;
    const double nu2 = (toneHz + 0.4 * bandwidth) * 2.0 / kSampleRate;
    std::vector<float> taps(kTaps);
    taps[kCentre] = static_cast<float>(nu2 - nu1);
    for (int k = 1; k <= kCentre; ++k) {
        const double kp = k * std::numbers::pi;
        const auto v = static_cast<float>((std::sin(nu2 * kp) - std::sin(nu1 * kp)) / kp);
        taps[kCentre + k] = v;
        taps[kCentre - k] = v;
    }
    return taps;
}

std::vector<float> normalisedLowPass(int lowerHz, int upperHz) {
    // The mid-frequency is halved in integers; the third is taken in floating
    // point (an integer 1/3 would be 0 and silence the decoder).
    const int mid = (lowerHz + upperHz) / 2;
    const double nuc = mid * (1.0 / 3.0) * 2.0 / kSampleRate;
    std::vector<float> taps(kTaps);
    taps[kCentre] = static_cast<float>(nuc);
    for (int k = 1; k <= kCentre; ++k) {
        const double kp = k * std::numbers::pi;
        const auto v = static_cast<float>(std::sin(nuc * kp) / kp);
        taps[kCentre + k] = v;
        taps[kCentre - k] = v;
    }
    for (int i = 0; i < kTaps; ++i) {
        const double w = 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (kTaps - 1));
        taps[i] = static_cast<float>(taps[i] * w);
    }
    return taps;
}

ToneDemodulator::ToneDemodulator(DemodVariant variant) : variant_(variant) {
    for (auto& f : audio_) f.init(static_cast<float>(kSampleRate), kBlockLength, kFilterOrder);
    for (int i = 0; i < kSpectrumSize; ++i) {
        window_[i] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kSpectrumSize - 1)));
    }
    // Build the transform tables now, not on the capture thread.
    dsp::nspcrDft(re_.data(), im_.data(), kSpectrumOrder, dsp::kDftForward | dsp::kDftPrepare);
    configure(params_);
}

void ToneDemodulator::configure(const RttyParams& params) {
    params_ = params;
    const int bw = toneBandwidth(params.shift);
    const auto fl = static_cast<float>(params.lowerHz());
    const auto fu = static_cast<float>(params.upperHz());
    if (variant_ == DemodVariant::Main) {
        const float half = static_cast<float>(bw) / 2.0f;
        audio_[0].designBandPass(fl - half, fl + half, 0);
        audio_[1].designBandPass(fu - half, fu + half, 0);
        audio_[2].designLowPass((fl + fu) / 4.0f, 0);
        const float sum = audio_[0].gainSum();
        monitorGain_ = sum > 0.0f ? 1.414f / sum : 0.0f;
    } else {
        const auto lo = normalisedBandPass(fl, bw);
        const auto up = normalisedBandPass(fu, bw);
        const auto lp = normalisedLowPass(params.lowerHz(), params.upperHz());
        dsp::nspsFirInit(lo.data(), kTaps, nullptr, &fir_[0]);
        dsp::nspsFirInit(up.data(), kTaps, nullptr, &fir_[1]);
        dsp::nspsFirInit(lp.data(), kTaps, nullptr, &fir_[2]);
        float sum = 0.0f;
        for (float t : lo) sum += std::fabs(t);
        monitorGain_ = sum > 0.0f ? 1.414f / sum : 0.0f;
    }
}

float ToneDemodulator::toneLevel(int toneHz) const {
    // Bin of the tone, kept inside the spectrum so that its neighbours exist.
    const int b = std::clamp(toneHz * kSpectrumSize / kSampleRate, 1, kSpectrumSize / 2 - 2);
    return (magnitude_[b - 1] + magnitude_[b] + magnitude_[b + 1]) / 3.0f;
}

bool ToneDemodulator::squelchOpen(std::span<const float> in) {
    // Magnitude spectrum of the Hann-windowed first 512 samples, scaled so that
    // a sine of amplitude A reads about A in its bin.
    for (int i = 0; i < kSpectrumSize; ++i) {
        re_[i] = in[i] * window_[i];
        im_[i] = 0.0f;
    }
    dsp::nspcrDft(re_.data(), im_.data(), kSpectrumOrder, dsp::kDftForward);
    constexpr float kScale = 4.0f / kSpectrumSize;
    for (int i = 0; i < kSpectrumSize / 2; ++i) {
        magnitude_[i] = std::sqrt(re_[i] * re_[i] + im_[i] * im_[i]) * kScale;
    }
    lowerLevel_ = toneLevel(params_.lowerHz());
    upperLevel_ = toneLevel(params_.upperHz());
    return lowerLevel_ > params_.squelch || upperLevel_ > params_.squelch;
}

bool ToneDemodulator::processBlock(std::span<const float> in, std::span<float> out) {
    if (variant_ == DemodVariant::Rtty && params_.squelch > 0.0f && !squelchOpen(in)) {
        return false;
    }
    float* lo = lower_.data();
    float* up = upper_.data();
    if (variant_ == DemodVariant::Main) {
        audio_[0].filter(in.data(), lo, kBlockLength);
        audio_[1].filter(in.data(), up, kBlockLength);
    } else {
        dsp::nspsbFir(&fir_[0], in.data(), lo, kBlockLength);
        dsp::nspsbFir(&fir_[1], in.data(), up, kBlockLength);
    }
    for (int i = 0; i < kBlockLength; ++i) {
        out[i] = (std::fabs(up[i]) - std::fabs(lo[i])) * 100.0f;
    }
    if (variant_ == DemodVariant::Main) {
        audio_[2].filter(out.data(), out.data(), kBlockLength);
    } else {
        dsp::nspsbFir(&fir_[2], out.data(), out.data(), kBlockLength);
    }
    for (int i = 0; i < kBlockLength; ++i) out[i] = std::clamp(out[i], -kClip, kClip);
    return true;
}

}  // namespace zeb::rtty
