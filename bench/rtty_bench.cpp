// Speed of the RTTY decoder per audio block, in multiples of real time: the
// whole chain (tone filters, detection, slicer, character handlers) of both
// demodulator designs on a steady FSK signal carrying random characters.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "rtty/RttyDecoder.h"

namespace {

using namespace zeb::rtty;

// Ten seconds of FSK at the given rate with random 5-unit characters
// (start bit, five data bits, 1.5 stop bits), lower tone = mark.
std::vector<float> fsk(const RttyParams& p) {
    constexpr int kSeconds = 10;
    std::vector<float> out(static_cast<std::size_t>(kSeconds * kSampleRate));
    std::mt19937 rng(5);
    const double samplesPerBit = static_cast<double>(kSampleRate) / p.baud;
    const bool sevenUnit = p.rttyMode() == RttyMode::SitorB;
    std::vector<int> bits;
    while (static_cast<double>(bits.size()) * samplesPerBit / 2.0 <
           static_cast<double>(out.size())) {
        if (sevenUnit) {
            for (int k = 0; k < 7; ++k) bits.push_back(static_cast<int>(rng() % 2u));
        } else {
            bits.push_back(0);
            bits.push_back(0);
            for (int k = 0; k < 10; ++k) bits.push_back(static_cast<int>(rng() % 2u));
            bits.insert(bits.end(), 3, 1);  // 1.5 stop bits at half-bit resolution
        }
    }
    double phase = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto half = static_cast<std::size_t>(static_cast<double>(i) * 2.0 / samplesPerBit);
        const std::size_t index = sevenUnit ? half / 2 : half;
        const bool mark = bits[index % bits.size()] != 0;
        phase += 2.0 * std::numbers::pi * (mark ? p.lowerHz() : p.upperHz()) / kSampleRate;
        out[i] = static_cast<float>(8000.0 * std::sin(phase));
    }
    return out;
}

class NullSink : public zeb::TextSink {
public:
    void text(std::string_view bytes) override { count_ += bytes.size(); }
    std::size_t count_ = 0;
};

void decodeBench(benchmark::State& state, RttyMode mode, int baud, int shift,
                 DemodVariant variant) {
    RttyParams p;
    p.mode = static_cast<int>(mode);
    p.baud = baud;
    p.shift = shift;
    p.squelch = variant == DemodVariant::Rtty ? 100.0f : 0.0f;
    p.variant = variant;
    const std::vector<float> audio = fsk(p);
    NullSink sink;
    RttyDecoder decoder({&sink, nullptr}, variant);
    decoder.configure(p);
    std::size_t i = 0;
    for (auto _ : state) {
        if (i + kBlockLength > audio.size()) i = 0;
        decoder.processBlock(std::span<const float>(audio.data() + i, kBlockLength));
        i += kBlockLength;
    }
    const auto samples = static_cast<double>(state.iterations()) * kBlockLength;
    state.counters["xRealTime"] =
        benchmark::Counter(samples / kSampleRate, benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(sink.count_);
}

// The default design: one core must decode at least 1000 times real time.
BENCHMARK_CAPTURE(decodeBench, async50Bd450Matched, RttyMode::Baudot, 50, 450,
                  DemodVariant::Matched);
BENCHMARK_CAPTURE(decodeBench, sitor100Bd170Matched, RttyMode::SitorB, 100, 170,
                  DemodVariant::Matched);
BENCHMARK_CAPTURE(decodeBench, async50Bd450Main, RttyMode::Baudot, 50, 450, DemodVariant::Main);
BENCHMARK_CAPTURE(decodeBench, sync50Bd450Main, RttyMode::SyncBaudot, 50, 450, DemodVariant::Main);
BENCHMARK_CAPTURE(decodeBench, sitor100Bd170Main, RttyMode::SitorB, 100, 170, DemodVariant::Main);
BENCHMARK_CAPTURE(decodeBench, async50Bd450Rtty, RttyMode::Baudot, 50, 450, DemodVariant::Rtty);

}  // namespace
