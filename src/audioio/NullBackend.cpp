// The null backend, for machines without a sound card, and the choice of backend.
#include <cstring>

#include "audioio/Backends.h"

#include <filesystem>
#include "audioio/ThreadedDevice.h"
#include "common/ProfileFile.h"

namespace zeb::audio {

namespace {

class NullDevice final : public ThreadedDevice {
public:
    explicit NullDevice(bool output) : ThreadedDevice(output, true) {}
    ~NullDevice() override { close(); }

protected:
    int openDevice(const WaveFormat&, std::uint32_t) override { return 0; }
    int transfer(BlockHeader& header) override {
        if (!output()) std::memset(header.data, 0, header.bufferLength);
        return 0;
    }
};

class NullBackend final : public AudioBackend {
public:
    bool hasDevice(bool) const override { return true; }
    std::unique_ptr<WaveDevice> createDevice(bool output) override {
        return std::make_unique<NullDevice>(output);
    }
    std::string name() const override { return "null"; }
};

}  // namespace

std::shared_ptr<AudioBackend> makeNullBackend() { return std::make_shared<NullBackend>(); }

std::shared_ptr<AudioBackend> makeBackend(std::string_view device, FilePacing pacing) {
    if (device == "null") return makeNullBackend();
    if (device.starts_with("file:")) {
        return makeFileBackend(std::filesystem::path(std::string(device.substr(5))), pacing);
    }
    return makeAlsaBackend(device.empty() ? std::string("default") : std::string(device));
}

std::string inputFromArgument(const std::string& value) {
    if (value.rfind("file:", 0) == 0) return value;
    std::error_code ec;
    if (std::filesystem::is_regular_file(value, ec) || value.find('/') != std::string::npos)
        return "file:" + value;
    return value;
}

std::string chooseDevice(const ProfileFile& zebsys, bool output,
                         const std::optional<std::string>& commandLineInput) {
    if (!output && commandLineInput && !commandLineInput->empty()) return *commandLineInput;
    ProfileFile audio(zebsys.path());
    audio.setSection("AUDIO");
    std::string value = audio.readText(output ? "OUTPUT" : "INPUT", "default", 4096);
    return value.empty() ? std::string("default") : value;
}

}  // namespace zeb::audio
