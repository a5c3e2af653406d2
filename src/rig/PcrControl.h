// PcrControl: the main program's own control of an Icom IC-PCR1000 on a
// serial port. It powers the receiver on, tunes it, sets its knobs and
// switches, polls its status every 3 s and reads the status replies (squelch
// state, signal strength) on a reader thread of its own.
//
// PcrSettings are the section "IPCRPARAM" of NIMBA.INI; PcrReplyParser turns
// the receiver's replies into status values and takes any bytes.
#pragma once

#include "common/ProfileFile.h"
#include "common/Result.h"
#include "rig/Receiver.h"
#include "rig/SerialLink.h"
#include "rig/SerialPort.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace zeb::rig {

// ---- Settings ----

inline constexpr std::string_view kPcrSection = "IPCRPARAM";
inline constexpr double kPcrMinKhz = 10.0;
inline constexpr double kPcrMaxKhz = 1300000.0;

// The settings the control starts with and hands back when it stops.
struct PcrSettings {
    double frequencyKhz = 10000.0;  // "FREQ", 10 … 1300000
    int stepHz = 10;                // "STEP", one of pcrStepValid()
    int mode = 1;                   // "MODE", code of the K command (pcrModeValid())
    int volume = 128;               // "VOLUME", knob position 0 … 255
    int squelch = 0;                // "SQUELCH", knob position 0 … 255
    // "PORT" exactly as read: "auto", a port number, a device path, "none",
    // or a value no port can be made of (which counts as "none").
    std::string port = "auto";
    // The receiver's further controls, as the user left them.
    int filter = 0;             // "FILTER", 0 … 4: 3, 6, 15, 50, 230 kHz
    int ifShift = 128;          // "IFSHIFT", 0 … 255, 128 centre
    bool attenuator = false;    // "ATT", 0 or 1
    bool agc = false;           // "AGC"
    bool noiseBlanker = false;  // "NB"
    friend bool operator==(const PcrSettings&, const PcrSettings&) = default;
};

// The tuning steps the panel offers and the settings accept.
inline constexpr std::array<int, 12> kPcrStepsHz = {10,   50,   100,   500,   1000,  2500,
                                                    5000, 9000, 10000, 12500, 25000, 100000};

bool pcrModeValid(int code);  // 0 LSB, 1 USB, 2 AM, 3 CW, 5 FM, 6 WFM
bool pcrStepValid(int hz);    // 10, 50, 100 … 100000 Hz
bool pcrFrequencyValid(double khz);

// Where the control looks for the receiver.
struct PcrPort {
    enum class Kind { None, Auto, Number, Device };
    Kind kind = Kind::Auto;
    int number = 0;      // COMn, 1 … 16 (Kind::Number)
    std::string device;  // a path (Kind::Device)
};
// "auto", "none" (any case), 1 … 16 or a path starting with "/"; blanks
// around the value are ignored. Nothing for any other text.
std::optional<PcrPort> parsePcrPort(std::string_view text);

// Reads the keys of "IPCRPARAM". An absent key gives its default; a value
// that is no number or out of range gives the default too and is described in
// `problems`. An unreadable PORT stays in `port` as it was (so it is written
// back unchanged) and keeps the control off.
PcrSettings readPcrSettings(const ProfileFile& profile, std::vector<std::string>* problems);
// Writes all keys; a whole frequency is written as an integer, any other
// with six decimals. The file is replaced atomically.
Result<void> writePcrSettings(ProfileFile& profile, const PcrSettings& settings);

// The command value of a volume or squelch knob position: × 17 / 18,
// truncated (0 … 255 → 0 … 240).
int knobToLevel(int knob);

// ---- Replies ----

struct PcrReply {
    enum class Kind {
        Squelch,   // "I0" + two digits
        Strength,  // "I1" + two hex digits
        Other,     // another letter (G … Z) and at least three hex digits ("H101")
    };
    Kind kind = Kind::Other;
    bool squelchClosed = false;  // Kind::Squelch
    int strength = 0;            // Kind::Strength, 0 … 255
};

// Collects the received bytes into lines. A hex digit (either case) is added
// to the current line, which holds at most 256 bytes (a longer one starts
// again at its beginning and is then no reply). Any other byte ends the
// current line, which is interpreted, and begins the next one.
class PcrReplyParser {
public:
    static constexpr std::size_t kLineSize = 256;

    // Feeds one byte; returns the meaning of the line it ended, if any.
    std::optional<PcrReply> push(std::uint8_t byte);
    void reset() { length_ = 0; }

    // The meaning of one complete line: "I0" lines of exactly 4 characters
    // (closed when the fourth is '0' … '5'), "I1" lines of at least 4 (the
    // two characters after "I1" as hex), other lines of a letter G … Z and
    // at least three hex digits.
    static std::optional<PcrReply> interpret(std::string_view line);

private:
    std::array<char, kLineSize> line_{};
    std::size_t length_ = 0;
};

// ---- Control ----

// Why start() did not start. `Off` is no fault: the settings switch the
// control off (PORT=none or unreadable) and no port was touched.
enum class PcrStartError { Off = 1, NoPort = 2, NoReader = 3, Running = 4 };
std::error_code make_error_code(PcrStartError code);

