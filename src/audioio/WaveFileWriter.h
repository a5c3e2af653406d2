// WaveFileWriter: completes a stored, partial codec format against the
// installed codecs, and writes RIFF/WAVE files: header with placeholder
// sizes, audio appended, sizes patched at close. Numbers are written byte by
// byte, little-endian.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "audioio/WaveFormat.h"

namespace zeb::audio {

// Description of the codec format that completeFormat chose.
struct CodecChoice {
    std::uint16_t formatTag = 0;
    std::string longName;    // "PCM" for tag 1
    std::string formatName;  // e.g. "11.025 kHz, Mono"
};

// Completes format: the installed format of the same tag that differs from it
// in the fewest of tag, rate, channels, bits, average bytes and block align
// (ties: the first). False, format unchanged, when the tag is unknown or no
// format comes close enough.
bool completeFormat(WaveFormat& format, CodecChoice* choice = nullptr);
// The same on a stored format record (e.g. the bytes kept in a settings file).
bool completeFormatRecord(std::vector<std::uint8_t>& record, CodecChoice* choice = nullptr);
// Size of the largest format record of the installed codecs.
std::size_t largestFormatSize();

class WaveFileWriter {
public:
    WaveFileWriter() = default;
    ~WaveFileWriter();
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    // Creates the file with its "fmt " chunk (18 + extra bytes, padded to an
    // even length), a "fact" chunk for compressed formats, and an open "data"
    // chunk. On failure AudioError holds code 18 and the line; no file stays open.
    bool openFile(const std::filesystem::path& path, const WaveFormat& format);
    // Appends audio; false when no file is open, the file failed earlier, the
    // data chunk would outgrow the 32-bit size fields, or fewer bytes were written.
    bool write(const std::uint8_t* bytes, std::size_t length);
    // Writes the current sizes into the header, so a crash leaves a playable file.
    bool refreshSizes();
    // Pads the data, writes the sizes and closes; false when any of it failed.
    bool closeFile();

    bool isOpen() const { return file_ != nullptr; }
    bool failed() const { return failed_; }
    // Audio bytes written so far (only those that reached the file).
    std::uint64_t dataBytes() const { return dataBytes_; }
    // Largest data chunk the 32-bit RIFF sizes can describe for this header.
    std::uint64_t dataLimit() const;

private:
    bool patchSizes();
    bool putSize(long offset, std::uint32_t value);
    void settleAfterFailure();
    bool fail(int line);

    std::FILE* file_ = nullptr;
    WaveFormat format_;
    std::uint64_t dataBytes_ = 0;
    std::uint64_t headerBytes_ = 0;
    long dataSizeOffset_ = 0;
    long factOffset_ = -1;
    bool failed_ = false;
    bool settled_ = false;  // the data size was taken from the file after a failure
};

}  // namespace zeb::audio
