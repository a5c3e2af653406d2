// The ALSA simple mixer read as the lines and controls of the mixer layer.
// Capture elements are the sources of the recording destination, playback
// elements the sources of the speaker destination ("Master" is the speaker
// line itself). A line's identifier is its element's index; a control's is
// index × 4 + kind (0 volume, 1 mute). Volumes are scaled linearly between
// 0–65535 and the element's range; mute is the inverted playback switch.
#include <alsa/asoundlib.h>

#include <cstring>
#include <string_view>

#include "audioio/AudioError.h"
#include "audioio/Mixer.h"

namespace zeb::audio {

namespace {

constexpr std::int32_t kWaveInLine = 100000;  // the recording destination as a line
constexpr std::int32_t kVolume = 0;
constexpr std::int32_t kMute = 1;

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::uint32_t sourceType(std::string_view name, bool capture) {
    auto has = [&](std::string_view part) { return name.find(part) != std::string_view::npos; };
    if (has("Line")) return mixer::kSrcLine;
    if (has("Aux")) return mixer::kSrcAuxiliary;
    if (has("Analog")) return mixer::kSrcAnalog;
    if (has("Mic")) return mixer::kSrcMicrophone;
    if (!capture && has("PCM")) return mixer::kSrcWaveOut;
    if (has("CD")) return 0x1005;
    return mixer::kSrcUndefined;
}

class AlsaMixer final : public MixerDevice {
public:
    explicit AlsaMixer(std::string card) : card_(std::move(card)) {}
    ~AlsaMixer() override { close(); }

    int open() override {
        snd_lib_error_set_handler(quietAlsa);
        int r = snd_mixer_open(&mixer_, 0);
        if (r < 0) return r;
        if ((r = snd_mixer_attach(mixer_, card_.c_str())) < 0 ||
            (r = snd_mixer_selem_register(mixer_, nullptr, nullptr)) < 0 ||
            (r = snd_mixer_load(mixer_)) < 0) {
            close();
            return r;
        }
        return 0;
    }

    void close() override {
        if (mixer_) snd_mixer_close(mixer_);
        mixer_ = nullptr;
    }

    int destinations(std::vector<MixerDestinationInfo>& out) const override {
        if (!mixer_) return kResultNotOpen;
        out.clear();
        MixerDestinationInfo waveIn;
        waveIn.id = kWaveInLine;
        waveIn.componentType = mixer::kDstWaveIn;
        waveIn.name = waveIn.shortName = "Capture";
        MixerDestinationInfo speakers;
        speakers.componentType = mixer::kDstSpeakers;
        speakers.name = speakers.shortName = "Master";
        std::int32_t index = 0;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e;
             e = snd_mixer_elem_next(e), ++index) {
            const std::string name = snd_mixer_selem_get_name(e);
            MixerLineInfo line;
            line.id = index;
            line.name = line.shortName = name;
            line.channels = snd_mixer_selem_is_playback_mono(e) ? 1 : 2;
            if (name == "Master" && snd_mixer_selem_has_playback_volume(e)) {
                speakers.id = index;
                speakers.controls.push_back({index * 4 + kVolume, mixer::kCtlVolume, name, name});
                if (snd_mixer_selem_has_playback_switch(e)) {
                    speakers.controls.push_back({index * 4 + kMute, mixer::kCtlMute, name, name});
                }
                continue;
            }
            if (snd_mixer_selem_has_capture_volume(e)) {
                MixerLineInfo source = line;
                source.componentType = sourceType(name, true);
                source.controls.push_back({index * 4 + kVolume, mixer::kCtlVolume, name, name});
                waveIn.sources.push_back(source);
            }
            if (snd_mixer_selem_has_playback_volume(e)) {
                line.componentType = sourceType(name, false);
                line.controls.push_back({index * 4 + kVolume, mixer::kCtlVolume, name, name});
                if (snd_mixer_selem_has_playback_switch(e)) {
                    line.controls.push_back({index * 4 + kMute, mixer::kCtlMute, name, name});
                }
                speakers.sources.push_back(line);
            }
        }
        out.push_back(std::move(waveIn));
        if (speakers.id >= 0 || !speakers.sources.empty()) out.push_back(std::move(speakers));
        return 0;
    }

    int getValues(std::int32_t, std::int32_t controlId,
                  std::vector<std::int32_t>& values) const override {
        snd_mixer_elem_t* e = element(controlId / 4);
        if (!e) return kResultNoControl;
        values.assign(2, 0);
        const bool capture = !snd_mixer_selem_has_playback_volume(e);
        if (controlId % 4 == kMute) {
            int on = 1;
            snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
            values.assign(1, on ? 0 : 1);
            return 0;
        }
        long lo = 0, hi = 0, v = 0;
        if (capture) {
            snd_mixer_selem_get_capture_volume_range(e, &lo, &hi);
        } else {
            snd_mixer_selem_get_playback_volume_range(e, &lo, &hi);
        }
        for (int ch = 0; ch < 2; ++ch) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
            const int r = capture ? snd_mixer_selem_get_capture_volume(e, channel, &v)
                                  : snd_mixer_selem_get_playback_volume(e, channel, &v);
            if (r < 0) v = lo;
            values[static_cast<std::size_t>(ch)] =
                hi > lo ? static_cast<std::int32_t>((v - lo) * 65535 / (hi - lo)) : 0;
        }
        return 0;
    }

    int setValues(std::int32_t, std::int32_t controlId,
                  std::span<const std::int32_t> values) override {
        snd_mixer_elem_t* e = element(controlId / 4);
        if (!e || values.empty()) return kResultNoControl;
        if (controlId % 4 == kMute) {
            return snd_mixer_selem_set_playback_switch_all(e, values[0] ? 0 : 1);
        }
        const bool capture = !snd_mixer_selem_has_playback_volume(e);
        long lo = 0, hi = 0;
        if (capture) {
            snd_mixer_selem_get_capture_volume_range(e, &lo, &hi);
        } else {
            snd_mixer_selem_get_playback_volume_range(e, &lo, &hi);
        }
        const long v = lo + static_cast<long>(values[0]) * (hi - lo) / 65535;
        return capture ? snd_mixer_selem_set_capture_volume_all(e, v)
                       : snd_mixer_selem_set_playback_volume_all(e, v);
    }

private:
    snd_mixer_elem_t* element(std::int32_t index) const {
        if (!mixer_ || index < 0) return nullptr;
        std::int32_t i = 0;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e)) {
            if (i++ == index) return e;
        }
        return nullptr;  // an index beyond the list is an unknown identifier
    }

    std::string card_;
    snd_mixer_t* mixer_ = nullptr;
};

}  // namespace

std::unique_ptr<MixerDevice> makeAlsaMixer(std::string card) {
    return std::make_unique<AlsaMixer>(std::move(card));
}

}  // namespace zeb::audio
