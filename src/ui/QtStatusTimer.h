// The receivers' periodic status poll on the program's event loop: the tick
// runs on the user-interface thread, like every other receiver operation.
#pragma once

#include <QTimer>

#include <chrono>
#include <functional>

#include "rig/Receiver.h"

namespace zeb::ui {

class QtStatusTimer final : public rig::StatusTimer {
public:
    void start(std::chrono::milliseconds period, std::function<void()> tick) override {
        timer_.disconnect();
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        timer_.start(period);
    }
    void stop() override { timer_.stop(); }
    bool running() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace zeb::ui
