// The audio page of the running program: without a mixer (every mixer
// control grey, the rest working), on a fake card (sliders reaching the
// card, meters reading its peaks, switches setting its mutes, the mixer
// settings dialog opened by a right click), the settings it writes to
// NIMBA.INI, the receiver offset kept while its text is no number, the codec
// description and the help for choosing a sound input.
#include <QAbstractSlider>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "AudioPage.h"
#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "audioio/AudioError.h"
#include "audioio/Mixer.h"
#include "audioio/WaveFormat.h"
#include "ui/DialogLoader.h"
#include "ui/MixerDialog.h"
#include "ui/PanelControls.h"
#include "ui/ProgramList.h"

namespace zeb::nimba {
namespace {

namespace fs = std::filesystem;
namespace mx = audio::mixer;
using namespace audioid;

// A card with a line input whose recording destination has a peak meter, and
// speakers with a wave-out source (volume, peak meter) and a line source
// (volume, mute). Values are kept per control; every channel alike.
class FakeCard final : public audio::MixerDevice {
public:
    explicit FakeCard(bool speakerMute) {
        auto line = [](std::int32_t id, std::uint32_t type,
                       std::vector<std::pair<std::int32_t, std::uint32_t>> controls) {
            audio::MixerLineInfo l;
            l.id = id;
            l.componentType = type;
            l.name = "line" + std::to_string(id);
            l.shortName = "l";
            for (auto [cid, ctype] : controls)
                l.controls.push_back({cid, ctype, "ctl" + std::to_string(cid), "c"});
            return l;
        };
        audio::MixerDestinationInfo speakers;
        std::vector<std::pair<std::int32_t, std::uint32_t>> master{{400, mx::kCtlVolume}};
        if (speakerMute) master.push_back({401, mx::kCtlMute});
        static_cast<audio::MixerLineInfo&>(speakers) = line(1, mx::kDstSpeakers, master);
        speakers.sources = {
            line(20, mx::kSrcWaveOut, {{500, mx::kCtlVolume}, {501, mx::kCtlPeakMeter}}),
            line(21, mx::kSrcLine, {{502, mx::kCtlVolume}, {503, mx::kCtlMute}})};
        audio::MixerDestinationInfo recording;
        static_cast<audio::MixerLineInfo&>(recording) =
            line(2, mx::kDstWaveIn, {{300, mx::kCtlPeakMeter}});
        recording.sources = {line(10, mx::kSrcLine, {{102, mx::kCtlVolume}})};
        lines_ = {speakers, recording};
        for (const auto& d : lines_) {
            for (const auto& c : d.controls) values[c.id] = 0;
            for (const auto& s : d.sources)
                for (const auto& c : s.controls) values[c.id] = 0;
        }
    }
    int open() override { return 0; }
    void close() override {}
    int destinations(std::vector<audio::MixerDestinationInfo>& out) const override {
        out = lines_;
        return 0;
    }
    int getValues(std::int32_t, std::int32_t control, std::vector<std::int32_t>& v) const override {
        if (!values.count(control)) return audio::kResultNoControl;
        v = {values.at(control), values.at(control)};
        return 0;
    }
    int setValues(std::int32_t, std::int32_t control, std::span<const std::int32_t> v) override {
        if (!values.count(control) || v.empty()) return audio::kResultNoControl;
        values[control] = v[0];
        return 0;
    }
    std::map<std::int32_t, std::int32_t> values;

private:
    std::vector<audio::MixerDestinationInfo> lines_;
};

enum class Card { None, Full, WithoutSpeakerMute };

class AudioPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!box.ready) GTEST_SKIP() << "suite not staged";
    }
    AudioPage& start(Card kind) {
        StartOptions o;
        o.workDir = box.dir.path();
        o.receiver = [] { return makeNoReceiver(); };
        o.input = "null";
        o.output = "null";
        o.show = false;
        o.clock = [] { return TimeKey{1796720400}; };
        o.mixer = [this, kind]() -> std::unique_ptr<audio::MixerDevice> {
            if (kind == Card::None) return nullptr;
            auto fake = std::make_unique<FakeCard>(kind == Card::Full);
            this->card = fake.get();
            return fake;
        };
        nimba = std::make_unique<Nimba>(o);
        EXPECT_FALSE(nimba->startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        nimba->window()->selectTab(kAudioTab);
        return *nimba->window()->audioPage();
    }
    AudioPage& page() { return *nimba->window()->audioPage(); }
    template <class T = QWidget>
    T* control(int id) {
        return ui::controlAs<T>(page().dialog(), id);
    }
    std::string ini() const { return zeb::test::readFile(box.dir.path() / "NIMBA.INI"); }
    bool iniHas(const std::string& line) const {
        return ini().find(line + "\r\n") != std::string::npos;
    }
    void rightClick(int id) {
        QWidget* target = control(id);
        ASSERT_NE(target, nullptr) << id;
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2),
                            Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &release);
    }

    test::Sandbox box;
    std::unique_ptr<Nimba> nimba;
    FakeCard* card = nullptr;
};

