// A recording opened as the capture input ("file:" device). An input that
// reads as a wave format record becomes the fmt chunk of a WAV file around
// the rest (any rate, channel count or codec), other input is the file itself.
// It must play to its end in whole blocks, no longer than its frames imply.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "audioio/Backends.h"
#include "audioio/Streams.h"
#include "audioio/WaveFileWriter.h"

using namespace zeb::audio;

namespace {

void put32(std::string& out, std::size_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string waveFile(std::span<const std::uint8_t> input) {
    const auto format = WaveFormat::parse(input);
    if (!format || (input.size() >= 4 && std::equal(input.begin(), input.begin() + 4, "RIFF")))
        return std::string(input.begin(), input.end());
    const auto record = format->serialize();
    if (!std::equal(record.begin(), record.end(), input.begin())) std::abort();
    const auto audio = input.subspan(record.size());
    std::string file = "RIFF";
    put32(file, 4 + 8 + record.size() + 8 + audio.size());
    file += "WAVEfmt ";
    put32(file, record.size());
    file.append(record.begin(), record.end());
    file += "data";
    put32(file, audio.size());
    return file.append(audio.begin(), audio.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zeb-fuzz-wav-" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << waveFile({data, size});
    // Files the device cannot open, whose close waits out the service thread, and
    // long recordings only take time: their audio is not played.
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    const bool play = f && info.samplerate > 0 && info.frames / info.samplerate <= 10;
    if (f) sf_close(f);
    std::vector<std::uint8_t> stored(data, data + size);  // a recorder format kept in settings
    if (completeFormatRecord(stored) && !findCodec(WaveFormat::parse(stored).value().formatTag))
        std::abort();
    std::atomic<std::size_t> samples{0};
    std::atomic<bool> ended{false};
    double rate = 0.0;
    std::size_t block = 0;
    {
        CaptureStream capture(makeFileBackend(path, FilePacing::AsFastAsTaken));
        capture.setRoutine(DecoderMode::Recorder, [&](std::span<const float> block) {
            if (block.size() * 2 != capture.blockBytes()) std::abort();
            samples += block.size();
        });
        capture.setMode(DecoderMode::Recorder);
        capture.setEndOfInputHandler([&] {
            ended = true;
            ended.notify_one();
        });
        if (play && capture.openDefault() && capture.start()) ended.wait(false);
        rate = capture.format().samplesPerSec;
        block = capture.blockBytes() / 2;
        (void)capture.close();
    }
    std::filesystem::remove(path);
    // The frames at the stream's rate, the resampler's few extra ones, the last block padded.
    const double frames =
        info.samplerate > 0 ? static_cast<double>(info.frames) * rate / info.samplerate : 0.0;
    if (static_cast<double>(samples.load()) > frames + static_cast<double>(2 * block + 64))
        std::abort();
    return 0;
}
