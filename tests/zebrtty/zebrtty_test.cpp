// The RTTY program with a receiver control on a pseudo-terminal: a weather
// broadcast from a recording, the parameters kept in step with RIGMAN, the
// warning tone, raw audio replay, the start without a receiver control, and
// the frequency correction on a signal tuned 60 Hz off.
#include "ZebRtty.h"
#include "RttyWindow.h"
#include "ToolWindows.h"
#include "common/LittleEndian.h"
#include "common/bus/Bus.h"
#include "common/bus/ReceiverLink.h"
#include "support/AllocationCount.h"
#include "support/BoxRecorder.h"
#include "support/Broadcasts.h"
#include "support/ChildProcess.h"
#include "support/Pty.h"
#include "support/RttyGenerator.h"
#include "support/TestEnv.h"
#include "support/WavFile.h"
#include "ui/LanguageBundle.h"
#include "ui/TextWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QPrinterInfo>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <thread>

namespace zeb::zebrtty {
namespace {

namespace fs = std::filesystem;

// A working directory with the staged bundles and data, a bus of its own,
// and RIGMAN (started on demand) with a pseudo-terminal as its receiver.
struct Sandbox {
    zeb::test::TempDir dir;
    zeb::test::ScopedEnv bus{"ZEB_BUS_DIR", (dir.path() / "bus").string()};
    zeb::test::ScopedEnv offscreen{"QT_QPA_PLATFORM", "offscreen"};
    zeb::test::BoxRecorder boxes;
    zeb::test::Pty pty;
    std::optional<zeb::test::ChildProcess> rigman;
    bool ready = prepare();

    bool prepare() {
        const fs::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
        for (const char* name : {"RTTYEN.DLL", "RIGMANEN.DLL", "rigman", "DATA"})
            if (suite.empty() || !fs::exists(suite / name)) return false;
        fs::copy(suite / "RTTYEN.DLL", dir / "RTTYEN.DLL");
        fs::copy(suite / "RIGMANEN.DLL", dir / "RIGMANEN.DLL");
        fs::copy(suite / "DATA", dir / "DATA", fs::copy_options::recursive);
        zeb::test::writeFile(dir / "RIGMAN.INI", "[PARAM]\r\nRECEIVER=4\r\n");
        system(0);
        return pty.ok();
    }
    void system(int warnSound) {
        zeb::test::writeFile(dir / "ZEBSYS.INI",
                             "[PORTS]\r\nCOM1=" + pty.name() +
                                 "\r\n[SYSTEM]\r\nWARNSOUND=" + std::to_string(warnSound) + "\r\n");
    }
    ZebRttyOptions options(const std::string& input) {
        ZebRttyOptions o;
        o.workDir = dir.path();
        o.input = input;
        o.fast = true;
        o.show = false;
        o.receiver.firstRetry = std::chrono::milliseconds(300);
        o.receiver.start = [this] {
            rigman.emplace(std::vector<std::string>{
                (fs::path(zeb::test::testSetting("ZEB_TEST_SUITE_DIR")) / "rigman").string(),
                "--dir", dir.path().string()});
            return true;
        };
        return o;
    }
    ~Sandbox() {
        // The launcher's way of ending the suite: no closing question.
        if (rigman) {
            bus::broadcast("ZEB_EXIT_PROG");
            (void)rigman->waitExit();
        }
    }
};

bool pumpUntil(const std::function<bool()>& done) {
    return zeb::test::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        std::chrono::seconds(60));
}

bus::ReceiverClient rigmanClient() {
    bus::ReceiverConnectOptions o;
    o.startServer = false;
    return std::move(bus::ReceiverClient::connect(o).value());
}

std::vector<std::uint8_t> recordA(int baud, int shift, int center) {
    std::vector<std::uint8_t> r(bus::kRecordABytes);
    le::Writer w(r);
    w.i32(16, baud);
    w.f32(20, 1.5f);
    w.i32(28, shift);
    w.i32(32, center);
    return r;
}

// The main window with its four tool windows beside it, for the README.
void saveScreenshot(const ZebRtty& program) {
    const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR");
    if (dir.empty()) return;
    std::vector<QPixmap> tools;
    int toolsHeight = 0, toolsWidth = 0;
    for (int command :
         {Command::Spectrum, Command::Settings, Command::BitRaster, Command::CrossScope})
        if (QWidget* w = program.toolWindow(command)) {
            tools.push_back(w->grab());
            toolsWidth = std::max(toolsWidth, tools.back().width());
            toolsHeight += tools.back().height();
        }
    const QPixmap main = program.window()->grab();
    QPixmap shot(main.width() + toolsWidth, std::max(main.height(), toolsHeight));
    shot.fill(Qt::white);
    QPainter painter(&shot);
    painter.drawPixmap(0, 0, main);
    int y = 0;
    for (const QPixmap& tool : tools) {
        painter.drawPixmap(main.width(), y, tool);
        y += tool.height();
    }
    painter.end();
    EXPECT_TRUE(shot.save(QString::fromStdString(dir + "/zebrtty.png")));
}

TEST(ZebRttyProgram, WeatherBroadcastDecodesAndParametersFollowRigman) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    zeb::test::writeFile(box.dir / "ZEBRTTY.INI", "[PARAM]\r\nBAUD=50\r\nSHIFT=450\r\n");
    zeb::test::FskSignal signal;  // 50 Bd, 1275/1725 Hz
    signal.ebN0Db = 16;
    const std::string text = zeb::test::dwdBroadcastText();
    zeb::test::writeFile(
        box.dir / "rtty.wav",
        zeb::test::wavBytes(zeb::test::fskAudio(
            zeb::test::ita2Frames(zeb::test::ita2Codes(text), 1.5, 0, 100), signal)));
    ZebRtty program(box.options("file:" + (box.dir / "rtty.wav").string()));
    ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    for (int command :
         {Command::Spectrum, Command::Settings, Command::BitRaster, Command::CrossScope})
        program.window()->action(command)->trigger();
    bool ended = false;
    QObject::connect(&program, &ZebRtty::inputEnded, [&] { ended = true; });
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
    saveScreenshot(program);

