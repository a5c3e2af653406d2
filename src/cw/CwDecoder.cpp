#include "cw/CwDecoder.h"

#include <algorithm>
#include <array>
#include <new>

namespace zeb::cw {

void KeyThreshold::update(std::span<const float> envelope) {
    double sum = 0.0;
    for (float e : envelope) sum += e;
    halfMean_ = envelope.empty()
                    ? 0.0f
                    : static_cast<float>(0.5 * sum / static_cast<double>(envelope.size()));
    if (threshold_ * kRiseFactor < halfMean_) {
        threshold_ = halfMean_;
    } else {
        threshold_ *= kDecay;
    }
}

dsp::Markers bandMarkers(ToneBand band) {
    dsp::Markers m;
    m.passLowHz = static_cast<float>(band.center - band.width);
    m.passHighHz = static_cast<float>(band.center + band.width);
    return m;
}

bool CwDecoder::prepare(ToneBand band) {
    if (!filtersMade_) {
        if (!toneFilter_.init(kSampleRate, kBlockLength, kFilterOrder) ||
            !envelopeFilter_.init(kSampleRate, kBlockLength, kFilterOrder)) {
            return false;
        }
        filtersMade_ = true;
    }
    return setTone(band);
}

bool CwDecoder::start(ToneBand band) {
    if (running_) return true;
    if (!prepare(band)) return false;
    try {
        tone_.assign(kBlockLength, 0.0f);
        envelope_.assign(kBlockLength, 0.0f);
    } catch (const std::bad_alloc&) {
        stop();
        return false;
    }
    // Audio from before a stop is not heard again; the speed learnt stays.
    matched_->reset();
    running_ = true;
    return true;
}

void CwDecoder::stop() {
    running_ = false;
    std::vector<float>().swap(tone_);
    std::vector<float>().swap(envelope_);
}

void CwDecoder::setVariant(CwVariant variant, bool autoCenter) {
    if (variant != variant_) matched_->reset();
    variant_ = variant;
    autoCenter_ = autoCenter;
    matched_->setSearch(autoCenter_, band_.center, band_.width);
}

bool CwDecoder::setTone(ToneBand band) {
    if (!filtersMade_) return false;
    const auto low = static_cast<float>(band.center - band.width);
    const auto high = static_cast<float>(band.center + band.width);
    if (!toneFilter_.designBandPass(low, high, 0) ||
        !envelopeFilter_.designLowPass(kEnvelopeCutoffHz, 0)) {
        return false;
    }
    band_ = band;
    matched_->setSearch(autoCenter_, band_.center, band_.width);
    monitorGain_ = dsp::monitorGain(kMonitorGainNumerator, toneFilter_.gainSum());
    if (monitor_ != nullptr) monitor_->setGain(monitorGain_);
    return true;
}

void CwDecoder::processBlock(std::span<const float, kBlockLength> block) {
    if (!running_ || squelchClosed_.load()) return;
    float* f = tone_.data();
    float* e = envelope_.data();
    if (variant_ == CwVariant::Matched) {
        if (monitor_ != nullptr) {
            toneFilter_.filter(block.data(), f, kBlockLength);
            monitor_->feed(std::span<const float, kBlockLength>(f, kBlockLength));
        }
        // The envelope shown is the magnitude after the dot filter.
        matched_->process(block.data(), kBlockLength);
        std::fill(envelope_.begin(), envelope_.end(), matched_->envelope());
        return;
    }
    toneFilter_.filter(block.data(), f, kBlockLength);
    if (monitor_ != nullptr) {
        monitor_->feed(std::span<const float, kBlockLength>(f, kBlockLength));
    }
    for (int i = 0; i < kBlockLength; ++i) f[i] = f[i] < 0.0f ? -f[i] : f[i];
    envelopeFilter_.filter(f, e, kBlockLength);
    threshold_.update(envelope_);

    // A threshold of zero (nothing heard yet, or a silence long enough for
    // it to decay away) keys nothing: otherwise digital silence, whose
    // envelope is zero too, would count as a steady tone.
    const float t = threshold_.value();
    if (t > 0.0f) {
        for (int i = 0; i < kBlockLength; ++i) tracker_.sample(e[i] >= t);
    } else {
        for (int i = 0; i < kBlockLength; ++i) tracker_.sample(false);
    }
}

void CwDecoder::finish() {
    if (!running_) return;
    if (variant_ == CwVariant::Matched) {
        matched_->finish();
        return;
    }
    // Silence long enough for the word timeout of 8 dot lengths posts the
    // character still being collected.
    std::array<float, kBlockLength> silence{};
    const int blocks =
        std::min(200, (8 * tracker_.dotLength() + 2 * KeyTracker::kHysteresis) / kBlockLength + 2);
    for (int i = 0; i < blocks && (!tracker_.inGap() || !tracker_.elements().empty()); ++i) {
        processBlock(std::span<const float, kBlockLength>(silence.data(), kBlockLength));
    }
}

}  // namespace zeb::cw
