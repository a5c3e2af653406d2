#include "dsp/Status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "dsp/Primitives.h"
#include "report_capture.h"

namespace zeb::dsp {
namespace {

using test::ReportCapture;

TEST(StatusText, EveryCodeFromMinus14To0HasItsOwnTextOthersTheFallback) {
    std::set<std::string> texts;
    for (int s = -14; s <= 0; ++s) {
        const std::string t = statusText(s);
        EXPECT_NE(t, "Unknown error or status code") << s;
        texts.insert(t);
    }
    EXPECT_EQ(texts.size(), 15u);
    for (int s : {1, -15, -1000, 42}) EXPECT_STREQ(statusText(s), "Unknown error or status code");
}

TEST(DspErrorMessage, IsTheUtf8TextOfTheProgramsFormat) {
    EXPECT_EQ(dspErrorMessage(-5, "nspsbCopy"), std::string("Flie\xC3\x9Fkomma-Fehler \"") +
                                                    statusText(-5) +
                                                    "\" in Funktion \"nspsbCopy\"");
    EXPECT_EQ(dspErrorMessage(7, "x"),
              "Flie\xC3\x9Fkomma-Fehler \"Unknown error or status code\" in Funktion \"x\"");
}

TEST(Reporter, StatusZeroOnlyStoresTheStatus) {
    ReportCapture capture;
    reportError(kStatusBadArgument, "f", "m");
    EXPECT_EQ(lastStatus(), kStatusBadArgument);
    reportError(kStatusOk, "f", "m");
    EXPECT_EQ(lastStatus(), kStatusOk);
    EXPECT_EQ(ReportCapture::reports().size(), 1u);
}

TEST(Reporter, WithoutAHandlerReportsOnlySetTheStatus) {
    const ErrorHandler previous = setErrorHandler(nullptr);
    nspsbZero(nullptr, 4);
    EXPECT_EQ(lastStatus(), kStatusBadArgument);
    clearStatus();
    EXPECT_EQ(setErrorHandler(previous), nullptr);
}

TEST(Reporter, StatusIsKeptPerThreadAndTheHandlerRunsOnTheReportingThread) {
    static std::thread::id handlerThread;
    const ErrorHandler previous =
        setErrorHandler([](const ErrorReport&) { handlerThread = std::this_thread::get_id(); });
    clearStatus();
    std::thread::id worker;
    int workerStatus = 0;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        nspsbCopy(nullptr, nullptr, 0);
        workerStatus = lastStatus();
    });
    t.join();
    setErrorHandler(previous);
    EXPECT_EQ(workerStatus, kStatusBadArgument);
    EXPECT_EQ(lastStatus(), kStatusOk);
    EXPECT_EQ(handlerThread, worker);
}

}  // namespace
}  // namespace zeb::dsp
