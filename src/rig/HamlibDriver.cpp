#include "rig/HamlibDriver.h"

#include "rig/ModeNames.h"
#include "rig/ReceiverProfile.h"

#include <hamlib/rig.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace zeb::rig {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kModeBits = std::bit_width(ModeFlag::All);  // Lsb (1) up to Wfm (8192)

// Hamlib's STRENGTH is dB over S9: S0 (-54 dB) maps to 0, S9+60 dB to 255.
constexpr int kStrengthFloorDb = -54;
constexpr int kStrengthCeilingDb = 60;

// A rigctld answers once it has asked its own radio. Hamlib's network
// defaults (10 s, 5 retries) would leave a vanished server unnoticed for a
// minute, and the worker (and so closing the driver) waiting with it.
constexpr const char* kNetworkTimeoutMs = "3000";
constexpr const char* kNetworkRetries = "1";

// Hamlib's text for an error code: the last line of rigerror(), which puts
// Hamlib's recent debug messages before it.
std::string hamlibErrorText(int code) {
    std::string_view text = rigerror(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    if (const auto newline = text.rfind('\n'); newline != std::string_view::npos)
        text.remove_prefix(newline + 1);
    return std::string(text);
}

std::error_code hamlibErrorCode(int code) {
    static const ModuleErrorCategory category(
        "hamlib", [](int value) -> std::string { return hamlibErrorText(value); });
    return {std::abs(code), category};
}

Error openError(const HamlibSettings& settings, int code, const std::string& reason) {
    std::string text = "Hamlib model " + std::to_string(settings.model);
    if (!settings.port.empty()) text += " on " + settings.port;
    return Error(hamlibErrorCode(code), text + ": " + reason);
}

// Applies the port, the speed and, for a network model, shorter waits.
std::optional<Error> configure(RIG* rig, const HamlibSettings& settings) {
    std::vector<std::pair<const char*, std::string>> values;
    if (!settings.port.empty()) values.emplace_back("rig_pathname", settings.port);
    if (settings.speed > 0) values.emplace_back("serial_speed", std::to_string(settings.speed));
    if (rig->caps->port_type == RIG_PORT_NETWORK) {
        values.emplace_back("timeout", kNetworkTimeoutMs);
        values.emplace_back("retry", kNetworkRetries);
    }
    for (const auto& [name, value] : values) {
        const token_t token = rig_token_lookup(rig, name);
        const int rc =
            token == RIG_CONF_END ? -RIG_EINVAL : rig_set_conf(rig, token, value.c_str());
        if (rc != RIG_OK)
            return openError(settings, rc,
                             std::string("cannot set ") + name + ": " + hamlibErrorText(rc));
    }
    return std::nullopt;
}

// Hamlib's mode for each ModeFlag bit (by bit index), RIG_MODE_NONE where
// Hamlib has no name for it.
using HamlibModes = std::array<rmode_t, kModeBits>;

HamlibModes hamlibModes() {
    HamlibModes modes{};
    for (int i = 0; i < kModeBits; ++i) {
        const std::string name(hamlibModeName(1u << i));
        modes[i] = name.empty() ? RIG_MODE_NONE : rig_parse_mode(name.c_str());
    }
    return modes;
}

// Read from the open rig's state: for a rigctld, what the server reported.
HamlibDriver::Capabilities readCapabilities(RIG* rig, const HamlibModes& modes) {
    HamlibDriver::Capabilities caps;
    const auto text = [](const char* s) { return std::string(s ? s : ""); };
    caps.name = "Hamlib: " + text(rig->caps->mfg_name) + " " + text(rig->caps->model_name);
    const rig_state& state = rig->state;
    rmode_t offered = state.mode_list;
    for (const freq_range_t& range : state.rx_range_list) {
        if (RIG_IS_FRNG_END(range)) break;
        offered |= range.modes;
        caps.rxRangeHz.emplace_back(range.startf, range.endf);
    }
    for (int i = 0; i < kModeBits; ++i)
        if (modes[i] & offered) caps.features |= 1u << i;
    if (rig_has_set_level(rig, RIG_LEVEL_AF)) caps.features |= Feature::Volume;
    if (rig_has_set_level(rig, RIG_LEVEL_SQL)) caps.features |= Feature::Squelch;
    if (rig_has_set_level(rig, RIG_LEVEL_ATT) && state.attenuator[0] != 0)
        caps.features |= Feature::Attenuator;
    caps.canPower = rig->caps->set_powerstat != nullptr;
    return caps;
}

// Hamlib derives STRENGTH from RAWSTR where the model has a calibration
// table; an uncalibrated raw reading has no common scale and is not used.
bool readsStrength(RIG* rig) {
    return rig_has_get_level(rig, RIG_LEVEL_STRENGTH) ||
           (rig_has_get_level(rig, RIG_LEVEL_RAWSTR) && rig->state.str_cal.size > 0);
}

int strengthLevel(int dbOverS9) {
    const double scaled = (dbOverS9 - kStrengthFloorDb) * 255.0 /
                          static_cast<double>(kStrengthCeilingDb - kStrengthFloorDb);
    return static_cast<int>(std::lround(std::clamp(scaled, 0.0, 255.0)));
}

// The settings waiting for the worker: only the newest value of each kind
// counts, so a turning tuning knob costs one frequency write per round.
struct Commands {
    std::optional<bool> power;
    std::optional<double> frequencyHz;
    unsigned mode = 0;  // a ModeFlag bit, 0 for none
    std::optional<float> volume;
    std::optional<float> squelch;
    std::optional<bool> attenuator;

    bool any() const { return power || frequencyHz || mode || volume || squelch || attenuator; }
};

}  // namespace

