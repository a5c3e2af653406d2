// ZEBRTTY, the stand-alone RTTY program: one window with a toolbar, the
// received text and a status bar, four tool windows, its own sound capture
// (64 blocks of 1024 samples, handled on the window thread) and the
// conversation with the receiver control RIGMAN, which keeps the decoder's
// parameters in step with the station the receiver was tuned to.
//
// Start-up order: one instance (class "ZEB-RTTY"; a second start brings the
// first to the front and has it ask RIGMAN for the parameters again), the
// language bundle RTTY??.DLL, ZEBSYS.INI and ZEBRTTY.INI, the window, the
// signal-processing error handler, the sound input checks, RIGMAN (started
// when absent) and its identification, the weather data, the capture, then
// the parameters RIGMAN holds.
#pragma once

#include "ZebRttySettings.h"
#include "audioio/AudioDevice.h"
#include "common/ProfileFile.h"
#include "common/UniqueFd.h"
#include "common/bus/ReceiverLink.h"
#include "rtty/RttyDecoder.h"
#include "ui/MessageBoxes.h"
#include "weather/BulletinChain.h"
#include "weather/WeatherData.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeb::ui {
class BusNotifier;
class FdNotifier;
class LanguageBundle;
class TonePlayer;
class ToneOutput;
}  // namespace zeb::ui

namespace zeb::zebrtty {

class BitRasterWindow;
class CrossScopeWindow;
class RttyWindow;
class SettingsWindow;
class SpectrumWindow;
class TextOutput;
class ToolWindow;

inline constexpr const char* kClassName = "ZEB-RTTY";
inline constexpr int kStartFailed = 1;
// The private message by which RIGMAN or a second start asks for a re-read.
inline constexpr std::uint32_t kRereadMessage = 2;
inline constexpr int kBlocks = 64;
inline constexpr int kBlockBytes = 2048;
inline constexpr int kSpectrumBins = 256;
inline constexpr const char* kRawAudioFile = "AUDIO.DAT";

// Language bundle strings.
inline constexpr int kStrBuffers = 10;
inline constexpr int kStrWeatherData = 11;
inline constexpr int kStrNoReceiverControl = 14;
inline constexpr int kStrNotIdentified = 16;
inline constexpr int kStrNoInput = 66;

struct ZebRttyOptions {
    std::filesystem::path workDir;     // empty: the current directory
    std::optional<std::string> input;  // --input: a device or "file:PATH"
    std::optional<std::string> output;
    bool fast = false;  // a recording as fast as it is decoded
    bool show = true;
    // How RIGMAN is reached (tests start it themselves).
    bus::ReceiverConnectOptions receiver;
};

// The automatic frequency correction: 50 measurements of the mid-point of the
// two strongest peaks, then a correction poked to RIGMAN while the signal is
// off by more than 0.02 kHz; it switches itself off once it held for 10 rounds.
// The reference is the middle of the two tones (center + shift/2), where a
// correctly tuned signal has its mid-point.
class FrequencyCorrection {
public:
    static constexpr int kMeasurements = 50;
    static constexpr int kStableRounds = 10;
    // Feeds one block's spectrum; returns the correction in kHz to poke (the
    // text of −v), if one is due. Blocks whose two peaks are not about
    // `shiftHz` apart are not measured.
    std::optional<double> measure(std::span<const float> spectrum, double referenceHz,
                                  double shiftHz);
    bool on() const { return on_; }
    void setOn(bool on);

private:
    bool on_ = false;
    double sum_ = 0.0;
    int count_ = 0;
    int stable_ = 0;
};

// The spectrum of the tool window and the frequency correction: both halves
// of a block through a Hann window and a 512-point transform, the magnitudes
// averaged into 256 bins (bin k at k × 11025 / 512 Hz). No allocation.
class BlockSpectrum {
public:
    void compute(std::span<const float> block);  // rtty::kBlockLength samples
    std::span<const float> bins() const { return bins_; }
    float mean() const { return mean_; }

private:
    std::array<float, 512> re_{}, im_{};
    std::array<float, kSpectrumBins> bins_{};
    float mean_ = 0.0f;
};

class ZebRtty : public QObject, private audio::DeviceSink {
    Q_OBJECT
public:
    explicit ZebRtty(ZebRttyOptions options);
    ~ZebRtty() override;

    std::optional<int> startUp();
    void shutdown();

