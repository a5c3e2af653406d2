#include "rig/PcrControl.h"

#include "common/Text.h"
#include "common/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zeb::rig {

namespace {

constexpr int kModes[] = {0, 1, 2, 3, 5, 6};
constexpr int kFilterCodes = 5;
constexpr int kKnobMax = 255;
constexpr int kIfShiftMax = 255;

// Sent as they are, without line ends except where the receiver wants them.
// The last one turns the volume down until the knob position is applied.
constexpr std::string_view kPowerOn[] = {"H101\r\n", "G301\r\n", "J4101",          "J5100", "J5000",
                                         "J4380",    "J4500",    "J4600",          "J4700", "J4A80",
                                         "LD82000",  "ME00001",  "C8050000001000", "J8001", "J8100",
                                         "J8200",    "J8300",    "J4000"};
constexpr std::string_view kPowerOff = "H100\r\n";
constexpr std::string_view kStatusRequest = "H1?\r\n";

bool knobValid(int knob) { return knob >= 0 && knob <= kKnobMax; }

// The whole value (blanks around it aside) as a number, else nothing.
template <class T>
std::optional<T> parseNumber(std::string_view text) {
    text = trim(text);
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::string numberText(int value) { return formatInt(value); }
std::string numberText(double value) {
    if (value == std::floor(value) && std::abs(value) < 1e15) {
        return formatInt(static_cast<long long>(value));
    }
    return formatReal(value);
}

// Reads `key` into `value` when it is a number `valid` accepts; otherwise
// `value` keeps its default and `problems` hears why.
template <class T, class Valid>
void readValue(const ProfileFile& profile, std::string_view key, T& value, Valid valid,
               std::string_view wanted, std::vector<std::string>* problems) {
    if (!profile.hasKey(key)) return;
    const std::string text = profile.readText(key);
    if (const auto number = parseNumber<T>(text); number && valid(*number)) {
        value = *number;
    } else if (problems) {
        problems->push_back(profile.path().string() + ": [" + std::string(kPcrSection) + "] " +
                            std::string(key) + "=" + text + " is not " + std::string(wanted) +
                            "; using " + numberText(value) + ".");
    }
}

PcrSettings sanitized(PcrSettings s) {
    const PcrSettings defaults;
    if (!pcrFrequencyValid(s.frequencyKhz)) s.frequencyKhz = defaults.frequencyKhz;
    if (!pcrStepValid(s.stepHz)) s.stepHz = defaults.stepHz;
    if (!pcrModeValid(s.mode)) s.mode = defaults.mode;
    if (!knobValid(s.volume)) s.volume = defaults.volume;
    if (!knobValid(s.squelch)) s.squelch = defaults.squelch;
    if (s.filter < 0 || s.filter >= kFilterCodes) s.filter = defaults.filter;
    if (s.ifShift < 0 || s.ifShift > kIfShiftMax) s.ifShift = defaults.ifShift;
    return s;
}

// A short reason an open failed, for a list of several ports.
std::string openFailure(const std::string& device, const Error& error) {
    const int code = error.systemError();
    std::string reason;
    if (code == 0) {
        reason = error.message;
    } else if (code == ENOTTY) {
        reason = "not a serial port";
    } else if (code == EBUSY || code == EWOULDBLOCK) {
        reason = "in use";
    } else {
        reason = std::generic_category().message(code);
    }
    return device + ": " + reason;
}

// "J40" + two upper-case hex digits.
std::string hexCommand(std::string_view prefix, int value) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(value) & 0xFFu);
    return std::string(prefix) + digits;
}

}  // namespace

// ---- Settings ----

bool pcrModeValid(int code) { return std::ranges::find(kModes, code) != std::end(kModes); }
bool pcrStepValid(int hz) { return std::ranges::find(kPcrStepsHz, hz) != kPcrStepsHz.end(); }
bool pcrFrequencyValid(double khz) { return khz >= kPcrMinKhz && khz <= kPcrMaxKhz; }

std::optional<PcrPort> parsePcrPort(std::string_view text) {
    text = trim(text);
    if (equalsNoCase(text, "auto")) return PcrPort{PcrPort::Kind::Auto, 0, {}};
    if (equalsNoCase(text, "none")) return PcrPort{PcrPort::Kind::None, 0, {}};
    if (text.starts_with('/')) return PcrPort{PcrPort::Kind::Device, 0, std::string(text)};
    const auto number = parseNumber<int>(text);
    if (number && *number >= 1 && *number <= PcrControl::kPortCount) {
        return PcrPort{PcrPort::Kind::Number, *number, {}};
    }
    return std::nullopt;
}