struct HamlibDriver::Session {
    Session(RIG* r, std::chrono::milliseconds pollInterval)
        : rig(r), interval(pollInterval), eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Session();

    void start() {
        worker = std::thread([this] { run(); });
    }

    // Caller's side: hands a setting to the worker.
    template <class Change>
    void queue(Change change) {
        {
            std::lock_guard lock(mutex);
            change(pending);
            ++commandCount;
        }
        wake.notify_one();
    }
    std::optional<RigReport> take();

    // Worker's side.
    void run();
    bool hasPending();
    void execute(const Commands& commands);
    void setRadioMode(unsigned flag);
    void setLevel(setting_t level, float value);
    std::optional<RigReport> read();
    unsigned readMode(rmode_t mode, pbwidth_t width);
    bool publish(const RigReport& report);

    RIG* rig;
    const HamlibModes modes = hamlibModes();
    std::uint32_t features = 0;
    bool strength = false;
    int attenuatorDb = 0;
    const std::chrono::milliseconds interval;
    const int eventFd;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    Commands pending;
    std::uint64_t commandCount = 0;    // settings queued so far
    std::optional<RigReport> report;   // the newest report not taken yet
    std::uint64_t reportCommands = 0;  // commandCount when it was read
    std::thread worker;

    // Worker only: the last report published, and the mode this driver last
    // set with the passband the radio showed for it.
    RigReport published;
    unsigned modeSet = 0;
    std::optional<pbwidth_t> modeSetWidth;
};

HamlibDriver::Session::~Session() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    if (worker.joinable()) worker.join();
    rig_close(rig);
    rig_cleanup(rig);
    if (eventFd >= 0) ::close(eventFd);
}

void HamlibDriver::Session::run() {
    auto nextRead = Clock::now();
    bool mustPublish = true;  // the first reading is always reported
    for (;;) {
        Commands commands;
        {
            std::unique_lock lock(mutex);
            wake.wait_until(lock, nextRead, [this] { return stopping || pending.any(); });
            if (stopping) return;
            commands = std::exchange(pending, Commands{});
        }
        if (commands.any()) {
            execute(commands);
            // The report that follows confirms or corrects what the caller
            // assumed; newer settings go out before the radio is read.
            mustPublish = true;
            if (hasPending()) continue;
        }
        const std::optional<RigReport> now = read();
        nextRead = Clock::now() + interval;
        if (now && (mustPublish || !(*now == published)) && publish(*now)) {
            published = *now;
            mustPublish = false;
        }
    }
}

