// The bus directory and window classes inside one process: where the bus
// lives, who may use it, class names, ownership, inboxes and stale sockets.
#include "common/bus/Bus.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zeb::bus {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

class BusClass : public ::testing::Test {
protected:
    TempDir dir_;
    ScopedEnv bus_{"ZEB_BUS_DIR", dir_.path().string()};
};

// Binds a datagram socket at `path` and closes it again: what a program that
// was killed leaves behind.
void leaveDeadSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(fd);
}

// Sends raw bytes to a class socket, bypassing the encoder.
void sendRaw(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    ASSERT_EQ(
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
        static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

TEST(BusDirectory, ComesFromTheEnvironmentInOrder) {
    {
        ScopedEnv bus("ZEB_BUS_DIR", "/some/bus");
        ScopedEnv run("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(directory(), fs::path("/some/bus"));
    }
    {
        ScopedEnv bus("ZEB_BUS_DIR", std::nullopt);
        ScopedEnv run("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(directory(), fs::path("/run/user/7/zeb"));
    }
    ScopedEnv bus("ZEB_BUS_DIR", "");
    ScopedEnv run("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(directory(), fs::path("/tmp/zeb-" + std::to_string(::getuid())));
}

TEST(BusDirectory, IsCreatedPrivateWithItsSubdirectories) {
    TempDir dir;
    ScopedEnv bus("ZEB_BUS_DIR", (dir / "bus").string());
    auto made = ensureDirectory();
    ASSERT_TRUE(made.ok()) << made.error().message;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "bus").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    for (const char* sub : {"class", "lock", "mailslot", "dde"})
        EXPECT_TRUE(fs::is_directory(dir / "bus" / sub)) << sub;
    EXPECT_TRUE(ensureDirectory().ok());  // and again, when it exists
}

TEST(BusDirectory, OneThatOthersCouldUseIsRefusedAndNothingIsClaimedThere) {
    TempDir dir;
    const fs::path open = dir / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    const fs::path link = dir / "link";
    fs::create_directory_symlink(dir.path(), link);

    for (const fs::path& bad : {open, link}) {
        ScopedEnv bus("ZEB_BUS_DIR", bad.string());
        auto r = ensureDirectory();
        ASSERT_FALSE(r.ok()) << bad;
        EXPECT_NE(r.error().message.find(bad.string()), std::string::npos) << r.error().message;
        auto claimed = ClassEndpoint::claim("Nimbarra");
        EXPECT_FALSE(claimed.ok());
        EXPECT_FALSE(classExists("Nimbarra"));
        EXPECT_EQ(broadcast("ZEB_EXIT_PROG"), 0);
    }
    EXPECT_FALSE(fs::exists(open / "class"));
}

TEST(BusDirectory, OneOwnedByAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
    TempDir dir;
    const fs::path theirs = dir / "theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0700), 0);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ScopedEnv bus("ZEB_BUS_DIR", theirs.string());
    auto r = ensureDirectory();
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("another user"), std::string::npos);
}

TEST_F(BusClass, NamesAreCheckedBeforeAnythingIsCreated) {
    const std::string good[] = {"Nimbarra", "ZEB-FAX Viewer", "Receiver Control", "ZEB-MENU",
                                std::string(kMaxNameBytes, 'C')};
    std::vector<ClassEndpoint> owned;
    for (const auto& name : good) {
        auto e = ClassEndpoint::claim(name);
        ASSERT_TRUE(e.ok()) << name << ": " << e.error().message;
        EXPECT_TRUE(classExists(name));
        owned.push_back(std::move(e).value());
    }
    const std::string bad[] = {"",          ".",           "..",
                               "a/b",       "line\nbreak", std::string(1, '\0'),
                               "tab\there", "del\x7f",     std::string(kMaxNameBytes + 1, 'C')};
    for (const auto& name : bad) {
        auto e = ClassEndpoint::claim(name);
        ASSERT_FALSE(e.ok()) << name;
        EXPECT_EQ(e.error().code, BusError::BadName);
        EXPECT_FALSE(classExists(name));
        EXPECT_EQ(post(name, Message{}).error().code, BusError::BadName);
    }
    EXPECT_EQ(listClasses().size(), std::size(good));
}

TEST(BusSocketPath, TooLongForASocketIsABadNameWithAClearMessage) {
    TempDir dir;
    const fs::path deep = dir / std::string(60, 'd');
    ScopedEnv bus("ZEB_BUS_DIR", deep.string());
    auto e = ClassEndpoint::claim(std::string(kMaxNameBytes, 'C'));
    ASSERT_FALSE(e.ok());
    EXPECT_EQ(e.error().code, BusError::BadName);
    EXPECT_NE(e.error().message.find("too long"), std::string::npos) << e.error().message;
    EXPECT_TRUE(ClassEndpoint::claim("Nimbarra").ok());  // short names still fit
}

TEST_F(BusClass, ASecondClaimIsRefusedUntilTheOwnerLetsGo) {
    auto first = ClassEndpoint::claim("ZEB-MENU");
    ASSERT_TRUE(first.ok()) << first.error().message;
    auto second = ClassEndpoint::claim("ZEB-MENU");
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, BusError::AlreadyRunning);
    EXPECT_TRUE(classExists("ZEB-MENU"));

    ClassEndpoint moved = std::move(first).value();  // ownership moves, the class stays
    EXPECT_TRUE(classExists("ZEB-MENU"));
    { ClassEndpoint gone = std::move(moved); }
    EXPECT_FALSE(classExists("ZEB-MENU"));
    EXPECT_FALSE(fs::exists(dir_ / "class" / "ZEB-MENU"));
    EXPECT_TRUE(ClassEndpoint::claim("ZEB-MENU").ok());
}

TEST_F(BusClass, PostedMessagesArriveInOrderAndUnchanged) {
    auto e = ClassEndpoint::claim("ZEB-RTTY");
    ASSERT_TRUE(e.ok());
    EXPECT_FALSE(e->receive().has_value());
    Message user{MessageKind::User, "", 2, -7, 9, {0, 1, 254, 255}};
    ASSERT_TRUE(post("ZEB-RTTY", Message{MessageKind::Activate, "", 0, 0, 0, {}}).ok());
    ASSERT_TRUE(post("ZEB-RTTY", user).ok());
    auto a = e->receive();
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->kind, MessageKind::Activate);
    EXPECT_EQ(e->receive(), user);
    EXPECT_FALSE(e->receive().has_value());
}

TEST_F(BusClass, PostingToNobodyIsNotFound) {
    auto r = post("ZEB-FAX", Message{});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, BusError::NotFound);
    EXPECT_EQ(closeByClass("ZEB-FAX").value(), CloseResult::NotRunning);
}

