// zebdecode fax: decodes a weather-fax recording into the received-file store.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "Commands.h"
#include "common/ProfileFile.h"
#include "fax/FaxConfig.h"
#include "fax/FaxDecoder.h"
#include "fax/PictureFile.h"
#include "fax/Png.h"

namespace zeb::zebdecode {

namespace {

constexpr const char* kFaxHelp =
    "usage: zebdecode fax [--lpm N] [--ioc N] [--center HZ] [--shift HZ] [--start N]\n"
    "                     [--stop N] [--filter 0|32|64|128] [--no-auto-slant] [--png]\n"
    "                     [--dir WORKDIR] FILE|-\n"
    "\n"
    "Decodes a weather-fax recording. Pictures are written into the received-file\n"
    "store of WORKDIR as the main program does: FAX/FAX_yyyy-mm-dd_hh-mi.BMP (UTC\n"
    "now, the next free minute when that name exists) with a .BMM thumbnail;\n"
    "pictures of fewer than 100 lines are not kept. A picture begins after the\n"
    "start signal and the phasing lines and ends with the stop signal or with the\n"
    "end of the recording. Each state change and each picture is printed.\n"
    "Before decoding, pictures that a killed program left unfinished in WORKDIR/FAX\n"
    "are finished (work files of 100 lines or more become pictures, shorter ones\n"
    "are deleted, missing thumbnails are made); files another program is still\n"
    "receiving are left alone.\n"
    "The slant is measured and corrected automatically: from the phasing lines and\n"
    "from the picture itself, so that pictures come out straight whatever the\n"
    "recording's sample clock; the measured clock error is printed with the picture.\n"
    "Settings are taken from section FAXPARAM of WORKDIR/NIMBA.INI when it exists\n"
    "(including the slant corrections); the options override them. A value there\n"
    "that cannot be used is replaced by its default, with a warning.\n"
    "\n"
    "options:\n"
    "  --lpm N       lines per minute: 48, 60, 90, 120, 180 or 240 (default 120)\n"
    "  --ioc N       index of cooperation: 267, 288, 352 or 576 (default 576)\n"
    "  --center HZ   centre frequency between black and white, 1000-2100 (default 1900)\n"
    "  --shift HZ    white minus black, 150-1000 (default 800)\n"
    "  --start N     start signal, as twice the black/white cycles per line\n"
    "                (300 for IOC 576, 675 for IOC 288; the default is 300), from\n"
    "                150 to the line width (1810 for IOC 576, 905 for IOC 288)\n"
    "  --stop N      stop signal, likewise (default 450); more than 2 % away from\n"
    "                the start signal\n"
    "  --filter N    order of the input band-pass filter, 0 switches it off (default 64)\n"
    "  --no-auto-slant  take the pixel rate as it is (nominal or the correction table's)\n"
    "                instead of measuring the slant (also AUTOSLANT=0 in NIMBA.INI)\n"
    "  --png         also write an 8-bit grey PNG copy of every finished picture\n"
    "                beside it (FAX/FAX_....PNG)\n"
    "  --dir DIR     working directory of the received-file store (default: the\n"
    "                current directory when it holds settings or DATA, else\n"
    "                $ZEB_HOME, else ~/.local/share/zeb)\n"
    "  --help        this text\n"
    "exit status: 0 a picture was received, 1 none, 2 bad usage or a recording\n"
    "that cannot be read, 3 a received picture could not be saved\n";

class PrintingEvents : public fax::FaxEvents {
public:
    void slantMeasured(double ppm) override { measuredPpm = ppm; }
    void stateChanged(fax::FaxState state) override {
        note("state: " + std::string(fax::stateName(state)));
    }
    void pictureEnded(const fax::PictureOutcome& o) override {
        using Kind = fax::PictureOutcome::Kind;
        switch (o.kind) {
            case Kind::Saved:
                std::printf("picture: %s (%d lines", shownPath(o.picture).c_str(), o.rows);
                if (measuredPpm) std::printf(", sample clock %+.1f ppm", *measuredPpm);
                std::printf(")\n");
                ++saved;
                if (png) writePng(o.picture);
                break;
            case Kind::Discarded: std::printf("picture discarded: %d lines\n", o.rows); break;
            case Kind::KeptWorkFile:
                std::printf("picture kept as %s (%d lines)\n", shownPath(o.picture).c_str(),
                            o.rows);
                ++unsaved;
                break;
            case Kind::None: break;
        }
        if (!o.problem.empty()) std::fprintf(stderr, "zebdecode: %s\n", o.problem.c_str());
        std::fflush(stdout);
    }
    void pictureFileFailed(const Error& e) override {
        std::fprintf(stderr, "zebdecode: picture file: %s\n", e.message.c_str());
        ++unsaved;
    }
    int saved = 0;
    int unsaved = 0;  // pictures whose file failed or that stayed work files
    bool png = false;
    std::optional<double> measuredPpm;

private:
    static void writePng(const std::filesystem::path& picture) {
        auto bitmap = fax::readBmpFile(picture);
        const std::filesystem::path path = fax::pngPathFor(picture);
        auto written = bitmap ? fax::writeGreyPng(*bitmap, path) : Result<void>(bitmap.error());
        if (written)
            std::printf("png: %s\n", path.string().c_str());
        else
            std::fprintf(stderr, "zebdecode: PNG copy of %s: %s\n", picture.string().c_str(),
                         written.error().message.c_str());
    }
};

bool inList(int v, std::span<const int> list) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

}  // namespace

int runFax(const std::vector<std::string>& args) {
    if (wantsHelp(args)) {
        std::fputs(kFaxHelp, stdout);
        std::fputs(kInputHelp, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    if (auto error =
            parseArgs(args, {"lpm", "ioc", "center", "shift", "start", "stop", "filter", "dir"},
                      {"no-auto-slant", "png"}, parsed))
        return fail(*error);

    std::optional<std::string> given;
    for (const auto& [name, value] : parsed.options)
        if (name == "dir") given = value;
    std::filesystem::path dir;
    if (auto error = workDirectory(given, dir)) return fail(*error);

    fax::FaxConfig config;
    fax::CorrectionTable table;
    ProfileFile profile;
    profile.buildPath(dir.string(), "NIMBA.INI");
    for (const fax::Refusal& refused : fax::readSettings(profile, config, table))
        std::fprintf(stderr, "zebdecode: %s: %s\n", profile.path().string().c_str(),
                     fax::describe(refused).c_str());
    bool autoSlant = fax::readAutoSlant(profile);
    bool png = false;
    bool tonesGiven = false;

    for (const auto& [name, value] : parsed.options) {
        const auto number = [&](double lo, double hi) { return parseNumber(value, lo, hi); };
        if (name == "no-auto-slant") {
            autoSlant = false;
        } else if (name == "png") {
            png = true;
        } else if (name == "lpm") {
            const auto v = number(1, 1000);
            if (!v || !inList(static_cast<int>(*v), fax::kLpmValues) || *v != static_cast<int>(*v))
                return fail("--lpm must be 48, 60, 90, 120, 180 or 240");
            config.lpm = static_cast<std::uint16_t>(*v);
        } else if (name == "ioc") {
            const auto v = number(1, 1000);
            if (!v || !inList(static_cast<int>(*v), fax::kIocValues) || *v != static_cast<int>(*v))
                return fail("--ioc must be 267, 288, 352 or 576");
            config.ioc = static_cast<std::uint16_t>(*v);
        } else if (name == "center") {
            const auto v = number(fax::kMinCenter, fax::kMaxCenter);
            if (!v) return fail("--center must be a frequency from 1000 to 2100 Hz");
            config.center = static_cast<std::uint16_t>(*v + 0.5);
        } else if (name == "shift") {
            const auto v = number(fax::kMinShift, fax::kMaxShift);
            if (!v) return fail("--shift must be from 150 to 1000 Hz");
            config.shift = static_cast<std::uint16_t>(*v + 0.5);
        } else if (name == "start" || name == "stop") {
            const auto v = number(fax::kMinTone, fax::maxTone(fax::kIocValues.back()));
            if (!v || *v != static_cast<int>(*v))
                return fail("--" + name + " must be a whole tone value from " +
                            std::to_string(fax::kMinTone) + " to " +
                            std::to_string(fax::maxTone(fax::kIocValues.back())));
            (name == "start" ? config.startTone : config.stopTone) = static_cast<std::uint16_t>(*v);
            tonesGiven = true;
        } else if (name == "filter") {
            const auto v = number(0, 128);
            if (!v || !inList(static_cast<int>(*v), fax::kFilterOrders) ||
                *v != static_cast<int>(*v))
                return fail("--filter must be 0, 32, 64 or 128");
            config.filterOrder = static_cast<std::uint16_t>(*v);
        }
    }
    // The bandwidth follows a larger shift, as the panel's knob does.
    config.bandwidth =
        static_cast<std::uint16_t>(fax::bandwidthForShift(config.bandwidth, config.shift));
    if (tonesGiven) {
        for (const int tone : {config.startTone, config.stopTone})
            if (!fax::usableTone(tone, config.ioc))
                return fail("a tone value above " + std::to_string(fax::maxTone(config.ioc)) +
                            " does not fit a line of IOC " + std::to_string(config.ioc));
        if (fax::tonesOverlap(config.startTone, config.stopTone))
            return fail("the start and stop tones (" + std::to_string(config.startTone) + ", " +
                        std::to_string(config.stopTone) + ") must be more than 2 % apart");
    }
    // Values of the settings file that no longer fit the options (a tone
    // above the line width of another IOC).
    std::vector<fax::Refusal> replaced;
    fax::validate(config, &replaced);
    for (const fax::Refusal& r : replaced)
        std::fprintf(stderr, "zebdecode: %s: %s\n", profile.path().string().c_str(),
                     fax::describe(r).c_str());

    // What a killed program left in the store is finished before new pictures
    // come.
    if (const fax::Recovery recovered = fax::recoverPictures(dir); !recovered.empty())
        std::printf("%s\n", recovered.summary().c_str());

    PrintingEvents events;
    events.png = png;
    fax::FaxDecoder decoder(events, dir);
    decoder.setConfig(config);
    decoder.setCorrectionTable(table);
    decoder.setAutoSlant(autoSlant);
    if (auto started = decoder.start(); !started) return fail(started.error().message);
    const auto feed = [&](std::span<const float> block) {
        decoder.processBlock(
            std::span<const float, fax::kBlockLength>(block.data(), fax::kBlockLength));
    };
    const auto error = decodeRecording(parsed, feed);
    // The end of the recording ends a picture that is still being received.
    decoder.stop();
    if (error) fail(*error);
    if (events.unsaved > 0) {
        std::fputs("zebdecode: what was received is not (all) saved as pictures\n", stderr);
        return kExitNotSaved;
    }
    if (error) return kExitUsage;
    return events.saved > 0 ? kExitOk : kExitNothing;
}

}  // namespace zeb::zebdecode