bool HamlibDriver::Session::hasPending() {
    std::lock_guard lock(mutex);
    return pending.any();
}

void HamlibDriver::Session::execute(const Commands& commands) {
    // Failures are not reported here: the next reading shows what the radio did.
    if (commands.power) rig_set_powerstat(rig, *commands.power ? RIG_POWER_ON : RIG_POWER_OFF);
    if (commands.frequencyHz) rig_set_freq(rig, RIG_VFO_CURR, *commands.frequencyHz);
    if (commands.mode) setRadioMode(commands.mode);
    if (commands.volume) setLevel(RIG_LEVEL_AF, *commands.volume);
    if (commands.squelch) setLevel(RIG_LEVEL_SQL, *commands.squelch);
    if (commands.attenuator) {
        value_t value{};
        value.i = *commands.attenuator ? attenuatorDb : 0;
        rig_set_level(rig, RIG_VFO_CURR, RIG_LEVEL_ATT, value);
    }
}

void HamlibDriver::Session::setRadioMode(unsigned flag) {
    const rmode_t mode = modes[std::countr_zero(flag)];
    // Some backends (the dummy rig among them) keep the previous passband when
    // told RIG_PASSBAND_NORMAL, so the model's normal one is asked for by value.
    pbwidth_t width = hamlibPassband(flag);
    if (width == RIG_PASSBAND_NORMAL) width = rig_passband_normal(rig, mode);
    if (rig_set_mode(rig, RIG_VFO_CURR, mode, width) == RIG_OK) {
        modeSet = flag;
        modeSetWidth.reset();
    }
}

void HamlibDriver::Session::setLevel(setting_t level, float value) {
    value_t v{};
    v.f = value;
    rig_set_level(rig, RIG_VFO_CURR, level, v);
}

std::optional<RigReport> HamlibDriver::Session::read() {
    freq_t hz = 0;
    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    if (rig_get_freq(rig, RIG_VFO_CURR, &hz) != RIG_OK ||
        rig_get_mode(rig, RIG_VFO_CURR, &mode, &width) != RIG_OK)
        return std::nullopt;
    RigReport now;
    now.frequencyKhz = hz / 1000.0;
    now.mode = readMode(mode, width);
    value_t level{};
    if (strength && rig_get_level(rig, RIG_VFO_CURR, RIG_LEVEL_STRENGTH, &level) == RIG_OK)
        now.strength = strengthLevel(level.i);
    return now;
}

// The passband cannot tell CW from CW narrow where the model's normal CW
// filter is 500 Hz wide (AM likewise at 6 kHz), so while the radio still shows
// the mode and passband it took when this driver set a mode, that mode stands.
unsigned HamlibDriver::Session::readMode(rmode_t mode, pbwidth_t width) {
    const std::string_view name = rig_strrmode(mode);
    if (modeSet != 0 && name == hamlibModeName(modeSet)) {
        if (!modeSetWidth) modeSetWidth = width;
        if (*modeSetWidth == width) return modeSet;
    }
    modeSet = 0;
    return modeFlagFromHamlib(name, static_cast<int>(width), features);
}

bool HamlibDriver::Session::publish(const RigReport& now) {
    {
        std::lock_guard lock(mutex);
        if (pending.any()) return false;  // read before those settings went out
        report = now;
        reportCommands = commandCount;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
    return true;
}

std::optional<RigReport> HamlibDriver::Session::take() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(eventFd, &count, sizeof count);
    std::lock_guard lock(mutex);
    std::optional<RigReport> taken = std::exchange(report, std::nullopt);
    // A report read before the newest setting would undo it for a moment;
    // the worker reports again once that setting has gone out.
    if (reportCommands != commandCount) return std::nullopt;
    return taken;
}

