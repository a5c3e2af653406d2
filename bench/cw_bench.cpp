// Speed of the CW decoder: blocks of keyed tone in noise through the whole
// chain, in both designs (argument 0: band-pass filter, envelope, threshold,
// key tracking; 1: the matched design with its tone search, speed checks and
// letter templates; the target is 500 times real time). The counter
// "x_realtime" is audio seconds decoded per second on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "common/TextSink.h"
#include "cw/CwDecoder.h"

namespace {

using namespace zeb::cw;

// About 20 s of "PARIS"-like keying at 20 WPM: one unit of 661 samples,
// marks of 1 or 3 units and gaps of 1, 3 or 7, with noise.
std::vector<float> keyedTone() {
    constexpr int kUnit = 661;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 5);
    std::normal_distribution<float> noise(0.0f, 500.0f);
    std::vector<float> out;
    double phase = 0.0;
    const double step = 2.0 * std::numbers::pi * 1275.0 / 11025.0;
    while (out.size() < 220000) {
        const int choice = pick(rng);
        const int mark = (choice % 2 == 0 ? 1 : 3) * kUnit;
        const int gap = (choice < 3 ? 1 : choice < 5 ? 3 : 7) * kUnit;
        for (int i = 0; i < mark + gap; ++i, phase += step) {
            const float tone = i < mark ? 8000.0f * static_cast<float>(std::sin(phase)) : 0.0f;
            out.push_back(tone + noise(rng));
        }
    }
    out.resize(out.size() / kBlockLength * kBlockLength);
    return out;
}

class NullSink : public zeb::TextSink {
public:
    void text(std::string_view bytes) override { count_ += bytes.size(); }
    std::size_t count_ = 0;
};

void BM_CwDecoderBlock(benchmark::State& state) {
    const auto audio = keyedTone();
    NullSink sink;
    CwDecoder decoder(sink);
    decoder.setVariant(state.range(0) == 0 ? CwVariant::Filter : CwVariant::Matched, true);
    if (!decoder.start({1275, 100})) {
        state.SkipWithError("filters");
        return;
    }
    std::size_t at = 0;
    for (auto _ : state) {
        decoder.processBlock(std::span<const float, kBlockLength>(audio.data() + at, kBlockLength));
        at = (at + kBlockLength) % audio.size();
    }
    benchmark::DoNotOptimize(sink.count_);
    state.SetItemsProcessed(state.iterations() * kBlockLength);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlockLength / kSampleRate,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CwDecoderBlock)->Arg(0)->Arg(1);

}  // namespace
