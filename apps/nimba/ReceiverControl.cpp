#include "ReceiverControl.h"

namespace zeb::nimba {
namespace {

class NoReceiver : public ReceiverControl {
public:
    explicit NoReceiver(std::string why) : why_(std::move(why)) {}
    bool start() override { return true; }
    void stop() override {}
    std::string why() const override { return why_; }

private:
    std::string why_;
};

}  // namespace

std::unique_ptr<ReceiverControl> makeNoReceiver(std::string why) {
    return std::make_unique<NoReceiver>(std::move(why));
}

}  // namespace zeb::nimba
