// The receiver-control program with a pseudo-terminal as the receiver: the
// start-up's commands, the command service, the settings at exit, one
// instance, and a radio through Hamlib tuned from the rigctld port.
#include "RigmanTestSupport.h"

#include "NetworkPorts.h"
#include "RigmanWindow.h"
#include "common/Launch.h"
#include "common/bus/Bus.h"
#include "common/bus/ReceiverLink.h"
#include "rig/Receiver.h"
#include "support/ChildProcess.h"

#include <QLabel>

#include <algorithm>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

namespace zeb::rigman::test {
namespace {

using bus::PokeAnswer;
using bus::ReceiverClient;
namespace Code = bus::ReceiverCode;

// What a receiver of `model` is sent by the given operations, in order.
struct Recorder final : rig::CommandSink {
    std::string bytes;
    bool send(std::span<const std::uint8_t> b) override {
        bytes.append(b.begin(), b.end());
        return true;
    }
    void wait(std::chrono::milliseconds) override {}
};

ReceiverClient connectClient() {
    bus::ReceiverConnectOptions options;
    options.startServer = false;
    auto client = ReceiverClient::connect(options);
    if (!client) throw std::runtime_error(client.error().message);
    return std::move(*client);
}

std::optional<bus::ReceiverRecord> readRecord(ReceiverClient& client, std::uint16_t code) {
    if (!client.poke(code)) return std::nullopt;
    auto answer = client.request();
    if (!answer || !*answer) return std::nullopt;
    return bus::decodeRecord(**answer);
}

TEST(RigmanStartUp, BringsTheReceiverToItsStoredStateWithoutSquelch) {
    struct Case {
        int model;
        const char* settings;
    };
    const Case cases[] = {
        {4, "RECEIVER=4\r\nFREQ=7050.5\r\nMODE=1\r\nVOLUME=99\r\nSQUELCH=40\r\n"},
        {5, "RECEIVER=5\r\nFREQ=10100.8\r\nMODE=2\r\nZFWIDTH=1\r\nSQUELCH=40\r\n"},
        {9, "RECEIVER=9\r\nFREQ=4583\r\nMODE=8\r\nATT=1\r\n"},
        {12, "RECEIVER=12\r\nFREQ=146060\r\nMODE=128\r\nZFWIDTH=3\r\nVOLUME=120\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        Sandbox box;
        if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
        box.settings(c.settings);
        Rigman program(box.options());
        ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
        const RigmanSettings s = program.settings();

        const auto& profile = rig::receiverProfile(c.model);
        Recorder expected;
        // The receiver starts from the stored frequency (and IC-PCR filter code).
        rig::RigState state = rig::Receiver::initialState(profile, s.icomRadio, s.icomController);
        state.frequencyKhz = s.frequencyKhz;
        if (c.model == 12) state.pcrFilterCode = s.filter;
        rig::Receiver receiver(profile, expected, state);
        receiver.power(true);
        receiver.power(true);
        receiver.setMode(s.mode);
        receiver.setFrequency(s.frequencyKhz);
        if (program.filterEntry() >= 0)
            receiver.setFilter(rig::filterLabelValue(
                profile.filterLabels[static_cast<std::size_t>(program.filterEntry())]));
        receiver.setAttenuator(s.attenuator);
        receiver.setVolume(s.volume);
        EXPECT_EQ(drain(box.pty), expected.bytes);
        program.shutdown();
    }
}

TEST(RigmanCommands, TuneSelectModesAndKeepRecordsForTheOtherPrograms) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
    box.settings("RECEIVER=5\r\nFREQ=7000\r\nMODE=2\r\n");
    Rigman program(box.options());
    ASSERT_FALSE(program.startUp().has_value());
    drain(box.pty);

    // Before any poke a request answers nothing.
    auto first = onClientThread([] {
        auto client = bus::ConversationClient::connect(bus::kReceiverService, bus::kReceiverTopic);
        if (!client) return true;
        auto answer = client->request(bus::kReceiverFormat);
        return !answer || answer->has_value();
    });
    EXPECT_FALSE(first);

    const auto tuned = onClientThread([] {
        ReceiverClient client = connectClient();
        auto answer = client.pokeText(Code::SetFrequency, "7050.500");
        return answer ? *answer : PokeAnswer::NotProcessed;
    });
    EXPECT_EQ(tuned, PokeAnswer::Acknowledged);
    Recorder expected;
    rig::RigState state = rig::Receiver::initialState(rig::receiverProfile(5));
    rig::Receiver receiver(rig::receiverProfile(5), expected, state);
    receiver.setFrequency(7050.5);
    EXPECT_EQ(drain(box.pty), expected.bytes);

    struct Step {
        std::uint16_t code;
        std::string text;  // payload as text, "" for none
        unsigned modeBefore;
        double khz;
        int modeCode;
    };
    const Step steps[] = {
        {Code::ReadRecordA, "", 0, 7050.5, 5},
        {Code::AddFrequency, "-0.5", 0, 7050.0, 5},
        {Code::Am, "", 0, 7050.0, 6},
        {Code::ReadRecordB, "", rig::ModeFlag::AmNarrow, 7050.0, 6},
        {Code::ReadRecordA, "", rig::ModeFlag::Cw, 7050.0, 6},  // CW leaves the field
        {Code::Lsb, "", 0, 7050.0, 4},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.code);
        if (step.modeBefore) program.selectMode(step.modeBefore);
        const auto record = onClientThread([&step] {
            ReceiverClient client = connectClient();
            if (!step.text.empty())
                (void)client.pokeText(step.code, step.text);
            else if (step.code < Code::StoreRecordA)
                (void)client.poke(step.code);
            const bool b = step.code == Code::ReadRecordB;
            return readRecord(client, b ? Code::ReadRecordB : Code::ReadRecordA);
        });
        ASSERT_TRUE(record.has_value());
        EXPECT_DOUBLE_EQ(record->frequencyKhz, step.khz);
        EXPECT_EQ(record->modeCode, step.modeCode);
    }

