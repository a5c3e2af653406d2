// Speed of the fax decoder: a generated broadcast (start signal, phasing,
// picture lines of a test chart, stop signal) through the whole chain —
// band-pass filter, zero-crossing demodulator, line analysis, state machine
// and the picture file growing by bands. The counter "x_realtime" is audio
// seconds decoded per second on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include <filesystem>

#include "fax/FaxDecoder.h"

namespace {

using namespace zeb::fax;

// About 75 s of fax at 120 LPM, IOC 576, with a little noise: 10 lines of the
// 300 Hz start signal, 20 phasing lines, 110 chart lines, 10 stop lines.
std::vector<float> broadcast() {
    constexpr double kLine = 5512.5;
    std::vector<float> out;
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 300.0f);
    double phase = 0.0;
    const auto emit = [&](double lines, auto frequencyAt) {
        const auto n = static_cast<std::size_t>(lines * kLine);
        for (std::size_t i = 0; i < n; ++i) {
            const double u = std::fmod(static_cast<double>(i) / kLine, 1.0);
            phase += 2.0 * std::numbers::pi * frequencyAt(static_cast<double>(i), u) / 11025.0;
            out.push_back(8000.0f * static_cast<float>(std::sin(phase)) + noise(rng));
        }
    };
    const auto alternation = [](double hz) {
        return [hz](double i, double) {
            return std::sin(2.0 * std::numbers::pi * hz * i / 11025.0) >= 0 ? 2300.0 : 1500.0;
        };
    };
    emit(10, alternation(300));
    emit(20, [](double, double u) { return u < 0.025 || u > 0.975 ? 2300.0 : 1500.0; });
    emit(110, [](double, double u) {
        return 1500.0 + 800.0 * (static_cast<int>(u * 18) % 2 ? 1.0 : u);
    });
    emit(10, alternation(450));
    out.resize(out.size() / kBlockLength * kBlockLength);
    return out;
}

class NoEvents : public FaxEvents {};

void BM_FaxDecoderBlock(benchmark::State& state) {
    const auto audio = broadcast();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zeb-fax-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    NoEvents events;
    {
        FaxDecoder decoder(events, dir);
        if (!decoder.start()) {
            state.SkipWithError("start");
            return;
        }
        std::size_t at = 0;
        for (auto _ : state) {
            decoder.processBlock(
                std::span<const float, kBlockLength>(audio.data() + at, kBlockLength));
            at = (at + kBlockLength) % audio.size();
        }
        benchmark::DoNotOptimize(decoder.row());
        decoder.stop();
    }
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(state.iterations() * kBlockLength);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlockLength / kSampleRate,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FaxDecoderBlock)->MinTime(2.0);

// The demodulator alone (filter off, no picture file: waiting for the start).
void BM_FaxDemodulatorUnfiltered(benchmark::State& state) {
    const auto audio = broadcast();
    NoEvents events;
    FaxDecoder decoder(events, std::filesystem::temp_directory_path());
    FaxConfig config;
    config.filterOrder = 0;
    config.startTone = 1;  // never matches: stays in WaitStart, writes no file
    decoder.setConfig(config);
    if (!decoder.start()) {
        state.SkipWithError("start");
        return;
    }
    std::size_t at = 0;
    for (auto _ : state) {
        decoder.processBlock(std::span<const float, kBlockLength>(audio.data() + at, kBlockLength));
        at = (at + kBlockLength) % audio.size();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlockLength / kSampleRate,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FaxDemodulatorUnfiltered);

}  // namespace
