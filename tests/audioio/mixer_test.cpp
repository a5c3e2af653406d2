// The mixer layer against a fake card: automatic choice, value scaling,
// stale identifiers, the MIXER section.
#include <gtest/gtest.h>

#include <map>

#include "audioio/AudioError.h"
#include "audioio/Mixer.h"
#include "common/ProfileFile.h"
#include "support/TestEnv.h"

namespace zeb::audio {
namespace {

using namespace mixer;

// A card described by a list of lines; control values kept per control.
class FakeMixer final : public MixerDevice {
public:
    explicit FakeMixer(std::vector<MixerDestinationInfo> lines) : lines_(std::move(lines)) {
        for (const auto& d : lines_) {
            add(d);
            for (const auto& s : d.sources) add(s);
        }
    }
    int open() override { return openResult; }
    void close() override {}
    int destinations(std::vector<MixerDestinationInfo>& out) const override {
        out = lines_;
        return 0;
    }
    int getValues(std::int32_t lineId, std::int32_t controlId,
                  std::vector<std::int32_t>& values) const override {
        if (!lineIds_.count(lineId) || !values_.count(controlId)) return kResultNoControl;
        values = values_.at(controlId);
        return 0;
    }
    int setValues(std::int32_t lineId, std::int32_t controlId,
                  std::span<const std::int32_t> values) override {
        if (!lineIds_.count(lineId) || !values_.count(controlId)) return kResultNoControl;
        auto& v = values_[controlId];
        // One value sets every channel, as switches are set.
        for (std::size_t ch = 0; ch < v.size(); ++ch) v[ch] = values[values.size() == 1 ? 0 : ch];
        return 0;
    }