PcrSettings readPcrSettings(const ProfileFile& profileIn, std::vector<std::string>* problems) {
    ProfileFile profile = profileIn;
    profile.setSection(kPcrSection);
    PcrSettings s;
    readValue(profile, "FREQ", s.frequencyKhz, pcrFrequencyValid,
              "a frequency from 10 to 1300000 kHz", problems);
    readValue(profile, "STEP", s.stepHz, pcrStepValid, "a tuning step of the receiver", problems);
    readValue(profile, "MODE", s.mode, pcrModeValid, "a mode code (0, 1, 2, 3, 5 or 6)", problems);
    readValue(profile, "VOLUME", s.volume, knobValid, "a knob position from 0 to 255", problems);
    readValue(profile, "SQUELCH", s.squelch, knobValid, "a knob position from 0 to 255", problems);
    readValue(
        profile, "FILTER", s.filter, [](int v) { return v >= 0 && v < kFilterCodes; },
        "a filter code from 0 to 4", problems);
    readValue(
        profile, "IFSHIFT", s.ifShift, [](int v) { return v >= 0 && v <= kIfShiftMax; },
        "an IF shift from 0 to 255", problems);
    const auto onOff = [](int v) { return v == 0 || v == 1; };
    for (auto [key, flag] :
         {std::pair{"ATT", &s.attenuator}, {"AGC", &s.agc}, {"NB", &s.noiseBlanker}}) {
        int value = *flag ? 1 : 0;
        readValue(profile, key, value, onOff, "0 or 1", problems);
        *flag = value == 1;
    }
    s.port = profile.readText("PORT", s.port);
    if (!parsePcrPort(s.port) && problems) {
        problems->push_back(profile.path().string() + ": [" + std::string(kPcrSection) +
                            "] PORT=" + s.port +
                            " is not auto, none, a port number from 1 to 16 or a device path; "
                            "the receiver control stays off.");
    }
    return s;
}

Result<void> writePcrSettings(ProfileFile& profile, const PcrSettings& s) {
    const std::string oldSection = profile.section();
    profile.setSection(kPcrSection);
    Result<void> r = profile.writeText("FREQ", numberText(s.frequencyKhz));
    if (r) r = profile.writeInt("STEP", s.stepHz);
    if (r) r = profile.writeInt("MODE", s.mode);
    if (r) r = profile.writeInt("VOLUME", s.volume);
    if (r) r = profile.writeInt("SQUELCH", s.squelch);
    if (r) r = profile.writeInt("FILTER", s.filter);
    if (r) r = profile.writeInt("IFSHIFT", s.ifShift);
    if (r) r = profile.writeInt("ATT", s.attenuator ? 1 : 0);
    if (r) r = profile.writeInt("AGC", s.agc ? 1 : 0);
    if (r) r = profile.writeInt("NB", s.noiseBlanker ? 1 : 0);
    if (r) r = profile.writeText("PORT", s.port);
    profile.setSection(oldSection);
    return r;
}

int knobToLevel(int knob) { return std::clamp(knob, 0, kKnobMax) * 17 / 18; }

// ---- Replies ----

std::optional<PcrReply> PcrReplyParser::push(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    if (hexDigit(c) >= 0) {
        if (length_ == kLineSize) length_ = 0;
        line_[length_++] = c;
        return std::nullopt;
    }
    const auto reply = interpret(std::string_view(line_.data(), length_));
    line_[0] = c;
    length_ = 1;
    return reply;
}

std::optional<PcrReply> PcrReplyParser::interpret(std::string_view line) {
    // A reply begins with a letter that is no hex digit: a line that started
    // over after 256 digits, or the digits before the first such byte, never do.
    if (line.size() < 4 || line[0] < 'G' || line[0] > 'Z') return std::nullopt;
    if (!std::all_of(line.begin() + 1, line.end(), [](char c) { return hexDigit(c) >= 0; })) {
        return std::nullopt;
    }
    PcrReply reply;
    if (line.starts_with("I0")) {
        if (line.size() != 4) return std::nullopt;
        reply.kind = PcrReply::Kind::Squelch;
        reply.squelchClosed = line[3] >= '0' && line[3] <= '5';
    } else if (line.starts_with("I1")) {
        reply.kind = PcrReply::Kind::Strength;
        reply.strength = hexDigit(line[2]) * 16 + hexDigit(line[3]);
    }
    return reply;
}

// ---- Control ----

std::error_code make_error_code(PcrStartError code) {
    static const ModuleErrorCategory category("pcr", [](int value) -> std::string {
        switch (static_cast<PcrStartError>(value)) {
            case PcrStartError::Off: return "The receiver control is off";
            case PcrStartError::NoPort: return "No serial port opens";
            case PcrStartError::NoReader: return "The serial reader did not start";
            case PcrStartError::Running: return "The receiver control runs already";
        }
        return "Receiver control error " + std::to_string(value);
    });
    return {static_cast<int>(code), category};
}

