// zebrig: sends receiver commands from the command line, in the manner of
// Hamlib's rigctl.
//
//   zebrig --model N [--port COMn | --device PATH | --dry-run] CMD...
//   zebrig models
//
// Commands: freq KHZ, mode NAME, filter LABELVALUE, volume N, squelch N,
// att on|off, power on|off. Exactly the commands given are sent, in order;
// the current mode starts as USB. --dry-run prints every write as one line of
// hex bytes and every pause as "# wait N ms". Errors are one line on stderr
// and exit status 2.
#include "common/Format.h"
#include "common/ProfileFile.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "rig/Receiver.h"
#include "rig/SerialLink.h"
#include "rig/TermiosPort.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace zeb::rig;

struct Command {
    std::string name;
    std::string argument;
};

struct Failure {
    std::string text;
};

constexpr const char* kHelp =
    "Usage: zebrig --model N [--port COMn | --device PATH | --dry-run] CMD...\n"
    "  or:  zebrig models\n"
    "\n"
    "Sends the commands CMD to a receiver of model N, exactly those and in the\n"
    "order given; the receiver's mode counts as USB until a mode command.\n"
    "\n"
    "options:\n"
    "  --model N      the receiver model (zebrig models lists them)\n"
    "  --port COMn    serial port n (1 to 16): the device that COMn of section\n"
    "                 [PORTS] in ZEBSYS.INI of the suite's working directory\n"
    "                 (the current directory when it holds settings or DATA,\n"
    "                 else $ZEB_HOME, else ~/.local/share/zeb) names, else\n"
    "                 /dev/ttyS0 for COM1, /dev/ttyS1 for COM2, ...\n"
    "  --device PATH  the serial device, e.g. /dev/ttyUSB0\n"
    "  --dry-run      send nothing: print every write as a line of hex bytes and\n"
    "                 every pause as \"# wait N ms\"\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "\n"
    "commands:\n"
    "  freq KHZ           tune to KHZ kHz\n"
    "  mode NAME          LSB, USB, CWN, CW, RTTY, AMN, AM, FM, WFM, M32, M256,\n"
    "                     M512, M1024 or M2048\n"
    "  filter LABELVALUE  the filter whose label carries this number (see\n"
    "                     zebrig models)\n"
    "  volume N           volume 0 to 255\n"
    "  squelch N          squelch 0 to 255\n"
    "  att on|off         attenuator\n"
    "  power on|off       receiver power\n"
    "  models             list every model: number, name, serial settings, filters\n"
    "\n"
    "Errors are one line on standard error and exit status 2.\n";

const std::pair<std::string_view, unsigned> kModes[] = {
    {"LSB", ModeFlag::Lsb},        {"USB", ModeFlag::Usb},        {"CWN", ModeFlag::CwNarrow},
    {"CW", ModeFlag::Cw},          {"RTTY", ModeFlag::Rtty},      {"AMN", ModeFlag::AmNarrow},
    {"AM", ModeFlag::Am},          {"FM", ModeFlag::Fm},          {"WFM", ModeFlag::Wfm},
    {"M32", ModeFlag::Mode32},     {"M256", ModeFlag::Mode256},   {"M512", ModeFlag::Mode512},
    {"M1024", ModeFlag::Mode1024}, {"M2048", ModeFlag::Mode2048},
};

