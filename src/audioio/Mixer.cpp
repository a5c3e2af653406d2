#include "audioio/Mixer.h"

#include <array>
#include <utility>

#include "audioio/AudioError.h"
#include "common/ProfileFile.h"

namespace zeb::audio {

namespace {

constexpr std::array<std::pair<std::uint32_t, std::string_view>, 20> kComponentNames{{
    {0x0000, "MIXERLINE_COMPONENTTYPE_DST_UNDEFINED"},
    {0x0001, "MIXERLINE_COMPONENTTYPE_DST_DIGITAL"},
    {0x0002, "MIXERLINE_COMPONENTTYPE_DST_LINE"},
    {0x0003, "MIXERLINE_COMPONENTTYPE_DST_MONITOR"},
    {0x0004, "MIXERLINE_COMPONENTTYPE_DST_SPEAKERS"},
    {0x0005, "MIXERLINE_COMPONENTTYPE_DST_HEADPHONES"},
    {0x0006, "MIXERLINE_COMPONENTTYPE_DST_TELEPHONE"},
    {0x0007, "MIXERLINE_COMPONENTTYPE_DST_WAVEIN"},
    {0x0008, "MIXERLINE_COMPONENTTYPE_DST_VOICEIN"},
    {0x1000, "MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED"},
    {0x1001, "MIXERLINE_COMPONENTTYPE_SRC_DIGITAL"},
    {0x1002, "MIXERLINE_COMPONENTTYPE_SRC_LINE"},
    {0x1003, "MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE"},
    {0x1004, "MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER"},
    {0x1005, "MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC"},
    {0x1006, "MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE"},
    {0x1007, "MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER"},
    {0x1008, "MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT"},
    {0x1009, "MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY"},
    {0x100A, "MIXERLINE_COMPONENTTYPE_SRC_ANALOG"},
}};

constexpr std::array<std::pair<std::uint32_t, std::string_view>, 30> kControlNames{{
    {0x00000000, "MIXERCONTROL_CONTROLTYPE_CUSTOM"},
    {0x10010000, "MIXERCONTROL_CONTROLTYPE_BOOLEANMETER"},
    {0x10020000, "MIXERCONTROL_CONTROLTYPE_SIGNEDMETER"},
    {0x10020001, "MIXERCONTROL_CONTROLTYPE_PEAKMETER"},
    {0x10030000, "MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER"},
    {0x20010000, "MIXERCONTROL_CONTROLTYPE_BOOLEAN"},
    {0x20010001, "MIXERCONTROL_CONTROLTYPE_ONOFF"},
    {0x20010002, "MIXERCONTROL_CONTROLTYPE_MUTE"},
    {0x20010003, "MIXERCONTROL_CONTROLTYPE_MONO"},
    {0x20010004, "MIXERCONTROL_CONTROLTYPE_LOUDNESS"},
    {0x20010005, "MIXERCONTROL_CONTROLTYPE_STEREOENH"},
    {0x20012277, "MIXERCONTROL_CONTROLTYPE_BASS_BOOST"},
    {0x21010000, "MIXERCONTROL_CONTROLTYPE_BUTTON"},
    {0x30040000, "MIXERCONTROL_CONTROLTYPE_DECIBELS"},
    {0x30020000, "MIXERCONTROL_CONTROLTYPE_SIGNED"},
    {0x30030000, "MIXERCONTROL_CONTROLTYPE_UNSIGNED"},
    {0x30050000, "MIXERCONTROL_CONTROLTYPE_PERCENT"},
    {0x40020000, "MIXERCONTROL_CONTROLTYPE_SLIDER"},
    {0x40020001, "MIXERCONTROL_CONTROLTYPE_PAN"},
    {0x40020002, "MIXERCONTROL_CONTROLTYPE_QSOUNDPAN"},
    {0x50030000, "MIXERCONTROL_CONTROLTYPE_FADER"},
    {0x50030001, "MIXERCONTROL_CONTROLTYPE_VOLUME"},
    {0x50030002, "MIXERCONTROL_CONTROLTYPE_BASS"},
    {0x50030003, "MIXERCONTROL_CONTROLTYPE_TREBLE"},
    {0x50030004, "MIXERCONTROL_CONTROLTYPE_EQUALIZER"},
    {0x70010000, "MIXERCONTROL_CONTROLTYPE_SINGLESELECT"},
    {0x70010001, "MIXERCONTROL_CONTROLTYPE_MUX"},
    {0x71010000, "MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT"},
    {0x71010001, "MIXERCONTROL_CONTROLTYPE_MIXER"},
    {0x60030000, "MIXERCONTROL_CONTROLTYPE_MICROTIME"},
}};

template <std::size_t N>
std::string_view lookup(const std::array<std::pair<std::uint32_t, std::string_view>, N>& table,
                        std::uint32_t value) {
    for (const auto& [v, name] : table) {
        if (v == value) return name;
    }
    return "UNKNOWN";
}

const MixerControlInfo* findControl(const MixerLineInfo& line, std::uint32_t type) {
    for (const MixerControlInfo& c : line.controls) {
        if (c.type == type) return &c;
    }
    return nullptr;
}

constexpr std::array<std::pair<const char*, std::int32_t MixerIds::*>, 12> kKeys{{
    {"LINEID", &MixerIds::lineId},
    {"LINECTL", &MixerIds::lineCtl},
    {"LINEPEAK", &MixerIds::linePeak},
    {"WAVEID", &MixerIds::waveId},
    {"WAVECTL", &MixerIds::waveCtl},
    {"WAVEPEAK", &MixerIds::wavePeak},
    {"DSTID", &MixerIds::dstId},
    {"VOLCTL", &MixerIds::volCtl},
    {"SPKID", &MixerIds::spkId},
    {"SPKMUTE", &MixerIds::spkMute},
    {"MUTEID", &MixerIds::muteId},
    {"LINEMUTE", &MixerIds::lineMute},
}};

}  // namespace

std::string_view componentTypeName(std::uint32_t type) { return lookup(kComponentNames, type); }
std::string_view controlTypeName(std::uint32_t type) { return lookup(kControlNames, type); }

MixerLink::MixerLink(std::unique_ptr<MixerDevice> device, bool output)
    : device_(std::move(device)), output_(output) {}

MixerLink::~MixerLink() { close(); }

void MixerLink::fail(std::int32_t result, int line) {
    setAudioError(output_ ? AudioErrorCode::OutputDevice : AudioErrorCode::InputDevice, result,
                  kMixerSource, line);
}

bool MixerLink::open() {
    clearAudioError();
    close();
    if (!device_) return fail(kResultNotOpen, 20), false;
    if (const int r = device_->open(); r != 0) return fail(r, 21), false;
    open_ = true;
    if (!refresh(20)) {
        close();
        return false;
    }
    return true;
}

void MixerLink::close() {
    if (open_ && device_) device_->close();
    open_ = false;
    lines_.clear();
}

bool MixerLink::refresh(int line) {
    if (!open_) return fail(kResultNotOpen, line), false;
    if (const int r = device_->destinations(lines_); r != 0) return fail(r, line), false;
    return true;
}

const MixerLineInfo* MixerLink::line(int destination, int source) const {
    if (destination < 0 || destination >= static_cast<int>(lines_.size())) return nullptr;
    const MixerDestinationInfo& d = lines_[static_cast<std::size_t>(destination)];
    if (source < 0) return &d;
    if (source >= static_cast<int>(d.sources.size())) return nullptr;
    return &d.sources[static_cast<std::size_t>(source)];
}

int MixerLink::findDestination(std::uint32_t componentType) {
    clearAudioError();
    lastName_.clear();
    if (!refresh(44)) return -1;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].componentType == componentType) {
            lastName_ = lines_[i].name;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int MixerLink::findSource(int destination, std::uint32_t componentType) {
    clearAudioError();
    lastName_.clear();
    if (!refresh(64)) return -1;
    const MixerLineInfo* d = line(destination, -1);
    if (!d) return fail(kResultNoControl, 72), -1;
    const auto& sources = lines_[static_cast<std::size_t>(destination)].sources;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].componentType == componentType) {
            lastName_ = sources[i].name;
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::int32_t MixerLink::destinationLineId(int destination) {
    clearAudioError();
    const MixerLineInfo* l = open_ ? line(destination, -1) : nullptr;
    if (!l) return fail(kResultNoControl, 117), -1;
    return l->id;
}

std::int32_t MixerLink::sourceLineId(int destination, int source) {
    clearAudioError();
    const MixerLineInfo* l = open_ && source >= 0 ? line(destination, source) : nullptr;
    if (!l) return fail(kResultNoControl, 131), -1;
    return l->id;
}

std::int32_t MixerLink::findDestinationControl(int destination, std::uint32_t controlType) {
    clearAudioError();
    lastName_.clear();
    const MixerLineInfo* l = open_ ? line(destination, -1) : nullptr;
    if (!l) return fail(kResultNoControl, 88), -1;
    const MixerControlInfo* c = findControl(*l, controlType);
    if (!c) return -1;
    lastName_ = c->name;
    return c->id;
}

std::int32_t MixerLink::findSourceControl(int destination, int source, std::uint32_t controlType) {
    clearAudioError();
    lastName_.clear();
    const MixerLineInfo* l = open_ && source >= 0 ? line(destination, source) : nullptr;
    if (!l) return -1;
    const MixerControlInfo* c = findControl(*l, controlType);
    if (!c) return -1;
    lastName_ = c->name;
    return c->id;
}

std::int32_t MixerLink::getLevel(std::int32_t lineId, std::int32_t controlId) {
    clearAudioError();
    if (!open_) return fail(kResultNotOpen, 176), -1;
    if (const int r = device_->getValues(lineId, controlId, values_); r != 0) {
        return fail(r, 184), -1;
    }
    return values_.empty() ? -1 : values_.front();
}

int MixerLink::setLevel(std::int32_t lineId, std::int32_t controlId, std::int32_t value) {
    clearAudioError();
    if (!open_) return fail(kResultNotOpen, 199), -1;
    if (const int r = device_->getValues(lineId, controlId, values_); r != 0) {
        return fail(r, 199), -1;
    }
    for (std::int32_t& v : values_) v = value;
    if (const int r = device_->setValues(lineId, controlId, values_); r != 0) {
        return fail(r, 208), -1;
    }
    return 0;
}

int MixerLink::setLevelPercent(std::int32_t lineId, std::int32_t controlId, int percent) {
    return setLevel(lineId, controlId, percent * 65535 / 100);
}

std::int32_t MixerLink::getSwitch(std::int32_t lineId, std::int32_t controlId) {
    clearAudioError();
    if (!open_) return fail(kResultNotOpen, 223), -1;
    if (const int r = device_->getValues(lineId, controlId, values_); r != 0) {
        return fail(r, 231), -1;
    }
    return values_.empty() ? -1 : (values_.front() != 0 ? 1 : 0);
}

int MixerLink::setSwitch(std::int32_t lineId, std::int32_t controlId, std::int32_t value) {
    clearAudioError();
    if (!open_) return fail(kResultNotOpen, 246), -1;
    const std::int32_t one[1] = {value != 0 ? 1 : 0};
    if (const int r = device_->setValues(lineId, controlId, one); r != 0) {
        return fail(r, 255), -1;
    }
    return 0;
}

MixerIds loadMixerIds(const ProfileFile& nimbaIni) {
    ProfileFile ini(nimbaIni.path());
    ini.setSection("MIXER");
    MixerIds ids;
    for (const auto& [key, member] : kKeys) ids.*member = ini.readInt(key, -1);
    return ids;
}

bool saveMixerIds(const ProfileFile& nimbaIni, const MixerIds& ids) {
    ProfileFile ini(nimbaIni.path());
    ini.setSection("MIXER");
    bool ok = true;
    for (const auto& [key, member] : kKeys) ok = ini.writeInt(key, ids.*member).ok() && ok;
    return ok;
}

namespace {

// The first source of the preferred kinds for recording and monitoring.
int receiverSource(MixerLink& mixer, int destination) {
    if (destination < 0) return -1;
    for (std::uint32_t type :
         {mixer::kSrcLine, mixer::kSrcAuxiliary, mixer::kSrcAnalog, mixer::kSrcMicrophone}) {
        if (const int s = mixer.findSource(destination, type); s >= 0) return s;
    }
    return -1;
}

void choose(std::int32_t& id, bool possible, const auto& find) {
    if (id == -1 && possible) id = find();
}

}  // namespace

void chooseMixerIds(MixerLink& mixer, MixerIds& ids) {
    using namespace mixer;
    const int waveIn = mixer.findDestination(kDstWaveIn);
    const int recording = receiverSource(mixer, waveIn);
    choose(ids.lineId, waveIn >= 0, [&] { return mixer.destinationLineId(waveIn); });
    choose(ids.lineCtl, recording >= 0,
           [&] { return mixer.findSourceControl(waveIn, recording, kCtlVolume); });
    choose(ids.linePeak, waveIn >= 0, [&] {
        const std::int32_t own = mixer.findDestinationControl(waveIn, kCtlPeakMeter);
        return own >= 0 ? own : mixer.findSourceControl(waveIn, recording, kCtlPeakMeter);
    });

    const int speakers = mixer.findDestination(kDstSpeakers);
    const int waveOut = speakers >= 0 ? mixer.findSource(speakers, kSrcWaveOut) : -1;
    choose(ids.waveId, waveOut >= 0, [&] { return mixer.sourceLineId(speakers, waveOut); });
    choose(ids.waveCtl, waveOut >= 0,
           [&] { return mixer.findSourceControl(speakers, waveOut, kCtlVolume); });
    choose(ids.wavePeak, waveOut >= 0,
           [&] { return mixer.findSourceControl(speakers, waveOut, kCtlPeakMeter); });

    choose(ids.dstId, speakers >= 0, [&] { return mixer.destinationLineId(speakers); });
    choose(ids.volCtl, speakers >= 0,
           [&] { return mixer.findDestinationControl(speakers, kCtlVolume); });
    choose(ids.spkId, speakers >= 0, [&] { return mixer.destinationLineId(speakers); });
    choose(ids.spkMute, speakers >= 0,
           [&] { return mixer.findDestinationControl(speakers, kCtlMute); });

    const int monitoring = receiverSource(mixer, speakers);
    choose(ids.muteId, monitoring >= 0, [&] { return mixer.sourceLineId(speakers, monitoring); });
    choose(ids.lineMute, monitoring >= 0,
           [&] { return mixer.findSourceControl(speakers, monitoring, kCtlMute); });
}

}  // namespace zeb::audio
