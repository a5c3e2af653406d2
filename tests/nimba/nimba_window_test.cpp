// The main program in this process: start-up and shutdown with a fake mixer,
// the decoder-mode rules, the housekeeping timer, the ordered road of the
// decoders' output to the text windows, and whole recordings decoded into
// the pages (the screenshots of the README come from these runs).
#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <span>
#include <thread>

#include "CwPage.h"
#include "EventLoop.h"
#include "LogoView.h"
#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "ReceivedPage.h"
#include "RttyPage.h"
#include "SpectrumLink.h"
#include "audioio/AudioError.h"
#include "audioio/Backends.h"
#include "audioio/Mixer.h"
#include "dsp/Status.h"
#include "fax/FaxConfig.h"
#include "support/Broadcasts.h"
#include "support/FaxGenerator.h"
#include "support/MorseGenerator.h"
#include "support/RttyGenerator.h"
#include "support/WavFile.h"
#include "ui/PanelControls.h"
#include "ui/TextWindow.h"
#include "ui/WaterfallView.h"

namespace zeb::nimba {
namespace {

using audio::MixerControlInfo;
using audio::MixerDestinationInfo;
using audio::MixerLineInfo;
namespace mx = audio::mixer;

// ---- the mode switch, without a window ----

class FakeDecoder : public ModeDecoder {
public:
    FakeDecoder(std::vector<std::string>& log, std::string name) : log_(log), name_(name) {}
    bool start() override {
        log_.push_back("start " + name_);
        if (fail) return false;
        running_ = true;
        return true;
    }
    void stop() override {
        log_.push_back("stop " + name_);
        running_ = false;
    }
    bool running() const override { return running_; }
    bool fail = false;

private:
    std::vector<std::string>& log_;
    std::string name_;
    bool running_ = false;
};

struct Switchboard {
    std::vector<std::string> log;
    FakeDecoder fax{log, "fax"}, rtty{log, "rtty"}, cw{log, "cw"};
    int refused = 0, changes = 0;
    ModeSwitcher modes{ModeSwitcher::Hooks{
        [this](DecoderMode m) { log.push_back("mode " + std::to_string(static_cast<int>(m))); },
        [this] { ++refused; }, [this] { ++changes; }}};
    Switchboard() {
        modes.setDecoder(DecoderMode::Fax, &fax);
        modes.setDecoder(DecoderMode::Rtty, &rtty);
        modes.setDecoder(DecoderMode::Cw, &cw);
    }
};

TEST(NimbaModes, ButtonsSwitchOnlyToAnotherModeAndNeverWhileAScheduleRuns) {
    Switchboard s;
    EXPECT_TRUE(s.modes.switchWithChecks(DecoderMode::Rtty));
    // The block handler runs nothing while the decoders change.
    EXPECT_EQ(s.log,
              (std::vector<std::string>{"mode 0", "stop fax", "stop cw", "start rtty", "mode 2"}));
    s.log.clear();
    EXPECT_FALSE(s.modes.switchWithChecks(DecoderMode::Rtty));
    EXPECT_TRUE(s.log.empty());

    s.modes.setScheduleRunning(true);
    EXPECT_FALSE(s.modes.switchWithChecks(DecoderMode::Fax));
    EXPECT_FALSE(s.modes.switchWithChecks(DecoderMode::None));
    EXPECT_EQ(s.refused, 2);
    EXPECT_EQ(s.modes.mode(), DecoderMode::Rtty);
    EXPECT_TRUE(s.log.empty());

    // The list and the schedule still switch, and a running decoder starts again.
    s.modes.switchWithoutChecks(DecoderMode::Rtty);
    EXPECT_EQ(s.log, (std::vector<std::string>{"mode 0", "stop fax", "stop rtty", "stop cw",
                                               "start rtty", "mode 2"}));
    s.modes.switchWithoutChecks(DecoderMode::Cw);
    EXPECT_EQ(s.modes.mode(), DecoderMode::Cw);
    EXPECT_FALSE(s.rtty.running());
    EXPECT_TRUE(s.cw.running());
}

TEST(NimbaModes, AFailedStartOrAModeWithoutDecoderLeavesModeNone) {
    Switchboard s;
    s.modes.switchWithChecks(DecoderMode::Cw);
    s.fax.fail = true;
    EXPECT_TRUE(s.modes.switchWithChecks(DecoderMode::Fax));
    EXPECT_EQ(s.modes.mode(), DecoderMode::None);
    EXPECT_FALSE(s.cw.running());
    EXPECT_EQ(s.log.back(), "mode 0");
    // Nothing records yet: the recorder button ends with the off button lit.
    s.modes.switchWithChecks(DecoderMode::Recorder);
    EXPECT_EQ(s.modes.mode(), DecoderMode::None);
    EXPECT_EQ(buttonOfMode(s.modes.mode()), kOffButton);
    EXPECT_GE(s.changes, 2);
}

TEST(NimbaModes, ButtonAndCommandIdsMapToModes) {
    EXPECT_EQ(modeOfButton(1004), DecoderMode::Fax);
    EXPECT_EQ(modeOfButton(1042), DecoderMode::None);
    EXPECT_EQ(modeOfCommand(102), DecoderMode::Rtty);
    EXPECT_EQ(modeOfCommand(104), DecoderMode::Recorder);
    EXPECT_FALSE(modeOfButton(1007).has_value());
    EXPECT_FALSE(modeOfCommand(106).has_value());
    for (int id : {1004, 1005, 1006, 1008, 1042}) EXPECT_EQ(buttonOfMode(*modeOfButton(id)), id);
}

// ---- housekeeping ----

TEST(NimbaHousekeeping, CleanupEveryFifteenMinutesRefreshEveryHundredSeconds) {
    Housekeeping h;
    int cleanups = 0, refreshes = 0, schedulerTicks = 0;
    h.cleanup = [&] { ++cleanups; };
    h.refreshBrowser = [&] { ++refreshes; };
    h.schedulerTick = [&](TimeKey) { ++schedulerTicks; };
    for (int tick = 1; tick <= 89; ++tick) h.tick(1000 + 10 * tick, false);
    EXPECT_EQ(cleanups, 0);  // not at start, not before 15 minutes
    EXPECT_EQ(refreshes, 8);
    h.tick(1900, true);
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(refreshes, 9);
    EXPECT_EQ(schedulerTicks, 1);
    for (int tick = 0; tick < 90; ++tick) h.tick(2000 + 10 * tick, false);
    EXPECT_EQ(cleanups, 2);
}

// ---- the logo ----

TEST(NimbaLogo, LightGreyTakesTheWindowColourAndTheImageFitsItsArea) {
    QImage logo(480, 144, QImage::Format_RGB32);
    logo.fill(QColor(192, 192, 192));
    logo.setPixel(240, 72, qRgb(255, 128, 0));
    const QImage fitted = fitLogo(logo, QSize(200, 100), QColor(10, 20, 30));
    // The width limits: 480/200 = 2.4 > 144/100, so 200 × 60.
    EXPECT_EQ(fitted.size(), QSize(200, 60));
    EXPECT_EQ(QColor(fitted.pixel(0, 0)), QColor(10, 20, 30));
    EXPECT_TRUE(fitLogo(QImage(), QSize(200, 100), Qt::gray).isNull());
    EXPECT_TRUE(fitLogo(logo, QSize(0, 100), Qt::gray).isNull());  // no area, no division
}

// ---- the ordered queue ----

class DrainCounter : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void drain() { ++calls; }
    int calls = 0;
};

TEST(NimbaOutputQueue, KeepsOrderJoinsCharactersAndAsksOncePerBatch) {
    OutputQueue queue;
    DrainCounter counter;
    queue.setReceiver(&counter, "drain");
    queue.pushText(TextTarget::Rtty, ItemKind::Received, "ZC");
    queue.pushText(TextTarget::Rtty, ItemKind::Received, "ZC");
    queue.pushMark(TextTarget::Rtty, weather::Collected::Warning);
    queue.pushText(TextTarget::Cw, ItemKind::Received, "E");
    queue.pushText(TextTarget::Rtty, ItemKind::Report, "report");
    queue.pushSave(TextTarget::Rtty, weather::Collected::Information, true);
    queue.pushTone(TextTarget::Rtty);
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return counter.calls == 1; }));
    OutputBatch batch;
    queue.take(batch);
    ASSERT_EQ(batch.items.size(), 6u);
    auto text = [&](const OutputItem& i) { return batch.text.substr(i.offset, i.length); };
    EXPECT_EQ(text(batch.items[0]), "ZCZC");
    EXPECT_EQ(batch.items[1].kind, ItemKind::Mark);
    EXPECT_EQ(batch.items[2].target, TextTarget::Cw);
    EXPECT_EQ(text(batch.items[3]), "report");
    EXPECT_EQ(batch.items[4].kind, ItemKind::Save);
    EXPECT_TRUE(batch.items[4].flag);
    EXPECT_EQ(batch.items[4].arg, static_cast<int>(weather::Collected::Information));
    EXPECT_EQ(batch.items[5].kind, ItemKind::Tone);
    EXPECT_TRUE(queue.empty());
    // The next item asks again.
    queue.pushText(TextTarget::Rtty, ItemKind::Received, "N");
    EXPECT_TRUE(zeb::test::pumpUntil([&] { return counter.calls == 2; }));
}

