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

signals:
    void sentenceReceived();  // the panel has new values
    void sentenceSent();

private:
    NmeaBridge(bus::MailslotServer mailslot, rig::SerialLink* link, QObject* parent);
    void showIncoming(const std::string& sentence);
    bool writeToLine(const std::string& sentence);

    bus::MailslotServer mailslot_;
    rig::SerialLink* link_;
    std::unique_ptr<ui::FdNotifier> notifier_;
    rig::NmeaDisplay display_;
    std::function<void(std::string_view)> sink_;
    QString lastSentence_;
    QString lastOutgoing_;
    std::atomic<std::size_t> forwardedIn_{0};
    std::size_t writtenOut_ = 0;
    std::size_t droppedOut_ = 0;
};

}  // namespace zeb::rigman