    // RIGMAN's empty record (baud 0) left the stored parameters alone.
    EXPECT_EQ(program.params().baud, 50);
    const std::string shown = program.window()->text()->model().contents();
    EXPECT_NE(shown.find("GALE WARNING"), std::string::npos) << shown;
    // The descriptions stand in the report colour (green without SYNFONT).
    const QTextCursor description = program.window()->text()->document()->find("Bulletin");
    ASSERT_FALSE(description.isNull());
    EXPECT_EQ(description.charFormat().foreground().color(), QColor(0, 128, 0));
    EXPECT_TRUE(fs::exists(box.dir / "SYNOP" / "STATION.DAT"));
    int warnings = 0;
    for (const auto& e : fs::directory_iterator(box.dir / "SYNOP"))
        warnings += e.path().filename().string().rfind("WARN_", 0) == 0;
    EXPECT_EQ(warnings, 1);

    // A change made here reaches RIGMAN's record; RIGMAN's record, when it
    // names baud, shift and center, reaches the decoder on a re-read.
    rtty::RttyParams p = program.params();
    p.baud = 75;
    program.changeParams(p);
    auto client = rigmanClient();
    auto record = bus::decodeRecord([&] {
        (void)client.poke(bus::ReceiverCode::ReadRecordA);
        return client.request().value().value();
    }());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(le::get32(record->clientBytes.data() + 4), 75u);  // baud at offset 16
    (void)client.poke(bus::ReceiverCode::StoreRecordA, recordA(100, 170, 1000));
    ASSERT_TRUE(
        bus::post(kClassName, bus::Message{bus::MessageKind::User, {}, kRereadMessage, 0, 0, {}}));
    EXPECT_TRUE(pumpUntil([&] { return program.params().baud == 100; }));
    (void)client.poke(bus::ReceiverCode::StoreRecordA, recordA(0, 85, 1000));
    program.requestParams();
    EXPECT_EQ(program.params().baud, 100);
    EXPECT_EQ(program.params().shift, 170);
    program.shutdown();
}

TEST(ZebRttyProgram, WarningToneFollowsWarnSoundAndReplayReleasesItsButton) {
    for (int warnSound : {0, 1}) {
        SCOPED_TRACE(warnSound);
        Sandbox box;
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        box.system(warnSound);
        zeb::test::writeFile(box.dir / "SYNOP.TXT", "ZCZC 002\nFQDL01 EDZW " +
                                                        zeb::test::lastHourDayHour() +
                                                        "00\nGALE WARNING GERMAN BIGHT\nNNNN\n");
        ZebRtty program(box.options("null"));
        ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
        ASSERT_TRUE(program.feedSynopText());
        EXPECT_EQ(program.tones()->playing(), warnSound == 1);

        // Saved as RTF and opened again, the text takes the window's place.
        RttyWindow& window = *program.window();
        const QString saved = QString::fromStdString((box.dir / "SAVED.RTF").string());
        window.text()->appendReceived("BEFORE SAVING\n");
        ASSERT_TRUE(window.saveFile(saved));
        window.text()->appendReceived("AFTER SAVING\n");
        ASSERT_TRUE(window.openFile(saved));
        const std::string reopened = window.text()->model().contents();
        EXPECT_NE(reopened.find("BEFORE SAVING"), std::string::npos) << reopened;
        EXPECT_EQ(reopened.find("AFTER SAVING"), std::string::npos);
        if (QPrinterInfo::availablePrinterNames().isEmpty()) {
            window.action(Command::Print)->trigger();  // no printer: message 18
            EXPECT_EQ(box.boxes.texts.value(0), program.bundle()->string(18));
        }

        // Two blocks of raw audio, then the replay ends by itself.
        zeb::test::writeFile(box.dir / kRawAudioFile, std::string(2 * kBlockBytes, '\0'));
        QAction* replay = program.window()->action(Command::Replay);
        replay->trigger();
        ASSERT_TRUE(replay->isChecked());
        const std::uint64_t before = program.blocksDecoded();
        ASSERT_TRUE(pumpUntil([&] { return !replay->isChecked(); }));
        EXPECT_EQ(program.blocksDecoded() - before, 3u);  // two replayed, the third ends it
        program.shutdown();
    }
}