// ---- the program ----

// A card with a line input, the speakers and their wave-out and monitoring
// sources.
class FakeMixer final : public audio::MixerDevice {
public:
    FakeMixer() {
        auto ctl = [](std::int32_t id, std::uint32_t type) {
            MixerControlInfo c;
            c.id = id;
            c.type = type;
            return c;
        };
        auto line = [](std::int32_t id, std::uint32_t type, std::vector<MixerControlInfo> c) {
            MixerLineInfo l;
            l.id = id;
            l.componentType = type;
            l.controls = std::move(c);
            return l;
        };
        MixerDestinationInfo speakers;
        static_cast<MixerLineInfo&>(speakers) =
            line(1, mx::kDstSpeakers, {ctl(400, mx::kCtlVolume), ctl(401, mx::kCtlMute)});
        speakers.sources = {
            line(20, mx::kSrcWaveOut, {ctl(500, mx::kCtlVolume)}),
            line(21, mx::kSrcLine, {ctl(502, mx::kCtlVolume), ctl(503, mx::kCtlMute)})};
        MixerDestinationInfo recording;
        static_cast<MixerLineInfo&>(recording) = line(2, mx::kDstWaveIn, {});
        recording.sources = {line(10, mx::kSrcLine, {ctl(102, mx::kCtlVolume)})};
        lines_ = {speakers, recording};
        for (std::int32_t id : {400, 401, 500, 502, 503, 102}) values[id] = -1;
    }
    int open() override { return opens ? 0 : -ENODEV; }
    void close() override {}
    int destinations(std::vector<MixerDestinationInfo>& out) const override {
        out = lines_;
        return 0;
    }
    int getValues(std::int32_t, std::int32_t control, std::vector<std::int32_t>& v) const override {
        v = {values.count(control) ? values.at(control) : 0};
        return 0;
    }
    int setValues(std::int32_t, std::int32_t control, std::span<const std::int32_t> v) override {
        values[control] = v.empty() ? 0 : v[0];
        return 0;
    }
    std::map<std::int32_t, std::int32_t> values;
    bool opens = true;

private:
    std::vector<MixerDestinationInfo> lines_;
};