    RttyWindow* window() const { return window_; }
    const ZebRttySettings& settings() const { return settings_; }
    const rtty::RttyParams& params() const { return settings_.params; }
    const ui::LanguageBundle* bundle() const { return bundle_.get(); }
    const ui::MessageBoxes& messages() const { return messages_; }
    ui::TonePlayer* tones() const { return tones_.get(); }
    const std::filesystem::path& workDir() const { return options_.workDir; }
    std::filesystem::path synopDir() const;
    std::uint64_t blocksDecoded() const { return blocks_; }
    FrequencyCorrection& correction() { return correction_; }

    // A parameter change made here: the decoder is set up anew, the status
    // bar refreshed and the parameters poked to RIGMAN (once more when the
    // poke fails). A new mode starts the scanner and framer afresh.
    void changeParams(const rtty::RttyParams& params);
    // Asks RIGMAN for its parameters (code 102); an answer without baud,
    // shift or center is ignored.
    void requestParams();
    void setShiftState(bool figures);

    // Raw audio: recording appends every block to AUDIO.DAT, replaying puts
    // the file's bytes in place of the captured ones; never both.
    bool setRecording(bool on);
    bool setReplaying(bool on);
    bool recording() const { return record_ != nullptr; }
    bool replaying() const { return replay_ != nullptr; }

    // F5: SYNOP.TXT fed to the scanner as if it had been received.
    bool feedSynopText();
    void saveAppearance();
    ZebRttySettings& mutableSettings();

    // Opens or closes a tool window (the toolbar's buttons) or the font
    // dialog; the windows keep their place in the settings.
    void setToolWindow(int command, bool open);
    ToolWindow* toolWindow(int command) const;

    // The last block's spectrum (256 bins) and demodulated samples.
    std::span<const float> spectrum() const { return spectrum_.bins(); }
    float spectrumMean() const { return spectrum_.mean(); }
    std::span<const float> samples() const { return samples_; }
    const rtty::RttyDecoder& decoder() const { return *decoder_; }

signals:
    void blockHandled();
    void replayEnded();
    void correctionEnded();
    void inputEnded();  // a recording was read to its end

private:
    // DeviceSink (the device's thread): completed blocks go to the window thread.
    void blockDone(audio::BlockHeader* header) override;
    void deviceClosed() override {}
    void endOfInput() override;

    std::optional<int> fail(const QString& text, bool writeSettings);
    std::optional<int> openSound();
    std::optional<int> connectReceiver();
    std::optional<int> startDecoding();
    std::optional<int> startCapture();
    void handleBlock(audio::BlockHeader* header);
    void takeDoneBlocks();
    void feedToolWindows();
    ToolWindow* makeToolWindow(int command);
    void showFontDialog();
    void pokeParams();
    std::vector<std::uint8_t> recordA() const;

    ZebRttyOptions options_;
    ui::MessageBoxes messages_;
    std::unique_ptr<ui::BusNotifier> bus_;
    std::unique_ptr<ui::LanguageBundle> bundle_;
    ProfileFile profile_;
    ProfileFile system_;
    ZebRttySettings settings_;
    std::optional<bus::ReceiverClient> receiver_;
    std::array<std::uint8_t, bus::kRecordABytes> recordA_{};
    weather::WeatherData data_;
    std::unique_ptr<TextOutput> output_;
    std::unique_ptr<weather::BulletinChain> chain_;
    std::unique_ptr<rtty::RttyDecoder> decoder_;
    std::unique_ptr<ui::ToneOutput> toneOutput_;
    std::unique_ptr<ui::TonePlayer> tones_;
    std::shared_ptr<audio::AudioBackend> backend_;
    std::unique_ptr<audio::WaveDevice> device_;
    std::vector<std::uint8_t> buffers_;
    std::array<audio::BlockHeader, kBlocks> headers_{};
    // Finished blocks from the device's thread: their numbers, in order.
    std::array<int, kBlocks * 2> done_{};
    std::atomic<std::size_t> doneTail_{0};
    std::size_t doneHead_ = 0;
    UniqueFd doneEvent_;
    std::unique_ptr<ui::FdNotifier> doneNotifier_;
    std::array<float, rtty::kBlockLength> samples_{};
    BlockSpectrum spectrum_;
    FrequencyCorrection correction_;
    std::FILE* record_ = nullptr;
    std::FILE* replay_ = nullptr;
    std::uint64_t blocks_ = 0;
    QPointer<RttyWindow> window_;
    QPointer<SpectrumWindow> spectrumWindow_;
    QPointer<SettingsWindow> settingsWindow_;
    QPointer<BitRasterWindow> rasterWindow_;
    QPointer<CrossScopeWindow> scopeWindow_;
    bool capturing_ = false;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace zeb::zebrtty
