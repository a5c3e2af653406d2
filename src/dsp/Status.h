// The error reporter of the signal-processing primitives: a failed argument
// check or allocation reports a status code, the primitive's name, a message
// and its source position. The status is kept per thread (like errno), so the
// capture thread and the user-interface thread never see each other's codes.
// A non-zero status is then passed to the installed handler.
//
// The handler is called on the thread that called the primitive — usually the
// capture stream's service thread, which holds the block mutex. A handler must
// therefore not stop streams, show windows or wait for anything there: it
// records what happened and posts it to the user-interface thread, which stops
// the streams and shows `dspErrorMessage(...)`. The handler pointer itself is
// atomic and may be installed or replaced from any thread.
#pragma once

#include <string>

namespace zeb::dsp {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusNoMemory = -4;
inline constexpr int kStatusBadArgument = -5;

// Where a report comes from. (std::source_location is not available with
// every compiler the suite is built with; the builtins behind it are.)
struct SourcePosition {
    const char* file = "";
    int line = 0;
    static constexpr SourcePosition current(const char* file = __builtin_FILE(),
                                            int line = __builtin_LINE()) {
        return SourcePosition{file, line};
    }
};

struct ErrorReport {
    int status = 0;
    const char* function = "";  // the primitive's name, e.g. "nspsbCopy"
    const char* message = "";   // the failed check, e.g. "n<=0"
    const char* file = "";      // source file name without directories
    int line = 0;
};

// Receives every report with a non-zero status, on the reporting thread.
using ErrorHandler = void (*)(const ErrorReport& report);

// Installs `handler` (nullptr: reports only set the status) and returns the
// handler installed before.
ErrorHandler setErrorHandler(ErrorHandler handler);
ErrorHandler errorHandler();

// The last status reported on the calling thread, and resetting it to 0.
int lastStatus();
void clearStatus();

// Stores the status on the calling thread; a non-zero status also goes to the
// handler. The primitives report through this; so may code built on them.
void reportError(int status, const char* function, const char* message,
                 SourcePosition where = SourcePosition::current());

// Text of a status code: −14 … 0 have their own texts, any other code gives
// "Unknown error or status code".
const char* statusText(int status);

// The message every program shows for a fatal report, as UTF-8:
// Fließkomma-Fehler "<status text>" in Funktion "<function>".
std::string dspErrorMessage(int status, const char* function);

}  // namespace zeb::dsp
