// The glue between descriptors, signals, the suite bus and Qt's event loop.
#include "EventLoop.h"
#include "common/bus/Bus.h"
#include "support/TestEnv.h"
#include "ui/BusNotifier.h"
#include "ui/FdNotifier.h"
#include "ui/ShowState.h"
#include "ui/SignalWatcher.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <csignal>

namespace zeb::ui {
namespace {

using zeb::test::pumpUntil;

class BusNotifierTest : public ::testing::Test {
protected:
    zeb::test::TempDir busDir_;
    zeb::test::ScopedEnv env_{"ZEB_BUS_DIR", busDir_.path().string()};
};

bus::Message registered(const std::string& name, std::int64_t w = 0, std::int64_t l = 0) {
    bus::Message m;
    m.kind = bus::MessageKind::Registered;
    m.name = name;
    m.wParam = w;
    m.lParam = l;
    return m;
}

bus::Message ofKind(bus::MessageKind kind) {
    bus::Message m;
    m.kind = kind;
    return m;
}

TEST_F(BusNotifierTest, EveryKindOfMessageBecomesItsSignalInOrder) {
    auto claimed = BusNotifier::claim("ZEB-TEST");
    ASSERT_TRUE(claimed.ok()) << claimed.error().message;
    BusNotifier& notifier = **claimed;
    std::vector<std::string> seen;
    QObject::connect(&notifier, &BusNotifier::closeRequested, [&] { seen.push_back("close"); });
    QObject::connect(&notifier, &BusNotifier::activateRequested,
                     [&] { seen.push_back("activate"); });
    QObject::connect(
        &notifier, &BusNotifier::registeredMessage, [&](const QString& name, qint64 w, qint64 l) {
            seen.push_back(name.toStdString() + " " + std::to_string(w) + " " + std::to_string(l));
        });
    QObject::connect(&notifier, &BusNotifier::exitProgramRequested,
                     [&] { seen.push_back("exit"); });
    QObject::connect(&notifier, &BusNotifier::userMessage,
                     [&](quint32 id, qint64 w, qint64 l, const QByteArray& payload) {
                         seen.push_back("user " + std::to_string(id) + " " + std::to_string(w) +
                                        " " + std::to_string(l) + " " + payload.toStdString());
                     });

    bus::Message user = ofKind(bus::MessageKind::User);
    user.id = 2;
    user.wParam = -5;
    user.lParam = 1LL << 40;
    user.payload = {'a', 'b', 'c'};
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Activate)).ok());
    ASSERT_TRUE(bus::post("ZEB-TEST", registered("RIGMAN_NMEA_IN", 1, 2)).ok());
    ASSERT_TRUE(bus::post("ZEB-TEST", user).ok());
    ASSERT_EQ(bus::broadcast("ZEB_EXIT_PROG"), 1);
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Close)).ok());

    ASSERT_TRUE(pumpUntil([&] { return seen.size() >= 6; })) << seen.size();
    EXPECT_EQ(seen, (std::vector<std::string>{"activate", "RIGMAN_NMEA_IN 1 2",
                                              "user 2 -5 1099511627776 abc", "ZEB_EXIT_PROG 0 0",
                                              "exit", "close"}));
}

TEST_F(BusNotifierTest, AFloodOfActivationsRaisesTheWindowOnce) {
    auto claimed = BusNotifier::claim("ZEB-TEST");
    ASSERT_TRUE(claimed.ok());
    BusNotifier& notifier = **claimed;
    int activations = 0;
    bool closed = false;
    QObject::connect(&notifier, &BusNotifier::activateRequested, [&] { ++activations; });
    QObject::connect(&notifier, &BusNotifier::closeRequested, [&] { closed = true; });
    // As many as the inbox holds before it is read.
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Activate)).ok());
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Close)).ok());
    ASSERT_TRUE(pumpUntil([&] { return closed; }));
    EXPECT_EQ(activations, 1);
}

TEST_F(BusNotifierTest, HoldsTheClassForItsLifetime) {
    {
        auto first = BusNotifier::claim("ZEB-TEST");
        ASSERT_TRUE(first.ok()) << first.error().message;
        EXPECT_TRUE(bus::classExists("ZEB-TEST"));
        const auto second = BusNotifier::claim("ZEB-TEST");
        ASSERT_FALSE(second.ok());
        EXPECT_EQ(second.error().code, bus::BusError::AlreadyRunning);
    }
    EXPECT_FALSE(bus::classExists("ZEB-TEST"));
    EXPECT_TRUE(BusNotifier::claim("ZEB-TEST").ok());
}

