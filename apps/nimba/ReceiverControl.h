// The built-in receiver control of the main program as the start-up and
// shutdown see it. The panel and the serial link of the receiver come with
// their own window; until a receiver is configured the control runs without
// one: its start succeeds and its stop does nothing.
#pragma once

#include <memory>

namespace zeb::nimba {

class ReceiverControl {
public:
    virtual ~ReceiverControl() = default;
    // False when the control cannot run (the program then ends).
    virtual bool start() = 0;
    // Powers the receiver off and writes the control's settings.
    virtual void stop() = 0;
    // The receiver reports its squelch closed (the CW decoder then rests).
    virtual bool squelchClosed() const { return false; }
};

// The control without a receiver.
std::unique_ptr<ReceiverControl> makeReceiverControl();

}  // namespace zeb::nimba