TEST_F(BusClass, DamagedAndOversizedDatagramsAreDroppedAndCounted) {
    auto e = ClassEndpoint::claim("ZEB-CW");
    ASSERT_TRUE(e.ok());
    const fs::path socket = dir_ / "class" / "ZEB-CW";
    sendRaw(socket, std::vector<std::uint8_t>(kMaxMessageBytes + 1, 'Z'));
    sendRaw(socket, std::vector<std::uint8_t>(64 * 1024, 0));
    sendRaw(socket, {'Z', 'B', 1, 1, 0});
    sendRaw(socket, {});
    auto valid = encode(Message{MessageKind::Close, "", 0, 0, 0, {}});
    ASSERT_TRUE(valid.ok());
    sendRaw(socket, *valid);
    auto m = e->receive();
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, MessageKind::Close);
    EXPECT_EQ(e->rejectedCount(), 4u);
}

TEST_F(BusClass, ASocketWithoutALiveOwnerIsStaleAndRemoved) {
    ASSERT_TRUE(ensureDirectory().ok());
    leaveDeadSocket(dir_ / "class" / "ZEB-Warn-View");
    leaveDeadSocket(dir_ / "class" / "ZEB-WorldMap");
    auto live = ClassEndpoint::claim("ZEBTIME");
    ASSERT_TRUE(live.ok());

    EXPECT_FALSE(classExists("ZEB-Warn-View"));
    EXPECT_FALSE(fs::exists(dir_ / "class" / "ZEB-Warn-View"));
    EXPECT_EQ(listClasses(), std::vector<std::string>{"ZEBTIME"});
    EXPECT_FALSE(fs::exists(dir_ / "class" / "ZEB-WorldMap"));

    leaveDeadSocket(dir_ / "class" / "ZEB-Audioplayer");
    EXPECT_EQ(post("ZEB-Audioplayer", Message{}).error().code, BusError::NotFound);
    EXPECT_EQ(broadcast("ZEB_EXIT_PROG"), 1);
    leaveDeadSocket(dir_ / "class" / "ZEB-Audiorecorder");
    EXPECT_TRUE(ClassEndpoint::claim("ZEB-Audiorecorder").ok());  // taken over at once
}

TEST_F(BusClass, ListIsSortedAndBroadcastReachesEveryClassOnce) {
    std::vector<ClassEndpoint> owned;
    for (const char* name : {"ZEB-MENU", "Nimbarra", "Receiver Control"}) {
        auto e = ClassEndpoint::claim(name);
        ASSERT_TRUE(e.ok());
        owned.push_back(std::move(e).value());
    }
    EXPECT_EQ(listClasses(),
              (std::vector<std::string>{"Nimbarra", "Receiver Control", "ZEB-MENU"}));
    EXPECT_EQ(broadcast("RIGMAN_NMEA_IN", 43, 0), 3);
    for (auto& e : owned) {
        auto m = e.receive();
        ASSERT_TRUE(m.has_value()) << e.className();
        EXPECT_EQ(*m, (Message{MessageKind::Registered, "RIGMAN_NMEA_IN", 0, 43, 0, {}}));
        EXPECT_FALSE(e.receive().has_value());
    }
    EXPECT_EQ(broadcast(std::string(kMaxNameBytes + 1, 'X')), 0);
}

TEST_F(BusClass, AFullInboxMakesPostFailInsteadOfBlocking) {
    auto e = ClassEndpoint::claim("ZEB-FAX Viewer");
    ASSERT_TRUE(e.ok());
    Message m{MessageKind::User, "", 1, 0, 0, std::vector<std::uint8_t>(kMaxPayloadBytes, 1)};
    Result<void> r = success();
    int sent = 0;
    while (sent < 100000 && (r = post("ZEB-FAX Viewer", m)).ok()) ++sent;
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().systemError(), EAGAIN);
    EXPECT_GT(sent, 0);
    ASSERT_TRUE(e->receive().has_value());  // the owner is unharmed and drains it
}

}  // namespace
}  // namespace zeb::bus
