// The weather-fax decoder: frequency-modulated audio (black at centre −
// shift/2, white at centre + shift/2) in, a picture of 16 greys out.
//
// Per block: an optional band-pass filter, the monitor feed, then a
// zero-crossing demodulator: the time between two crossings (interpolated
// between samples) is half a period of the tone and maps linearly onto a
// grey. Pixels are laid down at r pixels per sample, r = W·LPM / 60 / 11025
// (a line of W pixels lasts exactly one line period) or the measured rate of
// the correction table (slant), refined by the automatic slant. After every
// line the line's spectrum finds the start and stop tones and a phasing
// detector finds the phasing pulse; a small state machine begins and ends
// picture files:
//
//   WaitStart --5 lines of start tone--> Phasing --3 phasing lines (or 50
//   lines)--> PhasingEnd --no more phasing lines--> Receiving --5 lines of
//   stop tone, or 30 lines without a signal--> WaitStart (picture saved)
//
// Threads: processBlock() runs on the capture thread. Every other operation
// (start, stop, settings, manual start, slant) runs on the user-interface
// thread. The decoder serialises them with its own mutex, so a start, stop
// or width change never overlaps a block; processBlock() checks the running
// flag itself. The settings file is read and written outside that mutex, and
// with a work queue the picture file is written, renamed and finished on the
// queue's thread, so the capture thread never waits for the disk. FaxEvents
// are called on the thread that caused them (the picture-file events on the
// queue's thread): implementations post to their user-interface thread and
// never call back into the decoder.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "common/WorkQueue.h"
#include "dsp/AudioFilter.h"
#include "dsp/EnvelopeSnr.h"
#include "dsp/Markers.h"
#include "dsp/Monitor.h"
#include "fax/FaxConfig.h"
#include "fax/PictureBuffer.h"
#include "fax/PictureFile.h"
#include "fax/Preview.h"
#include "fax/Slant.h"

namespace zeb::fax {

enum class FaxState { WaitStart = 1, Phasing = 2, PhasingEnd = 3, Receiving = 4 };
std::string_view stateName(FaxState state);  // "WaitStart", ...

inline constexpr int kStartLines = 5;        // start-tone lines before phasing
inline constexpr int kRestartLines = 6;      // start-tone lines that end a picture
inline constexpr int kStopLines = 5;         // stop-tone lines that end a picture
inline constexpr int kPhasingHits = 3;       // phasing lines before the alignment
inline constexpr int kMaxPhasingLines = 50;  // phasing gives up after these
// A picture whose signal is gone (noise or silence) for this many lines in
// a row is ended and saved.
inline constexpr int kLostSignalLines = 30;
// Mean grey difference of successive half periods above which a line is
// noise: a picture behind the input filter stays below 1.8 down to 3 dB
// SNR, noise alone gives 2.6 or more.
inline constexpr float kNoiseRoughness = 2.2f;
inline constexpr float kSlantStep = 2.0e-7f;
inline constexpr float kMonitorGainNumerator = 2.828f;

class FaxEvents {
public:
    virtual ~FaxEvents() = default;
    virtual void stateChanged(FaxState) {}
    // Rows first … last of the picture changed (repaint them).
    virtual void rowsChanged(int /*first*/, int /*last*/) {}
    // The picture scrolled up by 32 rows, or was replaced (repaint all).
    virtual void pictureScrolled() {}
    virtual void previewRowChanged(int /*row*/) {}
    // The input filter could not be made or designed; the decoder goes on
    // without it.
    virtual void inputFilterFailed() {}
    // The panel's preview could not be made (the panel shows none).
    virtual void previewFailed(const Error&) {}
    virtual void pictureBegun(const std::filesystem::path& /*work*/) {}
    virtual void pictureEnded(const PictureOutcome&) {}
    // The work file could not be created or grown (the picture goes on on
    // screen only).
    virtual void pictureFileFailed(const Error&) {}
    // The grey values of the last line × 1000 (1024 values), while the line
    // profile is switched on.
    virtual void lineProfile(std::span<const float>) {}
    // A width change could not create the new picture buffer; the decoder
    // has stopped and the program switches the fax mode off.
    virtual void decoderOffRequested() {}
    // The automatic slant measured the sound card's sample-clock error anew
    // (ppm, positive when the card runs fast).
    virtual void slantMeasured(double /*ppm*/) {}
};

class FaxDecoder {
public:
    FaxDecoder(FaxEvents& events, std::filesystem::path workDir);
    // Waits for the picture-file work still queued.
    ~FaxDecoder();
    FaxDecoder(const FaxDecoder&) = delete;
    FaxDecoder& operator=(const FaxDecoder&) = delete;

