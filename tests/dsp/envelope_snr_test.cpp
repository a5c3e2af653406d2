// The signal-to-noise readout on generated weather fax (FM of constant
// envelope) and on a steady tone: within a decibel of the ratio the signal
// was made with, from 0 to 25 dB in 3 kHz; noise alone shows no signal.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/EnvelopeSnr.h"
#include "support/FaxGenerator.h"

namespace zeb::dsp {
namespace {

// The generator states its ratio over the whole band, 0 … 5512.5 Hz.
constexpr double kTo3kHzDb = 2.6373;  // 10 log10(5512.5 / 3000)

double measure(const std::vector<float>& audio, float centreHz, std::size_t from) {
    EnvelopeSnr snr;
    snr.setCentre(centreHz);
    for (std::size_t i = from; i + 1024 <= audio.size(); i += 1024)
        snr.process(std::span<const float>(audio.data() + i, 1024));
    return snr.snrDb();
}

TEST(EnvelopeSnr, FaxPictureReadsTheRatioItWasMadeWith) {
    for (const double snr3k : {0.0, 5.0, 10.0, 15.0, 25.0}) {
        SCOPED_TRACE(snr3k);
        test::FaxSignal signal;
        signal.snrDb = snr3k - kTo3kHzDb;
        signal.startSeconds = 1.0;
        signal.stopSeconds = 0.0;
        signal.tailSeconds = 0.0;
        const auto samples = test::faxAudio(test::testChart(1810, 40), signal);
        const auto start = static_cast<std::size_t>(test::pictureStartSample(signal));
        EXPECT_NEAR(measure(samples, 1900.0f, start), snr3k, 1.0);
    }
}

TEST(EnvelopeSnr, SteadyToneAndNoiseAlone) {
    std::mt19937 rng(7);
    std::normal_distribution<double> gauss;
    const double noise3k = 1000.0;  // rms in 3 kHz
    const double sigma = noise3k * std::sqrt(5512.5 / 3000.0);
    for (const double snr3k : {3.0, 12.0}) {
        SCOPED_TRACE(snr3k);
        const double amplitude = std::sqrt(2.0) * noise3k * std::pow(10.0, snr3k / 20.0);
        std::vector<float> audio(11025 * 3);
        for (std::size_t i = 0; i < audio.size(); ++i)
            audio[i] = static_cast<float>(
                amplitude * std::sin(2.0 * 3.14159265358979 * 1700.0 * i / 11025.0) +
                sigma * gauss(rng));
        EXPECT_NEAR(measure(audio, 1900.0f, 0), snr3k, 1.0);
    }
    std::vector<float> noise(11025 * 3);
    for (float& x : noise) x = static_cast<float>(sigma * gauss(rng));
    const double alone = measure(noise, 1900.0f, 0);
    EXPECT_TRUE(std::isnan(alone) || alone < -3.0) << alone;
}

}  // namespace
}  // namespace zeb::dsp
