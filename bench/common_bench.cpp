// Costs of the settings accessor and the text formatter: a program start reads
// some fifty keys one by one; the file is parsed once for all of them, also
// when it has grown to megabytes.
#include "common/Format.h"
#include "common/ProfileFile.h"
#include "common/TimeKey.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <fstream>

namespace {

std::filesystem::path makeSettingsFile(int sections = 12) {
    char pattern[] = "/tmp/zebb-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    const std::filesystem::path path = dir / "NIMBA.INI";
    {
        std::ofstream out(path, std::ios::binary);
        for (int s = 0; s < sections; ++s) {
            out << "[SECTION" << s << "]\r\n";
            for (int k = 0; k < 10; ++k) out << "KEY" << k << "=" << s * 100 + k << "\r\n";
        }
    }
    // Older than a second, as a settings file is when a program starts.
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    return path;
}

void BM_ProfileReadInt(benchmark::State& state) {
    const auto path = makeSettingsFile();
    zeb::ProfileFile ini(path);
    ini.setSection("SECTION11");
    for (auto _ : state) benchmark::DoNotOptimize(ini.readInt("KEY9", 0));
    std::filesystem::remove_all(path.parent_path());
}
BENCHMARK(BM_ProfileReadInt);

// Fifty keys from a 5 MB file (40,000 sections).
void BM_ProfileReadFiftyKeysOfALargeFile(benchmark::State& state) {
    const auto path = makeSettingsFile(40000);
    zeb::ProfileFile ini(path);
    ini.setSection("SECTION7");
    for (auto _ : state) {
        for (int k = 0; k < 50; ++k) benchmark::DoNotOptimize(ini.readInt("KEY9", 0));
    }
    std::filesystem::remove_all(path.parent_path());
}
BENCHMARK(BM_ProfileReadFiftyKeysOfALargeFile)->Unit(benchmark::kMillisecond);

void BM_ProfileWriteInt(benchmark::State& state) {
    const auto path = makeSettingsFile();
    zeb::ProfileFile ini(path);
    ini.setSection("SECTION5");
    int i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(ini.writeInt("KEY3", ++i).ok());
    std::filesystem::remove_all(path.parent_path());
}
BENCHMARK(BM_ProfileWriteInt);

void BM_FormatLabel(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            zeb::formatPrintf("Fax %02d.%02d.%d %02d:%02d", {3, 6, 2004, 14, 5}));
}
BENCHMARK(BM_FormatLabel);

void BM_TimeKeyRoundTrip(benchmark::State& state) {
    zeb::TimeKey key = 1086271500;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zeb::timeKey(zeb::breakDown(key)));
        key += 86400;
    }
}
BENCHMARK(BM_TimeKeyRoundTrip);

}  // namespace