    // Where the picture files are written and finished (the program's work
    // queue; null: at once, on the decoder's threads). Set before start.
    void setWorkQueue(WorkQueue* queue);

    // Where settings are loaded at start and saved at stop (null: nowhere).
    void setProfile(ProfileFile* profile);
    void setClock(PictureFile::Clock clock);
    void setMonitor(dsp::MonitorFeed* monitor);
    // What the spectrum display marks for the decoder: the input filter's
    // pass band (none while the filter is off) and the two tones of the
    // settings in force. The program marks its display with them after every
    // change of the settings and whenever the fax page is shown.
    dsp::Markers markers() const;
    // A scheduled reception is running: start enters Receiving at once and the
    // stop tone starts a new picture instead of waiting for the next one.
    void setReceptionActive(bool active) { receptionActive_.store(active); }
    // The panel's preview control exists with this client size (0 × 0: none).
    void setPreviewSize(int width, int height);
    void setLineProfileOpen(bool open) { lineProfileOpen_.store(open); }

    // Loads the settings, creates the picture buffer and starts decoding in
    // WaitStart (Receiving with a picture file under a schedule). Nothing
    // when it runs already.
    Result<void> start();
    // Ends and saves an open picture, saves the settings, stops.
    void stop();
    bool running() const { return running_.load(); }

    // The panel's settings: validated, then applied (width change, filter,
    // pixel rate). Returns the record as applied.
    FaxConfig setConfig(FaxConfig config);
    FaxConfig config() const;
    CorrectionTable correctionTable() const;
    void setCorrectionTable(const CorrectionTable& table);
    Derived derived() const;
    void loadSettings();
    Result<void> saveSettings();
    // What the last loading of the settings (start() or loadSettings())
    // refused and replaced by defaults, for a warning.
    std::vector<Refusal> refusedSettings() const;
    // The working directory of the received-file store.
    const std::filesystem::path& workDir() const { return file_.workDir(); }

    // Slant: each step adds −delta × 2e-7 to the pixel rate and stores it in
    // the correction table for the current IOC and LPM.
    void slantStep(int delta);
    void applySlantToAllModes();

    // Automatic slant (on by default, key "AUTOSLANT" of the settings): the
    // decoder measures the sample-clock error from the phasing lines and
    // from the picture and corrects the pixel rate while the picture comes
    // in, on top of the correction table.
    void setAutoSlant(bool on);
    bool autoSlant() const;
    // The sound card's error as measured, in ppm (nullopt before a
    // measurement).
    std::optional<double> measuredPpm() const;
    // Stores the measured error in the correction table of the input device
    // for every mode (the table then holds the card's rate, and the automatic
    // slant starts from it). False when nothing has been measured.
    bool acceptMeasuredSlant();
    // The input device whose correction table is loaded and saved ("" for
    // the table of key "CORRTABLE" alone).
    void setInputDevice(std::string device);

    // The panel's start/stop button (only while running).
    void manualStartStop();
    // Manual alignment: the clicked column becomes column 0 (not while
    // Receiving).
    void setLineStart(int column);

    // The panel's "save as": the whole picture buffer (all H rows), run-length
    // compressed, and its thumbnail beside it (last character "M"). Refused
    // while a picture file is being received.
    Result<void> savePictureAs(const std::filesystem::path& path);
    // The whole picture buffer as an 8-bit grey PNG (also while receiving:
    // it is a copy of what the screen shows).
    Result<void> savePictureAsPng(const std::filesystem::path& path);

    // One block of kBlockLength samples, unscaled (−32768 … 32767).
    void processBlock(std::span<const float, kBlockLength> block);

    // The signal's power over the noise power in 3 kHz, dB, measured on the
    // input before the filter over the last half second; NaN without a
    // signal.
    double snrDb() const { return snrDb_.load(); }