// The tone-level squelch of the RTTY program's own design, set above any
// level the noise reaches: nothing is printed and the slicer never locks.
TEST(ZebRttyProgram, SquelchAboveTheToneLevelsKeepsNoiseOut) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    zeb::test::writeFile(box.dir / "ZEBRTTY.INI", "[PARAM]\r\nDEMOD=1\r\nSQUELCH=1e12\r\n");
    zeb::test::FskSignal noiseOnly;
    noiseOnly.ebN0Db = 0;
    noiseOnly.amplitude = 1000;
    zeb::test::writeFile(box.dir / "noise.wav",
                         zeb::test::wavBytes(zeb::test::fskAudio({{true, 200.0}}, noiseOnly)));
    ZebRtty program(box.options("file:" + (box.dir / "noise.wav").string()));
    ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    ASSERT_EQ(program.params().variant, rtty::DemodVariant::Rtty);
    bool ended = false;
    QObject::connect(&program, &ZebRtty::inputEnded, [&] { ended = true; });
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
    EXPECT_GT(program.blocksDecoded(), 30u);
    EXPECT_EQ(program.window()->text()->model().contents(), "");
    EXPECT_EQ(program.decoder().slicer().lockCount(), 0);
    program.shutdown();
}

// Once running, the program's handling of a block (hand-over from the
// device's thread, demodulation, spectrum, frequency correction, the status
// of the window) allocates nothing.
TEST(ZebRttyProgram, BlocksAreHandledWithoutAllocating) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    ZebRtty program(box.options("null"));
    ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    program.correction().setOn(true);
    ASSERT_TRUE(pumpUntil([&] { return program.blocksDecoded() >= 10; }));
    // From one block to the next: everything the loop did in between.
    long allocations = 0, last = -1;
    int counted = 0;
    QObject::connect(&program, &ZebRtty::blockHandled, [&] {
        const long now = zeb::test::allocationCount();
        if (last >= 0) allocations += now - last;
        last = zeb::test::allocationCount();
        ++counted;
    });
    ASSERT_TRUE(pumpUntil([&] { return counted >= 20; }));
    EXPECT_EQ(allocations, 0);
    program.shutdown();
}

TEST(ZebRttyProgram, EndsWithItsMessageWhenRigmanCannotBeStarted) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    ZebRttyOptions options = box.options("null");
    int attempts = 0;
    options.receiver.start = [&] {
        ++attempts;
        return false;
    };
    ZebRtty program(options);
    EXPECT_EQ(program.startUp(), kStartFailed);
    EXPECT_EQ(attempts, 1);
    ASSERT_EQ(box.boxes.texts.size(), 1);
    EXPECT_TRUE(box.boxes.texts[0].contains("RIGMAN"));
}

// The receiver is moved by each correction poked; the correction goes the
// right way, stops within its dead band and switches itself off.
TEST(ZebRttyCorrection, BringsASignal60HzOffToTheTonesAndSwitchesOff) {
    FrequencyCorrection correction;
    correction.setOn(true);
    BlockSpectrum spectrum;
    double offsetHz = 60.0;
    std::vector<double> poked;
    zeb::test::FskSignal signal;
    signal.ebN0Db = 20;
    const auto codes = zeb::test::ita2Codes(zeb::test::dwdBroadcastText());
    for (int round = 0; round < 30 && correction.on(); ++round) {
        signal.markHz = 1275 + offsetHz;
        signal.spaceHz = 1725 + offsetHz;
        signal.seed = static_cast<std::uint32_t>(round + 1);
        const auto audio = zeb::test::fskAudio(zeb::test::ita2Frames(codes, 1.5, 0, 0), signal);
        for (std::size_t at = 0; at + rtty::kBlockLength <= audio.size() && correction.on();
             at += rtty::kBlockLength) {
            spectrum.compute(std::span(audio).subspan(at, rtty::kBlockLength));
            if (auto khz = correction.measure(spectrum.bins(), 1275 + 225, 450)) {
                poked.push_back(*khz);
                offsetHz -= *khz * 1000.0;  // the receiver moved up by the correction
            }
        }
    }
    ASSERT_FALSE(poked.empty());
    EXPECT_GT(poked.front(), 0.0);
    EXPECT_FALSE(correction.on());
    EXPECT_LT(std::abs(offsetHz), 40.0);
}

}  // namespace
}  // namespace zeb::zebrtty
