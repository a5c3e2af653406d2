#include "stations/FrequencySource.h"

#include "stations/CodeNames.h"
#include "stations/FrequencyList.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace zeb::stations {
namespace {

const std::filesystem::path kProjectDir =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

constexpr const char* kDwd =
    "67;10100.8;DDK9;Pinneberg DWD;Germany;Weather RTTY;RTTY;USB;50;450;;;;;1.5;0;inverted;"
    "DWD weather RTTY  # a source";

TEST(FrequencySource, ParsesAStationLine) {
    auto parsed = parseFrequencySource(std::string("# comment\n\n") + kDwd + "\n", "test");
    ASSERT_TRUE(parsed) << parsed.error().message;
    ASSERT_EQ(parsed->size(), 1u);
    const StationRecord& r = parsed->front();
    EXPECT_EQ(r.id, 67u);
    EXPECT_EQ(r.frequencyKhz, 10100.8);
    EXPECT_EQ(callSignText(r), "DDK9");
    EXPECT_EQ(nameText(r), "Pinneberg DWD");
    EXPECT_EQ(r.country, *countryCode("Germany"));
    EXPECT_EQ(r.modulation, 3);
    EXPECT_EQ(r.receiverMode, kModeUsb);
    EXPECT_EQ(r.speed, 50);
    EXPECT_EQ(r.shiftHz, 450);
    EXPECT_EQ(r.centreHz, 0);
    EXPECT_EQ(r.stopBits, 1.5f);
    EXPECT_EQ(r.polarity, 0);
    EXPECT_EQ(remarkText(r), "DWD weather RTTY");
    EXPECT_NEAR(dialFrequencyKhz(r, 0), 10099.3, 1e-9);
}

TEST(FrequencySource, NamesConvertToWindows1252) {
    auto parsed = parseFrequencySource(
        "5;518;LGP;Bod\xC3\xB8 (B);Norway;NAVTEX;SITOR-B;USB;100;170;;;;;;2;normal;x # s\n", "t");
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_EQ(nameText(parsed->front()), "Bod\xF8 (B)");
}

// The good line with field `index` replaced.
std::string withField(std::size_t index, const std::string& value) {
    std::vector<std::string> fields;
    std::string text =
        "1;7880;DDK3;Hamburg;Germany;Weather fax;Fax F1C;USB;120;850;1900;576;300;450;;0;normal;r";
    for (std::size_t from = 0;;) {
        const auto at = text.find(';', from);
        fields.push_back(text.substr(from, at == std::string::npos ? at : at - from));
        if (at == std::string::npos) break;
        from = at + 1;
    }
    fields.at(index) = value;
    std::string out;
    for (const auto& f : fields) out += (out.empty() ? "" : ";") + f;
    return out;
}

TEST(FrequencySource, RejectsFaultyLinesWithTheirLineNumber) {
    const std::string good = withField(0, "1");
    struct Case {
        std::string text;
        const char* what;
        const char* where;
    };
    const Case cases[] = {
        {good, "no source", "list.csv:2:"},
        {"1;7880;DDK3;Hamburg # s", "fields", "list.csv:2:"},
        {withField(0, "0") + " # s", "id", "list.csv:2:"},
        {withField(1, "abc") + " # s", "kHz", "list.csv:2:"},
        {withField(1, "1e300") + " # s", "3000000 kHz", "list.csv:2:"},
        {withField(3, "A name longer than twenty") + " # s", "longer", "list.csv:2:"},
        {withField(4, "Atlantis") + " # s", "country", "list.csv:2:"},
        {withField(6, "Fax F9C") + " # s", "modulation", "list.csv:2:"},
        {withField(8, "99999") + " # s", "speed", "list.csv:2:"},
        {withField(16, "upside") + " # s", "polarity", "list.csv:2:"},
        {withField(14, "1e300") + " # s", "stop bits", "list.csv:2:"},
        {good + " # s\n" + good + " # s", "twice", "list.csv:3:"},
    };
    for (const Case& c : cases) {
        auto parsed = parseFrequencySource("# header\n" + c.text + "\n", "list.csv");
        ASSERT_FALSE(parsed) << c.text;
        EXPECT_NE(parsed.error().message.find(c.what), std::string::npos) << parsed.error().message;
        EXPECT_EQ(parsed.error().message.rfind(c.where, 0), 0u) << parsed.error().message;
    }
    EXPECT_TRUE(parseFrequencySource(good + " # s", "list.csv"));
}

// The shipped list: it compiles, and the well-known broadcasts are in it
// with the parameters their operators publish.
TEST(ShippedFrequencyList, CompilesAndHoldsTheKnownBroadcasts) {
    const std::string text = test::readFile(kProjectDir / "resources/data/frequencies.csv");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    auto parsed = parseFrequencySource(text, "frequencies.csv");
    ASSERT_TRUE(parsed) << parsed.error().message;
    EXPECT_GE(parsed->size(), 100u);

    std::set<double> dwdRtty;
    for (const StationRecord& r : *parsed) {
        EXPECT_FALSE(nameText(r).empty()) << r.id;
        EXPECT_FALSE(modulationLabel(r.modulation).empty()) << r.id;
        EXPECT_FALSE(countryName(r.country).empty()) << r.id;
        EXPECT_EQ(r.receiverMode, kModeUsb) << r.id;
        if (modulationClass(r.modulation) == ModulationClass::Fax) {
            EXPECT_TRUE(r.speed == 120 || r.speed == 60) << r.id;
            EXPECT_EQ(r.faxIoc, 576) << r.id;
        }
        if (r.modulation == kModulationSitorB) {
            EXPECT_EQ(r.speed, 100) << r.id;
            EXPECT_EQ(teleprinterStart(r, 0).record.codeVariant, 2) << r.id;
        }
        if (callSignText(r).starts_with("DD") && r.modulation == kModulationRtty) {
            dwdRtty.insert(r.frequencyKhz);
            EXPECT_EQ(r.speed, 50);
            EXPECT_EQ(r.polarity, 0);
            EXPECT_EQ(r.shiftHz, r.frequencyKhz < 1000 ? 85 : 450);
        }
    }
    EXPECT_EQ(dwdRtty, (std::set<double>{147.3, 4583, 7646, 10100.8, 11039, 14467.3}));
    auto has = [&](double kHz, std::uint8_t modulation) {
        for (const StationRecord& r : *parsed)
            if (r.frequencyKhz == kHz && r.modulation == modulation) return true;
        return false;
    };
    EXPECT_TRUE(has(7880, *modulationCode("Fax F1C")));
    EXPECT_TRUE(has(518, kModulationSitorB));
    EXPECT_TRUE(has(490, kModulationSitorB));
    EXPECT_TRUE(has(4209.5, kModulationSitorB));
}

// The programs with a window take the names from their language bundles;
// those must say what the command-line tool and the build say.
TEST(CodeNames, LanguageBundlesCarryTheSameNames) {
    for (const char* bundle :
         {"resources/zebmenu/en/strings.txt", "resources/nimba/en/strings.txt"}) {
        std::map<int, std::string> strings;
        std::istringstream in(test::readFile(kProjectDir / bundle));
        for (std::string line; std::getline(in, line);) {
            const auto tab = line.find('\t');
            if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
            strings[std::stoi(line.substr(0, tab))] = line.substr(tab + 1);
        }
        for (int code = 0; code < 256; ++code) {
            const std::string_view name = countryName(code);
            if (!name.empty()) {
                EXPECT_EQ(strings[kCountryStringBase + code], name) << bundle;
            }
            if (code < kTypeCodeCount && !typeName(code).empty()) {
                EXPECT_EQ(strings[kTypeStringBase + code], typeName(code)) << bundle;
            }
            if (code < kModulationCodeCount && !modulationLabel(code).empty()) {
                EXPECT_EQ(strings[kModulationStringBase + code], modulationLabel(code)) << bundle;
            }
        }
    }
}

}  // namespace
}  // namespace zeb::stations