// Silence, from a device whose answer to the format question is `offered`.
class AskedInput final : public audio::AudioBackend {
public:
    explicit AskedInput(std::int32_t offered) : offered_(offered) {}
    bool hasDevice(bool output) const override { return silence_->hasDevice(output); }
    std::int32_t checkInputFormat(const audio::WaveFormat&) const override { return offered_; }
    std::unique_ptr<audio::WaveDevice> createDevice(bool output) override {
        return silence_->createDevice(output);
    }
    std::string name() const override { return "asked"; }

private:
    std::int32_t offered_;
    std::shared_ptr<audio::AudioBackend> silence_ = audio::makeNullBackend();
};

StartOptions quietOptions(const std::filesystem::path& dir, FakeMixer** mixer = nullptr) {
    StartOptions o;
    o.workDir = dir;
    o.receiver = [] { return makeNoReceiver(); };  // no serial port is searched
    o.input = "null";
    o.output = "null";
    o.show = false;
    o.clock = [] { return TimeKey{1796720400}; };  // 2026-12-08 09:00 UTC
    o.mixer = [mixer] {
        auto m = std::make_unique<FakeMixer>();
        if (mixer) *mixer = m.get();
        return std::unique_ptr<audio::MixerDevice>(std::move(m));
    };
    return o;
}

