#include "NmeaBridge.h"

#include "rig/NmeaOutgoing.h"
#include "ui/FdNotifier.h"

#include <QMetaObject>

#include <algorithm>
#include <mutex>

namespace zeb::rigman {

Result<std::unique_ptr<NmeaBridge>> NmeaBridge::create(rig::SerialLink* link, QObject* parent) {
    auto mailslot = bus::MailslotServer::create(kNmeaOutMailslot, kOutMessageBytes);
    if (!mailslot) return mailslot.error();
    return std::unique_ptr<NmeaBridge>(new NmeaBridge(std::move(*mailslot), link, parent));
}

NmeaBridge::NmeaBridge(bus::MailslotServer mailslot, rig::SerialLink* link, QObject* parent)
    : QObject(parent), mailslot_(std::move(mailslot)), link_(link) {
    notifier_ = std::make_unique<ui::FdNotifier>(mailslot_.fd(), [this] { readOutgoing(); });
}

NmeaBridge::~NmeaBridge() = default;

void NmeaBridge::fromLine(const std::string& sentence) {
    // The mailslot takes the sentence with its terminating NUL. Nobody having
    // created the mailslot is normal: nothing is written, nothing broadcast.
    std::vector<std::uint8_t> message(sentence.begin(), sentence.end());
    message.push_back(0);
    if (bus::writeMailslot(kNmeaInMailslot, message)) {
        bus::broadcast(kNmeaInMessage, static_cast<std::int64_t>(message.size()), 0);
        ++forwardedIn_;
    }
    if (navigation_.load() && message.size() <= kNavigationBlock) {
        bus::Message block{bus::MessageKind::Registered,
                           std::string(kNavigationMessage),
                           0,
                           0,
                           0,
                           std::move(message)};
        (void)bus::post(kNavigationClass, block);
    }
    QMetaObject::invokeMethod(
        this, [this, sentence] { showIncoming(sentence); }, Qt::QueuedConnection);
}

void NmeaBridge::showIncoming(const std::string& sentence) {
    display_.update(sentence);
    std::string shown = sentence;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    lastSentence_ = QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()));
    if (sink_) sink_(shown);
    emit sentenceReceived();
}

void NmeaBridge::readOutgoing() {
    while (auto message = mailslot_.read()) sendOut(*message);
}

void NmeaBridge::fromNavigation(std::span<const std::uint8_t> block) {
    sendOut(block.first(std::min(block.size(), kNavigationBlock)));
}

void NmeaBridge::sendOut(std::span<const std::uint8_t> message) {
    const auto sentence = rig::acceptOutgoing(message);
    if (!sentence || !writeToLine(*sentence)) {
        ++droppedOut_;
        return;
    }
    ++writtenOut_;
    lastOutgoing_ =
        QString::fromLatin1(sentence->data(), static_cast<qsizetype>(sentence->size()) - 2);
    emit sentenceSent();
}

void NmeaBridge::setNavigationLink(bool on, std::string_view ownClass) {
    auto send = [](std::int64_t wParam, std::int64_t lParam, std::string_view payload) {
        bus::Message m{bus::MessageKind::Registered,
                       std::string(kNavigationMessage),
                       0,
                       wParam,
                       lParam,
                       std::vector<std::uint8_t>(payload.begin(), payload.end())};
        return static_cast<bool>(bus::post(kNavigationClass, m));
    };
    if (on && !navigation_.load()) {
        // No navigation program running is normal: there is no link then.
        navigation_ = bus::classExists(kNavigationClass) && send(5, 0, ownClass) && send(6, 0, {});
    } else if (!on && navigation_.exchange(false)) {
        send(5, 0, {});
        send(6, -1, {});
    }
}

// At the GPS's line settings; afterwards the line goes back to the receiver's
// settings, or stays at the GPS's while the reader listens for sentences.
bool NmeaBridge::writeToLine(const std::string& sentence) {
    if (!link_ || !link_->is_open() || !link_->usable()) return false;
    std::lock_guard lock(link_->lock());
    if (!link_->apply_line_settings(rig::kNmeaLineSettings)) return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(sentence.data());
    const bool written = link_->write_bytes({bytes, sentence.size()});
    if (!link_->reader_running()) link_->apply_line_settings(link_->receiverSettings());
    return written;
}

}  // namespace zeb::rigman
