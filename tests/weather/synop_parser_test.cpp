// SYNOP reports through the bulletin scanner: the values a report gives, the
// reports that are refused, and groups that must not disturb the record.
#include <gtest/gtest.h>

#include "bulletin_fixture.h"
#include "weather/ReportDescription.h"

namespace zeb::weather {
namespace {

using namespace test;
using namespace presence;

constexpr std::string_view kHeading = "ZCZC 123\r\r\nSMDL01 EDZW 061200\r\r\n";

class SynopParserTest : public ::testing::Test {
protected:
    SynopParserTest() : data(sampleData()), scanner(data, output, &store) {
        scanner.setClock([this] { return now; });
    }

    void bulletin(std::string_view body) {
        feed(scanner, kHeading);
        feed(scanner, body);
    }

    WeatherData data;
    RecordingOutput output;
    VectorStore store;
    TextScanner scanner;
    TimeKey now = sampleNow();
};

TEST_F(SynopParserTest, LandReportGivesEveryValueAndOneRecord) {
    bulletin(
        "AAXX 06121\r\r\n"
        "10637 32966 82005 10102 20058 30108 40158 52012=\r\r\nNNNN\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    const SynopRecord& r = store.records[0];
    EXPECT_EQ(r.kind, kKindLand);
    EXPECT_EQ(r.serial, 123);
    EXPECT_EQ(r.station.number, 10637);
    EXPECT_EQ(r.presence, kStation | kVisibility | kWindDirection | kWindSpeed | kAirTemperature |
                              kDewPoint | kStationPressure | kSeaLevelPressure | kTendency);
    EXPECT_EQ(r.windDirection, 200);
    EXPECT_EQ(r.windSpeed, 5);
    EXPECT_EQ(r.iw, 1);
    EXPECT_EQ(r.airTemperature, 102);
    EXPECT_EQ(r.dewPoint, 58);
    EXPECT_EQ(r.stationPressure, 108);
    EXPECT_EQ(r.seaLevelPressure, 158);
    EXPECT_EQ(r.tendency, 12);
    EXPECT_EQ(r.a, 2);
    EXPECT_EQ(r.vv, 66);
    EXPECT_EQ(r.n, '8');
    EXPECT_EQ(r.reportTime, timeKey({2026, 12, 6, 12, 0, 0}));
    EXPECT_EQ(r.bulletinTime, timeKey({2026, 12, 6, 12, 0, 0}));
    EXPECT_EQ(r.headingTypeText, "Main synoptic observations");
    EXPECT_EQ(r.centre.name, "Offenbach");
    EXPECT_EQ(encode(r).size(), 487u);

    const std::string& d = output.texts;
    EXPECT_NE(d.find("Bulletin 123 of 06.12.2026, 12:00 UTC from Offenbach\n"), std::string::npos);
    EXPECT_NE(d.find("Frankfurt/Main, Germany\n"), std::string::npos);
    EXPECT_NE(d.find("50.07 N  08.41 E  06.12.2026  12:00\n"), std::string::npos);
    EXPECT_NE(d.find("Station pressure (111 m) 1010.8 hPa\n"), std::string::npos);
    EXPECT_NE(d.find("Sea-level pressure 1015.8 hPa\n"), std::string::npos);
    EXPECT_NE(d.find("Pressure tendency 1.2 hPa\nRising steadily\n"), std::string::npos);
    EXPECT_NE(d.find("Air temperature 10.2 \xB0"
                     "C\n"),
              std::string::npos);
    EXPECT_NE(d.find("Dew point 5.8 \xB0"
                     "C\n"),
              std::string::npos);
    EXPECT_NE(d.find("Wind (anemometer) 5.0 m/s (9.7 kn) from 200\xB0\n"), std::string::npos);
    EXPECT_NE(d.find("Visibility 16 km\n"), std::string::npos);
    EXPECT_NE(d.find("Total cloud cover sky overcast\n"), std::string::npos);
    EXPECT_EQ(scanner.state(), 1);
}

TEST_F(SynopParserTest, ReportsThatCannotBeDatedOrPlacedAreRefused) {
    // A station missing from the list: error 2, nothing stored, and the
    // next report of the section is read again.
    bulletin("AAXX 06121\r\r\n99999 32966 82005=\r\r\n10384 32966 82005=\r\r\nNNNN\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    EXPECT_EQ(store.records[0].station.number, 10384);
    EXPECT_NE(output.texts.find("\nUnknown station: _99999 $0A $39 $39 $39 $39 $39 C:$20 _ "
                                "A:11 S:05\n"),
              std::string::npos)
        << output.texts;
    EXPECT_EQ(scanner.errors(2), 1);

    // A bulletin dated in the future (12:30 while it is 12:05): refused.
    store.records.clear();
    now = timeKey({2026, 12, 6, 12, 5, 0});
    feed(scanner, "ZCZC 124\r\r\nSMDL01 EDZW 061230\r\r\nAAXX 06121\r\r\n10637 32966 82005=\r\r\n");
    EXPECT_TRUE(store.records.empty());
    EXPECT_EQ(scanner.refused(), 1);
}

TEST_F(SynopParserTest, NilReportGivesOnlyTheNilLines) {
    bulletin("AAXX 06121\r\r\n10637 NIL=\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    EXPECT_EQ(store.records[0].presence, kStation | kNil);
    EXPECT_EQ(output.texts,
              "\nNo observation (NIL) from Frankfurt/Main, Germany\n"
              "The station sent no data for this hour.\n");
}

TEST_F(SynopParserTest, GroupsMustComeInAscendingOrder) {
    bulletin("AAXX 06121\r\r\n10637 32966 82005 10102 20058 52012 30108=\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    EXPECT_TRUE(store.records[0].presence & kTendency);
    EXPECT_FALSE(store.records[0].presence & kStationPressure);
}

TEST_F(SynopParserTest, MissingTemperatureGroupsDoNotLoseTheRest) {
    bulletin("AAXX 06121\r\r\n10637 32966 82005 40158 69901 76166=\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    const SynopRecord& r = store.records[0];
    EXPECT_EQ(r.presence & (kAirTemperature | kDewPoint), 0u);
    EXPECT_TRUE(r.presence & kSeaLevelPressure);
    EXPECT_TRUE(r.presence & kPrecipitation);
    EXPECT_TRUE(r.presence & kWeather);
    EXPECT_NE(output.texts.find("Present weather: Slight rain\n"), std::string::npos);
}

TEST_F(SynopParserTest, PrecipitationTraceAndTenths) {
    bulletin("AAXX 06121\r\r\n10637 32966 82005 69901=\r\r\n10384 32966 82005 69951=\r\r\n");
    EXPECT_NE(output.texts.find("Precipitation in the last 6 hours < 0.1 mm\n"), std::string::npos);
    EXPECT_NE(output.texts.find("Precipitation in the last 6 hours 0.5 mm\n"), std::string::npos);
}

TEST_F(SynopParserTest, ShipPositionsFollowTheQuadrant) {
    bulletin(
        "BBXX\r\r\nDBBH 06121 99543 70123 41/98 82005 10102=\r\r\n"
        "62101 06121 99100 30200 41/98 82005=\r\r\nNNNN\r\r\n");
    ASSERT_EQ(store.records.size(), 2u);
    const SynopRecord& ship = store.records[0];
    EXPECT_EQ(ship.kind, kKindShip);
    EXPECT_EQ(ship.station.latitude, -3258);
    EXPECT_EQ(ship.station.longitude, -738);
    EXPECT_EQ(ship.station.name, "DBBH");
    EXPECT_TRUE(ship.presence & kCallSign);
    EXPECT_NE(output.texts.find("Ship DBBH\n54.18 N  12.18 W"), std::string::npos);
    // Five digits identify a buoy: region 62, number 101, quadrant 3 (S, E).
    const SynopRecord& buoy = store.records[1];
    EXPECT_FALSE(buoy.presence & kCallSign);
    EXPECT_EQ(buoy.a1bw, 62);
    EXPECT_EQ(buoy.buoyNumber, 101);
    EXPECT_EQ(buoy.station.latitude, 600);
    EXPECT_EQ(buoy.station.longitude, 1200);
    EXPECT_EQ(scanner.state(), 1);
}

TEST_F(SynopParserTest, SectionsTwoThreeAndFour) {
    bulletin(
        "BBXX\r\r\nDBBH 06121 99543 70123 41/98 82005 10102 22200 00123 10304 20203 "
        "31812 40806 50503 61020 70035 333 10152 21025 31/05 47020 81630 444 81530=\r\r\n");
    ASSERT_EQ(store.records.size(), 1u);
    const SynopRecord& r = store.records[0];
    EXPECT_EQ(r.seaTemperature, 123);
    EXPECT_EQ(r.waveHeight, 35);  // the 70 group's tenths win over 1PPHH
    EXPECT_EQ(r.windWavePeriod, 2);
    EXPECT_EQ(r.windWaveHeight, 3);
    EXPECT_EQ(r.swellDirection1, 18);
    EXPECT_EQ(r.swellDirection2, 12);
    EXPECT_EQ(r.swellPeriod1, 8);
    EXPECT_EQ(r.swellHeight1, 6);
    EXPECT_EQ(r.is, 1);
    EXPECT_EQ(r.esEs, 2);
    EXPECT_EQ(r.maxTemperature, 152);
    EXPECT_EQ(r.minTemperature, -25);
    EXPECT_EQ(r.tgTg, 5);
    EXPECT_EQ(r.e, 1);
    EXPECT_EQ(r.ePrime, 7);
    EXPECT_EQ(r.snowDepth, 20);
    EXPECT_EQ(r.layerAmount[6], 1);
    EXPECT_EQ(r.layerHeight[6], 30);
    EXPECT_EQ(r.nPrime, 8);
    EXPECT_EQ(r.cPrime, 1);
    EXPECT_EQ(r.hPrime, 53);
    EXPECT_EQ(r.ct, 0);
    EXPECT_TRUE(r.presence & kSection4);
    EXPECT_NE(output.texts.find("1/8 stratocumulus 900 m\n"), std::string::npos);
}

TEST_F(SynopParserTest, BadDigitsStoreNothingOutOfPlace) {
    // Cloud layers without a genus, an oversized and a missing fff.
    bulletin(
        "AAXX 06121\r\r\n10637 32966 82099 00300 10102 333 81/60 8//60=\r\r\n"
        "10384 32966 82099 00120=\r\r\n10637 32966 82099 00///=\r\r\n");
    ASSERT_EQ(store.records.size(), 3u);
    EXPECT_FALSE(store.records[0].presence & kCloudLayers);
    for (std::uint8_t amount : store.records[0].layerAmount) EXPECT_EQ(amount, 0);
    EXPECT_FALSE(store.records[0].presence & kWindSpeed);
    EXPECT_EQ(store.records[0].windSpeed, 0xFF);
    EXPECT_EQ(store.records[1].windSpeed, 120);
    EXPECT_TRUE(store.records[1].presence & kWindSpeed);
    EXPECT_FALSE(store.records[2].presence & kWindSpeed);
}

TEST_F(SynopParserTest, GarbledShipIdentificationIsErrorZero) {
    bulletin("BBXX\r\r\n// 06121=\r\r\nNNNN\r\r\n");
    EXPECT_EQ(scanner.errors(0), 0);  // fewer than three characters: not judged
    feed(scanner, "ZCZC 125\r\r\nSMDL01 EDZW 061200\r\r\nBBXX\r\r\n/// 06121=\r\r\n");
    EXPECT_EQ(scanner.errors(0), 1);
    EXPECT_TRUE(store.records.empty());
}

TEST(ReportDescription, RecordsReadBackFromFilesAreDescribedSafely) {
    const WeatherData data = sampleData();
    SynopRecord r;
    r.kind = kKindShip;
    r.presence = 0x7FFFFFFF & ~kNil & ~kCallSign;
    r.ds = 200;
    r.vs = 255;
    r.a1bw = 250;
    r.cl = '\x01';
    r.nh = '\xFF';
    r.iw = 77;
    r.ww = 255;
    r.layerAmount.fill(200);
    r.layerHeight.fill(255);
    r.station.name = std::string(51, 'X');
    r.headingAreaText = std::string(79, 'A');
    const std::string d = describeReport(r, true, data.texts, ReportFormats::english());
    EXPECT_LE(d.size(), kMaxDescription);
    EXPECT_EQ(d.back(), '\n');
}

TEST(ReportDescription, FormatsFromABundleFallBackToEnglish) {
    MapStringTable table;
    table.set(42, "Meldung %d vom %02d.%02d.%d %02d:%02d");
    table.set(47,
              " %.1f \xC2\xB0"
              "C");  // UTF-8 in the bundle
    const ReportFormats f = ReportFormats::fromTable(table, 40);
    EXPECT_EQ(f.bulletin, "Meldung %d vom %02d.%02d.%d %02d:%02d");
    EXPECT_EQ(f.temperature,
              " %.1f \xB0"
              "C");
    EXPECT_EQ(f.wind, ReportFormats::english().wind);
}

}  // namespace
}  // namespace zeb::weather