TEST(NimbaProgram, StartsWithDefaultsSetsTheMixerAndWritesItsSettingsAtExit) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    zeb::test::writeFile(box.dir / "NIMBA.INI",
                         "[PARAM]\r\nLINEVOL=33\r\nSPKVOL=100\r\n"
                         "[OTHER]\r\nKEEP=1\r\n");
    FakeMixer* mixer = nullptr;
    {
        Nimba nimba(quietOptions(box.dir.path(), &mixer));
        ASSERT_FALSE(nimba.startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        ASSERT_NE(mixer, nullptr);
        EXPECT_EQ(mixer->values[102], 21626);  // line input 33 %
        EXPECT_EQ(mixer->values[500], 32767);  // wave output 50 %
        EXPECT_EQ(mixer->values[400], 65535);  // speakers 100 %
        EXPECT_EQ(mixer->values[503], 0);      // line heard: mute off
        EXPECT_EQ(nimba.window()->statusText(), nimba.bundle()->string(65));
        EXPECT_EQ(nimba.modes().mode(), DecoderMode::None);
        EXPECT_TRUE(nimba.window()->modeButton(kOffButton)->isLit());
        EXPECT_EQ(nimba.window()->currentTab(), kFrequencyTab);
        EXPECT_TRUE(box.boxes.texts.isEmpty());
    }
    const std::string ini = zeb::test::readFile(box.dir / "NIMBA.INI");
    for (const char* line : {"LINEVOL=33", "WAVEVOL=50", "SPKVOL=100", "LINEMUTE=1", "DELTIME=0",
                             "ZEBPEAK=0", "RECOFFSET=0.000000", "[TIMER]", "NAME=", "ACTIVE=0",
                             "KEEP=1", "[RTTYPARAM]", "[CWPARAM]"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;
}

TEST(NimbaProgram, MissingDataEndsTheStartWithItsMessage) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    std::filesystem::remove(box.dir / "DATA" / "RCFRQ.DAT");
    Nimba nimba(quietOptions(box.dir.path()));
    EXPECT_EQ(nimba.startUp(), std::optional<int>(1));  // a failed start
    ASSERT_EQ(box.boxes.texts.size(), 1);
    EXPECT_EQ(box.boxes.texts[0], nimba.bundle()->string(7));
    // The shutdown ran: the settings are there.
    EXPECT_NE(zeb::test::readFile(box.dir / "NIMBA.INI").find("[TIMER]"), std::string::npos);
}

// The sound input is asked for 11025 Hz, mono, 16 bit before anything runs:
// an input that does not offer it, or cannot be asked, ends the start with
// the device error and its line; one without a mixer is said once, and the
// program goes on.
TEST(NimbaProgram, TheInputIsCheckedForTheFormatAndItsMixer) {
    const struct {
        std::int32_t offered;
        bool mixerOpens;
        const char* box;  // nullptr: the start goes on
    } cases[] = {
        {audio::kResultBadFormat, true, "11025 Hz, mono, 16 bit not supported (Line 186)"},
        {-EBUSY, true, "The audio input device failed: Device or resource busy (Line 185)"},
        {0, false, nullptr},
    };
    for (const auto& c : cases) {
        test::Sandbox box;
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        StartOptions options = quietOptions(box.dir.path());
        options.inputBackend = [&] { return std::make_shared<AskedInput>(c.offered); };
        options.mixer = [&] {
            auto m = std::make_unique<FakeMixer>();
            m->opens = c.mixerOpens;
            return std::unique_ptr<audio::MixerDevice>(std::move(m));
        };
        Nimba nimba(options);
        if (c.box != nullptr) {
            EXPECT_EQ(nimba.startUp(), std::optional<int>(1));  // a failed start
            ASSERT_EQ(box.boxes.texts.size(), 1);
            EXPECT_EQ(box.boxes.texts[0].toStdString(), c.box);
            continue;
        }
        ASSERT_FALSE(nimba.startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        EXPECT_TRUE(box.boxes.texts.isEmpty());
        EXPECT_EQ(nimba.window()->statusText(), "no volume control for this input");
        nimba.shutdown();
    }
}

TEST(NimbaProgram, ModeButtonsLightAndAScheduleRefusesThem) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(quietOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.command(kRttyButton);
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Rtty);
    EXPECT_TRUE(nimba.rtty()->running());
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return w.modeButton(kRttyButton)->isLit(); }));
    EXPECT_FALSE(w.modeButton(kOffButton)->isLit());

    ASSERT_TRUE(nimba.setScheduleActive(true));
    w.command(kCwButton);
    ASSERT_EQ(box.boxes.texts.size(), 1);
    EXPECT_EQ(box.boxes.texts[0], nimba.bundle()->string(60));
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Rtty);
    w.command(103);  // the schedule itself still switches
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Cw);
    EXPECT_FALSE(nimba.rtty()->running());
    w.command(104);  // the recorder, into SYNOP/
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::Recorder);
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return w.modeButton(kRecorderButton)->isLit(); }));
    w.command(105);
    EXPECT_EQ(nimba.modes().mode(), DecoderMode::None);
    EXPECT_FALSE(nimba.recorder()->running());
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return w.modeButton(kOffButton)->isLit(); }));
    (void)nimba.setScheduleActive(false);
}

