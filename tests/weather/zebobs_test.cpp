// zebobs on a station file made by the real chain: the DWD broadcast, two
// ships on either side of 180° three hours earlier and a station whose name
// holds bytes that CSV, JSON and XML must escape, decoded by zebdecode. The
// exports are read back by Python's csv, json and XML modules and xmllint.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/Format.h"
#include "common/TimeKey.h"
#include "support/Broadcasts.h"
#include "support/TestEnv.h"
#include "weather/ObservationExport.h"
#include "weather/SynopRecord.h"

namespace zeb::weather {
namespace {

// Quote, comma, a control character, XML's specials, a line feed,
// Windows-1252 'ä' and a zero byte.
constexpr char kOddName[] = "Q \"B\", C\x01<&>\n\xE4\0Z";

// A literal's bytes, zero bytes included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

bool installed(const std::string& program) {
    return std::system((program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) out += formatPrintf("%02x", {static_cast<int>(c)});
    return out;
}

std::string dayHour(TimeKey key) {
    const NameTime t = breakDown(key);
    return formatPrintf("%02d%02d", {t.day, t.hour});
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

class Zebobs : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path suite = test::testSetting("ZEB_TEST_SUITE_DIR");
        for (const char* needed : {"zebobs", "zebdecode", "DATA/WMOSTAT.DAT"})
            if (!std::filesystem::exists(suite / needed)) GTEST_SKIP() << needed << " not built";
        program_ = suite / "zebobs";

        // The suite's reference data and one more station.
        std::filesystem::copy(suite / "DATA", dir_ / "DATA");
        StationEntry odd;
        odd.number = 99998;
        odd.latitude = -600;  // 10° N
        odd.longitude = 600;  // 10° E
        odd.name = bytes(kOddName);
        std::array<std::uint8_t, kStationEntrySize> entry{};
        encodeStationEntry(odd, entry);
        std::string table = test::readFile(dir_ / "DATA" / "WMOSTAT.DAT");
        table.append(reinterpret_cast<const char*>(entry.data()),
                     kStationEntryHeader + odd.name.size());
        test::writeFile(dir_ / "DATA" / "WMOSTAT.DAT", table);

        const std::string hour = dayHour(lastHour_), early = dayHour(earlier_);
        const std::string text =
            test::dwdBroadcastText(hour) + "ZCZC 004\nSMDL02 EDZW " + hour + "00\nAAXX " + hour +
            "1\n99998 12570 71212 10054=\nNNNN\n"
            "ZCZC 005\nSMVD02 EDZW " +
            early + "00\nBBXX\nWQXA " + early + "1 99105 71795 41/98 82005 10021 40158=\nZMFB " +
            early + "1 99105 11795 41/98 82005 10021 40158=\nNNNN\n";
        test::writeFile(dir_ / "bulletins.txt", text);
        const std::string decode = "'" + (suite / "zebdecode").string() + "' text --dir '" +
                                   dir_.path().string() + "' '" + at("bulletins.txt") +
                                   "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(decode.c_str()), 0);
    }

    std::string at(const std::string& name) const { return (dir_ / name).string(); }

    // Runs zebobs in the test's directory (its DATA and SYNOP/STATION.DAT).
    CliRun run(const std::string& args) {
        const std::string command = "cd '" + dir_.path().string() + "' && '" + program_.string() +
                                    "' " + args + " >out.txt 2>err.txt";
        CliRun r;
        const int status = std::system(command.c_str());
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = test::readFile(dir_ / "out.txt");
        r.err = test::readFile(dir_ / "err.txt");
        return r;
    }

    // The station column of `list`.
    std::multiset<std::string> listed(const std::string& filters) {
        const CliRun r = run("list " + filters);
        EXPECT_EQ(r.status, 0) << filters << ": " << r.err;
        std::multiset<std::string> ids;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string date, time, id;
            words >> date >> time >> id;
            ids.insert(id);
        }
        return ids;
    }

    test::TempDir dir_;
    std::filesystem::path program_;
    const TimeKey lastHour_ = (now() - 3600) / 3600 * 3600;
    const TimeKey earlier_ = lastHour_ - 2 * 3600;
};

// Each reader prints per report: station, latitude, longitude, air
// temperature and the name's UTF-8 bytes in hexadecimal.
constexpr const char* kCsvReader = R"(
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
for r in rows[1:]:
    assert len(r) == len(rows[0]), r
    d = dict(zip(rows[0], r))
    print(d['station'], d['latitude'] or '-', d['longitude'] or '-',
          d['air_temperature_c'] or '-', d['name'].encode().hex())
)";
constexpr const char* kGeoJsonReader = R"(
import json, sys
doc = json.load(open(sys.argv[1], encoding='utf-8'))
assert doc['type'] == 'FeatureCollection'
for f in doc['features']:
    p = f['properties']
    lon, lat = f['geometry']['coordinates'] if f['geometry'] else ('-', '-')
    print(p['station'], lat, lon, p.get('air_temperature_c', '-'), p['name'].encode().hex())
)";
constexpr const char* kKmlReader = R"(
import sys, xml.etree.ElementTree as ET
k = '{http://www.opengis.net/kml/2.2}'
for pm in ET.parse(sys.argv[1]).getroot().iter(k + 'Placemark'):
    data = {d.get('name'): d.find(k + 'value').text for d in pm.iter(k + 'Data')}
    point = pm.find(k + 'Point/' + k + 'coordinates')
    lon, lat = point.text.split(',')[:2] if point is not None else ('-', '-')
    assert pm.find(k + 'description').text
    print(data['station'], lat, lon, data.get('air_temperature_c', '-'),
          pm.find(k + 'name').text.encode().hex())
)";

