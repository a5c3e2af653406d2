// zebobs: the observations of a station file from a terminal — listed,
// counted per bulletin, or exported as CSV, GeoJSON or KML.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "common/SuiteDirs.h"
#include "common/Text.h"
#include "common/Version.h"
#include "weather/ObservationExport.h"
#include "weather/StationFile.h"
#include "weather/WeatherData.h"

namespace {

using namespace zeb;
using namespace zeb::weather;

constexpr const char* kUsage =
    "Usage: zebobs list [FILTERS] [FILE]\n"
    "  or:  zebobs export --format csv|geojson|kml [FILTERS] [--output OUT] [FILE]\n"
    "  or:  zebobs summary [FILTERS] [FILE]\n"
    "  or:  zebobs --help | --version\n"
    "FILE is a station file of decoded SYNOP reports, SYNOP/STATION.DAT of the\n"
    "working directory by default: --dir DIR, else the current directory when it\n"
    "holds settings or DATA, else $ZEB_HOME, else ~/.local/share/zeb.\n"
    "list prints one line per report, summary the reports of each bulletin and\n"
    "the totals, export every value of the reports in SI units (CSV with a\n"
    "header row, GeoJSON points, KML placemarks with the report in plain\n"
    "language) to OUT, written whole or not at all, or to standard output.\n"
    "FILTERS select reports:\n"
    "  --time TIME          observed at TIME\n"
    "  --from TIME          observed at TIME or later\n"
    "  --to TIME            observed at TIME or earlier\n"
    "  --station N|CALL     WMO station number, buoy number or ship's call sign\n"
    "  --country NAME       land stations of that country\n"
    "  --box LAT1,LON1,LAT2,LON2\n"
    "                       within the box (decimal degrees, south and west\n"
    "                       negative) running east from LON1 to LON2; LON1\n"
    "                       greater than LON2 crosses 180 degrees\n"
    "TIME is a time key (seconds since 1970, UTC) or YYYY-MM-DD[THH:MM[:SS]]\n"
    "in UTC unless it ends with an offset (+02:00). Country names and the\n"
    "descriptions come from DATA/ in the working directory, else beside the\n"
    "program. Exit status: 0 done, 1 the output could not be written, 2 bad\n"
    "usage or an unreadable file.\n";

int fail(const std::string& message, int status = 2) {
    std::cerr << "zebobs: " << message << "\n";
    return status;
}

struct Options {
    std::string format;
    std::string output;
    std::filesystem::path file;  // empty: SYNOP/STATION.DAT of the working directory
    std::optional<std::string> dir;
    std::optional<TimeKey> time, from, to;
    std::string station;
    std::string country;
    std::optional<AreaBox> box;
};

std::optional<std::string> parseOptions(int argc, char** argv, Options& o) {
    bool fileGiven = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--format" || arg == "--output" || arg == "--time" ||
                                arg == "--from" || arg == "--to" || arg == "--station" ||
                                arg == "--country" || arg == "--box" || arg == "--dir";
        if (takesValue) {
            if (i + 1 >= argc) return arg + " needs a value";
            const std::string value = argv[++i];
            if (arg == "--format") {
                o.format = value;
            } else if (arg == "--output") {
                o.output = value;
            } else if (arg == "--time" || arg == "--from" || arg == "--to") {
                const auto key = parseTime(value);
                if (!key) return arg + ": \"" + value + "\" is no time (YYYY-MM-DDTHH:MM or key)";
                (arg == "--time" ? o.time : arg == "--from" ? o.from : o.to) = key;
            } else if (arg == "--station") {
                o.station = value;
            } else if (arg == "--country") {
                o.country = value;
            } else if (arg == "--dir") {
                if (value.empty()) return "--dir needs a directory";
                o.dir = value;
            } else {
                o.box = parseAreaBox(value);
                if (!o.box) return "--box: \"" + value + "\" is no LAT1,LON1,LAT2,LON2 box";
            }
        } else if (arg.rfind("--", 0) == 0) {
            return "unknown option " + arg;
        } else if (fileGiven) {
            return "one station file at most (\"" + arg + "\" is a second)";
        } else {
            o.file = arg;
            fileGiven = true;
        }
    }
    return std::nullopt;
}

