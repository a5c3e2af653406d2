// The rigctld protocol of one client: line assembly, the command table and
// the two answer forms (plain, extended).
#include "rig/ModeNames.h"
#include "rig/ReceiverProfile.h"
#include "rig/RigctlServer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <system_error>
#include <vector>

namespace zeb::rig {

namespace {

// Hamlib's return codes, as the protocol sends them.
constexpr int kOk = 0;
constexpr int kInvalid = -1;        // a malformed argument, an unknown command or name
constexpr int kRejected = -9;       // the radio refused the value
constexpr int kNotAvailable = -11;  // the radio has no such function

// Hamlib's mode bits of the modes the receivers have, for \dump_state.
struct HamlibModeBit {
    unsigned modeFlags;
    std::uint64_t bit;
};
constexpr std::array<HamlibModeBit, 7> kModeBits = {{
    {ModeFlag::Am | ModeFlag::AmNarrow, 1u << 0},
    {ModeFlag::Cw | ModeFlag::CwNarrow, 1u << 1},
    {ModeFlag::Usb, 1u << 2},
    {ModeFlag::Lsb, 1u << 3},
    {ModeFlag::Rtty, 1u << 4},
    {ModeFlag::Fm, 1u << 5},
    {ModeFlag::Wfm, 1u << 6},
}};
constexpr std::uint64_t kLevelStrength = std::uint64_t{1} << 30;
constexpr std::uint64_t kVfoA = 1;
constexpr std::uint64_t kAntenna1 = 1;
constexpr std::string_view kVfoName = "VFOA";
constexpr std::string_view kStrength = "STRENGTH";

// Names of the one VFO the receivers have, and of the VFOs they lack.
constexpr std::array<std::string_view, 6> kOwnVfo = {"VFOA", "currVFO", "VFO",
                                                     "Main", "MainA",   "RX"};
constexpr std::array<std::string_view, 10> kOtherVfos = {"VFOB",  "VFOC",  "MEM",  "Sub",  "TX",
                                                         "MainB", "MainC", "SubA", "SubB", "SubC"};

int vfoCode(std::string_view name) {
    for (const auto vfo : kOwnVfo)
        if (name == vfo) return kOk;
    for (const auto vfo : kOtherVfos)
        if (name == vfo) return kNotAvailable;
    return kInvalid;
}

// A whole token as a number, in the C locale's notation.
template <class T>
std::optional<T> parseNumber(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

void appendFixed(std::string& out, double value) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, r.ptr);
}

void appendHex(std::string& out, std::uint64_t value) {
    char buffer[20];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    out += "0x";
    out.append(buffer, r.ptr);
}

void appendReport(std::string& out, int code) {
    out += "RPRT ";
    out += std::to_string(code);
    out += '\n';
}

// What a command did: Hamlib's code, the values it reports under their keys
// and lines sent as they are (\dump_state, the "?" lists).
struct Record {
    std::string_view key;
    std::string value;
};
struct Outcome {
    int code = kOk;
    std::vector<Record> records;
    std::string block;
};

Outcome result(int code) { return Outcome{code, {}, {}}; }
Outcome listing(std::string_view line) { return Outcome{kOk, {}, std::string(line) + '\n'}; }
Outcome report(std::vector<Record> records) { return Outcome{kOk, std::move(records), {}}; }

struct Call {
    RigctlTarget& target;
    bool& vfoMode;
    std::span<const std::string_view> args;
};
using Run = Outcome (*)(Call&);

namespace Flag {
constexpr unsigned NoVfo = 1;    // takes no VFO argument in VFO mode
constexpr unsigned Reports = 2;  // answers with values, without "RPRT 0"
constexpr unsigned Bare = 4;     // the extended answer has no echo and no RPRT
constexpr unsigned Lists = 8;    // "?" as the first argument asks for a list, alone
}  // namespace Flag

struct Command {
    unsigned char code;  // the letter, or the byte Hamlib gives a long name
    std::string_view name;
    unsigned args;
    unsigned flags;
    Run run;
};

std::uint64_t hamlibModes(std::uint32_t features) {
    std::uint64_t modes = 0;
    for (const auto& entry : kModeBits)
        if (features & entry.modeFlags) modes |= entry.bit;
    return modes;
}

// The Hamlib names of the radio's modes, blank separated.
std::string modeList(std::uint32_t features) {
    std::string names;
    for (const auto& entry : kModeBits) {
        const unsigned offered = features & entry.modeFlags;
        if (offered == 0) continue;
        if (!names.empty()) names += ' ';
        names += hamlibModeName(offered & (~offered + 1));  // its lowest bit
    }
    return names;
}

double rangeEnd(double hz) { return std::isfinite(hz) && hz > 0 ? hz : 0.0; }

// What Hamlib's client reads when it connects, protocol 0.
std::string dumpState(const RigctlTarget& target) {
    const std::uint64_t modes = hamlibModes(target.features());
    std::string out = "0\n2\n0\n";  // protocol, model number (a network radio), ITU region
    // The receive range: start, end, modes, no transmit power, VFOs, antennas.
    appendFixed(out, rangeEnd(target.lowHz()));
    out += ' ';
    appendFixed(out, rangeEnd(target.highHz()));
    out += ' ';
    appendHex(out, modes);
    out += " -1 -1 ";
    appendHex(out, kVfoA);
    out += ' ';
    appendHex(out, kAntenna1);
    out += "\n0 0 0 0 0 0 0\n";  // end of the receive ranges
    out += "0 0 0 0 0 0 0\n";    // no transmit range
    appendHex(out, modes);
    out += " 1\n0 0\n";       // tuning steps: 1 Hz in every mode
    out += "0 0\n";           // no filter list: every mode's normal passband is 0
    out += "0\n0\n0\n0\n";    // largest RIT, XIT and IF shift; announcements
    out += "\n\n0x0\n0x0\n";  // preamplifiers, attenuators; functions to get, to set
    appendHex(out, kLevelStrength);
    out += "\n0x0\n0x0\n0x0\n";  // levels to get, to set; parameters to get, to set
    return out;
}

std::optional<std::string> frequencyText(const RigctlTarget& target) {
    const double hz = target.frequencyHz();
    if (!std::isfinite(hz) || hz < 0 || hz > 1e15) return std::nullopt;
    return std::to_string(std::llround(hz));
}

// The mode flag a set_mode asks for. A passband of -1 ("no change") keeps
// the current filter when the mode stays the same (CW narrow stays narrow).
unsigned requestedMode(std::string_view name, int passband, const RigctlTarget& target) {
    const std::uint32_t features = target.features();
    if (passband >= 0) return modeFlagFromHamlib(name, passband, features);
    const unsigned plain = modeFlagFromHamlib(name, 0, features);
    const unsigned current = target.mode();
    if (plain != 0 && hamlibModeName(plain) == hamlibModeName(current)) return current;
    return plain;
}

Outcome setFrequency(Call& c) {
    const auto hz = parseNumber<double>(c.args[0]);
    if (!hz || !std::isfinite(*hz) || *hz < 0) return result(kInvalid);
    return result(c.target.setFrequencyHz(*hz) ? kOk : kRejected);
}

Outcome getFrequency(Call& c) {
    auto text = frequencyText(c.target);
    if (!text) return result(kNotAvailable);
    return report({{"Frequency", std::move(*text)}});
}

Outcome setMode(Call& c) {
    if (c.args[0] == "?") return listing(modeList(c.target.features()));
    const auto passband = parseNumber<int>(c.args[1]);
    if (!passband) return result(kInvalid);
    const unsigned mode = requestedMode(c.args[0], *passband, c.target);
    if (mode == 0) return result(kInvalid);
    return result(c.target.setMode(mode) ? kOk : kRejected);
}

// A mode Hamlib has no name for (an HF-150 key) goes out as the empty name,
// Hamlib's "no mode".
Outcome getMode(Call& c) {
    const unsigned mode = c.target.mode();
    return report({{"Mode", std::string(hamlibModeName(mode))},
                   {"Passband", std::to_string(hamlibPassband(mode))}});
}

Outcome setVfo(Call& c) {
    return c.args[0] == "?" ? listing(kVfoName) : result(vfoCode(c.args[0]));
}
Outcome getVfo(Call&) { return report({{"VFO", std::string(kVfoName)}}); }
Outcome getPtt(Call&) { return report({{"PTT", "0"}}); }
Outcome getDcd(Call&) { return report({{"DCD", "0"}}); }
Outcome getSplitVfo(Call&) { return report({{"Split", "0"}, {"TX VFO", std::string(kVfoName)}}); }
Outcome getPowerStat(Call&) { return report({{"Power Status", "1"}}); }
Outcome getLockMode(Call&) { return report({{"Locked", "0"}}); }
Outcome notAvailable(Call&) { return result(kNotAvailable); }

// A switch the receiver has in one position only: `fixed` is accepted, any
// other number is not available.
Outcome fixedSwitch(std::string_view arg, int fixed) {
    const auto value = parseNumber<int>(arg);
    if (!value) return result(kInvalid);
    return result(*value == fixed ? kOk : kNotAvailable);
}

Outcome setPtt(Call& c) { return fixedSwitch(c.args[0], 0); }
Outcome setPowerStat(Call& c) { return fixedSwitch(c.args[0], 1); }
Outcome setLockMode(Call& c) { return fixedSwitch(c.args[0], 0); }

// Split off is accepted whatever transmit VFO comes with it.
Outcome setSplitVfo(Call& c) { return fixedSwitch(c.args[0], 0); }

Outcome getLevel(Call& c) {
    if (c.args[0] == "?") return listing(kStrength);
    if (c.args[0] != kStrength) return result(kNotAvailable);
    const auto strength = c.target.strengthDb();
    if (!strength) return result(kNotAvailable);
    return report({{"Level Value", std::to_string(*strength)}});
}

Outcome checkVfo(Call& c) { return report({{"ChkVFO", c.vfoMode ? "1" : "0"}}); }
Outcome dumpStateCommand(Call& c) { return Outcome{kOk, {}, dumpState(c.target)}; }

Outcome setVfoOption(Call& c) {
    const auto value = parseNumber<int>(c.args[0]);
    if (!value || (*value != 0 && *value != 1)) return result(kInvalid);
    c.vfoMode = *value == 1;
    return result(kOk);
}

Outcome clientVersion(Call& c) { return report({{"Version", std::string(c.args[0])}}); }

Outcome getVfoInfo(Call& c) {
    if (const int code = vfoCode(c.args[0]); code != kOk) return result(code);
    auto frequency = frequencyText(c.target);
    if (!frequency) return result(kNotAvailable);
    const unsigned mode = c.target.mode();
    return report({{"Freq", std::move(*frequency)},
                   {"Mode", std::string(hamlibModeName(mode))},
                   {"Width", std::to_string(hamlibPassband(mode))},
                   {"Split", "0"},
                   {"SatMode", "0"}});
}

using namespace Flag;
constexpr Command kCommands[] = {
    {'F', "set_freq", 1, 0, setFrequency},
    {'f', "get_freq", 0, Reports, getFrequency},
    {'M', "set_mode", 2, Lists, setMode},
    {'m', "get_mode", 0, Reports, getMode},
    {'V', "set_vfo", 1, NoVfo, setVfo},
    {'v', "get_vfo", 0, NoVfo | Reports, getVfo},
    {'T', "set_ptt", 1, 0, setPtt},
    {'t', "get_ptt", 0, Reports, getPtt},
    {'S', "set_split_vfo", 2, 0, setSplitVfo},
    {'s', "get_split_vfo", 0, Reports, getSplitVfo},
    {'l', "get_level", 1, Reports, getLevel},
    {'L', "set_level", 2, 0, notAvailable},
    {'u', "get_func", 1, Reports, notAvailable},
    {'U', "set_func", 2, 0, notAvailable},
    {'I', "set_split_freq", 1, 0, notAvailable},
    {'i', "get_split_freq", 0, Reports, notAvailable},
    {'X', "set_split_mode", 2, 0, notAvailable},
    {'x', "get_split_mode", 0, Reports, notAvailable},
    {'J', "set_rit", 1, 0, notAvailable},
    {'j', "get_rit", 0, Reports, notAvailable},
    {'Z', "set_xit", 1, 0, notAvailable},
    {'z', "get_xit", 0, Reports, notAvailable},
    {'N', "set_ts", 1, 0, notAvailable},
    {'n', "get_ts", 0, Reports, notAvailable},
    {0x8B, "get_dcd", 0, Reports, getDcd},
    {0xF0, "chk_vfo", 0, NoVfo | Reports | Bare, checkVfo},
    {0x8F, "dump_state", 0, NoVfo | Reports, dumpStateCommand},
    {0x88, "get_powerstat", 0, NoVfo | Reports, getPowerStat},
    {0x87, "set_powerstat", 1, NoVfo, setPowerStat},
    {0xF2, "set_vfo_opt", 1, NoVfo, setVfoOption},
    {0xA3, "get_lock_mode", 0, NoVfo, getLockMode},
    {0xA2, "set_lock_mode", 1, NoVfo, setLockMode},
    {0xA5, "client_version", 1, NoVfo, clientVersion},
    {0xF3, "get_vfo_info", 1, NoVfo | Reports, getVfoInfo},
};

// "f" by its letter, "\get_freq" by its long name (or Hamlib's byte for it).
const Command* findCommand(std::string_view word) {
    for (const auto& command : kCommands) {
        if (word.size() == 1 && static_cast<unsigned char>(word[0]) == command.code)
            return &command;
        if (word.size() > 1 && word[0] == '\\' && word.substr(1) == command.name) return &command;
    }
    return nullptr;
}

// The punctuation that asks for the extended answer. '\' starts a long name,
// '#' a comment; Hamlib keeps '?', '_', '(' and ')' for other uses.
bool isExtendedPrefix(char c) {
    const bool punctuation = (c >= '!' && c <= '/') || (c >= ':' && c <= '@') ||
                             (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
    return punctuation && std::string_view("\\#?_()").find(c) == std::string_view::npos;
}

void answerPlain(const Command& command, const Outcome& outcome, std::string& out) {
    if (outcome.code != kOk) return appendReport(out, outcome.code);
    for (const auto& record : outcome.records) {
        out += record.value;
        out += '\n';
    }
    out += outcome.block;
    if (!(command.flags & Reports)) appendReport(out, kOk);
}

// The command echoed with what it was given, its records as "Key: value",
// then RPRT, the records separated by `separator`.
void answerExtended(const Command& command, std::span<const std::string_view> given, char separator,
                    const Outcome& outcome, std::string& out) {
    const bool bare = command.flags & Bare;
    if (!bare) {
        out += command.name;
        out += ':';
        for (const auto word : given) {
            out += ' ';
            out += word;
        }
        out += separator;
    }
    if (outcome.code == kOk) {
        for (const auto& record : outcome.records) {
            out += record.key;
            out += ": ";
            out += record.value;
            out += bare ? '\n' : separator;
        }
        out += outcome.block;
    }
    if (!bare || outcome.code != kOk) appendReport(out, outcome.code);
}

std::vector<std::string_view> splitBlanks(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// Runs the command at words[next] with the arguments it takes after it and
// moves `next` past them; false when the command is quit.
bool runCommand(RigctlTarget& target, bool& vfoMode, std::span<const std::string_view> words,
                std::size_t& next, std::string& out) {
    std::string_view word = words[next++];
    if (word.front() == '#') {  // a comment to the end of the line
        next = words.size();
        return true;
    }
    char separator = 0;  // 0: the plain answer
    if (isExtendedPrefix(word.front())) {
        separator = word.front() == '+' ? '\n' : word.front();
        word.remove_prefix(1);
    }
    if (word == "q" || word == "Q") {
        appendReport(out, kOk);
        return false;
    }
    const Command* command = findCommand(word);
    const std::size_t vfoArgs = vfoMode && command && !(command->flags & NoVfo) ? 1 : 0;
    std::size_t wanted = command ? vfoArgs + command->args : 0;
    if (command && (command->flags & Lists) && next + vfoArgs < words.size() &&
        words[next + vfoArgs] == "?")
        wanted = vfoArgs + 1;
    if (!command || words.size() - next < wanted) {
        // Without the command or its arguments the rest of the line cannot be read.
        next = words.size();
        appendReport(out, kInvalid);
        return true;
    }
    const auto given = words.subspan(next, wanted);
    next += wanted;
    Outcome outcome = result(vfoArgs ? vfoCode(given[0]) : kOk);
    if (outcome.code == kOk) {
        Call call{target, vfoMode, given.subspan(vfoArgs)};
        outcome = command->run(call);
    }
    if (separator != 0)
        answerExtended(*command, given, separator, outcome, out);
    else
        answerPlain(*command, outcome, out);
    return true;
}

}  // namespace

bool RigctlSession::receive(std::string_view bytes, std::string& out) {
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n' || c == '\r') {
            const bool goOn = handleLine(partial_, out);
            partial_.clear();
            if (!goOn) return false;
        } else if ((c >= 0x20 && c != 0x7F) || c == '\t') {
            if (partial_.size() >= kMaxLineBytes) return false;
            partial_.push_back(ch);
        } else {
            return false;
        }
    }
    return true;
}

void RigctlSession::finish(std::string& out) {
    if (!partial_.empty()) (void)handleLine(partial_, out);
    partial_.clear();
}

bool RigctlSession::handleLine(std::string_view line, std::string& out) {
    const std::vector<std::string_view> words = splitBlanks(line);
    std::size_t next = 0;
    while (next < words.size())
        if (!runCommand(*target_, vfoMode_, words, next, out)) return false;
    return true;
}

}  // namespace zeb::rig
