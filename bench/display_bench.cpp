// The share of a core the tuning displays of a decoder page take while the
// audio runs: per block of 1024 samples (93 ms at 11025 Hz), the spectrum
// analysis and the waterfall analysis on the capture thread, their frames
// handed over, and both views drawn as the user-interface thread draws them
// (the waterfall a row per block, its fastest speed).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "dsp/SpectrumAnalyser.h"
#include "dsp/Waterfall.h"
#include "ui/SpectrumView.h"
#include "ui/WaterfallView.h"

namespace {

using namespace zeb;

QApplication& application() {
    static int argc = 1;
    static char name[] = "zeb_bench";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(argc, argv);
    return app;
}

std::vector<float> keyedTones() {
    std::vector<float> block(1024);
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 300.0f);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = 2000.0f * std::sin(0.8548f * static_cast<float>(i)) + noise(rng);
    return block;
}

void BM_TuningDisplaysPerBlock(benchmark::State& state) {
    application();
    constexpr int kWidth = 760;
    dsp::SpectrumAnalyser analyser;
    analyser.init(11025.0f, 1024);
    ui::SpectrumFrame spectrumFrame;
    ui::SpectrumView spectrum;
    spectrum.resize(kWidth, 90);
    analyser.attachDisplay(spectrum.analyserSize().width(), spectrum.analyserSize().height());
    spectrum.setFrame(&spectrumFrame);
    ui::WaterfallFrame waterfallFrame;
    ui::WaterfallView waterfall;
    waterfall.resize(kWidth, 120);
    waterfall.setRange(analyser.lowHz(), analyser.highHz());
    dsp::Waterfall rows;
    rows.attach(waterfall.columns(), analyser.lowHz(), analyser.highHz());
    waterfall.setFrame(&waterfallFrame);
    QImage spectrumImage(spectrum.size(), QImage::Format_RGB32);
    QImage waterfallImage(waterfall.size(), QImage::Format_RGB32);
    const std::vector<float> block = keyedTones();
    for (auto _ : state) {
        analyser.analyse(block.data());
        spectrumFrame.publish(analyser);
        if (rows.analyse(block)) waterfallFrame.publish(rows.row());
        spectrum.refresh();
        waterfall.refresh();
        static_cast<QWidget&>(spectrum).render(&spectrumImage);  // the paint event
        waterfall.render(&waterfallImage);
    }
    // A block lasts 1024 / 11025 s: the share of one core is the time per
    // block over that.
    state.counters["core_percent"] =
        benchmark::Counter(1024.0 / 11025.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_TuningDisplaysPerBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