Result<std::unique_ptr<HamlibDriver>> HamlibDriver::open(const HamlibSettings& settings) {
    rig_set_debug(RIG_DEBUG_NONE);
    RIG* rig = rig_init(settings.model);
    if (rig == nullptr) return openError(settings, -RIG_EINVAL, "unknown model");
    if (std::optional<Error> error = configure(rig, settings)) {
        rig_cleanup(rig);
        return *error;
    }
    if (const int rc = rig_open(rig); rc != RIG_OK) {
        rig_cleanup(rig);
        return openError(settings, rc, hamlibErrorText(rc));
    }
    auto session = std::make_unique<Session>(rig, settings.pollInterval);
    if (session->eventFd < 0) return Error(errno, "Cannot create the report descriptor");
    Capabilities caps = readCapabilities(rig, session->modes);
    session->features = caps.features;
    session->strength = readsStrength(rig);
    session->attenuatorDb = rig->state.attenuator[0];
    session->start();
    return std::unique_ptr<HamlibDriver>(new HamlibDriver(std::move(session), std::move(caps)));
}

HamlibDriver::HamlibDriver(std::unique_ptr<Session> session, Capabilities caps)
    : session_(std::move(session)), caps_(std::move(caps)) {}

HamlibDriver::~HamlibDriver() = default;

std::uint8_t HamlibDriver::steps() const {
    return Step::Hz1 | Step::Hz10 | Step::Hz50 | Step::Hz100 | Step::KHz1 | Step::KHz10 |
           Step::KHz100 | Step::MHz1;
}

bool HamlibDriver::power(bool on) {
    if (!caps_.canPower) return false;
    session_->queue([on](Commands& c) { c.power = on; });
    return true;
}

bool HamlibDriver::setFrequency(double khz) {
    const double hz = khz * 1000.0;
    if (!(hz > 0.0) || !std::isfinite(hz)) return false;
    const auto covers = [hz](const auto& range) { return range.first <= hz && hz <= range.second; };
    if (!caps_.rxRangeHz.empty() &&
        std::none_of(caps_.rxRangeHz.begin(), caps_.rxRangeHz.end(), covers))
        return false;
    session_->queue([hz](Commands& c) { c.frequencyHz = hz; });
    frequencyKhz_ = khz;
    return true;
}

bool HamlibDriver::setMode(unsigned mode) {
    if (!std::has_single_bit(mode) || (mode & caps_.features & ModeFlag::All) == 0) return false;
    session_->queue([mode](Commands& c) { c.mode = mode; });
    mode_ = mode;
    return true;
}

bool HamlibDriver::setAttenuator(bool on) {
    if ((caps_.features & Feature::Attenuator) == 0) return false;
    session_->queue([on](Commands& c) { c.attenuator = on; });
    return true;
}

bool HamlibDriver::setVolume(int level) {
    if ((caps_.features & Feature::Volume) == 0) return false;
    const float value = static_cast<float>(std::clamp(level, 0, 255)) / 255.0f;
    session_->queue([value](Commands& c) { c.volume = value; });
    return true;
}

bool HamlibDriver::setSquelch(int level) {
    if ((caps_.features & Feature::Squelch) == 0) return false;
    const float value = static_cast<float>(std::clamp(level, 0, 255)) / 255.0f;
    session_->queue([value](Commands& c) { c.squelch = value; });
    return true;
}

int HamlibDriver::reportFd() const { return session_->eventFd; }

std::optional<RigReport> HamlibDriver::takeReport() {
    std::optional<RigReport> taken = session_->take();
    if (taken) {
        frequencyKhz_ = taken->frequencyKhz;
        mode_ = taken->mode;
    }
    return taken;
}

}  // namespace zeb::rig