TEST_F(AudioPageTest, WithoutAMixerItsControlsAreGreyAndTheRestWorks) {
    zeb::test::writeFile(box.dir / "EXTENS.LST", "/usr/bin/xterm A terminal\r\n");
    AudioPage& p = start(Card::None);
    for (int id : {kLineVolume, kWaveVolume, kSpeakerVolume, kMonitoring, kSpeakers})
        EXPECT_FALSE(control(id)->isEnabled()) << id;
    // No right click opens a dialog without a card.
    p.runMixerDialog = [](ui::MixerDialog&) -> bool {
        ADD_FAILURE() << "no mixer";
        return false;
    };
    rightClick(kLineVolume);
    EXPECT_FALSE(p.editMixerControl(kLinePeak));
    // The recording meter reads the captured blocks; the wave-out meter the
    // monitor's, while it runs.
    p.updateMeters();
    EXPECT_TRUE(control(kLinePeak)->isEnabled());
    EXPECT_FALSE(control(kWavePeak)->isEnabled());

    struct Switch {
        int id;
        std::function<bool()> on;
    };
    for (const Switch& s : {Switch{kPeakHold, [&] { return nimba->settings().peakHold == 1; }},
                            Switch{kAlertSound, [&] { return nimba->tones()->enabled(); }},
                            Switch{kMonitor, [&] { return nimba->monitorOn(); }},
                            Switch{kSignalWindow, [&] { return nimba->signalWindowOpen(); }}}) {
        auto* button = control<ui::LitSwitch>(s.id);
        const bool before = s.on();
        EXPECT_EQ(button->isLit(), before) << s.id;
        button->click();
        EXPECT_NE(s.on(), before) << s.id;
        EXPECT_EQ(button->isLit(), !before) << s.id;
    }
    EXPECT_TRUE(iniHas("ZEBPEAK=1"));  // written at once
    p.updateMeters();
    EXPECT_TRUE(control(kWavePeak)->isEnabled());
    control<QPushButton>(kMonitor)->click();
    EXPECT_FALSE(nimba->monitorOn());

    // The recording's size, the codec button's hook, the program list.
    auto* size = control<QLabel>(kRecordingSize);
    EXPECT_TRUE(size->text().isEmpty());
    p.setRecordingSize(5000);
    EXPECT_EQ(size->text(), QStringLiteral("4 K"));
    p.setRecordingSize(0);
    EXPECT_TRUE(size->text().isEmpty());
    auto* codec = control<QPushButton>(kCodec);
    EXPECT_TRUE(codec->isEnabled());  // the program's format choice is wired
    int chosen = 0;
    p.setCodecChooser([&] { ++chosen; });
    codec->click();
    EXPECT_EQ(chosen, 1);
    ASSERT_NE(p.programs(), nullptr);
    EXPECT_EQ(p.programs()->view().item(0)->text(), QStringLiteral("A terminal"));
    EXPECT_TRUE(box.boxes.texts.isEmpty());
}

