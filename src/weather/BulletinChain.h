// The one path from decoded teleprinter characters to what a program keeps:
// the bulletin scanner with the report parser (Baudot and synchronous
// Baudot) or the NAVTEX message framer (SITOR-B), the station file of
// accepted reports and the description formats. Every program that decodes
// RTTY builds one, so that the same characters give the same files and the
// same text everywhere; the program supplies only where its text goes (the
// BulletinOutput) and, where it has one, the work queue that writes the
// station file off the capture thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/TimeKey.h"
#include "common/WorkQueue.h"
#include "teleprinter/CharacterHandlers.h"
#include "weather/BulletinOutput.h"
#include "weather/MessageFramer.h"
#include "weather/ReportDescription.h"
#include "weather/TextScanner.h"
#include "weather/WeatherData.h"

namespace zeb::weather {

class BulletinChain : public teleprinter::CharacterSink {
public:
    struct Setup {
        // "<synopDir>/STATION.DAT" receives the reports; the framer keeps its
        // record of NAVTEX messages there and names their files.
        std::filesystem::path synopDir;
        // Reference data; without it no report is read (the text and NAVTEX
        // messages still are). Must outlive the chain.
        const WeatherData* data = nullptr;
        // The language bundle's formats where the program loaded one.
        ReportFormats formats = ReportFormats::english();
        // Where station records are written; null: at once, on the caller's
        // thread. Must outlive the chain.
        WorkQueue* files = nullptr;
    };
    using MessageListener = std::function<void(const MessageFramer::Message&)>;

    BulletinChain(BulletinOutput& output, Setup setup);
    ~BulletinChain() override;

    // SITOR-B characters go to the message framer, the others to the
    // bulletin scanner (a program that changes the RTTY mode also resets).
    void setSitor(bool on);
    bool sitor() const { return sitor_; }

    void character(std::uint8_t ch) override;
    void characterLost() override;
    // Starts the scanner and the framer afresh (a new RTTY mode).
    void reset();
    // The reception ended: a warning or NAVTEX message being received is
    // saved as it is.
    void endOfReception();

    void setClock(std::function<TimeKey()> clock);
    // Whether report sections heard without their bulletin heading are read.
    void setMidBulletin(bool on);
    void setNavtexSelection(const NavtexSelection& selection);
    // Told of every NAVTEX message when it ends (by "NNNN", or cut off by the
    // next "ZCZC"), on the thread that feeds the characters.
    void setMessageListener(MessageListener listener) { messageListener_ = std::move(listener); }

    // Null without reference data.
    const TextScanner* scanner() const { return scanner_.get(); }
    const MessageFramer& framer() const { return framer_; }

    // Waits until the reports handed over so far are in the station file.
    void flush();
    // Station file counts; exact after flush().
    int stored() const { return store_.stored.load(); }
    int storeFailures() const { return store_.failed.load(); }
    std::string lastStoreError() const;

private:
    // Hands every accepted report to the work queue, which appends it.
    struct Store : ReportStore {
        void store(const SynopRecord& record) override;
        std::filesystem::path file;
        WorkQueue* queue = nullptr;
        std::atomic<int> stored{0};
        std::atomic<int> failed{0};
        mutable std::mutex errorMutex;
        std::string lastError;
    };
    // Forwards to the program's output, counting the starts of collected
    // text: a start while the framer is in a message tells it was cut off.
    struct Counting : BulletinOutput {
        explicit Counting(BulletinOutput& target) : out(target) {}
        void appendText(std::string_view text) override { out.appendText(text); }
        void markStart(Collected kind) override {
            ++starts;
            out.markStart(kind);
        }
        void saveCollected(Collected kind, bool beforeCurrentLine) override {
            out.saveCollected(kind, beforeCurrentLine);
        }
        void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine) override {
            out.saveCollectedAs(fileName, beforeCurrentLine);
        }
        void playWarningTone() override { out.playWarningTone(); }
        BulletinOutput& out;
        unsigned starts = 0;
    };

    Counting output_;
    Store store_;
    std::unique_ptr<TextScanner> scanner_;
    MessageFramer framer_;
    MessageListener messageListener_;
    bool sitor_ = false;
};

}  // namespace zeb::weather