TEST(NimbaProgram, HiddenTextPagesGoOnReceivingAndPagesComeAndGo) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(quietOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    ASSERT_NE(w.rttyPage(), nullptr);
    ASSERT_NE(w.cwPage(), nullptr);
    EXPECT_NE(w.page(kFrequencyTab), nullptr);

    w.selectTab(kFaxTab);
    EXPECT_EQ(w.page(kFrequencyTab), nullptr);  // destroyed when left
    EXPECT_NE(w.faxPage(), nullptr);
    w.selectTab(kRttyTab);
    EXPECT_EQ(w.faxPage(), nullptr);
    w.selectTab(kAudioTab);
    EXPECT_NE(w.rttyPage(), nullptr);  // only hidden

    nimba.output().pushText(TextTarget::Rtty, ItemKind::Received, "ZCZC 123\r\n");
    nimba.output().pushText(TextTarget::Cw, ItemKind::Received, "CQ DE");
    nimba.output().pushText(TextTarget::Cw, ItemKind::Received, " <AR> ");
    ASSERT_TRUE(zeb::test::pumpUntil([&] {
        return w.rttyPage()->text().model().contents() == "ZCZC 123\n" &&
               w.cwPage()->text().model().contents() == "CQ DE <AR> ";
    }));
    EXPECT_EQ(w.rttyPage()->text().toPlainText(), QStringLiteral("ZCZC 123\n"));

    // A warning asks for the alert tone, which plays through the sound output.
    ASSERT_NE(nimba.tones(), nullptr);
    bool finished = false;
    QObject::connect(nimba.tones(), &ui::TonePlayer::finished, [&] { finished = true; });
    nimba.output().pushTone(TextTarget::Rtty);
    EXPECT_TRUE(zeb::test::pumpUntil([&] { return finished; }));
}

// A fault reported by the signal-processing primitives on the capture thread
// is shown on the user-interface thread, and the program ends.
TEST(NimbaProgram, SignalProcessingFaultOnTheCaptureThreadEndsTheProgram) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(quietOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    bool closed = false;
    QObject::connect(nimba.window(), &MainWindow::closed, [&] { closed = true; });
    std::thread capture([] { dsp::reportError(dsp::kStatusNoMemory, "nspsbFir", "no memory"); });
    capture.join();
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return closed; }));
    ASSERT_EQ(box.boxes.texts.size(), 1);
    EXPECT_TRUE(box.boxes.texts[0].contains(QStringLiteral("Fließkomma-Fehler")));
    EXPECT_TRUE(box.boxes.texts[0].contains(QStringLiteral("nspsbFir")));
    EXPECT_FALSE(nimba.capture()->isOpen());
}

TEST(NimbaProgram, ReceiverControlThatCannotStartEndsTheProgram) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    struct Broken : ReceiverControl {
        bool start() override { return false; }
        void stop() override {}
    };
    StartOptions options = quietOptions(box.dir.path());
    options.receiver = [] { return std::unique_ptr<ReceiverControl>(new Broken); };
    Nimba nimba(options);
    EXPECT_EQ(nimba.startUp(), std::optional<int>(1));  // a failed start
    ASSERT_EQ(box.boxes.texts.size(), 1);
    EXPECT_EQ(box.boxes.texts[0], nimba.bundle()->string(24));
}

TEST(NimbaProgram, WindowScalesToItsSettingsAndLoadsTheNamedSchedule) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    std::filesystem::create_directories(box.dir / "DATA" / "TIMER");
    const std::vector<stations::ScheduleEntry> entries = {{100, 200, 1, false},
                                                          {300, 400, 2, false}};
    zeb::test::writeFile(box.dir / "DATA" / "TIMER" / "NIGHT.TIM",
                         stations::encodeSchedule(entries));
    zeb::test::writeFile(box.dir / "NIMBA.INI",
                         "[WINDOW]\nMAINX=1000\nMAINY=750\n[TIMER]\nNAME=NIGHT.TIM\nACTIVE=0\n");
    Nimba nimba(quietOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    EXPECT_EQ(nimba.window()->size(), QSize(1000, 750));
    EXPECT_EQ(nimba.window()->font().pixelSize(), 16);  // 16 px × 750/600 × 0.8
    EXPECT_TRUE(nimba.window()->font().bold());
    EXPECT_EQ(nimba.schedule().entries().size(), 2u);  // loaded although not active
    EXPECT_FALSE(nimba.scheduleRunning());
    nimba.shutdown();
    // The window size is the user's to set: it is never written.
    EXPECT_EQ(zeb::test::readFile(box.dir / "NIMBA.INI").find("MAINX=1000"), 9u);
}

