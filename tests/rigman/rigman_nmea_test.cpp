// The NMEA bridge of the receiver-control program end to end: a GPS on the
// pseudo-terminal, a program listening on the IN mailslot, another writing
// into OUT, and the panel.
#include "RigmanTestSupport.h"

#include "NmeaBridge.h"
#include "RigmanWindow.h"
#include "common/bus/Bus.h"
#include "support/ChildProcess.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace zeb::rigman::test {
namespace {

std::string label(const Rigman& program, const char* name) {
    return program.window()->findChild<QLabel*>(name)->text().toStdString();
}

TEST(RigmanNmea, SentencesFlowBothWaysAndJunkIsDropped) {
    Sandbox box;
    if (!box.ready) GTEST_SKIP() << "no staged bundle or no pseudo-terminal";
    box.settings("RECEIVER=4\r\nNMEA=1\r\n");
    auto in = bus::MailslotServer::create(kNmeaInMailslot, 424);
    auto listener = bus::ClassEndpoint::claim("NMEA listener");
    auto navigation = bus::ClassEndpoint::claim(kNavigationClass);
    ASSERT_TRUE(in && listener && navigation);
    Rigman program(box.options());
    ASSERT_FALSE(program.startUp().has_value()) << box.boxes.texts.join('\n').toStdString();
    drain(box.pty);
    program.window()->show();
    program.setNmeaPanel(true);

    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    const std::string rmc =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    // Junk around them: a wrong checksum, binary bytes, a line without CR,
    // an over-long line.
    box.pty.write("$GPGGA,1*00\r\n\x01\x02\xff$GP\r\n$GPGLL,no cr\n" + std::string(100, 'A') +
                  "\r\n" + gga + rmc);
    std::vector<std::string> arrived;
    std::vector<std::int64_t> announced;
    ASSERT_TRUE(zeb::test::eventually([&] {
        QCoreApplication::processEvents();
        while (auto m = in->read()) arrived.emplace_back(m->begin(), m->end());
        while (auto m = listener->receive()) announced.push_back(m->wParam);
        return arrived.size() >= 2 && announced.size() >= 2 && label(program, "c1026") == "8";
    }));
    EXPECT_EQ(arrived, (std::vector<std::string>{gga + '\0', rmc + '\0'}));
    EXPECT_EQ(announced, (std::vector<std::int64_t>{std::int64_t(gga.size() + 1),
                                                    std::int64_t(rmc.size() + 1)}));
    EXPECT_EQ(program.nmea()->droppedIn(), 4u);
    // The navigation program was linked when forwarding started and gets
    // every sentence too.
    std::vector<std::pair<std::int64_t, std::string>> linked;
    while (auto m = navigation->receive())
        if (m->name == kNavigationMessage)
            linked.emplace_back(m->wParam, std::string(m->payload.begin(), m->payload.end()));
    EXPECT_EQ(linked, (std::vector<std::pair<std::int64_t, std::string>>{
                          {5, kClassName}, {6, ""}, {0, gga + '\0'}, {0, rmc + '\0'}}));
    EXPECT_EQ(label(program, "c1021"), rmc.substr(0, rmc.size() - 2));
    EXPECT_EQ(label(program, "c1023"), "48°07.038' N   11°31.000' E");
    EXPECT_EQ(label(program, "c1024"), "12:35:19, 23.03.2094");
    EXPECT_EQ(label(program, "c1025"), "545");
    EXPECT_EQ(label(program, "c1026"), "8");

    // Out: only a sound sentence reaches the serial line.
    const std::string out = "$GPWPL,4807.038,N,01131.000,E,WPT1";
    for (const std::string& message :
         {std::string("\x1b[2J$GPRMC"), std::string("$GPWPL*00"), std::string(90, '$'), out})
        ASSERT_TRUE(bus::writeMailslot(
            kNmeaOutMailslot,
            {reinterpret_cast<const std::uint8_t*>(message.data()), message.size()}));
    const std::string fromNavigation = "$GPRTE,1,1,c,0*07\r\n";
    bus::Message block{bus::MessageKind::Registered,
                       std::string(kNavigationMessage),
                       0,
                       0,
                       0,
                       std::vector<std::uint8_t>(fromNavigation.begin(), fromNavigation.end())};
    block.payload.push_back(0);
    ASSERT_TRUE(bus::post(kClassName, block));
    std::string written;
    ASSERT_TRUE(zeb::test::eventually([&] {
        written += drain(box.pty, std::chrono::milliseconds(20));
        return written.size() >= out.size() + fromNavigation.size() + 2;
    }));
    EXPECT_NE(written.find(out + "\r\n"), std::string::npos);
    EXPECT_NE(written.find(fromNavigation), std::string::npos);
    EXPECT_EQ(written.size(), out.size() + 2 + fromNavigation.size());
    EXPECT_EQ(program.nmea()->droppedOut(), 3u);
    const std::string shown = label(program, "c1028");
    EXPECT_TRUE(shown == out || shown + "\r\n" == fromNavigation) << shown;
    if (const std::string dir = zeb::test::testSetting("ZEB_SCREENSHOT_DIR"); !dir.empty()) {
        EXPECT_TRUE(program.window()->grab().save(QString::fromStdString(dir + "/rigman.png")));
    }
    program.shutdown();
}

}  // namespace
}  // namespace zeb::rigman::test