PcrControl::PcrControl(PortFactory makePort, const ProfileFile& systemSettings,
                       PcrListener& listener, StatusTimer* timer, Sleeper sleeper)
    : makePort_(std::move(makePort)),
      systemSettings_(systemSettings),
      listener_(listener),
      timer_(timer),
      sleep_(std::move(sleeper)) {}

PcrControl::~PcrControl() { stop(); }

Result<void> PcrControl::start(const PcrSettings& settings) {
    if (running_ || reader_.joinable()) {
        return Error(PcrStartError::Running, "The IC-PCR1000 control runs already.");
    }
    const auto where = parsePcrPort(settings.port);
    if (!where || where->kind == PcrPort::Kind::None) {
        settings_ = settings;
        return Error(PcrStartError::Off, "The IC-PCR1000 control is off (PORT=" + settings.port +
                                             " in [" + std::string(kPcrSection) + "]).");
    }
    settings_ = sanitized(settings);
    if (auto opened = openPort(*where); !opened) return opened;
    squelch_ = -1;
    strength_ = -1;
    answering_ = true;
    silentTicks_ = 0;
    usable_ = true;
    if (auto reader = startReader(); !reader) {
        usable_ = false;
        port_->close();
        port_.reset();
        return reader;
    }
    running_ = true;
    powerOn();
    sendFrequency();
    setVolume(settings_.volume);
    setSquelch(settings_.squelch);
    const PcrSettings powerOnState;
    if (settings_.ifShift != powerOnState.ifShift) setIfShift(settings_.ifShift);
    if (settings_.attenuator) setAttenuator(true);
    if (settings_.agc) setAgc(true);
    if (settings_.noiseBlanker) setNoiseBlanker(true);
    return success();
}

PcrSettings PcrControl::stop() {
    if (!running_) return settings_;
    if (timer_) timer_->stop();
    send(kPowerOff);  // nothing once the link failed
    port_->flush();
    stopReader();  // before the close: the reader must never see a reused descriptor
    port_->close();
    port_.reset();
    usable_ = false;
    running_ = false;
    return settings_;
}

Result<void> PcrControl::openPort(const PcrPort& where) {
    port_ = makePort_();
    if (where.kind == PcrPort::Kind::Device) {
        auto opened = openDevice(where.device);
        if (opened) return opened;
        port_.reset();
        return Error(PcrStartError::NoPort,
                     "Serial port " + openFailure(where.device, opened.error()) + ".",
                     opened.error().systemError());
    }
    const bool one = where.kind == PcrPort::Kind::Number;
    const int first = one ? where.number : 1;
    const int last = one ? where.number : kPortCount;
    std::string tried;
    int lastCause = 0;
    for (int n = first; n <= last; ++n) {
        const std::string device = portDevice(n, systemSettings_);
        auto opened = openDevice(device);
        if (opened) return opened;
        lastCause = opened.error().systemError();
        // Three reasons tell the user enough; the rest would fill the box.
        if (n - first < 3) {
            tried += (tried.empty() ? "" : ", ") + openFailure(device, opened.error());
        } else if (n - first == 3) {
            tried += ", …";
        }
    }
    port_.reset();
    const std::string ports = one ? "Serial port COM" + std::to_string(first) + " does not open"
                                  : "No serial port of COM1…COM16 opens";
    return Error(PcrStartError::NoPort, ports + " (" + tried + ").", lastCause);
}

Result<void> PcrControl::openDevice(const std::string& device) {
    if (auto opened = port_->open(device); !opened) return opened;
    auto configured = port_->configure(kLine, Handshake::Hardware);
    if (!configured) {
        port_->close();
        return configured;
    }
    // RTS follows the handshake; DTR is held on. A port without modem lines
    // (a pseudo-terminal) refuses it, which is no reason to stop.
    (void)port_->setDtr(true);
    port_->discardInput();
    device_ = device;
    return success();
}

Result<void> PcrControl::startReader() {
    parser_.reset();
    reading_ = true;
    auto started = startReaderThread(reader_, [this] { readerLoop(); });
    if (started) return success();
    if (started.error().code == std::errc::timed_out)
        stopReader();  // the thread ends as soon as it runs
    else
        reading_ = false;
    return Error(PcrStartError::NoReader, started.error().message, started.error().systemError());
    return success();
}

void PcrControl::stopReader() {
    reading_ = false;
    if (reader_.joinable()) reader_.join();  // a read returns within kReadLimit
}

void PcrControl::readerLoop() {
    std::array<std::uint8_t, 64> chunk{};
    while (reading_ && usable_) {
        const auto got = port_->read(chunk, kReadLimit);
        if (!got) {
            fail(got.error());
            return;
        }
        for (std::size_t i = 0; i < *got; ++i) {
            if (const auto reply = parser_.push(chunk[i])) handle(*reply);
        }
    }
}

