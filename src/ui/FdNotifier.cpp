#include "ui/FdNotifier.h"

namespace zeb::ui {

FdNotifier::FdNotifier(int fd, std::function<void()> onReadable, QObject* parent)
    : QObject(parent),
      fd_(fd),
      onReadable_(std::move(onReadable)),
      notifier_(fd, QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] {
        if (onReadable_) onReadable_();
    });
}

}  // namespace zeb::ui
