// Speed of the file backend: samples delivered per second through a capture
// stream, as fast as the consumer takes them, with and without resampling.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <thread>
#include <vector>

#include "audioio/Backends.h"
#include "audioio/Streams.h"

namespace {

// A 20-second tone at the given rate and channel count in a temporary WAV file.
std::filesystem::path makeRecording(int rate, int channels) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("zeb_audio_bench_" + std::to_string(getpid()) + "_" + std::to_string(rate) +
                       "_" + std::to_string(channels) + ".wav");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    const std::size_t frames = static_cast<std::size_t>(rate) * 20;
    std::vector<std::int16_t> data(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            10000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / rate));
        for (int c = 0; c < channels; ++c) data[i * static_cast<std::size_t>(channels) + c] = v;
    }
    sf_writef_short(f, data.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
    return path;
}

void fileBackend(benchmark::State& state) {
    const auto path =
        makeRecording(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::int64_t samples = 0;
    for (auto _ : state) {
        zeb::audio::CaptureStream capture(
            zeb::audio::makeFileBackend(path, zeb::audio::FilePacing::AsFastAsTaken));
        std::atomic<std::int64_t> n{0};
        capture.setRoutine(zeb::audio::DecoderMode::Rtty, [&](std::span<const float> b) {
            n += static_cast<std::int64_t>(b.size());
        });
        capture.setMode(zeb::audio::DecoderMode::Rtty);
        capture.openDefault();
        capture.start();
        while (!capture.inputEnded()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        capture.close();
        samples += n.load();
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}

BENCHMARK(fileBackend)
    ->ArgNames({"rate", "channels"})
    ->Args({11025, 1})
    ->Args({48000, 1})
    ->Args({48000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
