// zebdecode rtty|sitor: the RTTY decoder over a recording. Prints what the
// receive window would show, with its line ends as newlines. Without a lower
// tone given, the tone pair is found in the first seconds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bulletins.h"
#include "Commands.h"
#include "common/Format.h"
#include "common/TextSink.h"
#include "rtty/RttyDecoder.h"
#include "rtty/ToneFinder.h"
#include "weather/NavtexMessage.h"

namespace zeb::zebdecode {
namespace {

constexpr const char* kRttyHelp =
    "usage: zebdecode rtty [OPTIONS] FILE|-\n"
    "\n"
    "Decodes ITA2 (Baudot) radioteletype and prints the received text. Weather\n"
    "bulletins in it are read as the main program reads them: each accepted SYNOP\n"
    "report is described after its text and appended to SYNOP/STATION.DAT, and\n"
    "warnings are saved as SYNOP/WARN_....RTF below the working directory.\n"
    "\n"
    "  --dir DIR       working directory (default: the current directory when it\n"
    "                  holds settings or DATA, else $ZEB_HOME, else\n"
    "                  ~/.local/share/zeb); its DATA folder, or the one beside\n"
    "                  zebdecode, holds the station list and the report texts\n"
    "  --plain         print only the received characters: no bulletin reading,\n"
    "                  no report texts, no files\n"
    "  --descriptions-only  print only the report descriptions (each set off by a\n"
    "                  blank line, its lines behind \"> \"), not the received text\n"
    "  --no-orphans    leave sections (AAXX, BBXX) heard without their bulletin\n"
    "                  heading unread (by default they are read and dated from\n"
    "                  their own day and hour)\n"
    "  --baud N        keying rate, 30 to 300, fractions allowed (default 75;\n"
    "                  45 means 45.45)\n"
    "  --shift HZ      distance between the tones, 50 to 1450 (default 425)\n"
    "  --center HZ     frequency of the lower tone, 300 up to 4000 minus the\n"
    "                  shift (default: found in the first seconds and printed)\n"
    "  --mark HZ --space HZ  the two tones instead of --center and --shift; the\n"
    "                  polarity follows from which one is mark\n"
    "  --tones LOW,HIGH  the two tones, the polarity found as without them\n"
    "  --stop N        stop length in bit periods: 1, 1.5 or 2 (default 1.5)\n"
    "  --invert        the upper tone is mark (default: found from the stop bits)\n"
    "  --polarity P    auto (default), normal (the lower tone is mark) or inverted\n"
    "  --letters       start in letters shift (default: figures, as after a\n"
    "                  FIGS code)\n"
    "  --no-afc        keep to the tones given or found first (default: follow\n"
    "                  the signal up to 200 Hz away from them)\n"
    "  --usos          unshift on space: a space returns to letters\n"
    "  --sync          synchronous reception with a flywheel character clock\n"
    "  --variant V     demodulator design: matched (default: matched filters,\n"
    "                  frequency correction, soft decisions), main or rtty (the\n"
    "                  two filter designs of the main and the RTTY program)\n"
    "  --squelch X     matched: signal-to-noise ratio (Eb/N0, dB, 0 to 30,\n"
    "                  default 6; 0 = open) below which nothing is printed;\n"
    "                  rtty: skip blocks whose tone levels are both at or below X\n"
    "                  (0 to 1e6, default 0 = open)\n"
    "  --help          this text\n"
    "\n"
    "exit status: 0 decoded characters, 1 decoded none, 2 bad usage or a\n"
    "recording that cannot be read, 3 something received could not be saved\n";

constexpr const char* kSitorHelp =
    "usage: zebdecode sitor [OPTIONS] FILE|-\n"
    "\n"
    "Decodes SITOR-B (CCIR 476 collective FEC, as NAVTEX sends it) and prints\n"
    "the received text. Each message from ZCZC to NNNN is saved as\n"
    "SYNOP/INFO_....RTF below the working directory, with a last line giving\n"
    "its identity (ZCZC B1B2B3B4), its subject and the characters lost. As a\n"
    "NAVTEX receiver does, a message received with at most 4 % of its\n"
    "characters lost is not saved again when it is repeated within 72 hours\n"
    "(SYNOP/NAVTEX.DAT keeps the identities), a copy with fewer characters\n"
    "lost replaces the one saved, and serial number 00 is always saved.\n"
    "\n"
    "  --dir DIR       working directory (default: as for rtty)\n"
    "  --plain         print only the received characters, save no files\n"
    "  --stations L    save only the messages of these stations (B1 letters A\n"
    "                  to Z, e.g. ABC; default: all)\n"
    "  --subjects L    save only messages of these subjects (B2 letters, e.g.\n"
    "                  EF; default: all); A, B, D and L are always saved\n"
    "  --baud N        keying rate, 30 to 300 (default 100)\n"
    "  --shift HZ      distance between the tones, 50 to 1450 (default 170)\n"
    "  --center HZ     frequency of the lower tone, 300 up to 4000 minus the\n"
    "                  shift (default: found in the first seconds and printed)\n"
    "  --mark HZ --space HZ  the two tones instead of --center and --shift; the\n"
    "                  polarity follows from which one is mark\n"
    "  --tones LOW,HIGH  the two tones, the polarity found as without them\n"
    "  --invert        the upper tone is mark (default: found from the words)\n"
    "  --polarity P    auto (default), normal (the lower tone is mark) or inverted\n"
    "  --letters       start in letters shift (default: figures, as after a\n"
    "                  FIGS code)\n"
    "  --no-afc        keep to the tones given or found first (default: follow\n"
    "                  the signal up to 200 Hz away from them)\n"
    "  --variant V     demodulator design: matched (default: both copies of\n"
    "                  every character combined), main or rtty\n"
    "  --squelch X     matched: Eb/N0 in dB below which nothing is printed (0 to\n"
    "                  30, default 6; 0 = open); rtty: tone level (0 to 1e6)\n"
    "  --help          this text\n"
    "\n"
    "exit status: 0 decoded characters, 1 decoded none, 2 bad usage or a\n"
    "recording that cannot be read, 3 something received could not be saved\n";

// Without --center, the first seconds are held back while the tone finder
// listens, then decoded with the tones it found.
constexpr double kFindMinSeconds = 2.0;
constexpr double kFindMaxSeconds = 10.0;

const char* polarityName(rtty::Polarity p) {
    switch (p) {
        case rtty::Polarity::Normal: return "normal (the lower tone is mark)";
        case rtty::Polarity::Inverted: return "inverted (the upper tone is mark)";
        case rtty::Polarity::Auto: break;
    }
    return "undecided";
}

int run(const std::vector<std::string>& args, bool sitor) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(sitor ? kSitorHelp : kRttyHelp, stdout);
            std::fputs(kInputHelp, stdout);
            return kExitOk;
        }
    }
    std::vector<std::string_view> valued = {"baud", "shift",    "center", "variant", "squelch",
                                            "dir",  "polarity", "mark",   "space",   "tones"};
    std::vector<std::string_view> flags = {"invert", "letters", "plain", "no-afc"};
    if (!sitor) {
        valued.push_back("stop");
        flags.push_back("sync");
        flags.push_back("usos");
        flags.push_back("no-orphans");
        flags.push_back("descriptions-only");
    } else {
        valued.push_back("stations");
        valued.push_back("subjects");
    }
    ParsedArgs parsed;
    if (auto error = parseArgs(args, valued, flags, parsed)) return fail(*error);

    rtty::RttyParams params;
    params.afc = true;
    params.mode = static_cast<int>(sitor ? rtty::RttyMode::SitorB : rtty::RttyMode::Baudot);
    params.baud = sitor ? 100 : 75;
    params.shift = sitor ? 170 : 425;
    params.center = 1275;
    bool letters = false;
    bool plain = false;
    bool midBulletin = true;
    bool descriptionsOnly = false;
    bool centerGiven = false;
    // --mark/--space or --tones: the two tones themselves instead of the
    // lower one and the distance.
    std::optional<int> mark, space;
    bool tonesOnly = false;  // --tones says nothing of which one is mark
    std::optional<std::string> squelch;
    std::optional<std::string> workDirGiven;
    weather::NavtexSelection selection;
    for (const auto& [name, value] : parsed.options) {
        auto integer = [&](double min, double max, int& field) {
            const auto v = parseNumber(value, min, max);
            if (!v || *v != std::floor(*v)) return false;
            field = static_cast<int>(*v);
            return true;
        };
        bool ok = true;
        if (name == "baud") {
            const auto v = parseNumber(value, rtty::kMinBaud, rtty::kMaxBaud);
            ok = v.has_value();
            if (ok) {
                params.baud = static_cast<int>(std::lround(*v));
                params.rate = *v == std::floor(*v) ? 0.0 : *v;
            }
        } else if (name == "shift") {
            ok = integer(rtty::kMinShift, rtty::kMaxShift, params.shift);
        } else if (name == "center") {
            ok = integer(rtty::kMinCenter, rtty::kMaxCenter, params.center);
            centerGiven = true;
        } else if (name == "mark" || name == "space") {
            const auto v = parseNumber(value, rtty::kMinCenter, rtty::kMaxToneHz);
            ok = v && *v == std::floor(*v);
            if (ok) (name == "mark" ? mark : space) = static_cast<int>(*v);
        } else if (name == "tones") {
            const auto comma = value.find(',');
            const auto low =
                parseNumber(value.substr(0, comma), rtty::kMinCenter, rtty::kMaxToneHz);
            const auto high =
                comma == std::string::npos
                    ? std::nullopt
                    : parseNumber(value.substr(comma + 1), rtty::kMinCenter, rtty::kMaxToneHz);
            ok = low && high && *low == std::floor(*low) && *high == std::floor(*high);
            if (ok) {
                mark = static_cast<int>(std::min(*low, *high));
                space = static_cast<int>(std::max(*low, *high));
                tonesOnly = true;
            }
        } else if (name == "stop") {
            const auto v = parseNumber(value, 1.0, 2.0);
            ok = v && (*v == 1.0 || *v == 1.5 || *v == 2.0);
            if (ok) params.stop = static_cast<float>(*v);
        } else if (name == "invert") {
            params.polarity = rtty::Polarity::Inverted;
        } else if (name == "polarity") {
            ok = value == "auto" || value == "normal" || value == "inverted";
            params.polarity = value == "normal"     ? rtty::Polarity::Normal
                              : value == "inverted" ? rtty::Polarity::Inverted
                                                    : rtty::Polarity::Auto;
        } else if (name == "letters") {
            letters = true;
        } else if (name == "usos") {
            params.usos = true;
        } else if (name == "no-afc") {
            params.afc = false;
        } else if (name == "plain") {
            plain = true;
        } else if (name == "no-orphans") {
            midBulletin = false;
        } else if (name == "descriptions-only") {
            descriptionsOnly = true;
        } else if (name == "sync") {
            params.mode = static_cast<int>(rtty::RttyMode::SyncBaudot);
        } else if (name == "variant") {
            ok = value == "matched" || value == "main" || value == "rtty";
            params.variant = value == "main"   ? rtty::DemodVariant::Main
                             : value == "rtty" ? rtty::DemodVariant::Rtty
                                               : rtty::DemodVariant::Matched;
        } else if (name == "dir") {
            workDirGiven = value;
        } else if (name == "squelch") {
            squelch = value;
        } else if (name == "stations" || name == "subjects") {
            const auto set = weather::LetterSet::parse(value);
            ok = set.has_value();
            if (ok) (name == "stations" ? selection.stations : selection.subjects) = *set;
        }
        if (!ok) {
            if (name == "stations" || name == "subjects")
                return fail("invalid value '" + value + "' for --" + name +
                            ": only the letters A to Z");
            return fail("invalid value '" + value + "' for --" + name);
        }
    }
    if (mark.has_value() != space.has_value())
        return fail("--mark and --space go together (or --tones LOW,HIGH)");
    if (mark) {
        const int low = std::min(*mark, *space), high = std::max(*mark, *space);
        if (high - low < rtty::kMinShift || high - low > rtty::kMaxShift)
            return fail("the tones " + std::to_string(low) + " and " + std::to_string(high) +
                        " Hz must lie " + std::to_string(rtty::kMinShift) + " to " +
                        std::to_string(rtty::kMaxShift) + " Hz apart");
        params.center = low;
        params.shift = high - low;
        centerGiven = true;
        if (!tonesOnly)
            params.polarity = *mark < *space ? rtty::Polarity::Normal : rtty::Polarity::Inverted;
    }
    if (params.center + params.shift > rtty::kMaxToneHz)
        return fail("the upper tone " + std::to_string(params.center + params.shift) +
                    " Hz lies above " + std::to_string(rtty::kMaxToneHz) + " Hz");
    const bool matched = params.variant == rtty::DemodVariant::Matched;
    // The filter designs have no polarity of their own to find: normal
    // unless inverted.
    params.invert = params.polarity == rtty::Polarity::Inverted ? 1 : 0;
    if (squelch) {
        const auto v = matched ? parseNumber(*squelch, 0.0, rtty::kMaxSquelchDb)
                               : parseNumber(*squelch, 0.0, 1e6);
        if (!v) return fail("invalid value '" + *squelch + "' for --squelch");
        (matched ? params.squelchDb : params.squelch) = static_cast<float>(*v);
    }

    std::unique_ptr<Bulletins> bulletins;
    if (plain) {
        bulletins = Bulletins::plain();
    } else {
        std::filesystem::path workDir;
        if (auto error = workDirectory(workDirGiven, workDir)) return fail(*error);
        if (auto error = Bulletins::open(workDir, sitor, false, bulletins)) return fail(*error);
    }
    bulletins->setNavtexSelection(selection);
    bulletins->setMidBulletin(midBulletin);
    bulletins->setDescriptionsOnly(descriptionsOnly);
    rtty::RttyDecoder decoder({&bulletins->display(), bulletins->scanner()}, params.variant);
    decoder.configure(params);
    if (letters) decoder.startInLetters();

    std::optional<rtty::ToneFinder> finder;
    if (!centerGiven) finder.emplace(params.shift);
    std::vector<float> held;
    rtty::Polarity told = rtty::Polarity::Auto;
    auto decode = [&](std::span<const float> block) {
        decoder.processBlock(block);
        if (matched && params.polarity == rtty::Polarity::Auto && told == rtty::Polarity::Auto &&
            decoder.polarityInUse() != rtty::Polarity::Auto) {
            told = decoder.polarityInUse();
            note(std::string("polarity ") + polarityName(told));
        }
    };
    // Tunes to what the finder heard and decodes what was held back.
    auto settle = [&](bool atEnd) {
        const auto pair = finder->best();
        if (!pair && !atEnd && finder->seconds() < kFindMaxSeconds) return;
        if (pair) {
            params.center = std::clamp(static_cast<int>(std::lround(pair->lowerHz)),
                                       rtty::kMinCenter, rtty::kMaxToneHz - params.shift);
            note(formatPrintf("tones %.0f/%.0f Hz found (%.0f dB above the noise)",
                              {pair->lowerHz, pair->upperHz, pair->strengthDb}));
        } else {
            note(formatPrintf("no tone pair %d Hz apart found; decoding at %d/%d Hz",
                              {params.shift, params.center, params.center + params.shift}));
        }
        decoder.configure(params);
        finder.reset();
        for (std::size_t i = 0; i + rtty::kBlockLength <= held.size(); i += rtty::kBlockLength)
            decode(std::span<const float>(held).subspan(i, rtty::kBlockLength));
        held = {};
    };
    bool heard = false;
    auto error = decodeRecording(parsed, [&](std::span<const float> block) {
        heard = true;
        if (!finder) {
            decode(block);
            return;
        }
        finder->feed(block);
        held.insert(held.end(), block.begin(), block.end());
        if (finder->seconds() >= kFindMinSeconds) settle(false);
    });
    // A recording that could not be read at all has nothing to sum up.
    if (error && !heard) return fail(*error);
    if (finder) settle(true);
    if (error) fail(*error);
    bulletins->endOfReception();
    bulletins->summary();
    if (bulletins->unsaved() > 0) return kExitNotSaved;
    if (error) return kExitUsage;
    return bulletins->printed() > 0 ? kExitOk : kExitNothing;
}

}  // namespace

int runRtty(const std::vector<std::string>& args) { return run(args, false); }
int runSitor(const std::vector<std::string>& args) { return run(args, true); }

}  // namespace zeb::zebdecode
