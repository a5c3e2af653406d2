// The staged DATA files: form of the text tables, every key the report
// description looks up, the station table against its source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string dataDir() {
    const char* suite = std::getenv("ZEB_TEST_SUITE_DIR");
    return std::string(suite ? suite : "suite") + "/DATA/";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Reads a text table the way the suite's reader does, checking its form on
// the way: every line ends with a line feed, is at most 254 characters
// without its CR LF, and no key appears twice. Returns key → text.
std::map<std::string, std::string> readTable(const std::string& name, std::size_t keyLength) {
    const std::string bytes = readFile(dataDir() + name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes.back(), '\n') << name << " must end with a line feed";
    std::map<std::string, std::string> table;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find('\n', start);
        if (end == std::string::npos) break;
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_LE(line.size(), 254u) << name << ":" << lineNumber;
        if (line.empty() || line[0] == ';') continue;
        EXPECT_GT(line.size(), keyLength + 1) << name << ":" << lineNumber;
        EXPECT_EQ(line[keyLength], ' ') << name << ":" << lineNumber;
        const std::string key = line.substr(0, keyLength);
        EXPECT_TRUE(table.emplace(key, line.substr(keyLength + 1)).second)
            << name << ":" << lineNumber << " repeats key " << key;
    }
    return table;
}

struct Entry {
    int number, region, elevation, latitude, longitude;
    std::string indicator, name;
};

int s16(const std::string& b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(b[at]) |
                                     (static_cast<std::uint8_t>(b[at + 1]) << 8));
}

std::vector<Entry> readStations() {
    const std::string b = readFile(dataDir() + "WMOSTAT.DAT");
    std::vector<Entry> entries;
    std::size_t at = 0;
    while (at + 19 <= b.size()) {
        const std::size_t n = static_cast<std::uint8_t>(b[at + 18]);
        EXPECT_LE(n, 51u) << "entry at byte " << at;
        if (at + 19 + n > b.size()) break;
        const auto number = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
        EXPECT_EQ(s16(b, at + 6), 0) << "reserved field of " << number;
        entries.push_back({number, s16(b, at + 4), s16(b, at + 8), s16(b, at + 10), s16(b, at + 12),
                           b.substr(at + 14, 4), b.substr(at + 19, n)});
        at += 19 + n;
    }
    EXPECT_EQ(at, b.size()) << "WMOSTAT.DAT ends inside an entry";
    return entries;
}