    // Client bytes come back unchanged; short records, bad numbers and
    // unknown codes are refused and tune nothing.
    const auto refused = onClientThread([] {
        ReceiverClient client = connectClient();
        std::vector<std::uint8_t> record(bus::kRecordABytes, 0x5A);
        (void)client.poke(Code::StoreRecordA, record);
        auto kept = readRecord(client, Code::ReadRecordA);
        std::vector<PokeAnswer> answers;
        for (auto text : {"abc", "1e400", "", "7000 kHz"})
            answers.push_back(client.pokeText(Code::SetFrequency, text).value());
        answers.push_back(client.poke(Code::StoreRecordB, std::vector<std::uint8_t>(10)).value());
        answers.push_back(client.poke(999).value());
        const bool nothing = !client.request().value().has_value();
        return std::make_tuple(kept, answers, nothing);
    });
    const auto& [kept, answers, nothing] = refused;
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->clientBytes, std::vector<std::uint8_t>(24, 0x5A));
    for (PokeAnswer a : answers) EXPECT_EQ(a, PokeAnswer::NotProcessed);
    EXPECT_TRUE(nothing);
    EXPECT_DOUBLE_EQ(program.frequencyKhz(), 7050.0);

    // The same from a shell script.
    const std::string zebctl = zeb::test::suiteProgram("zebctl").string();
    const std::string service(bus::kReceiverService);
    using Run = std::pair<int, std::string>;
    EXPECT_EQ(runPumping({zebctl, "poke", service, "3", "10100.8"}), Run(0, "acknowledged\n"));
    EXPECT_EQ(runPumping({zebctl, "poke", service, "1"}), Run(0, "acknowledged\n"));
    EXPECT_EQ(runPumping({zebctl, "request", service}), Run(0, "VXQ receiver control\n"));
    EXPECT_EQ(runPumping({zebctl, "poke", service, "77", "--hex", "01 02"}),
              Run(1, "not processed\n"));
    EXPECT_EQ(runPumping({zebctl, "request", service, "--hex"}), Run(1, ""));
    EXPECT_DOUBLE_EQ(program.frequencyKhz(), 10100.8);
    program.shutdown();
}

