// Mixer access layer: the capture card's lines (destinations and their
// sources) and their controls (volume, mute, peak meter), the automatic
// choice of the lines the decoder program uses, and the twelve identifiers
// kept in section MIXER of NIMBA.INI. The card sits behind MixerDevice: the
// ALSA simple mixer, or a fake in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zeb {
class ProfileFile;
}

namespace zeb::audio {

// Component and control types, with the values of the platform mixer API
// whose names the settings dialog shows.
namespace mixer {
inline constexpr std::uint32_t kDstUndefined = 0;
inline constexpr std::uint32_t kDstSpeakers = 4;
inline constexpr std::uint32_t kDstWaveIn = 7;
inline constexpr std::uint32_t kSrcUndefined = 0x1000;
inline constexpr std::uint32_t kSrcLine = 0x1002;
inline constexpr std::uint32_t kSrcMicrophone = 0x1003;
inline constexpr std::uint32_t kSrcWaveOut = 0x1008;
inline constexpr std::uint32_t kSrcAuxiliary = 0x1009;
inline constexpr std::uint32_t kSrcAnalog = 0x100A;
inline constexpr std::uint32_t kCtlCustom = 0;
inline constexpr std::uint32_t kCtlPeakMeter = 0x10020001;
inline constexpr std::uint32_t kCtlMute = 0x20010002;
inline constexpr std::uint32_t kCtlVolume = 0x50030001;
}  // namespace mixer

// Symbolic names for display ("MIXERLINE_COMPONENTTYPE_DST_SPEAKERS", ...);
// "UNKNOWN" for other values.
std::string_view componentTypeName(std::uint32_t type);
std::string_view controlTypeName(std::uint32_t type);

struct MixerControlInfo {
    std::int32_t id = -1;
    std::uint32_t type = 0;
    std::string name;
    std::string shortName;
};

struct MixerLineInfo {
    std::int32_t id = -1;
    std::uint32_t componentType = 0;
    std::string name;
    std::string shortName;
    int channels = 1;
    std::vector<MixerControlInfo> controls;
};

struct MixerDestinationInfo : MixerLineInfo {
    std::vector<MixerLineInfo> sources;
};

// A mixer of one card. Calls return 0 or a negative device result.
class MixerDevice {
public:
    virtual ~MixerDevice() = default;
    virtual int open() = 0;
    virtual void close() = 0;
    virtual int destinations(std::vector<MixerDestinationInfo>& out) const = 0;
    // Per-channel values of a control of a line (volume 0–65535, mute 0/1).
    virtual int getValues(std::int32_t lineId, std::int32_t controlId,
                          std::vector<std::int32_t>& values) const = 0;
    virtual int setValues(std::int32_t lineId, std::int32_t controlId,
                          std::span<const std::int32_t> values) = 0;
};

// The ALSA simple mixer of a card ("default", "hw:0"). Capture elements form
// the recording destination, playback elements the speaker destination;
// "mute" is the inverted playback switch. ALSA has no peak meters.
std::unique_ptr<MixerDevice> makeAlsaMixer(std::string card);

// The mixer object. Every operation clears AudioError first and records
// code 2 (or 3 for an output mixer), the device result and its line on failure.
class MixerLink {
public:
    explicit MixerLink(std::unique_ptr<MixerDevice> device, bool output = false);
    ~MixerLink();

    bool open();
    void close();
    bool isOpen() const { return open_; }

    int findDestination(std::uint32_t componentType);
    int findSource(int destination, std::uint32_t componentType);
    std::int32_t destinationLineId(int destination);
    std::int32_t sourceLineId(int destination, int source);
    std::int32_t findDestinationControl(int destination, std::uint32_t controlType);
    std::int32_t findSourceControl(int destination, int source, std::uint32_t controlType);
    // First channel's value, or −1.
    std::int32_t getLevel(std::int32_t lineId, std::int32_t controlId);
    // Sets every channel of the line; 0 or −1.
    int setLevel(std::int32_t lineId, std::int32_t controlId, std::int32_t value);
    // percent × 65535 / 100 on every channel.
    int setLevelPercent(std::int32_t lineId, std::int32_t controlId, int percent);
    std::int32_t getSwitch(std::int32_t lineId, std::int32_t controlId);
    int setSwitch(std::int32_t lineId, std::int32_t controlId, std::int32_t value);

    // Name of the last line or control found; cleared when a search fails.
    const std::string& lastName() const { return lastName_; }
    // The whole tree, for the settings dialog.
    const std::vector<MixerDestinationInfo>& lines() const { return lines_; }

private:
    bool refresh(int line);
    const MixerLineInfo* line(int destination, int source) const;
    void fail(std::int32_t result, int line);

    std::unique_ptr<MixerDevice> device_;
    bool output_;
    bool open_ = false;
    std::vector<MixerDestinationInfo> lines_;
    std::vector<std::int32_t> values_;  // reused for every get and set
    std::string lastName_;
};

// The twelve identifiers of section MIXER; −1 = not known.
struct MixerIds {
    std::int32_t lineId = -1, lineCtl = -1, linePeak = -1;
    std::int32_t waveId = -1, waveCtl = -1, wavePeak = -1;
    std::int32_t dstId = -1, volCtl = -1;
    std::int32_t spkId = -1, spkMute = -1;
    std::int32_t muteId = -1, lineMute = -1;

    bool operator==(const MixerIds&) const = default;
};

MixerIds loadMixerIds(const ProfileFile& nimbaIni);
bool saveMixerIds(const ProfileFile& nimbaIni, const MixerIds& ids);

// Fills every identifier that is −1 by the automatic choice: the recording
// destination and its source (line, else auxiliary, analog, microphone),
// the wave-out source of the speakers, the speakers, their monitoring source.
void chooseMixerIds(MixerLink& mixer, MixerIds& ids);

}  // namespace zeb::audio