// What the control tells the program. Squelch and strength changes come from
// the reader thread; answering changes from the status timer's thread or the
// reader thread; a link failure from whichever thread's write or read
// failed. Implementations return promptly and never call start() or stop()
// (stop() joins the reader thread that may be calling).
class PcrListener {
public:
    virtual ~PcrListener() = default;
    virtual void squelchChanged(bool closed) = 0;
    virtual void strengthChanged(int strength) = 0;  // 0 … 255
    // False when no reply came for two status periods, true at the next one.
    virtual void answeringChanged(bool answering) = 0;
    // A write or read failed (the system's error text). Reported once; the
    // control then does nothing more until stop().
    virtual void linkFailed(const std::string& text) = 0;
};

// start(), stop() and the operations run on one thread (the program's user-
// interface thread); the status timer ticks on that thread as well. Writes
// are serialised by a mutex all the same.
class PcrControl {
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    static constexpr LineSettings kLine{9600, 8, 0, 2};
    static constexpr std::chrono::milliseconds kPause{50};
    static constexpr std::chrono::milliseconds kStatusPeriod{3000};
    static constexpr std::chrono::milliseconds kWriteLimit{3000};
    // After a write timed out (a receiver that holds CTS off: switched off,
    // or no receiver on the line) the next writes wait only this long, so
    // the status poll and the panel do not hold the program for 3 s each;
    // the first write that goes through, or a reply, ends it.
    static constexpr std::chrono::milliseconds kStalledWriteLimit{100};
    static constexpr std::chrono::milliseconds kReadLimit{500};
    static constexpr int kSilentPeriods = 2;  // status periods without a reply
    static constexpr int kPortCount = 16;     // "auto" tries COM1 … COM16

    // `systemSettings` (ZEBSYS.INI) maps port numbers to devices (portDevice);
    // `timer` may be null (no status poll, no answering check).
    PcrControl(PortFactory makePort, const ProfileFile& systemSettings, PcrListener& listener,
               StatusTimer* timer, Sleeper sleeper = realSleep);
    ~PcrControl();  // stops
    PcrControl(const PcrControl&) = delete;
    PcrControl& operator=(const PcrControl&) = delete;

    // Opens the port PORT names (9600 8N2, RTS/CTS, DTR on), starts the
    // reader, powers the receiver on and sends the frequency, mode, filter,
    // volume and squelch of `settings`, then the IF shift, attenuator, AGC
    // and noise blanker where they differ from the power-on state. Errors: PcrStartError::Off
    // (nothing opened), NoPort (the text names what was tried), NoReader, Running.
    Result<void> start(const PcrSettings& settings);
    // Stops the poll, powers the receiver off (while the link works), joins
    // the reader and closes the port. Returns the settings for
    // writePcrSettings (the current ones when the control was not running).
    PcrSettings stop();

    // Each sends one command; false when the value is refused (nothing is
    // sent, nothing changes), the control is not running or the link failed.
    // A write still pending after 3000 ms is skipped and is no failure.
    bool setFrequency(double khz);
    bool setMode(int code);
    bool setFilter(int code);  // 0 … 4: 3, 6, 15, 50, 230 kHz
    bool setVolume(int knob);
    bool setSquelch(int knob);
    bool setIfShift(int value);  // 0 … 255, 128 centre
    bool setAttenuator(bool on);
    bool setAgc(bool on);
    bool setNoiseBlanker(bool on);
    // Stored for settings() only; no command.
    bool setStep(int hz);

    bool isRunning() const { return running_; }
    bool readerRunning() const { return reader_.joinable(); }
    const std::string& device() const { return device_; }  // the port opened last
    // Nothing until the receiver reported it.
    std::optional<bool> squelchClosed() const;
    std::optional<int> strength() const;
    bool answering() const { return answering_; }
    const PcrSettings& settings() const { return settings_; }
    int filter() const { return settings_.filter; }

private:
    Result<void> openPort(const PcrPort& where);
    Result<void> openDevice(const std::string& device);
    Result<void> startReader();
    void stopReader();
    void readerLoop();
    void handle(const PcrReply& reply);
    void powerOn();
    void statusTick();
    bool sendFrequency();
    bool setSwitch(bool PcrSettings::*field, bool on, std::string_view onCommand,
                   std::string_view offCommand);
    bool send(std::string_view text);
    void fail(const Error& error);

    PortFactory makePort_;
    ProfileFile systemSettings_;
    PcrListener& listener_;
    StatusTimer* timer_;
    Sleeper sleep_;

    std::unique_ptr<SerialPort> port_;
    std::string device_;
    PcrSettings settings_;
    bool running_ = false;
    std::atomic<bool> usable_{false};
    std::atomic<bool> stalled_{false};
    std::mutex writeMutex_;

    std::thread reader_;
    std::atomic<bool> reading_{false};
    PcrReplyParser parser_;
    std::atomic<int> squelch_{-1};   // -1 unknown, 0 open, 1 closed
    std::atomic<int> strength_{-1};  // -1 unknown
    std::mutex answerMutex_;
    std::atomic<bool> answering_{true};
    int silentTicks_ = 0;  // under answerMutex_
};

}  // namespace zeb::rig

template <>
struct std::is_error_code_enum<zeb::rig::PcrStartError> : std::true_type {};
