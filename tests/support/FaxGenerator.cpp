#include "support/FaxGenerator.h"

#include <cmath>
#include <numbers>
#include <random>

namespace zeb::test {

namespace {

constexpr double kRate = 11025.0;

double receivingRate(const FaxSignal& s) { return kRate * (1.0 + s.ppm * 1e-6); }

}  // namespace

GreyPicture testChart(int width, int height) {
    GreyPicture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const int inner = width - 120;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v;
            if (x < 60) {
                v = 0;
            } else if (x >= width - 60) {
                v = 255;
            } else if (y < height / 3) {
                v = 255 - 17 * ((x - 60) * 16 / inner);
            } else if (y < 2 * height / 3) {
                v = ((x - 60) / 100) % 2 ? 255 : 0;
            } else {
                v = (((x - 60) / 50) + (y / 50)) % 2 ? 255 : 0;
            }
            p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v);
        }
    }
    return p;
}

double pictureStartSample(const FaxSignal& s) {
    const double line = 60.0 / s.lpm;
    return (s.leadSeconds + s.startSeconds + s.phasingLines * line) * receivingRate(s);
}

std::vector<float> faxAudio(const GreyPicture& picture, const FaxSignal& s) {
    const double line = 60.0 / s.lpm;
    const double startHz = s.startToneHz > 0 ? s.startToneHz : (s.ioc == 288 ? 675.0 : 300.0);
    const double tStart = s.leadSeconds;
    const double tPhasing = tStart + s.startSeconds;
    const double tPicture = tPhasing + s.phasingLines * line;
    const double tStop = tPicture + picture.height * line;
    const double tTail = tStop + s.stopSeconds;
    const double tEnd = tTail + s.tailSeconds;
    const double black = s.centreHz - s.deviationHz + s.offsetHz;
    const double white = s.centreHz + s.deviationHz + s.offsetHz;
    const auto alternation = [&](double t, double hz) {
        return std::sin(2.0 * std::numbers::pi * hz * t) >= 0.0 ? white : black;
    };

    const double rate = receivingRate(s);
    const auto count = static_cast<std::size_t>(std::ceil(tEnd * rate));
    std::vector<float> out(count);
    std::mt19937 rng(s.seed);
    const double noisePower =
        s.snrDb > 200.0 ? 0.0 : s.amplitude * s.amplitude / 2.0 / std::pow(10.0, s.snrDb / 10.0);
    std::normal_distribution<double> noise(0.0, std::sqrt(noisePower));
    double phase = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / rate;  // transmitter time of this sample
        double f = 0.0;
        bool on = true;
        if (t < tStart || t >= tTail) {
            on = false;
        } else if (t < tPhasing) {
            f = alternation(t - tStart, startHz);
        } else if (t < tPicture) {
            const double u = std::fmod((t - tPhasing) / line, 1.0);
            const bool pulse = u < s.pulseFraction;
            f = pulse != s.blackPulse ? white : black;
        } else if (t < tStop) {
            const double lines = (t - tPicture) / line;
            const int row = std::min(static_cast<int>(lines), picture.height - 1);
            const double u = lines - std::floor(lines);
            const int column = std::min(static_cast<int>(u * picture.width), picture.width - 1);
            f = black + (white - black) * picture.at(column, row) / 255.0;
        } else {
            f = alternation(t - tStop, s.stopToneHz);
        }
        double v = 0.0;
        if (on) {
            phase += 2.0 * std::numbers::pi * f / rate;
            phase = std::fmod(phase, 2.0 * std::numbers::pi);
            v = s.amplitude * std::sin(phase);
        }
        if (noisePower > 0.0) v += noise(rng);
        out[n] = static_cast<float>(v);
    }
    return out;
}

}  // namespace zeb::test
