// The companion programs zebfax, zebcw and zebrec: the main program with one
// decoder and one page under a class and a settings file of its own. Each
// decodes or records a recording into the working directory and closes on
// the launcher's close request; zebfax takes the fax record the launcher left
// with the receiver control; the settings start from a copy of NIMBA.INI.
#include <QTabBar>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <array>
#include <future>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "Companion.h"
#include "EventLoop.h"
#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "common/bus/Bus.h"
#include "common/bus/Conversation.h"
#include "common/bus/ReceiverLink.h"
#include "fax/FaxConfig.h"
#include "support/ChildProcess.h"
#include "support/FaxGenerator.h"
#include "support/MorseGenerator.h"
#include "support/WavFile.h"
#include "ui/PanelControls.h"

namespace zeb::nimba {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::string_view kMorseText = "CQ DE DDK9 = WX GERMAN BIGHT WEST 8 AR";

std::vector<float> faxRecording() {
    // A short chart (pictures of fewer than 100 rows are not kept) tuned in
    // after its start signal: only a scheduled reception takes it.
    zeb::test::FaxSignal signal;
    signal.startSeconds = 0.0;
    signal.phasingLines = 0;
    return zeb::test::faxAudio(zeb::test::testChart(1810, 140), signal);
}

std::vector<float> morseRecording() {
    zeb::test::MorseSignal signal;
    signal.snrDb = 20;
    return zeb::test::generateMorse(kMorseText, signal);
}

StartOptions companionOptions(const fs::path& dir, CompanionKind kind, bool unattended,
                              const std::string& input) {
    StartOptions o;
    o.workDir = dir;
    o.input = input;
    o.output = "null";
    o.fast = true;
    o.companion = companionOf(kind);
    o.companion->unattended = unattended;
    return o;
}

// The bytes of the first file of `dir` named prefix…suffix that holds any;
// nullopt when there is none.
std::optional<std::string> receivedFile(const fs::path& dir, const std::string& prefix,
                                        const std::string& suffix) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return std::nullopt;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.ends_with(suffix) && e.file_size() > 0)
            return zeb::test::readFile(e.path());
    }
    return std::nullopt;
}

// Waits for the end of the recording and for its output in the windows.
void decode(Nimba& program) {
    bool ended = false;
    QObject::connect(&program, &Nimba::inputEnded, [&] { ended = true; });
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return ended; }, 120s));
    zeb::test::pumpUntil([] { return false; }, 400ms);
    program.window()->drainOutput();
}

// The launcher's close request, sent from another thread while this one runs
// the program's events; the program ends as its main() ends it.
bus::CloseResult closeOverTheBus(std::unique_ptr<Nimba>& program, const std::string& className) {
    bool closed = false;
    QObject::connect(program->window(), &MainWindow::closed, [&] { closed = true; });
    auto request = std::async(std::launch::async, [&] { return bus::closeByClass(className); });
    zeb::test::pumpUntil([&] { return closed; }, 3s);
    if (closed) program.reset();
    const auto result = request.get();
    return result ? *result : bus::CloseResult::StillRunning;
}

struct Case {
    const char* name;
    CompanionKind kind;
    bool unattended;
    std::vector<float> (*audio)();
    std::string className;
    int page;
    DecoderMode mode;
    int button;
    // The file the run leaves in the working directory (folder, name), or
    // not, and what it holds.
    const char* folder;
    const char* prefix;
    const char* suffix;
    bool expected;
    const char* holds = "";
};

const Case kCases[] = {
    {"zebfax TIMER", CompanionKind::Fax, true, faxRecording, "ZEB-FAX", kFaxTab, DecoderMode::Fax,
     kFaxButton, "FAX", "FAX_", ".BMP", true},
    {"zebfax", CompanionKind::Fax, false, faxRecording, "ZEB-FAX", kFaxTab, DecoderMode::Fax,
     kFaxButton, "FAX", "FAX_", ".BMP", false},
    {"zebcw SAVE", CompanionKind::Cw, true, morseRecording, "ZEB-CW", kCwTab, DecoderMode::Cw,
     kCwButton, "SYNOP", "WARN_", ".RTF", true, "GERMAN BIGHT WEST 8"},
    {"zebcw", CompanionKind::Cw, false, morseRecording, "ZEB-CW", kCwTab, DecoderMode::Cw,
     kCwButton, "SYNOP", "WARN_", ".RTF", false},
    {"zebrec", CompanionKind::Recorder, false, morseRecording, "ZEB-Audiorecorder", kAudioTab,
     DecoderMode::Recorder, kRecorderButton, "SYNOP", "AUDIO_", ".WAV", true},
};

void expectOnePage(const Nimba& program, const Case& c) {
    const MainWindow* window = program.window();
    EXPECT_EQ(window->windowTitle().toStdString(), c.className);
    EXPECT_EQ(window->currentTab(), c.page);
    EXPECT_TRUE(window->tabs()->tabBar()->isHidden());
    int enabled = 0;
    for (int i = 0; i < kTabCount; ++i) enabled += window->tabs()->isTabEnabled(i);
    EXPECT_EQ(enabled, 1);
    for (int id : {kFaxButton, kRttyButton, kCwButton, kRecorderButton, kOffButton}) {
        if (const QWidget* b = window->modeButton(id)) {
            EXPECT_EQ(b->isHidden(), id != c.button && id != kOffButton) << id;
        }
    }
}