TEST_F(AudioPageTest, WithoutASoundCardThePageSaysHowToChooseOne) {
    AudioPage& p = start(Card::None);
    auto* hint = control<QLabel>(kInputHint);
    auto* devices = control<QListWidget>(kInputDevices);
    EXPECT_FALSE(hint->isHidden());
    EXPECT_TRUE(hint->text().contains(QStringLiteral("ZEBSYS.INI")));
    EXPECT_TRUE(hint->text().contains(QStringLiteral("--input")));
    EXPECT_TRUE(hint->text().contains(QStringLiteral("(null)")));
    QStringList names;
    for (int i = 0; i < devices->count(); ++i) names.push_back(devices->item(i)->text());
    EXPECT_EQ(names.count(QStringLiteral("null")), 1);
    EXPECT_TRUE(names.contains(QStringLiteral("file:PATH")));
    std::vector<std::string> alsa;
    for (const CaptureDevice& d : alsaCaptureDevices()) alsa.push_back(d.name);
    EXPECT_EQ(static_cast<std::size_t>(devices->count()), alsa.size() + 2);
    (void)p;
}

struct CodecCase {
    const char* name;
    std::optional<audio::WaveFormat> stored;  // nullopt: no ACODEC key
    const char* shows;
};

class AudioPageCodec : public AudioPageTest, public ::testing::WithParamInterface<CodecCase> {};

TEST_P(AudioPageCodec, DescribesTheFormatTheRecorderWouldUse) {
    const CodecCase& c = GetParam();
    if (c.stored) {
        ProfileFile settings(box.dir / "NIMBA.INI");
        settings.setSection("PARAM");
        ASSERT_TRUE(settings.writeBytes("ACODEC", c.stored->serialize()));
    }
    start(Card::None);
    const QString text = control<QLabel>(kCodecText)->text();
    EXPECT_TRUE(text.startsWith(QString::fromLatin1(c.shows))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(" Bytes/s"))) << text.toStdString();
}