TEST(RigmanLifecycle, OneInstanceAndTheSettingsWrittenByTheModelsControls) {
    struct Case {
        const char* settings;
        const char* title;
        std::vector<std::string> written, absent;
    };
    const Case cases[] = {
        // No section at all: model 1 at 146.06 kHz, USB, 100 Hz steps, volume 32.
        {"",
         "Lowe HF-150 control",
         {"RECEIVER=1", "FREQ=146.060000", "MODE=2", "STEP=100"},
         {"ZFWIDTH", "SQUELCH", "ATT=", "VOLUME"}},
        {"RECEIVER=4\r\nRECNAME=Shack\r\n",
         "Shack",
         {"RECEIVER=4", "NMEA=0", "RECNAME=Shack"},
         {"ZFWIDTH", "VOLUME"}},
        {"RECEIVER=5\r\nZFWIDTH=2\r\n",
         "AOR AR-5000 control",
         {"ZFWIDTH=2", "SQUELCH=0"},
         {"VOLUME"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Sandbox box;
        if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
        if (*c.settings) box.settings(c.settings);
        Rigman program(box.options());
        ASSERT_FALSE(program.startUp().has_value());
        EXPECT_EQ(program.window()->windowTitle().toStdString(), c.title);
        EXPECT_EQ(program.settings().volume, 32);
        Rigman second(box.options());
        EXPECT_EQ(second.startUp(), 0);
        EXPECT_TRUE(bus::classExists(kClassName));

        // The launcher's end of the suite closes it without a question.
        program.window()->show();
        EXPECT_GE(bus::broadcast("ZEB_EXIT_PROG"), 1);
        ASSERT_TRUE(zeb::test::eventually([&] {
            QCoreApplication::processEvents();
            return !program.window()->isVisible();
        }));
        EXPECT_TRUE(box.boxes.texts.isEmpty());
        program.shutdown();
        const std::string ini = zeb::test::readFile(box.dir / "RIGMAN.INI");
        for (const auto& key : c.written) EXPECT_NE(ini.find(key), std::string::npos) << key;
        for (const auto& key : c.absent) EXPECT_EQ(ini.find(key), std::string::npos) << key;
    }
}

std::uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

TEST(RigmanHamlib, DummyRadioTunedByTheSuiteAndByRigctl) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
    const std::uint16_t port = freePort();
    box.settings("RECEIVER=40\r\nHAMLIB_MODEL=1\r\nHAMLIB_PORT=\r\nFREQ=7000\r\nRIGCTLPORT=" +
                 std::to_string(port) + "\r\n");
    Rigman program(box.options());
    ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    ASSERT_NE(program.network()->rigctl(), nullptr);

    const auto record = onClientThread([] {
        ReceiverClient client = connectClient();
        (void)client.pokeText(Code::SetFrequency, "14100.000");
        (void)client.poke(Code::Usb);
        return readRecord(client, Code::ReadRecordA);
    });
    ASSERT_TRUE(record.has_value());
    EXPECT_DOUBLE_EQ(record->frequencyKhz, 14100.0);
    EXPECT_EQ(record->modeCode, 5);
    // The radio's own report confirms it.
    EXPECT_TRUE(zeb::test::eventually([&] {
        QCoreApplication::processEvents();
        return program.settings().frequencyKhz == 14100.0;
    }));

    const auto rigctl = zeb::launch::resolveProgram("rigctl", {"/usr/bin", "/usr/local/bin"});
    if (!rigctl) GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
    zeb::test::ChildProcess child({rigctl->string(), "-m", "2", "-r",
                                   "127.0.0.1:" + std::to_string(port), "F", "7100000", "M", "AM",
                                   "0", "f"});
    std::optional<int> status;
    ASSERT_TRUE(zeb::test::eventually([&] {
        QCoreApplication::processEvents();
        status = child.waitExit(std::chrono::milliseconds(0));
        return status.has_value();
    }));
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(program.frequencyKhz(), 7100.0);
    EXPECT_EQ(program.mode(), rig::ModeFlag::Am);
    EXPECT_NE(program.window()->findChild<QLabel*>("c1030")->text().indexOf("7100.000"), -1);
    program.shutdown();
}

}  // namespace
}  // namespace zeb::rigman::test

namespace zeb::rigman::test {
namespace {

// The other programs' way in: no receiver control runs, so the client starts
// one and retries; a second start leaves one instance; the end of the suite
// ends it and its settings are written.
TEST(RigmanProcess, StartedByTheFirstClientAndEndedByTheSuite) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
    const auto program = zeb::test::suiteProgram("rigman");
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "rigman is not built";
    box.settings("RECEIVER=9\r\nFREQ=5000\r\n");
    zeb::test::ScopedEnv offscreen("QT_QPA_PLATFORM", "offscreen");
    const std::vector<std::string> argv{program.string(), "--dir", box.dir.path().string()};
    std::optional<zeb::test::ChildProcess> first;

    bus::ReceiverConnectOptions options;
    options.firstRetry = std::chrono::milliseconds(500);
    options.start = [&] {
        first.emplace(argv);
        return true;
    };
    auto client = ReceiverClient::connect(options);
    ASSERT_TRUE(client) << client.error().message;
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(client->setFrequency(7050.5).value(), PokeAnswer::Acknowledged);

    zeb::test::ChildProcess second(argv);
    EXPECT_EQ(second.waitExit(), 0);
    EXPECT_EQ(std::ranges::count(bus::listClasses(), std::string(kClassName)), 1);

    EXPECT_GE(bus::broadcast("ZEB_EXIT_PROG"), 1);
    EXPECT_EQ(first->waitExit(), 0);
    const std::string ini = zeb::test::readFile(box.dir / "RIGMAN.INI");
    EXPECT_NE(ini.find("FREQ=7050.500000"), std::string::npos) << ini;
}

}  // namespace
}  // namespace zeb::rigman::test
