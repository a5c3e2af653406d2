// zebstations: the frequency list and schedule files from a terminal.
#include "common/AtomicFile.h"
#include "common/Codepage.h"
#include "common/FileLock.h"
#include "common/Format.h"
#include "common/SuiteDirs.h"
#include "common/Version.h"
#include "stations/CodeNames.h"
#include "stations/FrequencyList.h"
#include "stations/FrequencySource.h"
#include "stations/Schedule.h"
#include "stations/StationRecord.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zeb;
using namespace zeb::stations;

constexpr const char* kUsage =
    "Usage: zebstations list [--dir DIR] [FILE]\n"
    "  or:  zebstations add [--file FILE | --dir DIR] STATION\n"
    "  or:  zebstations remove [--file FILE | --dir DIR] ID...\n"
    "  or:  zebstations handover [--file FILE | --dir DIR] [--offset HZ] ID\n"
    "  or:  zebstations schedule [--file FILE | --dir DIR] SCHEDULE.TIM\n"
    "  or:  zebstations compile SOURCE OUTPUT\n"
    "\n"
    "FILE is the frequency list, DATA/RCFRQ.DAT of the suite's working directory\n"
    "by default. add appends STATION, one argument of the form \"kHz;call;name;\n"
    "country;type;modulation;mode;speed;shift;centre;ioc;start tone;stop tone;\n"
    "stop bits;code variant;polarity;remark\", and prints the new id.\n"
    "handover prints the dial frequency and the hand-over record in hexadecimal;\n"
    "HZ is the receiver offset (default 0). compile builds a list from its\n"
    "readable source (resources/data/frequencies.csv).\n"
    "\n"
    "options:\n"
    "  --file FILE    the frequency list to read and change\n"
    "  --dir DIR      the suite's working directory (default: the current\n"
    "                 directory when it holds settings or DATA, else $ZEB_HOME,\n"
    "                 else ~/.local/share/zeb)\n"
    "  --offset HZ    the receiver offset for handover, -100000 to 100000\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n";

int fail(const std::string& message) {
    std::cerr << "zebstations: " << message << "\n";
    return 1;
}

std::string display(const std::string& cp1252) { return cp1252ToUtf8(cp1252); }

struct Options {
    std::string file;  // empty: DATA/RCFRQ.DAT of the working directory
    std::optional<std::string> dir;
    double offsetHz = 0.0;
    std::vector<std::string> rest;
};

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--file" || arg == "--offset" || arg == "--dir") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--file") {
                o.file = value;
            } else if (arg == "--dir") {
                o.dir = value;
            } else {
                const auto r =
                    std::from_chars(value.data(), value.data() + value.size(), o.offsetHz);
                if (r.ec != std::errc{} || r.ptr != value.data() + value.size() ||
                    !(std::fabs(o.offsetHz) <= 100000.0)) {
                    error = "--offset needs a number of Hz from -100000 to 100000";
                    return false;
                }
            }
        } else if (arg.rfind("--", 0) == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            o.rest.push_back(arg);
        }
    }
    return true;
}

Result<std::vector<StationRecord>> load(const std::string& path) {
    auto list = loadFrequencyList(path);
    if (!list) return Error{list.error().code, path + ": " + list.error().message};
    if (list->droppedBytes > 0)
        std::cerr << "zebstations: " << path << ": the last " << list->droppedBytes
                  << " bytes are not a whole record and are ignored\n";
    return std::move(list->records);
}

// The frequency list of the working directory unless --file named one.
bool resolveFile(Options& o, std::string& error) {
    if (!o.file.empty()) return true;
    if (o.dir && o.dir->empty()) {
        error = "--dir needs a directory";
        return false;
    }
    auto dir = suiteWorkDir(o.dir ? std::optional<std::filesystem::path>(*o.dir) : std::nullopt);
    if (!dir) {
        error = dir.error().message;
        return false;
    }
    o.file = (*dir / kFrequencyListPath).string();
    return true;
}

int list(const Options& o) {
    if (o.rest.size() > 1) return fail("list takes one file");
    auto records = load(o.rest.empty() ? o.file : o.rest.front());
    if (!records) return fail(records.error().message);
    for (const StationRecord& r : *records) {
        std::cout << formatPrintf(
            "%5u %12.3f %12.3f %3d %-16s %-8s %-20s %5d %5d %5d\n",
            {r.id, r.frequencyKhz, dialFrequencyKhz(r, 0.0), r.modulation,
             std::string(modulationLabel(r.modulation)), display(callSignText(r)),
             display(nameText(r)), r.speed, r.shiftHz, r.centreHz});
    }
    return 0;
}

int add(const Options& o) {
    if (o.rest.size() != 1) return fail("add takes one station line");
    auto lock = FileLock::acquire(o.file);
    if (!lock) return fail(lock.error().message);
    auto records = load(o.file);
    if (!records) return fail(records.error().message);
    const auto id = newStationId(*records);
    if (!id) return fail("the list already holds 8191 stations");
    const auto utf8 = std::to_string(*id) + ";" + o.rest.front() + " # added from the command line";
    auto parsed = parseFrequencySource(utf8, "station");
    if (!parsed) return fail(parsed.error().message);
    records->push_back(parsed->front());
    if (auto saved = saveFrequencyList(o.file, *records); !saved)
        return fail(o.file + ": " + saved.error().message);
    std::cout << *id << "\n";
    return 0;
}

