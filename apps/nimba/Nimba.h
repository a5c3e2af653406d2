// The main decoder program as one object: what it holds from start-up to
// shutdown, the start-up sequence and the shutdown in their fixed orders.
//
// Start-up: single instance (window class "Nimbarra" on the suite bus),
// language bundle NIMBA??.DLL, the platform checks, settings, main window,
// receiver control, sound input, process priority, weather data, capture
// stream (11025 Hz, 1024 samples a block, 128 blocks) with the spectrum
// analyser, mixer, decoder parameters, frequency list, pages. Shutdown: the
// decoders, the mixer, the receiver control, the streams, the windows, the
// priority, the settings — each only when it was created.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Companion.h"
#include "DecoderChains.h"
#include "DecoderModes.h"
#include "OutputQueue.h"
#include "PageContext.h"
#include "ReceiverControl.h"
#include "RecorderChain.h"
#include "SpectrumLink.h"
#include "StationStart.h"
#include "audioio/Backends.h"
#include "audioio/Mixer.h"
#include "audioio/Streams.h"
#include "common/ProfileFile.h"
#include "common/WorkQueue.h"
#include "common/bus/Bus.h"
#include "dsp/Status.h"
#include "fax/FaxDecoder.h"
#include "stations/FrequencyList.h"
#include "stations/Schedule.h"
#include "ui/BusNotifier.h"
#include "ui/LanguageBundle.h"
#include "ui/MessageBoxes.h"
#include "ui/SpectrumView.h"
#include "ui/TextWindow.h"
#include "weather/WeatherData.h"

namespace zeb::nimba {

class FaxDisplays;
class MainWindow;

// How the program was started.
struct StartOptions {
    // Working directory: the data root (the current directory when empty).
    std::filesystem::path workDir;
    // Sound input: "default", an ALSA name, "null" or "file:PATH"; empty =
    // section AUDIO of ZEBSYS.INI, else "default".
    std::optional<std::string> input;
    std::optional<std::string> output;
    // A recording is read as fast as the decoders take it, not in real time.
    bool fast = false;
    // The program ends when the recording ends.
    bool quitAtEnd = false;
    // The decoder switched on after start-up (command 101–103), as the
    // frequency list would.
    std::optional<DecoderMode> mode;
    // The page shown after start-up (tab index), as if the user chose it.
    std::optional<int> page;
    // The sound input (tests give a fake); null = the backend of `input`.
    std::function<std::shared_ptr<audio::AudioBackend>()> inputBackend;
    // The mixer of the capture card (tests give a fake); null = the ALSA
    // mixer of the input device, none for recordings and "null".
    std::function<std::unique_ptr<audio::MixerDevice>()> mixer;
    // The current UTC time (tests give a fixed clock).
    std::function<TimeKey()> clock;
    // The built-in receiver control; null = the program's own.
    std::function<std::unique_ptr<ReceiverControl>()> receiver;
    // Whether the main window is shown (tests may keep it hidden).
    bool show = true;
    // Run as a companion program (zebfax, zebcw, zebrec): its class, its
    // settings file, its one decoder and page; `mode` and `page` are not used.
    std::optional<Companion> companion;
};

// Settings of section PARAM and TIMER.
struct MainSettings {
    int lineVolume = 50;
    int waveVolume = 50;
    int speakerVolume = 10;
    int lineMute = 1;
    int deleteHours = 0;
    int peakHold = 0;
    int waterfallPalette = 0;  // 0 classic, 1 grey, 2 heat
    int waterfallSpeed = 1;    // blocks per row: 1, 2 or 4
    double receiverOffset = 0.0;
    std::string timerName;
    int timerActive = 0;
};

MainSettings readMainSettings(ProfileFile& profile);
Result<void> writeMainSettings(ProfileFile& profile, const MainSettings& settings);

class Nimba : public QObject {
    Q_OBJECT
public:
    explicit Nimba(StartOptions options);
    ~Nimba() override;

    // Runs the start-up. nullopt: the program runs (enter the event loop,
    // then call shutdown()); otherwise the exit code of a start that ended.
    std::optional<int> startUp();
    // Runs the shutdown once (later calls do nothing).
    void shutdown();