TEST_F(Zebobs, ExportsReadBackWithPositionsValuesAndNames) {
    if (!installed("python3 -c ''")) GTEST_SKIP() << "python3 is not installed";
    const struct {
        const char* format;
        const char* reader;
        std::string oddName;  // as the reader gives it back
    } formats[] = {
        // JSON keeps every character; CSV and XML get U+FFFD for the controls.
        {"geojson", kGeoJsonReader, bytes("Q \"B\", C\x01<&>\n\xC3\xA4\0Z")},
        {"csv", kCsvReader, bytes("Q \"B\", C\xEF\xBF\xBD<&>\n\xC3\xA4\xEF\xBF\xBDZ")},
        {"kml", kKmlReader, bytes("Q \"B\", C\xEF\xBF\xBD<&>\n\xC3\xA4\xEF\xBF\xBDZ")},
    };
    struct Expected {
        double latitude, longitude;
        const char* temperature;
    };
    const std::map<std::string, Expected> expected = {
        {"10637", {50.05, 8.6, "10.2"}},  // 50°03'N 8°36'E
        {"DBBH", {54.3, -12.3, "10.2"}},  // west of Ireland
        {"WQXA", {10.5, -179.5, "2.1"}},  // quadrant 7: north and west
        {"ZMFB", {10.5, 179.5, "2.1"}},   // quadrant 1: north and east
        {"99998", {10.0, 10.0, "5.4"}},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        const std::string out = "export." + std::string(f.format);
        const CliRun r = run("export --format " + std::string(f.format) + " --output " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        if (std::string(f.format) == "kml" && installed("xmllint --version")) {
            EXPECT_EQ(std::system(("xmllint --noout '" + at(out) + "'").c_str()), 0);
        }
        test::writeFile(dir_ / "reader.py", f.reader);
        const std::string read =
            "python3 '" + at("reader.py") + "' '" + at(out) + "' >'" + at("read.txt") + "'";
        ASSERT_EQ(std::system(read.c_str()), 0) << test::readFile(dir_ / out);

        std::istringstream lines(test::readFile(dir_ / "read.txt"));
        int rows = 0;
        for (std::string line; std::getline(lines, line); ++rows) {
            std::istringstream words(line);
            std::string station, lat, lon, temperature, name;
            words >> station >> lat >> lon >> temperature >> name;
            const auto e = expected.find(station);
            if (e == expected.end()) continue;
            SCOPED_TRACE(station);
            EXPECT_NEAR(std::stod(lat), e->second.latitude, 1e-4);
            EXPECT_NEAR(std::stod(lon), e->second.longitude, 1e-4);
            EXPECT_EQ(temperature, e->second.temperature);
            if (station == "99998") {
                EXPECT_EQ(name, hex(f.oddName));
            }
        }
        EXPECT_EQ(rows, 7);
    }
    // Descriptions come from the reference texts.
    EXPECT_NE(test::readFile(dir_ / "export.kml").find("Frankfurt / M-Flughafen, Germany"),
              std::string::npos);
}

TEST_F(Zebobs, FiltersSelectTheirReports) {
    using Ids = std::multiset<std::string>;
    const std::string recent = isoTime(lastHour_), early = isoTime(earlier_);
    const struct {
        std::string filters;
        Ids ids;
    } cases[] = {
        {"", {"10637", "10384", "10147", "DBBH", "99998", "WQXA", "ZMFB"}},
        {"--station 10637", {"10637"}},
        {"--station dbbh", {"DBBH"}},
        {"--box 49,8,51,9", {"10637"}},
        {"--box 60,-20,40,0", {"DBBH"}},
        {"--box 0,170,20,-170", {"WQXA", "ZMFB"}},  // across 180°
        {"--box 0,-170,20,170", {"99998"}},
        {"--country germany", {"10637", "10384", "10147"}},
        {"--from " + recent, {"10637", "10384", "10147", "DBBH", "99998"}},
        {"--to " + early, {"WQXA", "ZMFB"}},
        {"--time " + std::to_string(earlier_), {"WQXA", "ZMFB"}},
        {"--from " + early + " --to " + early + " --station 10637", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(listed(c.filters), c.ids) << c.filters;

    const CliRun summary = run("summary");
    EXPECT_EQ(summary.status, 0);
    EXPECT_NE(summary.out.find("7 reports in 4 bulletins, 4 land, 3 ship or buoy, 1 NIL"),
              std::string::npos)
        << summary.out;
}

TEST_F(Zebobs, BadUsageAndUnreadableFilesAreNamed) {
    std::string torn = test::readFile(dir_ / "SYNOP" / "STATION.DAT");
    test::writeFile(dir_ / "TORN.DAT", torn + std::string(100, '\x7F'));
    const struct {
        const char* args;
        int status;
        const char* message;
    } cases[] = {
        {"list /nonexistent/STATION.DAT", 2, "/nonexistent/STATION.DAT"},
        {"list DATA", 2, "DATA is a directory"},
        {"export --format xls", 2, "--format csv, geojson or kml"},
        {"list --box 10,20,30", 2, "10,20,30"},
        {"list --from tomorrow", 2, "tomorrow"},
        {"list --colour", 2, "--colour"},
        {"export --format csv --output /nonexistent/x.csv", 1, "/nonexistent/x.csv"},
        {"list TORN.DAT", 0, "TORN.DAT: the last 100 bytes"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_EQ(run("list TORN.DAT").out, run("list").out);
}

}  // namespace
}  // namespace zeb::weather