TEST(Companion, DecodesIntoTheWorkingDirectoryShowsOnePageAndClosesOnRequest) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        test::Sandbox box;
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        zeb::test::writeFile(box.dir / "in.wav", zeb::test::wavBytes(c.audio()));
        auto program = std::make_unique<Nimba>(companionOptions(
            box.dir.path(), c.kind, c.unattended, "file:" + (box.dir / "in.wav").string()));
        ASSERT_FALSE(program->startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        EXPECT_TRUE(bus::classExists(c.className));
        EXPECT_FALSE(bus::classExists("Nimbarra"));
        expectOnePage(*program, c);
        EXPECT_EQ(program->modes().mode(), c.mode);
        EXPECT_EQ(program->receptionActive(), c.unattended);
        // The launcher's receiver control tunes: the built-in one is off.
        ASSERT_NE(program->receiver(), nullptr);
        EXPECT_FALSE(program->receiver()->controlling());

        decode(*program);
        EXPECT_EQ(closeOverTheBus(program, c.className), bus::CloseResult::Closed);
        ASSERT_EQ(program, nullptr);
        const auto file = receivedFile(box.dir / c.folder, c.prefix, c.suffix);
        EXPECT_EQ(file.has_value(), c.expected);
        if (file) {
            EXPECT_NE(file->find(c.holds), std::string::npos) << *file;
        }
        EXPECT_TRUE(fs::exists(box.dir / companionOf(c.kind).settingsFile));
        EXPECT_FALSE(fs::exists(box.dir / "NIMBA.INI"));
        EXPECT_TRUE(box.boxes.texts.isEmpty()) << box.boxes.texts.join("\n").toStdString();
    }
}

TEST(Companion, ASecondStartBringsTheFirstToTheFrontAndEndsWithZero) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    StartOptions hidden = companionOptions(box.dir.path(), CompanionKind::Recorder, false, "null");
    hidden.show = false;
    Nimba first(hidden);
    ASSERT_FALSE(first.startUp().has_value());
    ASSERT_FALSE(first.window()->isVisible());
    Nimba second(companionOptions(box.dir.path(), CompanionKind::Recorder, false, "null"));
    EXPECT_EQ(second.startUp(), std::optional<int>(0));
    EXPECT_EQ(second.window(), nullptr);
    EXPECT_TRUE(zeb::test::pumpUntil([&] { return first.window()->isVisible(); }));
    EXPECT_TRUE(bus::classExists("ZEB-Audiorecorder"));
}

// The settings file starts as a copy of NIMBA.INI; NIMBA's schedule is not
// run, nor its switch changed, and NIMBA.INI stays as it was.
TEST(Companion, SettingsStartFromACopyOfNimbaIni) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    fs::create_directories(box.dir / "SCHEDULE");
    const std::string nimbaIni =
        "[PARAM]\r\nDELTIME=48\r\nLINEVOL=33\r\n[TIMER]\r\nNAME=NIGHT.TMR\r\nACTIVE=1\r\n"
        "[IPCRPARAM]\r\nPORT=/dev/nonexistent-port\r\n";
    zeb::test::writeFile(box.dir / "NIMBA.INI", nimbaIni);
    {
        Nimba program(companionOptions(box.dir.path(), CompanionKind::Cw, false, "null"));
        ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join("\n").toStdString();
        EXPECT_EQ(program.settings().deleteHours, 48);
        EXPECT_EQ(program.settings().lineVolume, 33);
        EXPECT_FALSE(program.scheduleRunning());
    }
    EXPECT_EQ(zeb::test::readFile(box.dir / "NIMBA.INI"), nimbaIni);
    const std::string own = zeb::test::readFile(box.dir / "ZEBCW.INI");
    for (const char* line : {"DELTIME=48", "NAME=NIGHT.TMR", "ACTIVE=1", "[CWPARAM]"})
        EXPECT_NE(own.find(line), std::string::npos) << line << "\n" << own;
    // A file of its own is kept, not copied over again.
    zeb::test::writeFile(box.dir / "NIMBA.INI", "[PARAM]\r\nDELTIME=7\r\n");
    {
        Nimba program(companionOptions(box.dir.path(), CompanionKind::Cw, false, "null"));
        ASSERT_FALSE(program.startUp().has_value());
        EXPECT_EQ(program.settings().deleteHours, 48);
    }
    EXPECT_TRUE(box.boxes.texts.isEmpty()) << box.boxes.texts.join("\n").toStdString();
}

// ---- the fax record held by the receiver control ----

