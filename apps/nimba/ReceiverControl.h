// The built-in receiver control of the main program as the start-up, the
// stations and the shutdown see it. The program's own drives an Icom
// IC-PCR1000 on a serial port (PcrReceiver.h); with the control switched off
// in the settings, or in tests, a control without a receiver stands in: its
// start succeeds, it tunes nothing and its stop does nothing.
#pragma once

#include <memory>
#include <string>

namespace zeb::nimba {

class ReceiverControl {
public:
    virtual ~ReceiverControl() = default;
    // False when the control cannot run (the program then ends); why() says
    // what failed.
    virtual bool start() = 0;
    // Powers the receiver off and writes the control's settings.
    virtual void stop() = 0;
    // The receiver reports its squelch closed (the CW decoder then rests).
    virtual bool squelchClosed() const { return false; }
    // A receiver is under control.
    virtual bool controlling() const { return false; }
    // Tunes to `kHz`; false when there is no receiver or it cannot tune there
    // (it then stays where it was).
    virtual bool tune(double /*kHz*/) { return false; }
    // Selects the receiver's mode by the code its frequency command carries
    // (0 LSB, 1 USB, 2 AM, 3 CW, 5 FM, 6 WFM); false when refused.
    virtual bool selectMode(int /*code*/) { return false; }
    virtual double frequencyKhz() const { return 0.0; }
    virtual int modeCode() const { return -1; }
    // Why the control failed to start or is off; empty otherwise.
    virtual std::string why() const { return {}; }
};

// The control without a receiver; `why` is what the panel shows.
std::unique_ptr<ReceiverControl> makeNoReceiver(std::string why = {});

}  // namespace zeb::nimba