audio::WaveFormat unknownTag() {
    audio::WaveFormat f = audio::WaveFormat::pcm(11025, 1, 16);
    f.formatTag = 0x55;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioPageCodec,
                         ::testing::Values(CodecCase{"Default", std::nullopt, "GSM 6.10 "},
                                           CodecCase{"Pcm", audio::WaveFormat::pcm(11025, 1, 16),
                                                     "PCM "},
                                           // A codec this installation lacks is recorded as PCM.
                                           CodecCase{"UnknownCodec", unknownTag(), "PCM "}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(AudioPageTest, DeleteChoicesAreExactlyTheirHoursInNimbaIni) {
    zeb::test::writeFile(box.dir / "NIMBA.INI", "[PARAM]\r\nDELTIME=72\r\n");
    start(Card::None);
    // A value set by hand is none of the choices and stays.
    for (int id : {kKeep48, kKeep96, kKeep192, kKeepAll})
        EXPECT_FALSE(control<QRadioButton>(id)->isChecked()) << id;
    struct Choice {
        int id;
        int hours;
    };
    for (const Choice c :
         {Choice{kKeep96, 96}, Choice{kKeepAll, 0}, Choice{kKeep192, 192}, Choice{kKeep48, 48}}) {
        control<QRadioButton>(c.id)->click();
        EXPECT_EQ(nimba->settings().deleteHours, c.hours) << c.id;
        EXPECT_TRUE(iniHas("DELTIME=" + std::to_string(c.hours))) << c.id;
    }
    // A new page shows the choice; the shutdown keeps it.
    nimba->window()->selectTab(kFrequencyTab);
    nimba->window()->selectTab(kAudioTab);
    EXPECT_TRUE(control<QRadioButton>(kKeep48)->isChecked());
    nimba.reset();
    EXPECT_TRUE(iniHas("DELTIME=48"));
}

TEST_F(AudioPageTest, OffsetTextThatIsNoNumberKeepsTheLastNumber) {
    AudioPage& p = start(Card::None);
    auto* field = control<QLineEdit>(kOffset);
    EXPECT_EQ(field->text(), QStringLiteral("0"));
    struct Typed {
        const char* text;
        bool valid;
        double kept;
    };
    for (const Typed t :
         {Typed{"12.5", true, 12.5}, Typed{"12,5", false, 12.5}, Typed{"abc", false, 12.5},
          Typed{"", false, 12.5}, Typed{" -3 ", true, -3.0}, Typed{"+7e1", true, 70.0},
          Typed{"1e999", false, 70.0}, Typed{"70.0Hz", false, 70.0}}) {
        field->setText(QString::fromLatin1(t.text));
        EXPECT_EQ(p.offsetValid(), t.valid) << t.text;
        EXPECT_EQ(field->property("invalid").toBool(), !t.valid) << t.text;
        EXPECT_EQ(nimba->settings().receiverOffset, t.kept) << t.text;
    }
    emit field->editingFinished();
    EXPECT_TRUE(iniHas("RECOFFSET=70.000000"));
    nimba->window()->selectTab(kFrequencyTab);
    nimba->window()->selectTab(kAudioTab);
    EXPECT_EQ(control<QLineEdit>(kOffset)->text(), QStringLiteral("70"));
    EXPECT_TRUE(page().offsetValid());
}

TEST_F(AudioPageTest, SlidersSetTheCardAndMetersReadItsPeaks) {
    AudioPage& p = start(Card::Full);
    ASSERT_NE(card, nullptr);
    struct Slider {
        int id;
        std::int32_t control;
        int MainSettings::*setting;
        const char* key;
    };
    for (const Slider s : {Slider{kLineVolume, 102, &MainSettings::lineVolume, "LINEVOL"},
                           Slider{kWaveVolume, 500, &MainSettings::waveVolume, "WAVEVOL"},
                           Slider{kSpeakerVolume, 400, &MainSettings::speakerVolume, "SPKVOL"}}) {
        auto* slider = control<QAbstractSlider>(s.id);
        ASSERT_TRUE(slider->isEnabled()) << s.id;
        for (int percent : {0, 33, 67, 100}) {
            slider->setValue(percent);
            // The card's value is the one that reads back as the percentage.
            EXPECT_EQ(volumePercent(card->values[s.control]), percent) << s.id;
            EXPECT_EQ(nimba->settings().*s.setting, percent) << s.id;
        }
        EXPECT_EQ(card->values[s.control], 65535) << s.id;
        EXPECT_TRUE(iniHas(std::string(s.key) + "=100")) << s.id;
    }
    struct Peak {
        std::int32_t value;
        int shown;
    };
    for (const Peak peak :
         {Peak{-32768, 100}, Peak{32767, 100}, Peak{16384, 50}, Peak{-3276, 9}, Peak{0, 0}}) {
        card->values[300] = peak.value;
        card->values[501] = -peak.value;
        p.updateMeters();
        EXPECT_EQ(control<ui::BarMeter>(kLinePeak)->value(), peak.shown) << peak.value;
        EXPECT_EQ(control<ui::BarMeter>(kWavePeak)->value(), peak.shown) << peak.value;
    }
    // A change made on the card moves the slider.
    card->values[102] = 21626;
    p.mixerChanged(102);
    EXPECT_EQ(control<QAbstractSlider>(kLineVolume)->value(), 33);
    EXPECT_EQ(nimba->settings().lineVolume, 33);

    // For the README: the page on a card, the recording level at half scale.
    card->values[300] = 16384;
    p.updateMeters();
    if (const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR"); !dir.empty()) {
        EXPECT_TRUE(nimba->window()->grab().save(QString::fromStdString(dir + "/audio.png")));
    }
}

TEST_F(AudioPageTest, SwitchesSetTheCardsMutesToTheirInverse) {
    start(Card::Full);
    struct Switch {
        int id;
        std::int32_t mute;
    };
    for (const Switch s : {Switch{kMonitoring, 503}, Switch{kSpeakers, 401}}) {
        auto* button = control<ui::LitSwitch>(s.id);
        ASSERT_TRUE(button->isEnabled()) << s.id;
        EXPECT_TRUE(button->isLit()) << s.id;  // heard: not muted
        button->click();
        EXPECT_FALSE(button->isLit()) << s.id;
        EXPECT_EQ(card->values[s.mute], 1) << s.id;
        button->click();
        EXPECT_TRUE(button->isLit()) << s.id;
        EXPECT_EQ(card->values[s.mute], 0) << s.id;
    }
    control<QPushButton>(kMonitoring)->click();
    EXPECT_TRUE(iniHas("LINEMUTE=0"));
    EXPECT_EQ(nimba->settings().lineMute, 0);
}

TEST_F(AudioPageTest, RightClickChoosesTheMixerControlOfAPageControl) {
    AudioPage& p = start(Card::WithoutSpeakerMute);
    // The speakers have no mute: the switch is grey, but can be given one.
    EXPECT_FALSE(control(kSpeakers)->isEnabled());
    std::optional<std::pair<std::int32_t, std::int32_t>> shown;
    QStringList labels;
    p.runMixerDialog = [&](ui::MixerDialog& dialog) {
        shown = dialog.selection();
        for (QTreeWidgetItemIterator it(dialog.tree()); *it; ++it) labels.push_back((*it)->text(0));
        return dialog.select(21, 503) && (dialog.choose(), dialog.result() == QDialog::Accepted);
    };
    rightClick(kSpeakers);
    EXPECT_EQ(shown, std::nullopt);
    // Destinations, their controls, then their sources with theirs.
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels[0], QStringLiteral("MIXERLINE_COMPONENTTYPE_DST_SPEAKERS (line1 [l]) ID:1"));
    EXPECT_EQ(labels[1], QStringLiteral("MIXERCONTROL_CONTROLTYPE_VOLUME (ctl400 [c]) ID:400"));
    EXPECT_EQ(labels[2], QStringLiteral("MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT (line20 [l]) ID:20"));
    EXPECT_EQ(nimba->mixerIds().spkId, 21);
    EXPECT_EQ(nimba->mixerIds().spkMute, 503);
    EXPECT_TRUE(control(kSpeakers)->isEnabled());
    EXPECT_EQ(ini().find("[MIXER]"), std::string::npos);  // only Save writes

    // The recording volume: its control is selected; Save writes all twelve.
    card->values[502] = 0;
    p.runMixerDialog = [&](ui::MixerDialog& dialog) {
        shown = dialog.selection();
        dialog.select(21, 502);
        dialog.saveAndClose();
        return dialog.result() == QDialog::Accepted;
    };
    rightClick(kLineVolume);
    // The volume hangs on the recording source, not on the destination LINEID names.
    EXPECT_EQ(shown, (std::pair<std::int32_t, std::int32_t>{10, 102}));
    EXPECT_EQ(nimba->mixerIds().lineId, 21);
    EXPECT_EQ(nimba->mixerIds().lineCtl, 502);
    EXPECT_EQ(volumePercent(card->values[502]), nimba->settings().lineVolume);
    EXPECT_EQ(audio::loadMixerIds(nimba->profile()), nimba->mixerIds());
    // Cancel changes nothing.
    const audio::MixerIds before = nimba->mixerIds();
    p.runMixerDialog = [](ui::MixerDialog& dialog) {
        dialog.select(1, 400);
        dialog.reject();
        return false;
    };
    rightClick(kLinePeak);
    EXPECT_EQ(nimba->mixerIds(), before);
}

}  // namespace
}  // namespace zeb::nimba