// ---- whole recordings ----

void writeWav(const std::filesystem::path& file, const std::vector<float>& samples) {
    zeb::test::writeFile(file, zeb::test::wavBytes(samples));
}

struct Recording {
    std::vector<float> audio;
    DecoderMode mode;
    int page;
    std::string screenshot;
};

// Runs the program on a recording read as fast as the decoders take it and
// waits until it has ended and its output reached the windows.
void decode(Nimba& nimba) {
    bool ended = false;
    QObject::connect(&nimba, &Nimba::inputEnded, [&] { ended = true; });
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return ended; }, std::chrono::seconds(120)));
    zeb::test::pumpUntil([] { return false; }, std::chrono::milliseconds(400));
    nimba.window()->drainOutput();
}

void saveScreenshot(Nimba& nimba, const std::string& name) {
    const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR");
    if (dir.empty()) return;
    const QPixmap shot = nimba.window()->grab();
    EXPECT_TRUE(shot.save(QString::fromStdString(dir + "/" + name))) << dir;
}

StartOptions recordingOptions(const std::filesystem::path& dir, const std::filesystem::path& wav,
                              DecoderMode mode, int page) {
    StartOptions o;
    o.workDir = dir;
    o.receiver = [] { return makeNoReceiver(); };  // no serial port is searched
    o.input = "file:" + wav.string();
    o.output = "null";
    o.fast = true;
    o.mode = mode;
    o.page = page;
    o.show = true;
    return o;
}

TEST(NimbaRecording, RttyBulletinShowsInTheWindowAndIsStored) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    const std::string yygg = zeb::test::lastHourDayHour();
    const std::string text = "RYRYRYRYRY\nZCZC 001\nSMDL01 EDZW " + yygg + "00\nAAXX " + yygg +
                             "1\n10637 32966 82005 10102 20058 30108 40158 52012 69901 76166 "
                             "8453/=\n10384 12570 71212 10054 21003 30133 40170 57006 60001=\n"
                             "NNNN\nZCZC 002\nFQDL01 EDZW " +
                             yygg +
                             "00\nGALE WARNING GERMAN BIGHT WEST 8 BEAUFORT\nNNNN\nRYRYRYRYRY\n";
    zeb::test::FskSignal signal;
    signal.baud = 75;
    signal.markHz = 1275 + 10;  // the decoder's defaults, tuned 10 Hz off
    signal.spaceHz = 1700 + 10;
    signal.ebN0Db = 16;
    writeWav(box.dir / "rtty.wav",
             zeb::test::fskAudio(zeb::test::ita2Frames(zeb::test::ita2Codes(text), 1.5, 0, 100),
                                 signal));
    Nimba nimba(
        recordingOptions(box.dir.path(), box.dir / "rtty.wav", DecoderMode::Rtty, kRttyTab));
    ASSERT_FALSE(nimba.startUp().has_value());
    decode(nimba);
    const std::string shown = nimba.window()->rttyPage()->text().model().contents();
    EXPECT_NE(shown.find("GALE WARNING GERMAN BIGHT WEST 8 BEAUFORT"), std::string::npos) << shown;
    EXPECT_NE(shown.find("10637"), std::string::npos);
    // The descriptions of both reports follow the coded groups.
    EXPECT_GE(nimba.rtty()->scanner()->accepted(), 2);
    EXPECT_TRUE(std::filesystem::exists(box.dir / "SYNOP" / "STATION.DAT"));
    int warnings = 0;
    for (const auto& e : std::filesystem::directory_iterator(box.dir / "SYNOP"))
        warnings += e.path().filename().string().rfind("WARN_", 0) == 0;
    EXPECT_EQ(warnings, 1);
    saveScreenshot(nimba, "rtty.png");

    // The received-files page lists the warning and the observation time just
    // stored, and previews the observations in plain language.
    nimba.window()->selectTab(kReceivedTab);
    ReceivedPage* page = nimba.window()->receivedPage();
    ASSERT_TRUE(page);
    int observations = -1;
    for (int i = 0; i < page->list()->topLevelItemCount(); ++i) {
        if (page->list()->topLevelItem(i)->text(0).startsWith("[2]")) observations = i;
    }
    ASSERT_GE(observations, 0);
    page->setCurrentIndex(observations);
    page->previewCurrent();
    EXPECT_TRUE(page->previewText().contains("Frankfurt", Qt::CaseInsensitive))
        << page->previewText().toStdString();
    zeb::test::pumpUntil([] { return false; }, std::chrono::milliseconds(300));
    saveScreenshot(nimba, "received.png");
}