    // ---- for the window and the tests ----
    const StartOptions& options() const { return options_; }
    const std::filesystem::path& workDir() const { return workDir_; }
    ProfileFile& profile() { return profile_; }
    const ui::LanguageBundle* bundle() const { return bundle_.get(); }
    const ui::MessageBoxes& messages() const { return messages_; }
    MainSettings& settings() { return settings_; }
    PageContext& pageContext() { return context_; }
    MainWindow* window() const { return window_.data(); }
    ModeSwitcher& modes() { return *modes_; }
    OutputQueue& output() { return output_; }
    RttyChain* rtty() { return rtty_.get(); }
    CwChain* cw() { return cw_.get(); }
    RecorderChain* recorder() { return recorder_.get(); }
    fax::FaxDecoder* faxDecoder() { return fax_.get(); }
    FaxDisplays* faxDisplays() { return faxDisplays_.get(); }
    SpectrumLink& spectrum() { return *spectrum_; }
    audio::CaptureStream* capture() { return capture_.get(); }
    audio::MixerLink* mixer() { return mixer_.get(); }
    const audio::MixerIds& mixerIds() const { return mixerIds_; }
    // The identifiers chosen by hand in the mixer settings dialog (written to
    // NIMBA.INI only by the dialog's Save).
    void setMixerIds(const audio::MixerIds& ids) { mixerIds_ = ids; }
    // The sound input as chosen at start: "default", an ALSA name, "null" or "file:PATH".
    const std::string& inputDevice() const { return inputDevice_; }
    // The audio page's settings: kept in settings() for the shutdown and
    // written into section PARAM of NIMBA.INI at once. Peak hold reaches the
    // analyser at once; the monitoring switch sets the mixer's mute control of
    // the receiver input to its inverse.
    Result<void> setDeleteHours(int hours);
    Result<void> setPeakHold(bool on);
    Result<void> setLineMonitoring(bool heard);
    Result<void> setReceiverOffset(double hz);
    // LINEVOL, WAVEVOL and SPKVOL as settings() holds them.
    Result<void> storeVolumes();
    // The audio monitor: the decoders' processed audio on the sound output.
    // Switched under the block mutex; an output that cannot be opened leaves
    // the switch on without sound.
    void setMonitorOn(bool on);
    bool monitorOn() const { return monitorOn_; }
    // The largest magnitude (0 … 32768) of the last block captured and of the
    // last block monitored, for level meters where the card has none; −1
    // without the stream.
    int capturePeak() const { return capture_ ? capture_->peak() : -1; }
    int monitorPeak() const { return monitor_ ? monitor_->peak() : -1; }
    ui::TonePlayer* tones() { return tones_.get(); }
    ui::SignalBuffer& signal() { return signal_; }
    const weather::WeatherData* weatherData() const { return weather_ ? &*weather_ : nullptr; }
    stations::LoadedList* frequencyList() { return frequencies_ ? &*frequencies_ : nullptr; }
    // The schedule named by TIMER NAME (empty when none is) and whether it runs.
    stations::Schedule& schedule() { return schedule_; }
    bool scheduleRunning() const { return schedule_.active(); }
    // Switches the schedule on (after the overlap test) or off.
    Result<void> setScheduleActive(bool on);
    // A scheduled station is being received (the fax and Morse decoders
    // behave as unattended then).
    bool receptionActive() const { return reception_.load(); }
    void setReceptionActive(bool active);
    // Tune only: the dial frequency and the receiver mode of the station.
    void tuneStation(const stations::StationRecord& station);
    // The station's decoder with its parameters, and the receiver tuned.
    void startStation(const stations::StationRecord& station);
    // The scheduler on the housekeeping tick.
    void schedulerTick(TimeKey now);
    ReceiverControl* receiver() { return receiver_.get(); }
    TimeKey now() const;
    // The signal window (opened by the audio page's switch).
    void setSignalWindowOpen(bool open);
    bool signalWindowOpen() const { return signalOpen_.load(); }
    ui::SignalWindow* signalWindow() const { return signalWindow_.data(); }
    // The index of the entry selected on the received-files page; it outlives
    // the page (-1: none).
    int& receivedSelection() { return receivedSelection_; }
    // Start-up finished (the housekeeping timer runs its schedule ticks only then).
    bool started() const { return started_; }
    // The window class claimed on the bus: "Nimbarra", or the companion's.
    std::string className() const;

signals:
    // The recording given as input has ended.
    void inputEnded();
    // The receiver was tuned or changed its mode (the panel shows it).
    void receiverChanged();

private:
    std::optional<int> fail(int messageId);
    bool openCapture();
    RecorderChain::Hooks recorderHooks();
    void openMixer();
    void applyMixerSettings();
    void makeDecoders();
    Q_INVOKABLE void onInputEnded();
    void onDspError(const dsp::ErrorReport& report);
    void loadSchedule();
    // The settings file: NIMBA.INI, or the companion's (seeded from NIMBA.INI).
    std::string settingsFile();
    // The decoder and page chosen at start, from the command line or the companion.
    void switchOnAtStart();
    // Applies the fax record the launcher left with the receiver control.
    void takeFaxHandover();
    // The built-in receiver control and its panel; false when it cannot run.
    bool startReceiver();
    void tune(double kHz, std::optional<int> mode);
    void showDial();
    // Deletes the received files and observations older than DELTIME hours.
    void cleanUpReceived();
    Result<void> storeParam(std::string_view key, int value);

