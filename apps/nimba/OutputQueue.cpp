#include "OutputQueue.h"

#include <QMetaObject>

namespace zeb::nimba {
namespace {

// Room for several seconds of a stalled user interface before anything is
// allocated on the capture thread.
constexpr std::size_t kReservedItems = 8192;
constexpr std::size_t kReservedText = 256 * 1024;

}  // namespace

OutputQueue::OutputQueue() {
    pending_.items.reserve(kReservedItems);
    pending_.text.reserve(kReservedText);
}

void OutputQueue::setReceiver(QObject* receiver, const char* method) {
    std::lock_guard lock(mutex_);
    receiver_ = receiver;
    method_ = method;
}

void OutputQueue::askToDrain(const QPointer<QObject>& receiver, const char* method) {
    if (receiver && method && !requested_.exchange(true))
        QMetaObject::invokeMethod(receiver.data(), method, Qt::QueuedConnection);
}

void OutputQueue::push(OutputItem item, std::string_view text) {
    QPointer<QObject> receiver;
    const char* method = nullptr;
    {
        std::lock_guard lock(mutex_);
        item.offset = static_cast<std::uint32_t>(pending_.text.size());
        item.length = static_cast<std::uint32_t>(text.size());
        OutputItem* last = pending_.items.empty() ? nullptr : &pending_.items.back();
        if (item.kind == ItemKind::Received && last && last->kind == ItemKind::Received &&
            last->target == item.target && last->offset + last->length == item.offset) {
            // Consecutive characters for one window become one run.
            last->length += item.length;
        } else {
            pending_.items.push_back(item);
        }
        pending_.text.append(text);
        receiver = receiver_;
        method = method_;
    }
    askToDrain(receiver, method);
}

void OutputQueue::pushText(TextTarget target, ItemKind kind, std::string_view text) {
    if (text.empty()) return;
    push(OutputItem{target, kind, 0, false, 0, 0}, text);
}

void OutputQueue::pushMark(TextTarget target, weather::Collected kind) {
    push(OutputItem{target, ItemKind::Mark, static_cast<std::uint8_t>(kind), false, 0, 0}, {});
}

void OutputQueue::pushSave(TextTarget target, weather::Collected kind, bool beforeCurrentLine,
                           std::string_view fileName) {
    push(OutputItem{target, ItemKind::Save, static_cast<std::uint8_t>(kind), beforeCurrentLine, 0,
                    0},
         fileName);
}

void OutputQueue::pushTone(TextTarget target) {
    push(OutputItem{target, ItemKind::Tone, 0, false, 0, 0}, {});
}

void OutputQueue::pushMessage(TextTarget target, const weather::MessageFramer::Message& message) {
    QPointer<QObject> receiver;
    const char* method = nullptr;
    {
        std::lock_guard lock(mutex_);
        pending_.items.push_back(OutputItem{target, ItemKind::Message, 0, false,
                                            static_cast<std::uint32_t>(pending_.messages.size()),
                                            0});
        pending_.messages.push_back(message);
        receiver = receiver_;
        method = method_;
    }
    askToDrain(receiver, method);
}

void OutputQueue::take(OutputBatch& out) {
    out.clear();
    // Clear the request first: an item pushed while we swap asks again.
    requested_.store(false);
    std::lock_guard lock(mutex_);
    std::swap(out, pending_);
    if (pending_.items.capacity() < kReservedItems) pending_.items.reserve(kReservedItems);
    if (pending_.text.capacity() < kReservedText) pending_.text.reserve(kReservedText);
}

bool OutputQueue::empty() const {
    std::lock_guard lock(mutex_);
    return pending_.items.empty();
}

}  // namespace zeb::nimba
