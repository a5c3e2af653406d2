// A sandbox for the receiver-control program: a working directory with the
// staged bundle, a bus of its own, a pseudo-terminal as the receiver on COM1,
// message boxes answered and recorded.
#pragma once

#include "Rigman.h"
#include "support/BoxRecorder.h"
#include "support/ChildProcess.h"
#include "support/Pty.h"
#include "support/TestEnv.h"
#include "ui/MessageBoxes.h"

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

namespace zeb::rigman::test {

using zeb::test::BoxRecorder;
using zeb::test::Pty;

// Everything the program wrote to the receiver, until the line has been quiet
// for `quiet`; the event loop turns meanwhile.
inline std::string drain(const Pty& pty,
                         std::chrono::milliseconds quiet = std::chrono::milliseconds(300)) {
    std::string bytes;
    for (;;) {
        QCoreApplication::processEvents();
        const std::string some = pty.readSome(static_cast<int>(quiet.count()));
        if (some.empty()) return bytes;
        bytes += some;
    }
}

struct Sandbox {
    zeb::test::TempDir dir;
    zeb::test::ScopedEnv bus{"ZEB_BUS_DIR", (dir.path() / "bus").string()};
    BoxRecorder boxes;
    Pty pty;
    bool ready = prepare();

    bool prepare() {
        const std::filesystem::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
        if (suite.empty() || !std::filesystem::exists(suite / "RIGMANEN.DLL") || pty.name().empty())
            return false;
        std::filesystem::copy(suite / "RIGMANEN.DLL", dir.path() / "RIGMANEN.DLL");
        zeb::test::writeFile(dir.path() / "ZEBSYS.INI", "[PORTS]\r\nCOM1=" + pty.name() + "\r\n");
        return true;
    }
    void settings(const std::string& param) {
        zeb::test::writeFile(dir.path() / "RIGMAN.INI", "[PARAM]\r\n" + param);
    }
    RigmanOptions options() const { return {dir.path(), false}; }
};

// Runs `work` on a thread of its own (a client of the program) while the
// program's event loop turns on this one.
template <class F>
auto onClientThread(F work) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return result.get();
}

// Runs a program to its end while the event loop turns; its exit status and
// standard output.
inline std::pair<int, std::string> runPumping(const std::vector<std::string>& argv) {
    zeb::test::ChildProcess child(argv);
    std::optional<int> status;
    while (!(status = child.waitExit(std::chrono::milliseconds(0))))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return {*status, child.readOutput()};
}

}  // namespace zeb::rigman::test