// The receiver control's command service as far as a companion uses it: the
// identification and record B, stored by code 101 and read by code 103.
class ReceiverControlStub final : public bus::ConversationHandler {
public:
    bool acceptTopic(std::string_view topic) override { return topic == bus::kReceiverTopic; }
    bus::PokeAnswer poke(std::string_view, std::uint32_t,
                         std::span<const std::uint8_t> data) override {
        std::lock_guard lock(mutex_);
        if (data.size() < bus::kCommandHeaderBytes) return bus::PokeAnswer::NotProcessed;
        last_ = static_cast<std::uint16_t>(data[0] | data[1] << 8);
        if (last_ == bus::ReceiverCode::StoreRecordB)
            record_.assign(data.begin() + bus::kCommandHeaderBytes, data.end());
        return bus::PokeAnswer::Acknowledged;
    }
    std::optional<std::vector<std::uint8_t>> request(std::string_view, std::uint32_t) override {
        std::lock_guard lock(mutex_);
        if (last_ == bus::ReceiverCode::Identify) {
            std::vector<std::uint8_t> id(bus::kReceiverIdentity.begin(),
                                         bus::kReceiverIdentity.end());
            id.push_back(0);
            return id;
        }
        if (last_ == bus::ReceiverCode::ReadRecordB) return record_;
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::uint16_t last_ = 0;
    std::vector<std::uint8_t> record_ = std::vector<std::uint8_t>(bus::kRecordBBytes, 0);
};

// The stub served on a thread of its own, as RIGMAN serves from its event loop.
class ServedStub {
public:
    ServedStub() {
        auto created = bus::ConversationServer::create(bus::kReceiverService, stub_);
        if (!created) return;
        server_.emplace(std::move(*created));
        thread_ = std::thread([this] { run(); });
    }
    ~ServedStub() {
        if (!thread_.joinable()) return;
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        thread_.join();
        ::close(stop_);
    }
    bool ok() const { return server_.has_value(); }

private:
    void run() {
        for (;;) {
            pollfd p[2] = {{server_->fd(), POLLIN, 0}, {stop_, POLLIN, 0}};
            ::poll(p, 2, -1);
            if (p[1].revents) return;
            server_->process();
        }
    }
    ReceiverControlStub stub_;
    std::optional<bus::ConversationServer> server_;
    int stop_ = ::eventfd(0, EFD_CLOEXEC);
    std::thread thread_;
};

// Lines per minute, IOC, start tone and centre of the fax decoder in a run of zebfax.
std::array<int, 4> faxModeOfAStart(const fs::path& dir) {
    Nimba program(companionOptions(dir, CompanionKind::Fax, false, "null"));
    EXPECT_FALSE(program.startUp().has_value());
    const fax::FaxConfig c = program.faxDecoder()->config();
    return {c.lpm, c.ioc, c.startTone, c.center};
}

TEST(Companion, ZebfaxTakesTheFaxRecordAndKeepsItWithoutTheReceiverControl) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    const std::array<int, 4> before = faxModeOfAStart(box.dir.path());
    stations::FaxHandover record;
    record.frequencyKhz = 7880.0;
    record.linesPerMinute = 60;
    record.ioc = 288;
    record.startTone = 675;
    record.centreHz = 1800;
    const std::array<int, 4> handed{60, 288, 675, 1800};
    ASSERT_NE(before, handed);
    {
        ServedStub rigman;
        ASSERT_TRUE(rigman.ok());
        // A control that holds no record yet leaves the settings alone.
        EXPECT_EQ(faxModeOfAStart(box.dir.path()), before);
        bus::ReceiverConnectOptions connect;
        connect.startServer = false;
        auto link = bus::ReceiverClient::connect(connect);
        ASSERT_TRUE(link) << link.error().message;
        const auto poked =
            link->poke(bus::ReceiverCode::StoreRecordB, stations::encodeHandover(record));
        ASSERT_TRUE(poked) << poked.error().message;
        EXPECT_EQ(*poked, bus::PokeAnswer::Acknowledged);
        EXPECT_EQ(faxModeOfAStart(box.dir.path()), handed);
    }
    // Without a receiver control the stored settings go on, silently.
    EXPECT_EQ(faxModeOfAStart(box.dir.path()), handed);
    EXPECT_TRUE(box.boxes.texts.isEmpty()) << box.boxes.texts.join("\n").toStdString();
}

// ---- the programs ----

// --help and --version are checked with every program's; here the plain word.
TEST(CompanionProcess, TakeOnlyTheirOwnPlainArgument) {
    const struct {
        const char* program;
        std::vector<std::string> args;
        int status;
        const char* output;
    } cases[] = {
        {"zebfax", {"TIMER", "--help"}, 0, "ZEBFAX.INI"},
        {"zebcw", {"save", "--help"}, 0, "ZEBCW.INI"},
        {"zebcw", {"TIMER"}, 2, ""},
        {"zebrec", {"SAVE"}, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + (" " + c.args.front()));
        const fs::path program = zeb::test::suiteProgram(c.program);
        if (!fs::exists(program)) GTEST_SKIP() << c.program << " not built";
        std::vector<std::string> argv{program.string()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        zeb::test::ChildProcess child(argv);
        const std::string out = child.readOutput(10s);
        EXPECT_EQ(child.waitExit(10s), c.status) << out;
        EXPECT_NE(out.find(c.output), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace zeb::nimba