TEST(NimbaRecording, NavtexMessagesAreListedOnTheRttyPage) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    const auto shared = zeb::test::sharedData();
    const std::filesystem::path day =
        shared ? *shared / "fixtures" / "navtex" / "2022" / "01" / "01" : "";
    if (!shared || !std::filesystem::exists(day)) GTEST_SKIP() << "NAVTEX messages absent";
    // Station C is not selected; TE01 was received an hour ago.
    std::string text = "\n";
    for (const char* id : {"FA05", "TE01", "DB65", "CB06", "EB22"})
        text += zeb::test::readFile(day / id) + "\n";
    std::filesystem::create_directories(box.dir / "SYNOP");
    zeb::test::writeFile(box.dir / "SYNOP" / "INFO_TE01.RTF", zeb::test::readFile(day / "TE01"));
    zeb::test::writeFile(box.dir / "SYNOP" / "NAVTEX.DAT",
                         "TE01 " + std::to_string(zeb::now() - 3600) + " 0 210 INFO_TE01.RTF\n");
    zeb::test::FskSignal signal;
    signal.baud = 100;
    signal.markHz = 1275 + 8;
    signal.spaceHz = 1445 + 8;
    signal.ebN0Db = 20;
    writeWav(box.dir / "navtex.wav",
             zeb::test::fskAudio(
                 zeb::test::sitorElements(
                     zeb::test::fecSlots(zeb::test::ccir476Words(text), 20, false), 14.0),
                 signal));
    zeb::test::writeFile(box.dir / "NIMBA.INI",
                         "[RTTYPARAM]\nMODE=2\nBAUD=100\nSHIFT=170\nCENTER=1275\nINVERS=0\n"
                         "NAVTEXSTATIONS=DEFT\n");
    Nimba nimba(
        recordingOptions(box.dir.path(), box.dir / "navtex.wav", DecoderMode::Rtty, kRttyTab));
    ASSERT_FALSE(nimba.startUp().has_value());
    decode(nimba);
    const QTreeWidget* list = nimba.window()->rttyPage()->messageList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 5)
        << nimba.window()->rttyPage()->text().model().contents();
    EXPECT_TRUE(list->isVisible());
    const int note = list->columnCount() - 1;
    EXPECT_EQ(list->topLevelItem(1)->text(note), nimba.bundle()->string(9025));
    EXPECT_EQ(list->topLevelItem(3)->text(note), nimba.bundle()->string(9026));
    saveScreenshot(nimba, "navtex.png");
}

TEST(NimbaRecording, FaxChartInProgressIsSavedWhenTheProgramEnds) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    // The broadcast breaks off in the middle of the chart: no stop tone.
    zeb::test::FaxSignal signal;
    signal.snrDb = 25;
    signal.offsetHz = 6;
    signal.stopSeconds = 0.0;
    signal.tailSeconds = 0.0;
    // Tall enough to fill most of the preview (12 minutes of broadcast).
    writeWav(box.dir / "fax.wav", zeb::test::faxAudio(zeb::test::testChart(1810, 1440), signal));
    // The slant of this mode as a user has corrected it: the sender's exact
    // line rate (1810 pixels in 0.5 s), kept in the settings.
    {
        ProfileFile ini;
        ini.buildPath(box.dir.path().string(), "NIMBA.INI");
        fax::CorrectionTable table;
        table.store(576, 120, 1810.0f / 5512.5f);
        ASSERT_TRUE(fax::writeSettings(ini, fax::FaxConfig{}, table));
    }
    Nimba nimba(recordingOptions(box.dir.path(), box.dir / "fax.wav", DecoderMode::Fax, kFaxTab));
    ASSERT_FALSE(nimba.startUp().has_value());
    decode(nimba);
    ASSERT_NE(nimba.window()->faxPage(), nullptr);
    EXPECT_EQ(nimba.faxDecoder()->state(), fax::FaxState::Receiving);
    EXPECT_TRUE(nimba.faxDecoder()->pictureFileOpen());
    EXPECT_EQ(nimba.window()->statusText(), nimba.bundle()->string(34));
    saveScreenshot(nimba, "fax.png");
    nimba.shutdown();
    int pictures = 0, thumbnails = 0, work = 0;
    for (const auto& e : std::filesystem::directory_iterator(box.dir / "FAX")) {
        pictures += e.path().extension() == ".BMP";
        thumbnails += e.path().extension() == ".BMM";
        work += e.path().extension() == ".BMX";
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(thumbnails, 1);
    EXPECT_EQ(work, 0);
}

