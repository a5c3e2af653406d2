#include "PcrReceiver.h"

#include "rig/TermiosPort.h"

namespace zeb::nimba {
namespace {

ProfileFile systemSettings(const std::filesystem::path& workDir) {
    ProfileFile zebsys;
    zebsys.buildPath(workDir.string(), "ZEBSYS.INI");
    return zebsys;
}

rig::PcrControl::PortFactory orTermios(rig::PcrControl::PortFactory makePort) {
    if (makePort) return makePort;
    return [] { return std::make_unique<rig::TermiosPort>(); };
}

}  // namespace

PcrReceiver::PcrReceiver(ProfileFile& settings, const std::filesystem::path& workDir,
                         rig::PcrControl::PortFactory makePort)
    : settings_(settings),
      system_(systemSettings(workDir)),
      control_(orTermios(std::move(makePort)), system_, *this, &timer_) {}

PcrReceiver::~PcrReceiver() { (void)control_.stop(); }

bool PcrReceiver::start() {
    std::vector<std::string> problems;
    const rig::PcrSettings settings = rig::readPcrSettings(settings_, &problems);
    auto started = control_.start(settings);
    if (started) {
        why_.clear();
        return true;
    }
    if (started.error().code == rig::PcrStartError::Off) {
        // Switched off in the settings: the program runs without a receiver.
        why_ = "The built-in IC-PCR1000 control is off (PORT=" + settings.port +
               " in [IPCRPARAM] of NIMBA.INI).";
        for (const std::string& problem : problems) why_ += "\n" + problem;
        return true;
    }
    why_ = started.error().message +
           "\nWithout an IC-PCR1000, set PORT=none in [IPCRPARAM] of NIMBA.INI.";
    return false;
}

void PcrReceiver::stop() {
    const bool wasRunning = control_.isRunning();
    const rig::PcrSettings settings = control_.stop();
    if (wasRunning) (void)rig::writePcrSettings(settings_, settings);
}

bool PcrReceiver::squelchClosed() const { return control_.squelchClosed().value_or(false); }

bool PcrReceiver::tune(double kHz) { return control_.setFrequency(kHz); }

bool PcrReceiver::selectMode(int code) { return control_.setMode(code); }

void PcrReceiver::squelchChanged(bool closed) { emit squelchChangedSignal(closed); }

void PcrReceiver::strengthChanged(int strength) { emit strengthChangedSignal(strength); }

void PcrReceiver::answeringChanged(bool answering) { emit answeringChangedSignal(answering); }

void PcrReceiver::linkFailed(const std::string& text) { emit failed(QString::fromStdString(text)); }

std::unique_ptr<ReceiverControl> makeReceiverControl(ProfileFile& settings,
                                                     const std::filesystem::path& workDir) {
    return std::make_unique<PcrReceiver>(settings, workDir);
}

}  // namespace zeb::nimba
