// Station-list converter: exact entry bytes, coordinates, names, bad lines.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "StationList.h"

namespace zeb::data {
namespace {

std::string le(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

// One table entry written out field by field, independent of the encoder.
std::string entry(int number, int region, int elevation, int latitude, int longitude,
                  const std::string& indicator, const std::string& name) {
    return le(static_cast<std::uint32_t>(number), 4) + le(static_cast<std::uint32_t>(region), 2) +
           le(0, 2) + le(static_cast<std::uint16_t>(elevation), 2) +
           le(static_cast<std::uint16_t>(latitude), 2) +
           le(static_cast<std::uint16_t>(longitude), 2) + indicator +
           std::string(1, static_cast<char>(name.size())) + name;
}

StationList convert(const std::string& text, std::string* diagnostics = nullptr) {
    StationList list;
    std::istringstream in(text);
    std::ostringstream messages;
    list.addSource(in, "list", messages);
    if (diagnostics) *diagnostics = messages.str();
    return list;
}

TEST(StationList, EncodesEntriesWithSignsRegionsAndIndicators) {
    const auto list = convert(
        "10;637;EDDF;Frankfurt / M-Flughafen;;Germany;6;50-03N;008-36E;50-03N;008-35E;111;113;P\r\n"
        "87;582;SABE;Buenos Aires Aeroparque;;Argentina;3;34-34S;058-25W;;;6;;\r\n"
        "72;503;KLGA;NEW YORK LA GUARDIA AIRPORT ;NY;United States;4;40-46-31N;73-53-08W;;;7;;\r\n"
        "01;002;----;Grahuken;;Norway;6;79-47N;014-28E;;;;15;\r\n");
    ASSERT_EQ(list.counts().kept, 4);
    EXPECT_EQ(list.counts().noElevation, 1);
    // Regions number the countries in byte order from 1000.
    const std::string expected =
        entry(10637, 1001, 111, -(50 * 60 + 3), 8 * 60 + 36, "EDDF", "Frankfurt / M-Flughafen") +
        entry(87582, 1000, 6, 34 * 60 + 34, -(58 * 60 + 25), "SABE", "Buenos Aires Aeroparque") +
        entry(72503, 1003, 7, -(40 * 60 + 47), -(73 * 60 + 53), "KLGA",
              "NEW YORK LA GUARDIA AIRPORT") +
        entry(1002, 1002, 0, -(79 * 60 + 47), 14 * 60 + 28, "    ", "Grahuken");
    EXPECT_EQ(list.encode(), expected);
    EXPECT_EQ(list.regionLines(),
              "1000 Argentina\n1001 Germany\n1002 Norway\n1003 United States\n");
}

TEST(StationList, CoordinatesRoundSecondsAndRejectMalformedText) {
    EXPECT_EQ(parseCoordinate("50-03N", 'S', 'N', 90), -3003);
    EXPECT_EQ(parseCoordinate("34-34S", 'S', 'N', 90), 2074);
    EXPECT_EQ(parseCoordinate("9-30S", 'S', 'N', 90), 570);
    EXPECT_EQ(parseCoordinate("40-46-29N", 'S', 'N', 90), -2446);
    EXPECT_EQ(parseCoordinate("40-46-30N", 'S', 'N', 90), -2447);
    EXPECT_EQ(parseCoordinate("179-59-45W", 'E', 'W', 180), -10800);
    EXPECT_EQ(parseCoordinate("000-00E", 'E', 'W', 180), 0);
    for (const char* bad :
         {"", "N", "50-3N", "50-03", "50-03E", "91-00N", "90-01N", "50-60N", "50-03-60N", "-03N",
          "50--03N", "50-03-N", "5a-03N", "1234-00N", "50-03-10-10N"})
        EXPECT_FALSE(parseCoordinate(bad, 'S', 'N', 90)) << bad;
    EXPECT_FALSE(parseCoordinate("180-01E", 'E', 'W', 180));
}

TEST(StationList, LongNamesAreCutAtAWordBoundary) {
    const std::string exact(51, 'x');
    EXPECT_EQ(shortenName(exact), exact);
    EXPECT_EQ(shortenName("Sembach United States Air Force Operated Base In Foreign Country"),
              "Sembach United States Air Force Operated Base");
    EXPECT_EQ(shortenName("Montreal / Pierre Elliot Trudeau International Airport, Que"),
              "Montreal / Pierre Elliot Trudeau International");
    EXPECT_EQ(shortenName("Phoenix, Phoenix Sky Harbor International Airport Terminal"),
              "Phoenix, Phoenix Sky Harbor International Airport");
    EXPECT_EQ(shortenName(std::string(60, 'y')), std::string(51, 'y'));  // no blank: hard cut
    for (const char* name : {"Aaaa Bbbb Cccc Dddd Eeee Ffff Gggg Hhhh Iiii Jjjj, Kkkk Llll",
                             "Navy Operated Automatic Meteorological Observing System "}) {
        const std::string cut = shortenName(name);
        EXPECT_LE(cut.size(), kMaxNameLength);
        EXPECT_NE(cut.back(), ' ');
        EXPECT_NE(cut.back(), ',');
        EXPECT_EQ(std::string(name).rfind(cut, 0), 0u) << "not a prefix: " << cut;
    }
}

TEST(StationList, MalformedLinesAreReportedAndSkippedAlone) {
    std::string diagnostics;
    const auto list = convert(
        "# comment\n"
        "\n"
        "10;637;EDDF;Frankfurt;;Germany;6;50-03N;008-36E;;;111;;\n"
        "10;638;EDXX;Too few fields;;Germany\n"
        "XX;YYY;EDXX;No number;;Germany;6;50-03N;008-36E;;;111;;\n"
        "10;639;EDXX;Bad latitude;;Germany;6;50N;008-36E;;;111;;\n"
        "10;640;EDXX;Bad longitude;;Germany;6;50-03N;008-36X;;;111;;\n"
        "10;641;EDXX;;;Germany;6;50-03N;008-36E;;;111;;\n"
        "10;642;EDXX;No country;;;6;50-03N;008-36E;;;111;;\n"
        "10;637;EDXX;Duplicate number;;Germany;6;50-03N;008-36E;;;111;;\n"
        "\xff\xfe\x01;\x80;;;;;;;;;;;;\n"
        "10;643;E?1;Odd indicator;;Germany;6;50-03N;008-36E;;;abc;;\n"
        "10;644;ETAS;Last good;;Germany;6;50-03N;008-36E;;;-5;;",
        &diagnostics);
    EXPECT_EQ(list.counts().lines, 11);
    EXPECT_EQ(list.counts().skipped, 8);
    ASSERT_EQ(list.counts().kept, 3);
    EXPECT_EQ(list.stations()[1].indicator, "    ");  // unreadable indicator and elevation
    EXPECT_EQ(list.stations()[1].elevation, 0);
    EXPECT_EQ(list.stations()[2].elevation, -5);
    for (const char* where : {"list:4:", "list:5:", "list:6:", "list:7:", "list:8:", "list:9:",
                              "list:10:", "list:11:", "list:12:"})
        EXPECT_NE(diagnostics.find(where), std::string::npos) << where << "\n" << diagnostics;
    EXPECT_NE(diagnostics.find("already listed (line 3)"), std::string::npos);
}

TEST(StationList, SupplementAddsOnlyIndicatorsNotYetListed) {
    StationList list;
    std::ostringstream messages;
    std::istringstream main("03;763;EGRR;Bracknell;;United Kingdom;6;51-23N;000-47W;;;74;;\n");
    list.addSource(main, "main", messages);
    std::istringstream extra(
        "03;839;EGRR;Exeter;;United Kingdom;6;50-44N;003-25W;;;30;;\n"
        "03;763;EGXX;Same number, new indicator;;United Kingdom;6;51-23N;000-47W;;;74;;\n"
        "10;641;----;No indicator;;Germany;6;50-05N;008-47E;;;120;;\n");
    list.addSource(extra, "extra", messages, true);
    ASSERT_EQ(list.stations().size(), 2u);
    EXPECT_EQ(list.stations()[0].name, "Bracknell");
    EXPECT_EQ(list.stations()[1].indicator, "EGXX");
    EXPECT_EQ(list.counts().present, 1);
    EXPECT_EQ(list.counts().skipped, 1);
}

}  // namespace
}  // namespace zeb::data