int remove(const Options& o) {
    if (o.rest.empty()) return fail("remove needs at least one id");
    auto lock = FileLock::acquire(o.file);
    if (!lock) return fail(lock.error().message);
    auto records = load(o.file);
    if (!records) return fail(records.error().message);
    for (const std::string& text : o.rest) {
        std::uint32_t id = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), id);
        if (r.ec != std::errc{} || r.ptr != text.data() + text.size())
            return fail("\"" + text + "\" is no station id");
        const auto at = findStation(*records, id);
        if (!at) return fail("no station has the id " + text);
        records->erase(records->begin() + static_cast<std::ptrdiff_t>(*at));
    }
    if (auto saved = saveFrequencyList(o.file, *records); !saved)
        return fail(o.file + ": " + saved.error().message);
    return 0;
}

template <std::size_t N>
std::string hex(const std::array<std::uint8_t, N>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) out += (i % 16 == 0) ? '\n' : ' ';
        out += formatPrintf("%02X", {static_cast<unsigned>(bytes[i])});
    }
    return out + "\n";
}

int handover(const Options& o) {
    if (o.rest.size() != 1) return fail("handover takes one station id");
    auto records = load(o.file);
    if (!records) return fail(records.error().message);
    std::uint32_t id = 0;
    const std::string& text = o.rest.front();
    const auto r = std::from_chars(text.data(), text.data() + text.size(), id);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size())
        return fail("\"" + text + "\" is no station id");
    const auto at = findStation(*records, id);
    if (!at) return fail("no station has the id " + text);
    const StationRecord& station = (*records)[*at];
    switch (modulationClass(station.modulation)) {
        case ModulationClass::Fax: {
            const FaxStart s = faxStart(station, o.offsetHz);
            std::cout << formatPrintf("fax, dial %f kHz, mode %u\n",
                                      {s.dialFrequencyKhz, station.receiverMode})
                      << hex(encodeHandover(s.record));
            return 0;
        }
        case ModulationClass::Teleprinter: {
            const TeleprinterStart s = teleprinterStart(station, o.offsetHz);
            std::cout << formatPrintf("teleprinter, dial %f kHz, mode %u\n",
                                      {s.dialFrequencyKhz, station.receiverMode})
                      << hex(encodeHandover(s.record));
            return 0;
        }
        default: {
            double dial = dialFrequencyKhz(station, o.offsetHz);
            if (station.dialFrequencyKhz != 0.0) dial = station.dialFrequencyKhz;
            std::cout << formatPrintf(
                "%s, dial %f kHz, mode %u, no hand-over record\n",
                {modulationClass(station.modulation) == ModulationClass::Cw ? "CW"
                                                                            : "audio recording",
                 dial, station.receiverMode});
            return 0;
        }
    }
}

int schedule(const Options& o) {
    if (o.rest.size() != 1) return fail("schedule takes one schedule file");
    auto loaded = loadSchedule(o.rest.front());
    if (!loaded) return fail(o.rest.front() + ": " + loaded.error().message);
    if (loaded->droppedBytes > 0)
        std::cerr << "zebstations: " << o.rest.front() << ": the last " << loaded->droppedBytes
                  << " bytes are not a whole entry and are ignored\n";
    auto records = load(o.file);
    if (!records) return fail(records.error().message);
    std::vector<ScheduleEntry> entries = loaded->entries;
    sortByStart(entries);
    for (const ScheduleEntry& e : entries) {
        const auto at = findStation(*records, e.stationId);
        std::string line;
        if (at) {
            const StationRecord& s = (*records)[*at];
            line = display(scheduleLine(e, s, modulationLabel(s.modulation)));
            for (std::size_t p; (p = line.find("\xC3\xBF")) != std::string::npos;)
                line.replace(p, 2, " | ");
        } else {
            line = " " + timeText(e.start) + " - " + timeText(e.end) + " | station " +
                   std::to_string(e.stationId) + " is not in the list";
        }
        if (!isValidTime(e.start) || !isValidTime(e.end)) line += " | invalid time";
        if (e.started) line += " | started";
        std::cout << line << "\n";
    }
    if (const auto bad = findOverlap(entries))
        std::cout << "The overlap test fails at entry " << *bad + 1
                  << ": the schedule cannot be switched on.\n";
    return 0;
}

int compile(int argc, char** argv) {
    if (argc != 4) return fail("compile takes a source and an output file");
    const std::string source = argv[2];
    auto text = readWholeFile(source);
    if (!text) return fail(source + ": " + text.error().message);
    auto records = parseFrequencySource(*text, source);
    if (!records) return fail(records.error().message);
    auto lock = FileLock::acquire(argv[3]);
    if (!lock) return fail(lock.error().message);
    if (auto saved = saveFrequencyList(argv[3], *records); !saved)
        return fail(std::string(argv[3]) + ": " + saved.error().message);
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
        std::cout << versionLine("zebstations") << "\n";
        return 0;
    }
    if (command == "compile") return compile(argc, argv);
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) return fail(error);
    const bool fileGiven = command == "list" && !options.rest.empty();
    if (!fileGiven && !resolveFile(options, error)) return fail(error);
    if (command == "list") return list(options);
    if (command == "add") return add(options);
    if (command == "remove") return remove(options);
    if (command == "handover") return handover(options);
    if (command == "schedule") return schedule(options);
    std::cerr << kUsage;
    return 2;
}
