// The NMEA bridge: sentences a GPS sends on the receiver's serial line go to
// every program that created the IN mailslot (each followed by the broadcast
// RIGMAN_NMEA_IN), to the panel and to the optional network output; sentences
// other programs put into the OUT mailslot are written to the serial line at
// the GPS's settings — only sentences that pass the check, never raw bytes.
#pragma once

#include "common/bus/Bus.h"
#include "rig/NmeaDisplay.h"
#include "rig/SerialLink.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zeb::ui {
class FdNotifier;
}

namespace zeb::rigman {

inline constexpr std::string_view kNmeaInMailslot = "\\\\.\\mailslot\\MAIL\\NMEA\\IN";
inline constexpr std::string_view kNmeaOutMailslot = "\\\\.\\mailslot\\MAIL\\NMEA\\OUT";
inline constexpr std::string_view kNmeaInMessage = "RIGMAN_NMEA_IN";
inline constexpr std::size_t kOutMessageBytes = 128;
// The navigation program's link: a program owning this class gets every
// sentence in a kNavigationMessage (wParam 0, the sentence and its NUL as
// the payload, at most kNavigationBlock bytes) and sends sentences for the
// serial line the same way. Connecting sends wParam 5 with this program's
// class name as payload, then wParam 6; disconnecting wParam 5 without
// payload, then wParam 6 with lParam -1.
inline constexpr std::string_view kNavigationClass = "KORSA NMEA_VIRTUAL_WINDOW";
inline constexpr std::string_view kNavigationMessage = "KORSA NMEA_VIRTUAL_COM";
inline constexpr std::size_t kNavigationBlock = 81;

class NmeaBridge : public QObject {
    Q_OBJECT
public:
    // Creates the OUT mailslot. `link` may be null (a radio without a serial
    // line of ours): outgoing sentences are then dropped and counted.
    static Result<std::unique_ptr<NmeaBridge>> create(rig::SerialLink* link,
                                                      QObject* parent = nullptr);
    ~NmeaBridge() override;

    // Called by the serial reader thread with each accepted sentence (CR LF
    // included): the mailslot write and the broadcast happen on that thread,
    // the panel and network output on the UI thread.
    void fromLine(const std::string& sentence);

    // Where sentences go on the UI thread besides the panel (the network output).
    void setSentenceSink(std::function<void(std::string_view)> sink) { sink_ = std::move(sink); }

    const rig::NmeaFix& fix() const { return display_.fix(); }
    const QString& lastSentence() const { return lastSentence_; }
    const QString& lastOutgoing() const { return lastOutgoing_; }
    std::size_t forwardedIn() const { return forwardedIn_.load(); }
    std::size_t writtenOut() const { return writtenOut_; }
    // Outgoing messages refused by the check, too large or without a line.
    std::size_t droppedOut() const { return droppedOut_ + mailslot_.rejectedCount(); }

    // Reads every waiting OUT message (the notifier calls it).
    void readOutgoing();
    // A sentence the navigation program sent for the serial line.
    void fromNavigation(std::span<const std::uint8_t> block);
    // Connects the navigation link when its program runs (forwarding starts),
    // or disconnects it (forwarding stops).
    void setNavigationLink(bool on, std::string_view ownClass);
    bool navigationLinked() const { return navigation_.load(); }
    // Lines from the serial line that were no sentences.
    std::size_t droppedIn() const { return link_ ? link_->dropped_lines() : 0; }

signals:
    void sentenceReceived();  // the panel has new values
    void sentenceSent();

private:
    NmeaBridge(bus::MailslotServer mailslot, rig::SerialLink* link, QObject* parent);
    void showIncoming(const std::string& sentence);
    bool writeToLine(const std::string& sentence);
    void sendOut(std::span<const std::uint8_t> message);

    bus::MailslotServer mailslot_;
    rig::SerialLink* link_;
    std::unique_ptr<ui::FdNotifier> notifier_;
    rig::NmeaDisplay display_;
    std::function<void(std::string_view)> sink_;
    QString lastSentence_;
    QString lastOutgoing_;
    std::atomic<std::size_t> forwardedIn_{0};
    std::atomic<bool> navigation_{false};
    std::size_t writtenOut_ = 0;
    std::size_t droppedOut_ = 0;
};

}  // namespace zeb::rigman
