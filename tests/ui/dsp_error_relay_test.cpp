// The signal-processing reports reach the program's window thread once, from
// whatever thread the primitive failed on, and not after the program went.
#include "dsp/Primitives.h"
#include "ui/DspErrorRelay.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace zeb::ui {
namespace {

TEST(DspErrorRelay, FirstReportArrivesOnceOnTheTargetsThread) {
    QObject target;
    std::vector<std::string> seen;
    std::thread::id where;
    DspErrorRelay::install(&target, [&](const dsp::ErrorReport& r) {
        seen.push_back(r.function);
        where = std::this_thread::get_id();
    });
    float buffer[4] = {};
    std::thread capture([&] {
        dsp::nspsbCopy(buffer, buffer, 0);  // n <= 0: reported
        dsp::nspsbZero(buffer, -1);
    });
    capture.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, std::vector<std::string>{"nspsbCopy"});
    EXPECT_EQ(where, std::this_thread::get_id());

    DspErrorRelay::install(&target, [&](const dsp::ErrorReport& r) { seen.push_back(r.function); });
    dsp::nspsbZero(buffer, -1);
    DspErrorRelay::remove(&target);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.size(), 1u);  // removed before it was delivered
    dsp::setErrorHandler(nullptr);
}

}  // namespace
}  // namespace zeb::ui
