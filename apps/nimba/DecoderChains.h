// The decoders of the main program as the mode switch and the capture
// thread see them: each chain owns its decoder and what hangs behind it (the
// bulletin scanner, the message framer), starts and stops it with the block
// mutex held, and sends its output through the ordered queue to the text
// windows.
#pragma once

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "BlockLock.h"
#include "DecoderModes.h"
#include "OutputQueue.h"
#include "common/ProfileFile.h"
#include "common/TextSink.h"
#include "common/TimeKey.h"
#include "common/WorkQueue.h"
#include "cw/CwDecoder.h"
#include "cw/CwSettings.h"
#include "dsp/Monitor.h"
#include "fax/FaxDecoder.h"
#include "rtty/RttyDecoder.h"
#include "weather/BulletinChain.h"
#include "weather/MessageFramer.h"
#include "weather/ReportDescription.h"
#include "weather/TextScanner.h"
#include "weather/WeatherData.h"

namespace zeb::ui {
class SignalBuffer;
}

namespace zeb::nimba {

// Decoded characters of one window into the queue.
class QueuedDisplay : public TextSink {
public:
    QueuedDisplay(OutputQueue& queue, TextTarget target) : queue_(queue), target_(target) {}
    void text(std::string_view bytes) override {
        queue_.pushText(target_, ItemKind::Received, bytes);
    }

private:
    OutputQueue& queue_;
    TextTarget target_;
};

// What the bulletin scanner and the message framer ask of the RTTY window.
class QueuedBulletinOutput : public weather::BulletinOutput {
public:
    explicit QueuedBulletinOutput(OutputQueue& queue) : queue_(queue) {}
    void appendText(std::string_view text) override {
        queue_.pushText(TextTarget::Rtty, ItemKind::Report, text);
    }
    void markStart(weather::Collected kind) override { queue_.pushMark(TextTarget::Rtty, kind); }
    void saveCollected(weather::Collected kind, bool beforeCurrentLine) override {
        queue_.pushSave(TextTarget::Rtty, kind, beforeCurrentLine);
    }
    void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine) override {
        queue_.pushSave(TextTarget::Rtty, weather::Collected::Information, beforeCurrentLine,
                        fileName);
    }
    void playWarningTone() override { queue_.pushTone(TextTarget::Rtty); }

private:
    OutputQueue& queue_;
};

// The two tone outputs of the last block (filters or correlators of the
// design in use), for the cross scope.
class ScopeBuffer {
public:
    static constexpr int kLength = 1024;
    // Capture thread; true when the scope must be asked to repaint.
    bool publish(std::span<const float> lower, std::span<const float> upper);
    // UI thread; false when nothing new.
    bool copyTo(std::array<float, kLength>& lower, std::array<float, kLength>& upper);

private:
    std::mutex mutex_;
    std::array<float, kLength> lower_{}, upper_{};
    bool fresh_ = false;
    std::atomic<bool> pending_{false};
};

// Where the chains show what they produce besides text.
struct ChainViews {
    std::timed_mutex* blockMutex = nullptr;
    ProfileFile* profile = nullptr;  // NIMBA.INI
    dsp::MonitorFeed* monitor = nullptr;
    ui::SignalBuffer* signal = nullptr;
    // The signal window is open; asked once per block.
    std::atomic<bool>* signalOpen = nullptr;
    // The program's queue for file writes off the capture thread.
    WorkQueue* files = nullptr;
};

class RttyChain : public ModeDecoder, private rtty::LockListener {
public:
    // Without weather data the bulletin scanner is off (the text still shows).
    RttyChain(OutputQueue& queue, ChainViews views, const weather::WeatherData* data,
              const std::filesystem::path& synopDir,
              weather::ReportFormats formats = weather::ReportFormats::english());
    ~RttyChain() override;

    // Reads "RTTYPARAM" and configures the decoder; then every start does.
    // "NAVTEXSTATIONS" and "NAVTEXSUBJECTS" there (letters A to Z; absent,
    // empty or holding anything else: all) select the NAVTEX messages saved.
    void loadParams();
    bool start() override;
    void stop() override;
    bool running() const override { return running_.load(); }

    // The page's controls: validated and applied at once; a change of the
    // RTTY mode resets the scanner and the framer.
    rtty::RttyParams setParams(const rtty::RttyParams& params);
    rtty::RttyParams params() const;
    Result<void> saveParams();
    // LTRS / FIGS.
    void setLetters(bool letters);
    bool letters() const;

    // Capture thread.
    void processBlock(std::span<const float> block);

