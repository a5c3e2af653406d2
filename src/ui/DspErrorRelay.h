// The reports of the signal-processing primitives, brought to a program's
// window thread. They come from any thread, usually the capture thread: the
// relay keeps the first report and calls the program's function once, on
// the thread of the target object; later reports are dropped until the
// relay is installed again.
#pragma once

#include <functional>

#include "dsp/Status.h"

class QObject;

namespace zeb::ui {

class DspErrorRelay {
public:
    using Handler = std::function<void(const dsp::ErrorReport&)>;
    // Installs the relay for `target` as the primitives' error handler,
    // replacing any earlier target.
    static void install(QObject* target, Handler handler);
    // Removes the relay when `target` is the one installed (the object is
    // about to go).
    static void remove(QObject* target);
};

}  // namespace zeb::ui