void PcrControl::handle(const PcrReply& reply) {
    stalled_ = false;
    {
        std::lock_guard lock(answerMutex_);
        silentTicks_ = 0;
        if (!answering_.exchange(true)) listener_.answeringChanged(true);
    }
    switch (reply.kind) {
        case PcrReply::Kind::Squelch: {
            const int closed = reply.squelchClosed ? 1 : 0;
            if (squelch_.exchange(closed) != closed) listener_.squelchChanged(reply.squelchClosed);
            break;
        }
        case PcrReply::Kind::Strength:
            if (strength_.exchange(reply.strength) != reply.strength) {
                listener_.strengthChanged(reply.strength);
            }
            break;
        case PcrReply::Kind::Other: break;
    }
}

void PcrControl::powerOn() {
    for (std::string_view command : kPowerOn) {
        sleep_(kPause);
        if (!send(command)) return;
    }
    if (timer_) timer_->start(kStatusPeriod, [this] { statusTick(); });
}

void PcrControl::statusTick() {
    if (!send(kStatusRequest)) return;
    std::lock_guard lock(answerMutex_);
    if (++silentTicks_ >= kSilentPeriods && answering_.exchange(false)) {
        listener_.answeringChanged(false);
    }
}

bool PcrControl::send(std::string_view text) {
    if (!usable_) return false;
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::lock_guard lock(writeMutex_);
    const auto written = port_->write(bytes, stalled_ ? kStalledWriteLimit : kWriteLimit);
    if (written) {
        stalled_ = false;
        return true;
    }
    // A receiver holding CTS off for a while is not gone: the command is
    // skipped, the receiver counts as silent and the next writes wait less.
    if (written.error().systemError() == ETIMEDOUT) {
        stalled_ = true;
        std::lock_guard answer(answerMutex_);
        if (answering_.exchange(false)) listener_.answeringChanged(false);
        return true;
    }
    fail(written.error());
    return false;
}

void PcrControl::fail(const Error& error) {
    if (!usable_.exchange(false)) return;
    const int code = error.systemError();
    listener_.linkFailed(code != 0 ? std::generic_category().message(code) : error.message);
}

bool PcrControl::sendFrequency() {
    const auto hz = static_cast<long long>(settings_.frequencyKhz * 1000.0 + 0.5);
    char command[32];
    std::snprintf(command, sizeof command, "K%011lld%02d%02d00", hz, settings_.mode,
                  settings_.filter);
    return send(command);
}

// ---- Operations ----

bool PcrControl::setFrequency(double khz) {
    if (!running_ || !usable_ || !pcrFrequencyValid(khz)) return false;
    settings_.frequencyKhz = khz;
    return sendFrequency();
}

bool PcrControl::setMode(int code) {
    if (!running_ || !usable_ || !pcrModeValid(code)) return false;
    settings_.mode = code;
    return sendFrequency();
}

bool PcrControl::setFilter(int code) {
    if (!running_ || !usable_ || code < 0 || code >= kFilterCodes) return false;
    settings_.filter = code;
    return sendFrequency();
}

bool PcrControl::setVolume(int knob) {
    if (!running_ || !usable_ || !knobValid(knob)) return false;
    settings_.volume = knob;
    return send(hexCommand("J40", knobToLevel(knob)));
}

bool PcrControl::setSquelch(int knob) {
    if (!running_ || !usable_ || !knobValid(knob)) return false;
    settings_.squelch = knob;
    return send(hexCommand("J41", knobToLevel(knob)));
}

bool PcrControl::setIfShift(int value) {
    if (!running_ || !usable_ || value < 0 || value > kIfShiftMax) return false;
    settings_.ifShift = value;
    return send(hexCommand("J43", value));
}

bool PcrControl::setSwitch(bool PcrSettings::*field, bool on, std::string_view onCommand,
                           std::string_view offCommand) {
    if (!running_ || !usable_) return false;
    settings_.*field = on;
    return send(on ? onCommand : offCommand);
}

bool PcrControl::setAttenuator(bool on) {
    return setSwitch(&PcrSettings::attenuator, on, "J4701", "J4700");
}

bool PcrControl::setAgc(bool on) { return setSwitch(&PcrSettings::agc, on, "J4501", "J4500"); }

bool PcrControl::setNoiseBlanker(bool on) {
    return setSwitch(&PcrSettings::noiseBlanker, on, "J4601", "J4600");
}

bool PcrControl::setStep(int hz) {
    if (!pcrStepValid(hz)) return false;
    settings_.stepHz = hz;
    return true;
}

std::optional<bool> PcrControl::squelchClosed() const {
    const int closed = squelch_;
    if (closed < 0) return std::nullopt;
    return closed == 1;
}

std::optional<int> PcrControl::strength() const {
    const int value = strength_;
    if (value < 0) return std::nullopt;
    return value;
}

}  // namespace zeb::rig
