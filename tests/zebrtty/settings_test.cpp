// ZEBRTTY.INI and ZEBSYS.INI as the RTTY program reads them: defaults, values
// it must not use as they stand, and what it writes back.
#include "ZebRttySettings.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace zeb::zebrtty {
namespace {

TEST(ZebRttySettings, BadValuesFallBackAndPositionsRoundTrip) {
    struct Case {
        const char* ini;
        const char* system;
        int baud, mode, center;
        float speed;
        std::array<int, 3> background;
        bool warnSound;
    };
    const Case cases[] = {
        // Nothing stored: the lower tone where every dial frequency puts it,
        // the warning tone on as the launcher shows it.
        {"", "", 75, 0, 1275, 1.0f, {192, 192, 192}, true},
        // Values that would stop or derail the decoder, and a raster speed
        // beyond its slider.
        {"[PARAM]\r\nBAUD=0\r\nMODE=7\r\nCENTER=99999\r\nSPEED=5\r\nBGCOLOR=1,2\r\n",
         "[SYSTEM]\r\nWARNSOUND=0\r\n",
         75,
         0,
         1275,
         1.0f,
         {192, 192, 192},
         false},
        {"[PARAM]\r\nBAUD=50\r\nMODE=2\r\nCENTER=1000\r\nSPEED=0.25\r\nBGCOLOR=10, 20 ,30\r\n",
         "[SYSTEM]\r\nWARNSOUND=1\r\n",
         50,
         2,
         1000,
         0.25f,
         {10, 20, 30},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        zeb::test::TempDir dir;
        zeb::test::writeFile(dir / "ZEBRTTY.INI", c.ini);
        zeb::test::writeFile(dir / "ZEBSYS.INI", c.system);
        ProfileFile file(dir / "ZEBRTTY.INI"), system(dir / "ZEBSYS.INI");
        ZebRttySettings s = readSettings(file, system);
        EXPECT_EQ(s.params.baud, c.baud);
        EXPECT_EQ(s.params.mode, c.mode);
        EXPECT_EQ(s.params.center, c.center);
        EXPECT_FLOAT_EQ(s.params.speed, c.speed);
        EXPECT_EQ(s.background, c.background);
        EXPECT_EQ(s.warnSound, c.warnSound);

        s.windows[static_cast<std::size_t>(Window::Settings)] = {10, 20, 310, 420};
        s.font = defaultFontRecord();
        ASSERT_TRUE(writeSettings(file, s));
        const ZebRttySettings back = readSettings(file, system);
        EXPECT_EQ(back.windows, s.windows);
        EXPECT_EQ(back.font, s.font);
        EXPECT_EQ(back.params.baud, c.baud);
        // An empty position is never written.
        EXPECT_EQ(zeb::test::readFile(dir / "ZEBRTTY.INI").find("CROSSPOS"), std::string::npos);
    }
}

}  // namespace
}  // namespace zeb::zebrtty
