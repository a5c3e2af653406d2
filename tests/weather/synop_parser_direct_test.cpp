// The SYNOP parser on its own: sections begun directly, without a bulletin
// heading, fed group by group as the scanner feeds them.
#include <gtest/gtest.h>

#include <cctype>
#include <vector>

#include "bulletin_fixture.h"
#include "weather/ReportDescription.h"
#include "weather/SynopParser.h"

namespace zeb::weather {
namespace {

using namespace test;
using namespace presence;
using Section = SynopParser::Section;
using GroupResult = SynopParser::GroupResult;
using Verdict = SynopParser::Finished::Verdict;

// Each separator ends a group; a group that was read clears the window.
// The result of the last group.
GroupResult feedGroups(SynopParser& parser, std::string_view groups) {
    GroupWindow w;
    GroupResult last = GroupResult::Unmatched;
    for (const char c : std::string(groups) + " ") {
        const auto ch = static_cast<std::uint8_t>(c);
        if (std::isalnum(ch) || c == '/') {
            w.push(ch, true);
            continue;
        }
        last = parser.group(w, ch);
        if (last == GroupResult::Matched)
            w.reset();
        else
            w.restartCount();
        w.push(ch, false);
    }
    return last;
}

class SynopParserDirect : public ::testing::Test {
protected:
    SynopParserDirect() : data(sampleData()), parser(data) {
        parser.setClock([] { return sampleNow(); });
        BulletinContext bulletin;
        bulletin.serial = 7;
        bulletin.bulletinTime = static_cast<std::uint32_t>(timeKey({2026, 12, 6, 12, 0, 0}));
        parser.beginBulletin(bulletin);
    }
    SynopParser::Finished report(Section section, std::string_view groups) {
        parser.beginSection(section);
        feedGroups(parser, groups);
        return parser.endReport();
    }
    WeatherData data;
    SynopParser parser;
};

// One decoded field and the value it must hold.
struct Expect {
    const char* name;
    int (*get)(const SynopRecord&);
    int value;
};
// clang-format off
#define FIELD(name, value) \
    Expect{#name, [](const SynopRecord& r) { return static_cast<int>(r.name); }, value}
// clang-format on
struct Case {
    Section section;
    const char* groups;
    std::uint32_t presence;  // bits that must be set
    std::vector<Expect> values;
};

TEST_F(SynopParserDirect, SectionsAndGroupsGiveTheirFields) {
    // clang-format off
    const Case cases[] = {
        {Section::Land, "06121 10637 32966 82005 10102 20058 30108 40158 52012 69901 76166 83562",
         kStation | kAirTemperature | kDewPoint | kStationPressure | kSeaLevelPressure | kTendency |
             kPrecipitation | kWeather | kClouds,
         {FIELD(station.number, 10637), FIELD(iw, 1), FIELD(vv, 66), FIELD(windDirection, 200),
          FIELD(windSpeed, 5), FIELD(airTemperature, 102), FIELD(dewPoint, 58),
          FIELD(stationPressure, 108), FIELD(seaLevelPressure, 158), FIELD(tendency, 12),
          FIELD(precipitation, 990), FIELD(ww, 61), FIELD(cm, '6')}},
        {Section::Land,
         "06123 10384 32966 82099 00120 11015 333 10152 21025 31/05 47020 81630 444 81530",
         kWindSpeed | kAirTemperature | kMaxTemperature | kMinTemperature | kGround | kSnow |
             kCloudLayers | kSection4,
         {FIELD(windSpeed, 120), FIELD(iw, 3), FIELD(airTemperature, -15),
          FIELD(maxTemperature, 152), FIELD(minTemperature, -25), FIELD(tgTg, 5), FIELD(e, 1),
          FIELD(ePrime, 7), FIELD(snowDepth, 20), FIELD(layerAmount[6], 1),
          FIELD(layerHeight[6], 30), FIELD(hPrime, 53)}},
        {Section::Ship,
         "DBBH 06121 99543 70123 41/98 82005 22261 00123 10304 20203 31812 61020 70035",
         kCallSign | kCourse | kSeaTemperature | kWaves | kWindWaves | kSwellDirections | kIce,
         {FIELD(kind, kKindShip), FIELD(station.latitude, -3258), FIELD(station.longitude, -738),
          FIELD(ds, 6), FIELD(seaTemperature, 123), FIELD(wavePeriod, 3), FIELD(waveHeight, 35),
          FIELD(windWaveHeight, 3), FIELD(swellDirection1, 18), FIELD(esEs, 2)}},
        // An odd sign figure is negative whatever the measuring method (3: bucket).
        {Section::Ship, "DBBH 06121 99543 70123 41/98 82005 22261 03015", kSeaTemperature,
         {FIELD(seaTemperature, -15)}},
        // Without groups 1 and 2 the rest is read; cloud layers repeat.
        {Section::Land, "06121 10637 32966 82005 30108 40158 333 81630 85360",
         kStationPressure | kSeaLevelPressure | kCloudLayers,
         {FIELD(airTemperature, -1), FIELD(stationPressure, 108), FIELD(layerAmount[6], 1),
          FIELD(layerHeight[6], 30), FIELD(layerAmount[3], 5), FIELD(layerHeight[3], 60)}},
        {Section::Ship, "62101 06121 99100 30200 41/98 82005", kStation | kWindSpeed,
         {FIELD(a1bw, 62), FIELD(buoyNumber, 101), FIELD(station.latitude, 600),
          FIELD(station.longitude, 1200)}},
        // Garbled groups: a letter in group 1, a missing pressure, a ground
        // group without temperature, a layer without genus.
        {Section::Land, "06121 10637 32966 82005 1Z102 20058 3//// 52012 333 31/// 81/60",
         kDewPoint | kTendency | kGround,
         {FIELD(airTemperature, -1), FIELD(stationPressure, -1), FIELD(e, 1),
          FIELD(tgTg, kMissingGroundTemperature), FIELD(layerAmount[1], 0)}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.groups);
        const auto done = report(c.section, c.groups);
        EXPECT_EQ(done.verdict, Verdict::Accepted);
        EXPECT_EQ(done.record.presence & c.presence, c.presence);
        EXPECT_EQ(done.record.serial, 7);
        for (const Expect& e : c.values) EXPECT_EQ(e.get(done.record), e.value) << e.name;
    }
}

TEST_F(SynopParserDirect, GarbledIdentificationsAndSectionEnds) {
    parser.beginSection(Section::Land);
    EXPECT_EQ(feedGroups(parser, "06121 99999"), GroupResult::UnknownStation);
    parser.beginSection(Section::Ship);
    EXPECT_EQ(feedGroups(parser, "///"), GroupResult::UnreadableShip);
    EXPECT_EQ(feedGroups(parser, "NNNN"), GroupResult::ReportEnd);
    EXPECT_EQ(parser.section(), Section::None);
    parser.beginSection(Section::Land);
    EXPECT_EQ(feedGroups(parser, "06121 10637 NIL"), GroupResult::ReportEnd);
    EXPECT_EQ(parser.endReport().record.presence, kStation | kNil);
    EXPECT_EQ(parser.state(), SynopParser::State::LandStation);
    EXPECT_EQ(feedGroups(parser, "10637 32966 82005 444 81530 8X5"), GroupResult::Skip);
}

// A missing ground temperature is no -1 °C: stored apart, not described.
TEST_F(SynopParserDirect, MissingGroundTemperatureIsNotMinusOne) {
    const auto missing = report(Section::Land, "06121 10637 32966 82005 333 31///");
    const auto minusOne = report(Section::Land, "06121 10637 32966 82005 333 31101");
    EXPECT_EQ(missing.record.tgTg, kMissingGroundTemperature);
    EXPECT_EQ(minusOne.record.tgTg, -1);
    EXPECT_EQ(encode(missing.record)[459], 0x80);
    EXPECT_EQ(encode(minusOne.record)[459], 0xFF);
    const auto described = [&](const SynopRecord& r) {
        return describeReport(r, false, data.texts, ReportFormats::english());
    };
    EXPECT_EQ(described(missing.record).find(" -1.0 \xB0"), std::string::npos);
    EXPECT_NE(described(minusOne.record).find(" -1.0 \xB0"), std::string::npos);
    EXPECT_FALSE(report(Section::Land, "06121 10637 32966 82005 333 3////").record.presence &
                 kGround);
}

// Each report starts clean; only the bulletin's (and a land section's) fields stay.
TEST_F(SynopParserDirect, EveryReportStartsFromACleanRecord) {
    parser.beginSection(Section::Ship);
    feedGroups(parser, "DBBH 06121 99543 70123 41/98 82005 22200 00123 10712 61020=");
    EXPECT_EQ(parser.endReport().record.wavePeriod, 7);
    feedGroups(parser, "DBBI 06111 99543 70123 41/98 82005 22200 70035=");
    const SynopRecord second = parser.endReport().record;
    EXPECT_EQ(second.wavePeriod, 0);
    EXPECT_EQ(second.is, 0);
    EXPECT_EQ(second.waveHeight, 35);
    EXPECT_EQ(second.reportTime, timeKey({2026, 12, 6, 11, 0, 0}));
    EXPECT_EQ(second.serial, 7);
    // A ship whose time never came has none of the last ship's time.
    feedGroups(parser, "DBBJ=");
    EXPECT_EQ(parser.endReport().verdict, Verdict::Refused);

    parser.beginSection(Section::Land);
    feedGroups(parser, "06124 10637 32966 82005 10102=");
    EXPECT_EQ(parser.endReport().record.airTemperature, 102);
    feedGroups(parser, "10384 32966 82005=");
    const auto land = parser.endReport();
    EXPECT_EQ(land.verdict, Verdict::Accepted);
    EXPECT_EQ(land.record.iw, 4);
    EXPECT_EQ(land.record.reportTime, timeKey({2026, 12, 6, 12, 0, 0}));
    EXPECT_FALSE(land.record.presence & kAirTemperature);
    EXPECT_EQ(land.record.airTemperature, -1);
}

}  // namespace
}  // namespace zeb::weather
