#include "rig/NmeaLineAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zeb::rig {
namespace {

std::vector<std::string> feed(NmeaLineAssembler& a, const std::string& bytes) {
    std::vector<std::string> out;
    for (char c : bytes) {
        if (auto line = a.push(static_cast<std::uint8_t>(c))) out.push_back(*line);
    }
    return out;
}

TEST(NmeaLineAssemblerTest, AcceptsAndDropsLines) {
    struct Case {
        const char* what;
        std::string input;
        std::vector<std::string> expected;
    };
    const std::string len80 = "$" + std::string(77, 'A') + "\r\n";  // 80 with the LF
    const std::string len81 = "$" + std::string(78, 'A') + "\r\n";
    const Case cases[] = {
        {"plain", "$GPGGA,1,2\r\n", {"$GPGGA,1,2\r\n"}},
        {"good checksum", "$GPGLL,1*4D\r\n", {"$GPGLL,1*4D\r\n"}},
        {"lower-case checksum", "$GPGLL,1*4d\r\n", {"$GPGLL,1*4d\r\n"}},
        {"bad checksum", "$GPGLL,1*4E\r\n", {}},
        {"short checksum", "$GPGLL,1*4\r\n", {}},
        {"no CR", "$GPGGA\n", {}},
        {"no dollar", "GPGGA\r\n", {}},
        {"control character", "$GP\tGGA\r\n", {}},
        {"high byte", "$GP\xB0GGA\r\n", {}},
        {"80 characters", len80, {len80}},
        {"81 characters", len81, {}},
        {"garbage then line", "xx\r\n$A\r\n", {"$A\r\n"}},
    };
    for (const Case& c : cases) {
        NmeaLineAssembler a;
        EXPECT_EQ(feed(a, c.input), c.expected) << c.what;
    }
}

TEST(NmeaLineAssemblerTest, StreamWithoutLineFeedsWrapsWithinTheBuffer) {
    NmeaLineAssembler a;
    // 255 bytes fill indices 0..254; the next byte starts again at 0. The
    // wrapped line is dropped, the following one gets through.
    EXPECT_TRUE(feed(a, std::string(1000, '$') + "\r\n").empty());
    EXPECT_EQ(feed(a, "$GPX\r\n"), std::vector<std::string>{"$GPX\r\n"});
    const std::string exact = "$" + std::string(252, 'B') + "\r\n";  // 255 bytes, no wrap
    EXPECT_TRUE(feed(a, exact).empty());                             // too long, dropped
    EXPECT_EQ(feed(a, "$Y\r\n"), std::vector<std::string>{"$Y\r\n"});
}

}  // namespace
}  // namespace zeb::rig
