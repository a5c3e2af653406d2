// Speed of the signal-processing core per audio block: the 1024-point
// transform (against FFTW when available), a 129-tap FIR filter over a block,
// and the spectrum and waterfall analyses of one block.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/Dft.h"
#include "dsp/Fir.h"
#include "dsp/SpectrumAnalyser.h"
#include "dsp/Waterfall.h"

#ifdef ZEB_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using namespace zeb::dsp;

std::vector<float> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v) x = u(rng);
    return v;
}

constexpr int kOrder = 10;
constexpr int kPoints = 1 << kOrder;

// Each iteration restores the input and transforms it, so values stay bounded;
// the FFTW case below does exactly the same.
void BM_DftForward1024(benchmark::State& state) {
    const auto inRe = noise(kPoints, 1), inIm = noise(kPoints, 2);
    std::vector<float> re(kPoints), im(kPoints);
    nspcrDft(re.data(), im.data(), kOrder, kDftForward | kDftPrepare);
    for (auto _ : state) {
        std::copy(inRe.begin(), inRe.end(), re.begin());
        std::copy(inIm.begin(), inIm.end(), im.begin());
        nspcrDft(re.data(), im.data(), kOrder, kDftForward);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DftForward1024);

#ifdef ZEB_HAVE_FFTW
// FFTW on the same split (separate real and imaginary arrays), in-place layout.
void BM_FftwForward1024(benchmark::State& state) {
    const auto inRe = noise(kPoints, 1), inIm = noise(kPoints, 2);
    float* re = fftwf_alloc_real(kPoints);
    float* im = fftwf_alloc_real(kPoints);
    fftwf_iodim dim{kPoints, 1, 1};
    fftwf_plan plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, re, im, FFTW_MEASURE);
    for (auto _ : state) {
        std::copy(inRe.begin(), inRe.end(), re);
        std::copy(inIm.begin(), inIm.end(), im);
        fftwf_execute_split_dft(plan, re, im, re, im);
        benchmark::DoNotOptimize(re);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(re);
    fftwf_free(im);
}
BENCHMARK(BM_FftwForward1024);
#endif

// Counter "tapsamples": taps × samples filtered per second.
void BM_Fir129Taps1024(benchmark::State& state) {
    constexpr int kTaps = 129;
    const auto taps = noise(kTaps, 3);
    const auto in = noise(1024, 4);
    std::vector<float> out(1024);
    FirState fir;
    nspsFirInit(taps.data(), kTaps, nullptr, &fir);
    for (auto _ : state) {
        nspsbFir(&fir, in.data(), out.data(), 1024);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["tapsamples"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kTaps * 1024, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Fir129Taps1024);

void BM_SpectrumAnalysis1024(benchmark::State& state) {
    SpectrumAnalyser analyser;
    analyser.init(11025.0f, 1024);
    analyser.attachDisplay(402, 130);
    analyser.setPeakHold(true);
    std::vector<float> block(1024);
    for (int i = 0; i < 1024; ++i)
        block[i] =
            static_cast<float>(8000.0 * std::sin(2 * std::numbers::pi * 1275.0 * i / 11025.0));
    for (auto _ : state) {
        analyser.analyse(block.data());
        benchmark::DoNotOptimize(analyser.curve().data());
    }
}
BENCHMARK(BM_SpectrumAnalysis1024);

// One block of noise through the waterfall (the 2048-point transform of it and
// the block before), 500 columns; the argument is the blocks per row, so with
// 1 every block also finishes a row (levels, floor, intensities).
void BM_WaterfallAnalyse(benchmark::State& state) {
    Waterfall waterfall;
    waterfall.attach(500, 0.0f, 2756.0f);
    waterfall.setBlocksPerRow(static_cast<int>(state.range(0)));
    const auto block = noise(1024, 5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(waterfall.analyse(block));
        benchmark::DoNotOptimize(waterfall.row().data());
    }
}
BENCHMARK(BM_WaterfallAnalyse)->Arg(1)->Arg(4);

}  // namespace