std::string key(const char* format, int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

TEST(DataFiles, ReportTextsHoldEveryKeyTheDescriptionLooksUp) {
    const auto texts = readTable("SYNTXT.DAT", 4);
    std::vector<std::string> keys = {"SRUF", "SREG", "KURX", "PSTA", "PSEA", "PDF0", "LDAA", "LTMP",
                                     "MTMP", "TTMP", "RELF", "TMIN", "TMAX", "TMIB", "TWHX", "BEDX",
                                     "WOUS", "PWEL", "HWEL", "PWD1", "HWD1", "PWD2", "HWD2", "PWSE",
                                     "HWSE", "DDI1", "DDI2", "WMA0", "WMA1", "WOLK", "HSXX", "STIE",
                                     "NDSX", "EADI", "GGWA", "GGWW", "ER00", "ER01", "ER02"};
    const std::string figuresOrSlash = "0123456789/";
    for (const char* prefix : {"TWH", "BED", "WCL", "WCM", "WCH"})
        for (char c : figuresOrSlash) keys.push_back(prefix + std::string(1, c));
    for (const char* family : {"KUR%d", "SPE%d", "WOT%d", "WBD%d", "BZO%d", "BZM%d", "NDS%d"})
        for (int i = 0; i <= 9; ++i) keys.push_back(key(family, i));
    for (const char* family : {"TW%02d", "HS%02d", "GA%02d", "GW%02d"})
        for (int i = 0; i <= 99; ++i) keys.push_back(key(family, i));
    for (int a1 = 1; a1 <= 7; ++a1)
        for (int bw = 0; bw <= 9; ++bw) keys.push_back(key("SR%02d", a1 * 10 + bw));
    for (int i = 0; i <= 8; ++i) keys.push_back(key("LDA%d", i));
    for (int i = 1; i <= 5; ++i) keys.push_back(key("EAA%d", i));
    for (int i = 0; i <= 4; ++i) keys.push_back(key("EAC%d", i));
    for (int i = 997; i <= 999; ++i) keys.push_back(key("S%d", i));
    // BBB indicators: three letters and "M".
    for (const char* first : {"RR", "CC", "AA"})
        for (char x = 'A'; x <= 'Y'; ++x) keys.push_back(first + std::string(1, x) + "M");
    for (const char* bbb : {"PAAM", "PABM", "PZCM"}) keys.push_back(bbb);

    for (const auto& k : keys) {
        const auto it = texts.find(k);
        EXPECT_TRUE(it != texts.end() && !it->second.empty()) << "no text for " << k;
    }
    // The BBB texts are copied into an 80-byte field of the report record.
    for (const auto& [k, text] : texts)
        if (k.size() == 4 && k[3] == 'M' && (k[0] == 'R' || k[0] == 'C' || k[0] == 'A')) {
            EXPECT_LT(text.size(), 80u) << k;
        }
}

TEST(DataFiles, DesignatorTablesCoverSynopWarningsAndShipAreas) {
    const auto tt = readTable("DESCTT.DAT", 2);
    const auto aa = readTable("DESCAA.DAT", 2);
    for (const char* k :
         {"SM", "SI", "SN", "SA", "SS", "US", "UK", "FP", "FC", "FT", "WS", "FA", "FB", "FE", "FG",
          "FH", "FJ", "FM", "FP", "FQ", "FR", "FW", "FX", "FZ", "WE", "WH", "WO", "WT", "WW"})
        EXPECT_TRUE(tt.count(k)) << "T1T2 " << k;
    for (const char* k : {"DL", "UK", "FR", "US", "RO", "OS", "ML", "MJ", "EN", "DN", "CN", "XX"})
        EXPECT_TRUE(aa.count(k)) << "A1A2 " << k;
    for (char a1 : {'V', 'W'})
        for (char a2 : std::string("ABCDEFJX")) EXPECT_TRUE(aa.count({a1, a2})) << a1 << a2;
    for (const auto* table : {&tt, &aa})
        for (const auto& [k, text] : *table) {
            EXPECT_TRUE(k[0] >= 'A' && k[0] <= 'Z' && k[1] >= 'A' && k[1] <= 'Z') << k;
            EXPECT_LT(text.size(), 80u) << k;  // kept in an 80-byte record field
        }
}

TEST(DataFiles, StationTableNamesEveryRegionAndTheOriginatingCentres) {
    const auto stations = readStations();
    const auto texts = readTable("SYNTXT.DAT", 4);
    ASSERT_GT(stations.size(), 30u);
    std::set<int> numbers;
    std::set<std::string> indicators;
    for (const auto& s : stations) {
        EXPECT_GE(s.region, 1000) << s.number;
        EXPECT_TRUE(texts.count(std::to_string(s.region))) << "no country text for " << s.region;
        EXPECT_FALSE(s.name.empty()) << s.number;
        EXPECT_NE(s.name.back(), ' ') << s.number;
        EXPECT_LE(std::abs(s.latitude), 90 * 60) << s.number;
        EXPECT_LE(std::abs(s.longitude), 180 * 60) << s.number;
        numbers.insert(s.number);
        indicators.insert(s.indicator);
    }
    for (int n : {10637, 3772, 72503}) EXPECT_TRUE(numbers.count(n)) << n;
    for (const char* cccc : {"EDZW", "EGRR", "LFPW", "KWBC"}) EXPECT_TRUE(indicators.count(cccc));
}

// "50-03N" → -3003: an independent reading of the source's positions.
int sourceMinutes(const std::string& text) {
    int degrees = 0, minutes = 0, seconds = 0;
    char hemisphere = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &degrees, &minutes, &seconds, &hemisphere) != 4) {
        seconds = 0;
        std::sscanf(text.c_str(), "%d-%d%c", &degrees, &minutes, &hemisphere);
    }
    const int value = degrees * 60 + minutes + (seconds >= 30 ? 1 : 0);
    return (hemisphere == 'N' || hemisphere == 'W') ? -value : value;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ';')) out.push_back(field);
    return out;
}

// Upper case without surrounding blanks: the fallback list spells some names
// in mixed case, and the converter trims.
std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s.substr(std::min(s.find_first_not_of(' '), s.size()));
}

TEST(DataFiles, StationsMatchTheNoaaList) {
    const char* shared = std::getenv("ZEB_TEST_SHARED_DATA");
    std::ifstream source(std::string(shared ? shared : "") + "/stations/nsd_bbsss.txt");
    if (!source) GTEST_SKIP() << "NOAA station list not beside the project";
    std::map<int, Entry> staged;
    for (const auto& s : readStations()) staged.emplace(s.number, s);  // first entry wins
    const bool fullList = staged.size() > 10000;

    std::string line;
    int compared = 0;
    while (std::getline(source, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto f = fields(line);
        if (f.size() < 12) continue;
        const int number = std::atoi(f[0].c_str()) * 1000 + std::atoi(f[1].c_str());
        const bool known = number == 10637 || number == 3772 || number == 72503 ||
                           number == 47662 || number == 94767 || number == 8495;
        const auto it = staged.find(number);
        if (fullList) {
            EXPECT_TRUE(it != staged.end()) << "missing " << number;
        }
        if (it == staged.end() || !(known || fullList)) continue;
        const Entry& s = it->second;
        EXPECT_EQ(s.latitude, sourceMinutes(f[7])) << number;
        EXPECT_EQ(s.longitude, sourceMinutes(f[8])) << number;
        EXPECT_EQ(s.elevation, f[11].empty() ? 0 : std::atoi(f[11].c_str())) << number;
        EXPECT_EQ(s.indicator, f[2] == "----" ? "    " : f[2]) << number;
        if (upper(f[3]).size() <= 51) {
            EXPECT_EQ(upper(s.name), upper(f[3])) << number;
        }
        ++compared;
    }
    EXPECT_GE(compared, 6);
}

}  // namespace