// The reference data of the working directory, else the shipped one (beside
// the program, or installed in ../share/zeb).
Result<WeatherData> loadData(const std::filesystem::path& workDir) {
    auto data = loadWeatherData(workDir / kDataDir);
    if (data) return data;
    const auto besideDir = findShared(kDataDir).value_or(std::filesystem::path(kDataDir));
    auto beside = loadWeatherData(besideDir);
    if (beside) return beside;
    return Error{beside.error().code, "No reference data in " + (workDir / kDataDir).string() +
                                          " or " + besideDir.string() + ": " +
                                          beside.error().message};
}

Result<std::vector<SynopRecord>> readRecords(const std::filesystem::path& file) {
    std::error_code ec;
    // The station file reader takes a missing file for an empty one; here a
    // name the user typed wrongly must not pass for "no reports".
    if (!std::filesystem::exists(file, ec))
        return Error{ENOENT, file.string() + ": no such station file"};
    if (std::filesystem::is_directory(file, ec))
        return Error{EISDIR, file.string() + " is a directory, not a station file"};
    const auto size = std::filesystem::file_size(file, ec);
    auto bytes = readStationRecords(file);
    if (!bytes) return Error{bytes.error().code, file.string() + ": " + bytes.error().message};
    if (!ec && size % kSynopRecordSize != 0)
        std::cerr << "zebobs: " << file.string() << ": the last " << size % kSynopRecordSize
                  << " bytes are not a whole record and are ignored\n";
    std::vector<SynopRecord> records;
    records.reserve(bytes->size());
    for (const auto& b : *bytes) records.push_back(decode(b));
    return records;
}

bool stationMatches(const Observation& o, const std::string& wanted) {
    if (equalsNoCase(o.id, wanted)) return true;
    // Numbers match without their leading zeros: 3772 is 03772.
    const auto digitsOnly = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digitsOnly(o.id) || !digitsOnly(wanted)) return false;
    const auto strip = [](const std::string& s) {
        const auto first = s.find_first_not_of('0');
        return first == std::string::npos ? std::string("0") : s.substr(first);
    };
    return strip(o.id) == strip(wanted);
}

bool selected(const Observation& o, const Options& f) {
    if (f.time && o.time != *f.time) return false;
    if (f.from && o.time < *f.from) return false;
    if (f.to && o.time > *f.to) return false;
    if (!f.station.empty() && !stationMatches(o, f.station)) return false;
    if (!f.country.empty() && !equalsNoCase(o.country, f.country)) return false;
    if (f.box && !(o.position && f.box->contains(*o.position))) return false;
    return true;
}

// Pads UTF-8 text to `width` characters, cutting what is longer. Control
// characters (a damaged name may hold line feeds) show as U+FFFD, so that
// every report stays on its line.
std::string padded(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size() && chars < width; ++chars) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x20 || lead == 0x7F)
            out += "\xEF\xBF\xBD";
        else
            out.append(text, i, n);
        i += n;
    }
    return out + std::string(width - chars, ' ');
}

std::string shortTime(TimeKey key) {
    const std::string iso = isoTime(key);  // 2024-05-06T12:00:00Z
    return iso.substr(0, 10) + " " + iso.substr(11, 5) + "Z";
}

int list(const std::vector<Observation>& observations) {
    for (const Observation& o : observations) {
        std::string line = shortTime(o.time) + "  " + padded(o.id, 8) + " " + padded(o.name, 26);
        if (o.position)
            line += formatPrintf(" %8.3f %9.3f", {o.position->latitude, o.position->longitude});
        else
            line += std::string(19, ' ');
        if (o.nil) {
            line += "  NIL";
        } else {
            const auto add = [&](const char* column, const char* unit) {
                const std::string& v = o.value(column);
                if (!v.empty()) line += "  " + v + unit;
            };
            add("air_temperature_c",
                " \xC2\xB0"
                "C");
            add("sea_level_pressure_hpa", " hPa");
            add("wind_direction_deg", "\xC2\xB0");
            add("wind_speed_ms", " m/s");
            add("visibility_m", " m");
            add("cloud_cover_oktas", "/8");
        }
        std::cout << line << "\n";
    }
    return 0;
}

// Reports of one reception of a bulletin: consecutive records with the same
// heading, centre and time.
struct Batch {
    const Observation* first = nullptr;
    int reports = 0, nil = 0, land = 0, sea = 0;
};

bool sameBulletin(const Observation& a, const Observation& b) {
    for (const char* column : {"bulletin_time", "bulletin_serial", "bulletin_centre",
                               "bulletin_type", "bulletin_area", "bulletin_number"})
        if (a.value(column) != b.value(column)) return false;
    return true;
}

