// Records the error reports of the signal-processing primitives for the
// duration of a test and restores the previous handler afterwards.
#pragma once

#include <string>
#include <vector>

#include "dsp/Status.h"

namespace zeb::dsp::test {

struct Captured {
    int status;
    std::string function;
    std::string message;
    std::string file;
    int line;
};

class ReportCapture {
public:
    ReportCapture() : previous_(setErrorHandler(&record)) {
        reports().clear();
        clearStatus();
    }
    ~ReportCapture() { setErrorHandler(previous_); }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    static std::vector<Captured>& reports() {
        static std::vector<Captured> list;
        return list;
    }

private:
    static void record(const ErrorReport& r) {
        reports().push_back({r.status, r.function, r.message, r.file, r.line});
    }
    ErrorHandler previous_;
};

}  // namespace zeb::dsp::test
