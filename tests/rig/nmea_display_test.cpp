#include "rig/NmeaDisplay.h"
#include "rig/NmeaOutgoing.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zeb::rig {
namespace {

constexpr const char* kPositionFormat = "%d°%06.3f' %s  %d°%06.3f' %s";
const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const std::string kGll = "$GPGLL,4916.45,N,12311.12,W,225444,A,*1D\r\n";
const std::string kGgaPosition = "48°07.038' N  11°31.000' E";

// Feeds the sentences to a new display and returns whether it showed the last
// one, then the position, time and date, altitude, satellites and GLL status.
std::string panel(const std::vector<std::string>& sentences) {
    NmeaDisplay display;
    bool shown = false;
    for (const std::string& s : sentences) shown = display.update(s);
    const NmeaFix& fix = display.fix();
    const char* valid = !fix.valid ? "?" : *fix.valid ? "A" : "V";
    return std::string(shown ? "shown" : "not shown") + "|" + formatPosition(kPositionFormat, fix) +
           "|" + formatTimeDate(fix) + "|" + formatAltitude(fix) + "|" + formatSatellites(fix) +
           "|" + valid;
}

TEST(NmeaDisplayTest, SentencesGiveThePanelTexts) {
    const std::string gga = "shown|" + kGgaPosition + "||545|8|?";
    const std::string ggaRmc = "shown|" + kGgaPosition + "|12:35:19, 23.03.2094|545|8|";
    const std::string gll = "shown|49°16.450' N  123°11.120' W||||";
    const struct {
        const char* what;
        std::vector<std::string> sentences;
        std::string panel;
    } cases[] = {
        {"GGA", {kGga}, gga},
        {"GGA and RMC", {kGga, kRmc}, ggaRmc + "?"},
        {"GLL", {kGll}, gll + "A"},
        {"GLL void keeps the old position", {kGll, "$GNGLL,1.0,S,2.0,E,010203,V"}, gll + "V"},
        {"GLL void alone", {"$GLGLL,4916.45,N,12311.12,W,225444,V"}, "shown|||||V"},
        {"other talker, leap second",
         {"$GNGGA,235960.25,0000.010,S,18000,W,1,12,,-12.7", "$GNRMC,,,,,,,,,010100"},
         "shown|0°00.010' S  180°00.000' W|23:59:60, 01.01.2000|-12|12|?"},
        {"empty fields keep the fix", {kGga, "$GPGGA,,,,,,0,,,,,,,,*66"}, gga},
        {"truncated", {kGga, kRmc, "$GPGGA,1", "$GPRMC,", "$GPGLL"}, ggaRmc + "V"},
        {"out of range",
         {kGga, kRmc, "$GPGGA,240000,4860.000,X,18000.001,N,1,100,,100001,M",
          "$GPRMC,,,,,,,,,320394", "$GPRMC,,,,,,,,,231394", "$GPRMC,,,,,,,,,0101001",
          "$GPGGA,126019,0.009,,0.0099", "$GPGGA,101010.1x"},
         ggaRmc + "?"},
        {"huge and odd numbers",
         {kGga, "$GPGGA,1235191,18446744073710786.183,N,1e3,E,1,-8,,nan,M,,,,,,,,,,,,,"},
         gga},
        {"not shown",
         {"$GPGSV,3,1,11,03,03,111,00", "$GPGG,1", "GPGGA,1", "", "*\r\n"},
         "not shown|||||?"},
    };
    for (const auto& c : cases) EXPECT_EQ(panel(c.sentences), c.panel) << c.what;
}

TEST(NmeaDisplayTest, SpeedCourseAndTranslatedFormats) {
    NmeaDisplay display;
    display.update(kGll);
    display.update(kRmc);
    EXPECT_EQ(display.fix().speed, 22400);
    EXPECT_EQ(display.fix().course, 84400);
    // Translators' texts with the wrong conversions or too many of them.
    EXPECT_EQ(formatPosition("%s %s %s|%d %d %d %d %n%s", display.fix()), "49 16.45 N|123 11 W  ");
    display.update("$GPRMC,,,,,,,100000,360.001");
    EXPECT_EQ(display.fix().speed, 22400);
    EXPECT_EQ(display.fix().course, 84400);
}

TEST(NmeaOutgoingTest, AcceptsOnlyCheckedSentences) {
    struct Case {
        const char* what;
        std::string message;
        std::optional<std::string> expected;
    };
    const std::string len80 = "$" + std::string(79, 'A');
    const std::string ais = "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26";
    const Case cases[] = {
        {"plain", "$GPGGA,1,2", "$GPGGA,1,2\r\n"},
        {"with CR LF and NUL", std::string("$GPGLL,1*4D\r\n\0\x01\xFF", 16), "$GPGLL,1*4D\r\n"},
        {"AIS", ais, ais + "\r\n"},
        {"bad checksum", "$GPGLL,1*4E", {}},
        {"star without checksum", "$GPGLL,1*", {}},
        {"82 with CR LF", len80 + "\r\n", len80 + "\r\n"},
        {"83 with CR LF", len80 + "A", {}},
        {"binary junk", "$GP\x01GGA", {}},
        {"high byte", "$GP\xB0GGA", {}},
        {"LF alone", "$GPGGA\n", {}},
        {"two line ends", "$GPGGA\r\n\r\n", {}},
        {"no start character", "GPGGA,1", {}},
        {"empty", "", {}},
        {"cut at a NUL", std::string("$GP\0GGA\x01", 8), "$GP\r\n"},
        {"NUL first", std::string("\0$GPGGA", 7), {}},
        {"longer than 255 bytes", std::string("$GP\0", 4) + std::string(252, 'x'), {}},
    };
    for (const Case& c : cases) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.message.data());
        EXPECT_EQ(acceptOutgoing({bytes, c.message.size()}), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace zeb::rig