std::optional<long long> parseInteger(std::string_view text) {
    long long value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> parseKhz(std::string_view text) {
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<bool> parseOnOff(std::string_view text) {
    if (text == "on") return true;
    if (text == "off") return false;
    return std::nullopt;
}

class DryRunSink final : public CommandSink {
public:
    bool send(std::span<const std::uint8_t> bytes) override {
        std::string line;
        char cell[4];
        for (std::uint8_t b : bytes) {
            std::snprintf(cell, sizeof cell, "%02X", b);
            if (!line.empty()) line += ' ';
            line += cell;
        }
        std::cout << line << '\n';
        return true;
    }
    void wait(std::chrono::milliseconds duration) override {
        std::cout << "# wait " << duration.count() << " ms\n";
    }
};

class StderrReporter final : public LinkReporter {
public:
    void showWarning(const std::string& text) override { std::cerr << "zebrig: " << text << '\n'; }
    void requestQuit() override {}
};

void printModels() {
    for (const ReceiverProfile& p : receiverProfiles()) {
        static constexpr char kParity[] = {'N', 'O', 'E'};
        std::cout << p.model << '\t' << p.name << '\t' << p.line.baud << ' '
                  << static_cast<int>(p.line.dataBits) << ' ' << kParity[p.line.parity % 3] << ' '
                  << (p.line.stopBits == 0 ? "1" : (p.line.stopBits == 1 ? "1.5" : "2"));
        if (p.handshake == Handshake::Hardware) std::cout << " hardware handshake";
        if (!p.filterLabels.empty()) {
            std::cout << "\tfilters:";
            for (std::string_view label : p.filterLabels) std::cout << " \"" << label << '"';
        }
        std::cout << '\n';
    }
}

// Checks one command's argument before anything is sent.
void checkSyntax(const Command& c) {
    if (c.name == "freq") {
        if (!parseKhz(c.argument)) throw Failure{"invalid frequency \"" + c.argument + "\""};
    } else if (c.name == "mode") {
        for (const auto& [name, flag] : kModes) {
            if (name == c.argument) return;
        }
        throw Failure{"unknown mode \"" + c.argument + "\""};
    } else if (c.name == "filter") {
        const auto v = parseInteger(c.argument);
        if (!v || *v < 0 || *v > 100000) throw Failure{"invalid filter \"" + c.argument + "\""};
    } else if (c.name == "volume" || c.name == "squelch") {
        const auto v = parseInteger(c.argument);
        if (!v || *v < 0 || *v > 255) {
            throw Failure{"invalid " + c.name + " level \"" + c.argument + "\" (0 to 255)"};
        }
    } else if (c.name == "att" || c.name == "power") {
        if (!parseOnOff(c.argument)) throw Failure{c.name + " takes on or off"};
    } else {
        throw Failure{"unknown command \"" + c.name + "\""};
    }
}

void execute(Receiver& r, const Command& c) {
    const std::string model = std::to_string(r.profile().model);
    auto unsupported = [&] { return Failure{"model " + model + " has no " + c.name + " command"}; };
    if (c.name == "freq") {
        if (r.profile().ops.set_frequency == nullptr) throw unsupported();
        const double khz = *parseKhz(c.argument);
        if (!r.profile().tunes(khz)) {
            const auto& p = r.profile();
            std::string range = zeb::formatPrintf("%.0f", {p.lowKhz}) + " to " +
                                zeb::formatPrintf("%.0f", {p.highKhz}) + " kHz";
            if (p.gapBelowKhz > p.gapAboveKhz)
                range +=
                    zeb::formatPrintf(", not %.0f to %.0f kHz", {p.gapAboveKhz, p.gapBelowKhz});
            throw Failure{"frequency " + c.argument + " kHz is out of range for model " + model +
                          " (" + range + ")"};
        }
        if (!r.setFrequency(khz))
            throw Failure{"the receiver did not take the frequency " + c.argument + " kHz"};
    } else if (c.name == "mode") {
        unsigned flag = 0;
        for (const auto& [name, f] : kModes) {
            if (name == c.argument) flag = f;
        }
        if (!r.setMode(flag)) {
            throw Failure{"model " + model + " does not support mode " + c.argument};
        }
    } else if (c.name == "filter") {
        if (!r.setFilter(static_cast<int>(*parseInteger(c.argument)))) throw unsupported();
    } else if (c.name == "volume") {
        if (!r.setVolume(static_cast<int>(*parseInteger(c.argument)))) throw unsupported();
    } else if (c.name == "squelch") {
        if (!r.setSquelch(static_cast<int>(*parseInteger(c.argument)))) throw unsupported();
    } else if (c.name == "att") {
        if (!r.setAttenuator(*parseOnOff(c.argument))) throw unsupported();
    } else if (c.name == "power") {
        if (!r.power(*parseOnOff(c.argument))) throw unsupported();
    }
}

int run(int argc, char** argv) {
    std::optional<int> model;
    std::optional<int> port;
    std::string device;
    bool dryRun = false;
    std::vector<Command> commands;
    bool listModels = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Failure{std::string(arg) + " needs a value"};
            return argv[++i];
        };
        if (arg == "--model") {
            const std::string text = value();
            const auto n = parseInteger(text);
            if (!n || *n < 0 || *n > 1000) throw Failure{"invalid model \"" + text + "\""};
            model = static_cast<int>(*n);
        } else if (arg == "--port") {
            const std::string text = value();
            const auto n = text.size() > 3 && text.compare(0, 3, "COM") == 0
                               ? parseInteger(std::string_view(text).substr(3))
                               : std::nullopt;
            if (!n || *n < 1 || *n > 16)
                throw Failure{"invalid port \"" + text + "\" (COM1 to COM16)"};
            port = static_cast<int>(*n);
        } else if (arg == "--device") {
            device = value();
        } else if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "models") {
            listModels = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kHelp;
            return 0;
        } else if (arg == "-V" || arg == "--version") {
            std::cout << zeb::versionLine("zebrig") << '\n';
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            throw Failure{"unknown option \"" + std::string(arg) + "\""};
        } else {
            commands.push_back(Command{std::string(arg), value()});
        }
    }
    if (listModels) {
        printModels();
        if (commands.empty()) return 0;
    }
    if (!model) throw Failure{"--model is required"};
    const ReceiverProfile& profile = receiverProfile(*model);
    if (profile.model != *model || *model == 0) {
        throw Failure{"unknown model " + std::to_string(*model)};
    }
    const int targets = (port ? 1 : 0) + (device.empty() ? 0 : 1) + (dryRun ? 1 : 0);
    if (targets != 1) throw Failure{"give exactly one of --port, --device and --dry-run"};
    for (const Command& c : commands) checkSyntax(c);

    const RigState state = Receiver::initialState(profile);
    if (dryRun) {
        DryRunSink sink;
        Receiver receiver(profile, sink, state);
        for (const Command& c : commands) execute(receiver, c);
        return 0;
    }
    StderrReporter reporter;
    SerialLink link(std::make_unique<TermiosPort>(), reporter);
    link.setReceiverSettings(profile.line, profile.handshake, profile.writeStyle);
    zeb::ProfileFile system;
    if (port) {
        auto workDir = zeb::suiteWorkDir(std::nullopt);
        if (!workDir) throw Failure{workDir.error().message};
        system.buildPath(workDir->string(), "ZEBSYS.INI");
    }
    const bool opened = port ? link.open_port(*port, system) : link.open_device(device);
    if (!opened) {
        const std::string target = port ? portDevice(*port, system) : device;
        const std::string why = link.open_error();
        throw Failure{"cannot open " + target + (why.empty() ? "" : " (" + why + ")")};
    }
    LinkCommandSink sink(link);
    Receiver receiver(profile, sink, state);
    for (const Command& c : commands) {
        execute(receiver, c);
        if (!link.usable()) throw Failure{"the link to the receiver failed"};
    }
    link.close_port(nullptr);  // sends nothing that was not asked for
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::cerr << "zebrig: " << f.text << '\n';
        return 2;
    }
}