TEST(NimbaRecording, MorseShowsInTheCwWindow) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    zeb::test::MorseSignal signal;
    signal.wpm = 20;
    signal.snrDb = 20;
    signal.offsetHz = 5;
    const std::string text =
        "CQ CQ DE DDK9 DDK9 = WX FOR GERMAN BIGHT WEST 8 LATER NW 9 = SEA 3M AR";
    writeWav(box.dir / "cw.wav", zeb::test::generateMorse(text, signal));
    Nimba nimba(recordingOptions(box.dir.path(), box.dir / "cw.wav", DecoderMode::Cw, kCwTab));
    ASSERT_FALSE(nimba.startUp().has_value());
    decode(nimba);
    // The whole text from its first letter, one space between words.
    const std::string shown = nimba.window()->cwPage()->text().model().contents();
    EXPECT_EQ(zeb::test::normaliseSpaces(shown), text) << shown;
    EXPECT_EQ(shown.find("  "), std::string::npos) << shown;
    saveScreenshot(nimba, "cw.png");
}

// Real recordings on each decoder page: the waterfall shows the signal where
// the decoder listens (the brightest column of the last rows at one of its
// tones, or within the fax band). The README's screenshots of the displays
// come from these runs.
TEST(NimbaRecording, RealRecordingsShowOnTheWaterfallWhereTheDecoderListens) {
    const auto shared = zeb::test::sharedData();
    if (!shared) GTEST_SKIP() << "recordings absent";
    struct Case {
        const char* file;
        DecoderMode mode;
        int tab;
        const char* settings;
        double lowHz, highHz;  // where the brightest column must lie
        const char* screenshot;
    };
    const Case cases[] = {
        {"rtty/bitglue_gr-radioteletype_rtty.wav", DecoderMode::Rtty, kRttyTab,
         "[RTTYPARAM]\nMODE=0\nBAUD=45\nSHIFT=170\nCENTER=1915\n", 1895.0, 2105.0, "rtty-real.png"},
        {"cw/busysteve_50Mhz-cw.wav", DecoderMode::Cw, kCwTab, "", 1240.0, 1280.0, "cw-real.png"},
        {"wefax/synth_wefax_clean.wav", DecoderMode::Fax, kFaxTab, "", 1450.0, 2350.0,
         "fax-real.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto recording = *shared / "recordings" / c.file;
        if (!std::filesystem::exists(recording)) continue;
        test::Sandbox box;
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        zeb::test::writeFile(box.dir / "NIMBA.INI", c.settings);
        Nimba nimba(recordingOptions(box.dir.path(), recording, c.mode, c.tab));
        ASSERT_FALSE(nimba.startUp().has_value());
        nimba.window()->resize(1000, 760);
        decode(nimba);
        const ui::WaterfallView* waterfall = nimba.spectrum().attachedWaterfall();
        ASSERT_NE(waterfall, nullptr);
        // Read as fast as the decoder takes it, a recording may be over
        // before the page is shown and its displays attached; the place is
        // checked when the waterfall has rows.
        long total = 0;
        int brightest = 0;
        long best = -1;
        for (int x = 0; x < waterfall->columns(); ++x) {
            long sum = 0;
            for (int row = 0; row < 40; ++row) sum += waterfall->level(x, row);
            if (sum > best) best = sum, brightest = x;
            total += sum;
        }
        if (total == 0) continue;
        const double hz = waterfall->axis().frequencyOf(brightest);
        EXPECT_GE(hz, c.lowHz);
        EXPECT_LE(hz, c.highHz);
        saveScreenshot(nimba, c.screenshot);
    }
}

}  // namespace
}  // namespace zeb::nimba

#include "nimba_window_test.moc"
