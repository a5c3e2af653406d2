#include "ReceiverControl.h"

namespace zeb::nimba {
namespace {

class NoReceiver : public ReceiverControl {
public:
    bool start() override { return true; }
    void stop() override {}
};

}  // namespace

std::unique_ptr<ReceiverControl> makeReceiverControl() { return std::make_unique<NoReceiver>(); }

}  // namespace zeb::nimba