TEST_F(BusNotifierTest, SlotMayDeleteTheNotifier) {
    auto claimed = BusNotifier::claim("ZEB-TEST");
    ASSERT_TRUE(claimed.ok());
    BusNotifier* notifier = claimed->release();
    int closes = 0;
    QObject::connect(notifier, &BusNotifier::closeRequested, [&] {
        ++closes;
        delete notifier;
    });
    // Two waiting requests: the second must not be read through a deleted object.
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Close)).ok());
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Close)).ok());
    ASSERT_TRUE(pumpUntil([&] { return closes > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(bus::classExists("ZEB-TEST"));
}

TEST_F(BusNotifierTest, GarbageDatagramsAreDroppedAndCounted) {
    auto claimed = BusNotifier::claim("ZEB-TEST");
    ASSERT_TRUE(claimed.ok());
    int activations = 0;
    QObject::connect(claimed->get(), &BusNotifier::activateRequested, [&] { ++activations; });

    const std::string path = (bus::directory() / "class" / "ZEB-TEST").string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    path.copy(addr.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    const char garbage[] = "\xff\x00 not a bus message";
    ASSERT_GT(
        ::sendto(fd, garbage, sizeof garbage, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr),
        0);
    ::close(fd);
    ASSERT_TRUE(bus::post("ZEB-TEST", ofKind(bus::MessageKind::Activate)).ok());

    ASSERT_TRUE(pumpUntil([&] { return activations == 1; }));
    EXPECT_EQ((*claimed)->endpoint().rejectedCount(), 1u);
}

TEST(FdNotifier, CallsOnEveryReadableDescriptor) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    int calls = 0;
    std::string got;
    FdNotifier notifier(fds[0], [&] {
        ++calls;
        char buf[16];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    });
    ASSERT_EQ(::write(fds[1], "ab", 2), 2);
    ASSERT_TRUE(pumpUntil([&] { return got == "ab"; }));
    ASSERT_EQ(::write(fds[1], "c", 1), 1);
    ASSERT_TRUE(pumpUntil([&] { return got == "abc"; }));
    EXPECT_GE(calls, 2);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(SignalWatcher, DeliversSignalsToTheEventLoopAndRestoresHandlers) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGUSR2, &ignore, &original), 0);
    {
        SignalWatcher watcher({SIGUSR2});
        EXPECT_THROW(SignalWatcher({SIGUSR1}), std::logic_error);
        std::vector<int> received;
        QObject::connect(&watcher, &SignalWatcher::signalReceived,
                         [&](int s) { received.push_back(s); });
        ASSERT_EQ(::kill(::getpid(), SIGUSR2), 0);
        ASSERT_TRUE(pumpUntil([&] { return !received.empty(); }));
        EXPECT_EQ(received, std::vector<int>{SIGUSR2});
    }
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGUSR2, &original, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    // A new watcher may be made once the old one is gone.
    EXPECT_NO_THROW(SignalWatcher({SIGUSR2}));
    ::sigaction(SIGUSR2, &original, nullptr);
}

TEST(SignalWatcher, SignalsHeldBeforeItExistsArriveOnceItDoes) {
    struct sigaction original {};
    ASSERT_EQ(::sigaction(SIGUSR2, nullptr, &original), 0);
    SignalWatcher::holdSignals({SIGUSR2});
    // Blocked: without the hold this would end the test program.
    ASSERT_EQ(::kill(::getpid(), SIGUSR2), 0);
    std::vector<int> received;
    {
        SignalWatcher watcher({SIGUSR2});
        QObject::connect(&watcher, &SignalWatcher::signalReceived,
                         [&](int s) { received.push_back(s); });
        ASSERT_TRUE(pumpUntil([&] { return !received.empty(); }));
    }
    EXPECT_EQ(received, std::vector<int>{SIGUSR2});
    sigset_t blocked;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
    EXPECT_FALSE(sigismember(&blocked, SIGUSR2));
    ::sigaction(SIGUSR2, &original, nullptr);
}

struct ShowCase {
    std::optional<std::string> value;
    bool minimised;
};

void PrintTo(const ShowCase& c, std::ostream* os) { *os << c.value.value_or("(unset)"); }

class ShowState : public ::testing::TestWithParam<ShowCase> {};

TEST_P(ShowState, FromTheEnvironment) {
    zeb::test::ScopedEnv env("ZEB_SHOW", GetParam().value);
    EXPECT_EQ(startMinimised(), GetParam().minimised);
    QWidget window;
    showMainWindow(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.isMinimized(), GetParam().minimised);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShowState,
                         ::testing::Values(ShowCase{std::nullopt, false}, ShowCase{"", false},
                                           ShowCase{"min", true}, ShowCase{"MIN", true},
                                           ShowCase{"normal", false},
                                           ShowCase{"minimised", false}));

}  // namespace
}  // namespace zeb::ui