    int openResult = 0;
    std::map<std::int32_t, std::vector<std::int32_t>> values_;

private:
    void add(const MixerLineInfo& l) {
        lineIds_[l.id] = true;
        for (const auto& c : l.controls)
            values_[c.id].assign(static_cast<std::size_t>(l.channels), 0);
    }
    std::vector<MixerDestinationInfo> lines_;
    std::map<std::int32_t, bool> lineIds_;
};

MixerLineInfo src(std::int32_t id, std::uint32_t type, std::vector<MixerControlInfo> controls,
                  int channels = 2) {
    return {id, type, "src" + std::to_string(id), "s" + std::to_string(id), channels, controls};
}

MixerDestinationInfo dst(std::int32_t id, std::uint32_t type, std::vector<MixerControlInfo> ctl,
                         std::vector<MixerLineInfo> sources) {
    MixerDestinationInfo d;
    static_cast<MixerLineInfo&>(d) = {id, type, "dst" + std::to_string(id), "d", 2, ctl};
    d.sources = std::move(sources);
    return d;
}

MixerControlInfo ctl(std::int32_t id, std::uint32_t type) {
    return {id, type, "ctl" + std::to_string(id), "c"};
}

// A card whose recording destination offers the given source kinds, each
// with a volume (id = 100 + kind) and a peak meter (id = 200 + kind).
std::vector<MixerDestinationInfo> card(std::vector<std::uint32_t> recordingSources,
                                       bool destinationPeak) {
    std::vector<MixerLineInfo> rec;
    for (std::uint32_t t : recordingSources) {
        const auto k = static_cast<std::int32_t>(t & 0xFF);
        rec.push_back(src(10 + k, t, {ctl(100 + k, kCtlVolume), ctl(200 + k, kCtlPeakMeter)}));
    }
    std::vector<MixerControlInfo> waveInControls;
    if (destinationPeak) waveInControls.push_back(ctl(300, kCtlPeakMeter));
    return {
        dst(1, kDstSpeakers, {ctl(400, kCtlVolume), ctl(401, kCtlMute)},
            {src(20, kSrcWaveOut, {ctl(500, kCtlVolume), ctl(501, kCtlPeakMeter)}),
             src(21, kSrcAuxiliary, {ctl(502, kCtlVolume), ctl(503, kCtlMute)})}),
        dst(2, kDstWaveIn, waveInControls, rec),
    };
}

struct ChoiceCase {
    const char* name;
    std::vector<std::uint32_t> sources;
    bool destinationPeak;
    std::int32_t lineCtl;
    std::int32_t linePeak;
};

class MixerAutoChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(MixerAutoChoice, PrefersLineThenAuxiliaryAnalogMicrophone) {
    const ChoiceCase c = GetParam();
    MixerLink mixer(std::make_unique<FakeMixer>(card(c.sources, c.destinationPeak)));
    ASSERT_TRUE(mixer.open());
    MixerIds ids;
    chooseMixerIds(mixer, ids);
    EXPECT_EQ(ids.lineId, 2);
    EXPECT_EQ(ids.lineCtl, c.lineCtl);
    EXPECT_EQ(ids.linePeak, c.linePeak);
    // The speaker side is the same on every card here.
    EXPECT_EQ(ids.waveId, 20);
    EXPECT_EQ(ids.waveCtl, 500);
    EXPECT_EQ(ids.wavePeak, 501);
    EXPECT_EQ(ids.dstId, 1);
    EXPECT_EQ(ids.volCtl, 400);
    EXPECT_EQ(ids.spkId, 1);
    EXPECT_EQ(ids.spkMute, 401);
    EXPECT_EQ(ids.muteId, 21);  // the auxiliary source is the monitoring path
    EXPECT_EQ(ids.lineMute, 503);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, MixerAutoChoice,
    ::testing::Values(
        ChoiceCase{
            "LineFirst", {kSrcMicrophone, kSrcAnalog, kSrcAuxiliary, kSrcLine}, true, 102, 300},
        ChoiceCase{"Auxiliary", {kSrcMicrophone, kSrcAuxiliary, kSrcAnalog}, true, 109, 300},
        ChoiceCase{"Analog", {kSrcMicrophone, kSrcAnalog}, true, 110, 300},
        ChoiceCase{"Microphone", {kSrcWaveOut, kSrcMicrophone}, true, 103, 300},
        // No peak meter on the destination: the recording source's.
        ChoiceCase{"SourcePeak", {kSrcAuxiliary}, false, 109, 209},
        ChoiceCase{"NoSource", {kSrcWaveOut}, false, -1, -1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(MixerIdsChoice, KnownIdentifiersAreKeptWithoutSearch) {
    MixerLink mixer(std::make_unique<FakeMixer>(card({kSrcLine}, true)));
    ASSERT_TRUE(mixer.open());
    MixerIds ids;
    ids.lineCtl = 777;  // from NIMBA.INI, even if the card does not know it
    ids.spkMute = 5;
    chooseMixerIds(mixer, ids);
    EXPECT_EQ(ids.lineCtl, 777);
    EXPECT_EQ(ids.spkMute, 5);
    EXPECT_EQ(ids.volCtl, 400);
}

TEST(MixerLevels, PercentIsScaledOntoEveryChannel) {
    auto device = std::make_unique<FakeMixer>(card({kSrcLine}, true));
    FakeMixer* fake = device.get();
    MixerLink mixer(std::move(device));
    ASSERT_TRUE(mixer.open());
    for (auto [percent, value] :
         {std::pair{50, 32767}, std::pair{100, 65535}, std::pair{0, 0}, std::pair{33, 21626}}) {
        ASSERT_EQ(mixer.setLevelPercent(12, 102, percent), 0);
        EXPECT_EQ(fake->values_[102], (std::vector<std::int32_t>{value, value})) << percent;
        EXPECT_EQ(mixer.getLevel(12, 102), value);
    }
    EXPECT_EQ(mixer.setSwitch(1, 401, 1), 0);
    EXPECT_EQ(fake->values_[401], (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(mixer.getSwitch(1, 401), 1);
    EXPECT_TRUE(audioErrorIsClear());
}

struct StaleCase {
    const char* name;
    std::int32_t line;
    std::int32_t control;
};

class MixerStale : public ::testing::TestWithParam<StaleCase> {};

TEST_P(MixerStale, UnknownIdentifierFailsAndChangesNothing) {
    auto device = std::make_unique<FakeMixer>(card({kSrcLine}, true));
    FakeMixer* fake = device.get();
    MixerLink mixer(std::move(device));
    ASSERT_TRUE(mixer.open());
    const auto before = fake->values_;
    EXPECT_EQ(mixer.setLevel(GetParam().line, GetParam().control, 1000), -1);
    AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::InputDevice);
    EXPECT_EQ(e.source, kMixerSource);
    EXPECT_EQ(e.line, 199);
    EXPECT_EQ(mixer.getLevel(GetParam().line, GetParam().control), -1);
    EXPECT_EQ(lastAudioError().line, 184);
    EXPECT_EQ(mixer.setSwitch(GetParam().line, GetParam().control, 1), -1);
    EXPECT_EQ(lastAudioError().line, 255);
    EXPECT_EQ(fake->values_, before);
}

INSTANTIATE_TEST_SUITE_P(Ids, MixerStale,
                         ::testing::Values(StaleCase{"Control", 12, 9999},
                                           StaleCase{"Line", 9999, 102},
                                           StaleCase{"Unknown", -1, -1}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(MixerOpen, FailureIsReportedWithLine21AndOutputCode) {
    auto device = std::make_unique<FakeMixer>(card({}, false));
    device->openResult = -19;  // ENODEV
    MixerLink mixer(std::move(device), true);
    EXPECT_FALSE(mixer.open());
    const AudioError e = lastAudioError();
    EXPECT_EQ(e.code, AudioErrorCode::OutputDevice);
    EXPECT_EQ(e.line, 21);
    EXPECT_EQ(e.deviceResult, -19);
    EXPECT_EQ(mixer.getLevel(1, 400), -1);  // not open
}

TEST(MixerOpen, AlsaWithoutACardFailsCleanly) {
    MixerLink mixer(makeAlsaMixer("hw:77"));
    EXPECT_FALSE(mixer.open());
    EXPECT_EQ(lastAudioError().line, 21);
}

TEST(MixerNames, SymbolicNamesOfTheTypesInUse) {
    EXPECT_EQ(componentTypeName(kDstWaveIn), "MIXERLINE_COMPONENTTYPE_DST_WAVEIN");
    EXPECT_EQ(componentTypeName(kSrcAnalog), "MIXERLINE_COMPONENTTYPE_SRC_ANALOG");
    EXPECT_EQ(controlTypeName(kCtlVolume), "MIXERCONTROL_CONTROLTYPE_VOLUME");
    EXPECT_EQ(controlTypeName(kCtlPeakMeter), "MIXERCONTROL_CONTROLTYPE_PEAKMETER");
    EXPECT_EQ(controlTypeName(kCtlMute), "MIXERCONTROL_CONTROLTYPE_MUTE");
    EXPECT_EQ(controlTypeName(0x12345678), "UNKNOWN");
}

TEST(MixerIdsFile, TwelveKeysRoundTripAndDefaultToMinusOne) {
    zeb::test::TempDir dir;
    ProfileFile ini(dir / "NIMBA.INI");
    EXPECT_EQ(loadMixerIds(ini), MixerIds{});
    zeb::test::writeFile(dir / "NIMBA.INI",
                         "[MIXER]\nLINEID=3\nVOLCTL=junk\n[PARAM]\nLINEMUTE=1\n");
    MixerIds ids = loadMixerIds(ini);
    EXPECT_EQ(ids.lineId, 3);
    EXPECT_EQ(ids.lineMute, -1);  // PARAM's LINEMUTE is another key
    ids = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(saveMixerIds(ini, ids));
    EXPECT_EQ(loadMixerIds(ini), ids);
    EXPECT_NE(zeb::test::readFile(dir / "NIMBA.INI").find("[PARAM]\nLINEMUTE=1"),
              std::string::npos);
}

}  // namespace
}  // namespace zeb::audio