int summary(const std::vector<Observation>& observations) {
    std::vector<Batch> batches;
    Batch total;
    for (const Observation& o : observations) {
        if (batches.empty() || !sameBulletin(*batches.back().first, o)) batches.push_back({&o});
        for (Batch* b : {&batches.back(), &total}) {
            ++b->reports;
            if (o.nil) ++b->nil;
            if (o.value("type") == "land") ++b->land;
            if (o.value("type") == "ship" || o.value("type") == "buoy") ++b->sea;
        }
    }
    if (!batches.empty())
        std::cout << "bulletin time      serial centre ii  reports  land  sea  NIL  heading\n";
    for (const Batch& b : batches) {
        const Observation& o = *b.first;
        std::string heading = o.value("bulletin_type");
        if (!o.value("bulletin_area").empty()) heading += " / " + o.value("bulletin_area");
        std::cout << formatPrintf(
            "%s %6s %-6s %2s %8d %5d %4d %4d  %s\n",
            {shortTime(o.bulletinTime), o.value("bulletin_serial"), o.value("bulletin_centre"),
             o.value("bulletin_number"), b.reports, b.land, b.sea, b.nil, heading});
    }
    TimeKey earliest = 0, latest = 0;
    for (const Observation& o : observations) {
        if (&o == &observations.front() || o.time < earliest) earliest = o.time;
        if (&o == &observations.front() || o.time > latest) latest = o.time;
    }
    std::cout << formatPrintf(
        "total: %d reports in %d bulletins, %d land, %d ship or buoy, %d NIL",
        {total.reports, static_cast<int>(batches.size()), total.land, total.sea, total.nil});
    if (!observations.empty())
        std::cout << ", observed " << shortTime(earliest) << " to " << shortTime(latest);
    std::cout << "\n";
    return 0;
}

int exportTo(const Options& o, const std::vector<Observation>& observations) {
    std::string document;
    if (o.format == "csv")
        document = exportCsv(observations);
    else if (o.format == "geojson")
        document = exportGeoJson(observations);
    else
        document = exportKml(observations);
    if (o.output.empty()) {
        std::cout << document << std::flush;
        return std::cout ? 0 : fail("standard output cannot be written", 1);
    }
    if (auto written = writeFileAtomically(o.output, document); !written) {
        const std::string& why = written.error().message;
        return fail(why.find(o.output) == std::string::npos ? o.output + ": " + why : why, 1);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::cout << versionLine("zebobs") << "\n";
        return 0;
    }
    if (command != "list" && command != "export" && command != "summary") {
        std::cerr << "zebobs: unknown command " << command << "\n" << kUsage;
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::cout << kUsage;
            return 0;
        }
    }
    Options options;
    if (const auto error = parseOptions(argc, argv, options)) return fail(*error);
    if (command == "export" && options.format != "csv" && options.format != "geojson" &&
        options.format != "kml")
        return fail("export needs --format csv, geojson or kml");
    if (command != "export" && (!options.format.empty() || !options.output.empty()))
        return fail("--format and --output belong to export");

    // A station file named on the command line makes no working directory:
    // its reference data is the current directory's DATA or the shipped one.
    std::filesystem::path workDir = ".";
    if (options.file.empty() || options.dir) {
        auto dir = suiteWorkDir(options.dir ? std::optional<std::filesystem::path>(*options.dir)
                                            : std::nullopt);
        if (!dir) return fail(dir.error().message);
        workDir = *dir;
    }
    if (options.file.empty()) options.file = workDir / "SYNOP" / kStationFileName;
    auto records = readRecords(options.file);
    if (!records) return fail(records.error().message);

    // The texts give country names and descriptions; only KML and the
    // country filter cannot do without them.
    auto data = loadData(workDir);
    const bool needed = options.format == "kml" || !options.country.empty();
    if (!data && needed) return fail(data.error().message);
    if (!data && command != "summary")
        std::cerr << "zebobs: " << data.error().message << "; country names are left out\n";
    const TextTable* texts = data ? &data->texts : nullptr;

    std::vector<Observation> observations;
    for (const SynopRecord& r : *records) {
        Observation o = makeObservation(r, texts);
        if (selected(o, options)) observations.push_back(std::move(o));
    }
    if (command == "list") return list(observations);
    if (command == "summary") return summary(observations);
    return exportTo(options, observations);
}