    // The decoders' monitor feed plays into the monitor stream while one is open.
    struct MonitorRelay final : dsp::MonitorSink {
        audio::MonitorStream* stream = nullptr;  // changed under the block mutex
        void queueBlock(std::span<const std::int16_t, dsp::kMonitorBlock> block) override {
            if (stream) stream->queueBlock(block);
        }
        void requestStart() override {
            if (stream) stream->requestStart();
        }
    };

    StartOptions options_;
    std::filesystem::path workDir_;
    std::unique_ptr<ui::BusNotifier> bus_;
    std::unique_ptr<ui::LanguageBundle> bundle_;
    ui::MessageBoxes messages_;
    ProfileFile profile_;
    MainSettings settings_;
    PageContext context_;
    std::unique_ptr<ReceiverControl> receiver_;
    bool receiverStarted_ = false;
    std::string inputDevice_;  // as chosen at start: option, ZEBSYS.INI or "default"
    std::shared_ptr<audio::AudioBackend> inputBackend_;
    std::shared_ptr<audio::AudioBackend> outputBackend_;
    std::unique_ptr<audio::CaptureStream> capture_;
    std::unique_ptr<audio::MixerLink> mixer_;
    audio::MixerIds mixerIds_;
    std::unique_ptr<SpectrumLink> spectrum_;
    std::optional<weather::WeatherData> weather_;
    std::optional<stations::LoadedList> frequencies_;
    stations::Schedule schedule_;
    std::atomic<bool> reception_{false};
    class Actions;
    std::unique_ptr<Actions> actions_;
    OutputQueue output_;
    // File writes handed over by the capture thread; outlives the decoders.
    WorkQueue files_;
    ui::SignalBuffer signal_;
    std::atomic<bool> signalOpen_{false};
    QPointer<ui::SignalWindow> signalWindow_;
    MonitorRelay monitorRelay_;
    dsp::MonitorFeed monitorFeed_{monitorRelay_};
    std::unique_ptr<audio::MonitorStream> monitor_;
    bool monitorOn_ = false;
    std::unique_ptr<RttyChain> rtty_;
    std::unique_ptr<CwChain> cw_;
    std::unique_ptr<RecorderChain> recorder_;
    std::unique_ptr<FaxDisplays> faxDisplays_;
    std::unique_ptr<fax::FaxDecoder> fax_;
    std::unique_ptr<FaxChain> faxChain_;
    std::unique_ptr<ModeSwitcher> modes_;
    std::unique_ptr<ui::ToneOutput> toneOutput_;
    std::unique_ptr<ui::TonePlayer> tones_;
    QPointer<MainWindow> window_;
    int receivedSelection_ = -1;
    bool priorityRaised_ = false;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace zeb::nimba