    FaxState state() const { return state_.load(); }
    int column() const;
    int row() const;
    bool pictureFileOpen() const;
    std::pair<int, int> lastToneValues() const;
    const PictureBuffer& picture() const { return picture_; }
    const Preview& preview() const { return preview_; }

private:
    // What the settings file holds of the decoder, taken under the lock and
    // read or written without it.
    struct Settings {
        ProfileFile* profile = nullptr;
        FaxConfig config;
        CorrectionTable table;
        std::string device;
        bool autoSlant = true;
    };
    Settings settingsLocked() const;
    static Result<void> writeSettingsUnlocked(const Settings& settings);
    void applySettingsLocked();
    void rebuildFilterLocked();
    void setState(FaxState state);
    // The preview of the panel's size for the current width, filled.
    void createPreviewLocked();
    void beginPictureLocked();
    void endPictureLocked();
    // Hands rows [first, first + count) of the picture to the picture file.
    void appendBandLocked(int first, int count);
    void writePixel(int grey, std::unique_lock<std::mutex>& pixels);
    void lineComplete(std::unique_lock<std::mutex>& pixels);
    void analyseLine();
    void runStateMachine();
    void goToPhasingEnd();
    void signalLost();
    bool isPhasingLine();
    void phasingLine(double edge);
    void alignToPhasing();
    void measurePicture();
    void resetRateLocked();
    void setLineSamples(double samples);

    FaxEvents& events_;
    WorkQueue* files_ = nullptr;
    mutable std::mutex mutex_;
    ProfileFile* profile_ = nullptr;
    dsp::MonitorFeed* monitor_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> receptionActive_{false};
    std::atomic<bool> lineProfileOpen_{false};
    std::atomic<FaxState> state_{FaxState::WaitStart};

    FaxConfig config_;
    CorrectionTable table_;
    std::vector<Refusal> refused_;
    Derived derived_;
    int width_ = 0, height_ = 0;  // of the picture buffer
    int previewWidth_ = 0, previewHeight_ = 0;

    dsp::EnvelopeSnr snr_;
    std::atomic<double> snrDb_{std::numeric_limits<double>::quiet_NaN()};
    std::unique_ptr<dsp::AudioFilter> filter_;
    bool filterOn_ = false;
    float monitorGain_ = 1.0f;

    // Demodulator state, kept between blocks and across starts.
    float previous_ = 0.0f;
    float lastCrossing_ = 0.0f;
    float accumulator_ = 0.0f;
    int pending_ = 0;
    int x_ = 0, y_ = 0;
    float rate_ = 0.0f;  // pixels per sample in use
    // Signal check: the mean grey difference of successive half periods.
    float roughness_ = 0.0f, previousLevel_ = 0.0f;
    int crossings_ = 0;
    int silentPixels_ = 0;           // pixels due beyond a whole line without crossings
    int lostLines_ = 0;              // lines in a row without a fax signal
    double lineSamples_ = 0.0;       // samples per line in use (W / rate_)
    long lineIndex_ = 0;             // count of completed lines
    bool partialLine_ = false;       // the line being written began after a move of x
    bool completedPartial_ = false;  // so did the line just completed

    // Automatic slant.
    bool autoSlant_ = true;
    std::string device_;
    SlantEstimator slant_;
    std::optional<double> measuredPpm_;
    double reportedPpm_ = 0.0;

    // Buffers of a running decoder.
    std::vector<float> filtered_, re_, im_, magnitude_, lineProfile_;
    std::vector<std::int16_t> line_;

    // Reception state.
    int startCount_ = 0, stopCount_ = 0;
    int phasingHits_ = 0, phasingLines_ = 0;
    double phasingSum_ = 0.0, phasingFirst_ = 0.0;  // leading edges of the pulse
    int linesSinceBand_ = 0;
    // A picture file was begun and not yet ended; the file work of picture
    // `failedSerial_` failed (the picture goes on on screen only).
    bool recording_ = false;
    unsigned pictureSerial_ = 0;
    std::atomic<unsigned> failedSerial_{0};
    bool fileOpenLocked() const { return recording_ && failedSerial_.load() != pictureSerial_; }
    std::pair<int, int> toneValues_{0, 0};

    PictureBuffer picture_;
    Preview preview_;
    PictureFile file_;
};

}  // namespace zeb::fax