    // The lock indicator (last value) and the cross scope; the page takes
    // both on the user-interface thread.
    int lockValue() const { return lock_.load(); }
    ScopeBuffer& scope() { return scope_; }
    void setScopeOn(bool on);
    bool scopeOn() const { return scopeOn_.load(); }
    // What the decoder reported after its last block (or after the last
    // setParams): Eb/N0 in dB (NaN for the filter designs and while
    // stopped), whether the squelch lets text through, and the polarity in
    // use (Auto while the matched design is still undecided).
    double snrDb() const { return snrDb_.load(); }
    bool squelchOpen() const { return squelchOpen_.load(); }
    rtty::Polarity polarityInUse() const { return static_cast<rtty::Polarity>(polarity_.load()); }
    // Where the signal's tones lie (as the frequency control found them, or
    // the tones the decoder listens to), Hz, and the share of damaged
    // characters over the last minute (NaN: none came).
    float lowerToneHz() const { return lowerToneHz_.load(); }
    float upperToneHz() const { return upperToneHz_.load(); }
    float errorShare() const { return errorShare_.load(); }

    void setClock(std::function<TimeKey()> clock);
    const weather::TextScanner* scanner() const { return bulletins_.scanner(); }
    const weather::MessageFramer& framer() const { return bulletins_.framer(); }

private:
    void lockChanged(int value) override;
    // Stores the decoder's state for the page (capture thread, or with the
    // block mutex held); `running` false publishes no signal-to-noise value.
    void publishState(bool running);

    ChainViews views_;
    OutputQueue& queue_;
    QueuedDisplay display_;
    QueuedBulletinOutput output_;
    weather::BulletinChain bulletins_;
    rtty::RttyDecoder decoder_;
    std::atomic<bool> running_{false};
    std::atomic<int> lock_{0};
    std::atomic<int> mode_{0};
    std::atomic<float> snrDb_{std::numeric_limits<float>::quiet_NaN()};
    std::atomic<bool> squelchOpen_{true};
    std::atomic<int> polarity_{0};
    std::atomic<float> lowerToneHz_{0.0f}, upperToneHz_{0.0f};
    std::atomic<float> errorShare_{std::numeric_limits<float>::quiet_NaN()};
    ScopeBuffer scope_;
    std::atomic<bool> scopeOn_{false};
};

class CwChain : public ModeDecoder {
public:
    CwChain(OutputQueue& queue, ChainViews views, std::filesystem::path workDir);

    bool start() override;
    void stop() override;
    bool running() const override { return decoder_.running(); }
    // The recording has ended: the letters still being read are written.
    void finishInput();

    // The page's knobs (limited to their ranges); filters redesigned at once.
    cw::ToneBand setBand(cw::ToneBand band);
    cw::ToneBand band() const { return band_; }
    // The design and the automatic tone search, applied at once.
    void setOptions(cw::CwOptions options);
    cw::CwOptions options() const { return options_; }
    // Writes CENTER, WIDTH, DEMOD and AUTOCENTER.
    Result<void> saveBand();

    // At the end of a scheduled reception the CW text is saved as a warning
    // file; these tell whether one runs and what the CW window holds.
    void setReception(std::function<bool()> active, std::function<std::string()> text,
                      std::function<TimeKey()> clock);

    void processBlock(std::span<const float> block);
    cw::CwDecoder& decoder() { return decoder_; }

    // A start that failed (filters or buffers could not be made).
    std::function<void()> failed = [] {};

private:
    ChainViews views_;
    std::filesystem::path workDir_;
    QueuedDisplay display_;
    cw::CwDecoder decoder_;
    cw::ToneBand band_;
    cw::CwOptions options_;
    std::function<bool()> receptionActive_ = [] { return false; };
    std::function<std::string()> text_ = [] { return std::string(); };
    std::function<TimeKey()> clock_ = [] { return zeb::now(); };
};

// The fax decoder as a mode: its own mutex already keeps blocks out while it
// starts and stops.
class FaxChain : public ModeDecoder {
public:
    explicit FaxChain(fax::FaxDecoder& decoder) : decoder_(decoder) {}

    bool start() override;
    void stop() override;
    bool running() const override { return decoder_.running(); }

    // Called after the decoder started or stopped (the picture window).
    std::function<void()> started = [] {};
    // Called after a start from off, which loaded and applied the settings
    // anew (the spectrum display's markers follow them); before started().
    std::function<void()> settingsApplied = [] {};
    std::function<void()> stopped = [] {};
    // A start failure (its text for the user).
    std::function<void(const std::string&)> failed = [](const std::string&) {};
    // A line for the log at the start: pictures a killed program left that
    // were finished, settings that were refused and replaced by defaults.
    std::function<void(const std::string&)> note = [](const std::string& text) {
        std::fprintf(stderr, "NIMBA: %s\n", text.c_str());
    };

private:
    fax::FaxDecoder& decoder_;
};

}  // namespace zeb::nimba
