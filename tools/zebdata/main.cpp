// zebdata: builds the reference files of the suite's DATA directory.
//
//   zebdata stations --output WMOSTAT.DAT --regions REGIONS.TXT
//                    [--supplement FILE] LIST
//       converts a station list (NOAA nsd_bbsss layout) into the binary
//       station table and writes one text line "<region> <country>" per
//       country; --supplement adds entries whose location indicator the list
//       lacks (the bulletin originators).
//   zebdata text --key-length N --output FILE SOURCE...
//       checks and joins text-table sources into one Windows-1252 file with
//       CR LF line ends.
//
// Malformed station lines are reported and skipped; faults in the text
// sources (ours) fail the run. Outputs are replaced only on success.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "StationList.h"
#include "TextTable.h"
#include "common/Version.h"

namespace {

constexpr const char* kHelp =
    "Usage: zebdata stations --output FILE --regions FILE [--supplement FILE] LIST\n"
    "  or:  zebdata text --key-length N --output FILE SOURCE...\n"
    "\n"
    "Builds the reference files of the suite's DATA directory.\n"
    "\n"
    "  stations  converts the station list LIST (NOAA nsd_bbsss layout) into the\n"
    "            binary station table --output and writes one line \"REGION\n"
    "            COUNTRY\" per country to --regions; --supplement adds entries whose\n"
    "            location indicator the list lacks. Malformed lines are reported\n"
    "            and skipped.\n"
    "  text      checks the text-table SOURCEs (keys of N characters) and joins\n"
    "            them into one Windows-1252 file with CR LF line ends; any fault\n"
    "            fails the run.\n"
    "\n"
    "options:\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the version\n"
    "\n"
    "Outputs are replaced only on success. Exit status: 0 done, 1 failed,\n"
    "2 bad usage.\n";

int usage() {
    std::cerr << "Usage: zebdata stations --output FILE --regions FILE [--supplement FILE] LIST\n"
                 "  or:  zebdata text --key-length N --output FILE SOURCE...\n"
                 "Try 'zebdata --help'.\n";
    return 2;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::cerr << "zebdata: cannot write " << temporary << "\n";
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cerr << "zebdata: cannot replace " << path << "\n";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

struct Options {
    std::string output, regions, supplement;
    std::size_t keyLength = 0;
    std::vector<std::string> inputs;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--output" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--regions" && hasValue) {
            options.regions = argv[++i];
        } else if (arg == "--supplement" && hasValue) {
            options.supplement = argv[++i];
        } else if (arg == "--key-length" && hasValue) {
            options.keyLength = std::stoul(argv[++i]);
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options.inputs.push_back(arg);
        }
    }
    return !options.output.empty() && !options.inputs.empty();
}

int runStations(const Options& options) {
    if (options.regions.empty() || options.inputs.size() != 1) return usage();
    zeb::data::StationList list;
    std::ifstream in(options.inputs[0], std::ios::binary);
    if (!in) {
        std::cerr << "zebdata: cannot read " << options.inputs[0] << "\n";
        return 1;
    }
    list.addSource(in, options.inputs[0], std::cerr);
    if (!options.supplement.empty()) {
        std::ifstream extra(options.supplement, std::ios::binary);
        if (!extra) {
            std::cerr << "zebdata: cannot read " << options.supplement << "\n";
            return 1;
        }
        list.addSource(extra, options.supplement, std::cerr, true);
    }
    const auto& c = list.counts();
    if (c.kept == 0) {
        std::cerr << "zebdata: no station could be read\n";
        return 1;
    }
    const auto regions = list.regions();
    if (!writeFile(options.output, list.encode()) ||
        !writeFile(options.regions, list.regionLines()))
        return 1;
    std::cout << "zebdata: " << c.kept << " stations written, " << c.skipped << " lines skipped, "
              << c.present << " supplementary entries already listed, " << c.shortened
              << " names shortened, " << c.noElevation << " without elevation (written as 0), "
              << regions.size() << " countries (regions " << zeb::data::kFirstRegion << " to "
              << zeb::data::kFirstRegion + static_cast<int>(regions.size()) - 1 << ")\n";
    return 0;
}

int runText(const Options& options) {
    if (options.keyLength == 0) return usage();
    zeb::data::TextTableBuilder builder(options.keyLength);
    for (const auto& path : options.inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "zebdata: cannot read " << path << "\n";
            return 1;
        }
        builder.addSource(in, path);
    }
    for (const auto& error : builder.errors()) std::cerr << error << "\n";
    if (!builder.errors().empty()) return 1;
    return writeFile(options.output, builder.output()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kHelp;
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::cout << zeb::versionLine("zebdata") << "\n";
        return 0;
    }
    Options options;
    try {
        if (!parseOptions(argc, argv, options)) return usage();
    } catch (const std::exception&) {
        return usage();
    }
    if (command == "stations") return runStations(options);
    if (command == "text") return runText(options);
    return usage();
}
