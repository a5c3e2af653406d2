// The Hamlib driver against Hamlib's dummy rig, in process and behind a
// rigctld: settings read back through the reports, refused values, and
// opens that fail.
#include "rig/HamlibDriver.h"
#include "rig/ReceiverProfile.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace zeb::rig {
namespace {

using namespace std::chrono_literals;

// Takes reports until one satisfies `wanted`; false when none does within a
// generous limit.
bool awaitReport(HamlibDriver& driver, const std::function<bool(const RigReport&)>& wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{driver.reportFd(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        if (const auto report = driver.takeReport(); report && wanted(*report)) return true;
    }
    return false;
}

// Tunes and switches modes, each pair read back from the radio; then the
// values the radio's limits refuse.
void exercise(HamlibDriver& driver) {
    const struct {
        double khz;
        unsigned mode;
    } settings[] = {{7050.5, ModeFlag::Usb},      {3580.0, ModeFlag::CwNarrow},
                    {3581.0, ModeFlag::Cw},       {6000.0, ModeFlag::Am},
                    {9410.0, ModeFlag::AmNarrow}, {14100.25, ModeFlag::Lsb}};
    for (const auto& s : settings) {
        ASSERT_TRUE(driver.setFrequency(s.khz));
        ASSERT_TRUE(driver.setMode(s.mode));
        EXPECT_TRUE(awaitReport(driver, [&](const RigReport& r) {
            return r.frequencyKhz == s.khz && r.mode == s.mode;
        })) << s.khz;
        EXPECT_EQ(driver.frequencyKhz(), s.khz);
        EXPECT_EQ(driver.mode(), s.mode);
    }
    for (const double khz : {0.0, -7050.0, 2.0e6}) {  // the dummy rig covers 150 kHz to 1.5 GHz
        EXPECT_FALSE(driver.setFrequency(khz)) << khz;
        EXPECT_EQ(driver.frequencyKhz(), 14100.25);
    }
    for (const unsigned mode : {ModeFlag::Mode32, ModeFlag::Usb | ModeFlag::Lsb}) {
        EXPECT_FALSE(driver.setMode(mode)) << mode;
        EXPECT_EQ(driver.mode(), ModeFlag::Lsb);
    }
}

// A loopback port nothing listens on once this returns.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Reads the radio back quicker than a window needs, to keep the tests short.
HamlibSettings settingsFor(int model, std::string port = {}) {
    HamlibSettings settings;
    settings.model = model;
    settings.port = std::move(port);
    settings.pollInterval = 50ms;
    return settings;
}

std::string onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (std::string file = dir + "/" + program; ::access(file.c_str(), X_OK) == 0) return file;
    return {};
}

TEST(HamlibDriverTest, DummyRigFollowsAndReportsBack) {
    auto driver = HamlibDriver::open(settingsFor(1));
    ASSERT_TRUE(driver) << driver.error().message;
    EXPECT_TRUE((*driver)->setVolume(128));
    exercise(**driver);
    // The dummy rig reports a signal strength.
    EXPECT_TRUE(awaitReport(**driver, [](const RigReport& r) { return r.strength.has_value(); }));
}

TEST(HamlibDriverTest, RigctldFollowsAndReportsBack) {
    const std::string rigctld = onPath("rigctld");
    if (rigctld.empty()) GTEST_SKIP() << "rigctld is not installed";
    const std::string port = std::to_string(freePort());
    test::ChildProcess server({rigctld, "-m", "1", "-T", "127.0.0.1", "-t", port});
    const HamlibSettings settings = settingsFor(2, "127.0.0.1:" + port);
    std::unique_ptr<HamlibDriver> driver;
    ASSERT_TRUE(test::eventually(
        [&] {
            auto opened = HamlibDriver::open(settings);
            if (opened) driver = std::move(*opened);
            return driver != nullptr;
        },
        10s));
    exercise(*driver);
}

TEST(HamlibDriverTest, FailedOpenNamesModelPortAndReason) {
    const std::string port = "127.0.0.1:" + std::to_string(freePort());
    const struct {
        HamlibSettings settings;
        std::string prefix;
    } cases[] = {{settingsFor(2, port), "Hamlib model 2 on " + port + ": "},
                 {settingsFor(999999), "Hamlib model 999999: "}};
    for (const auto& c : cases) {
        const auto driver = HamlibDriver::open(c.settings);
        ASSERT_FALSE(driver) << c.prefix;
        const std::string& message = driver.error().message;
        EXPECT_EQ(message.rfind(c.prefix, 0), 0u) << message;
        EXPECT_GT(message.size(), c.prefix.size()) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;  // one line, no debug trail
    }
}

}  // namespace
}  // namespace zeb::rig
