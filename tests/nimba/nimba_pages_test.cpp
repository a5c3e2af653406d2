// The RTTY, CW and fax pages of the running program: their controls reach
// the decoders, their settings are written at once and used at the start,
// the RTTY page shows what the decoder measures, the RTTY mode chooses
// between the bulletin scanner and the NAVTEX message framer, and the framed
// messages are listed and shown on a click.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>

#include "CwPage.h"
#include "FaxPage.h"
#include "MainWindow.h"
#include "NimbaTestSupport.h"
#include "RttyPage.h"
#include "SpectrumLink.h"
#include "common/ProfileFile.h"
#include "fax/FaxConfig.h"
#include "support/RttyGenerator.h"
#include "ui/DialogLoader.h"
#include "ui/EventLoop.h"
#include "ui/PanelControls.h"
#include "ui/TextWindow.h"
#include "ui/WaterfallView.h"

namespace zeb::nimba {
namespace {

StartOptions shownOptions(const std::filesystem::path& dir) {
    StartOptions o;
    o.workDir = dir;
    o.receiver = [] { return makeNoReceiver(); };  // no serial port is searched
    o.input = "null";
    o.output = "null";
    o.show = true;  // pages are shown and hidden as the user sees them
    o.mixer = [] { return std::unique_ptr<audio::MixerDevice>(); };
    return o;
}

std::string iniValue(const std::filesystem::path& dir, const std::string& key) {
    const std::string ini = zeb::test::readFile(dir / "NIMBA.INI");
    const auto at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const auto start = at + key.size() + 2;
    return ini.substr(start, ini.find_first_of("\r\n", start) - start);
}

TEST(NimbaRttyPage, ControlsReachTheDecoderAndAreWrittenWhenThePageIsLeft) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kRttyTab);
    RttyPage& page = *w.rttyPage();
    QWidget* d = page.dialog();

    ui::controlAs<QSpinBox>(d, kRttyBaud)->setValue(50);
    ui::controlAs<QSpinBox>(d, kRttyShift)->setValue(450);
    auto* stop = ui::controlAs<QComboBox>(d, kRttyStop);
    stop->setCurrentIndex(stop->findData(2.0));
    emit stop->activated(stop->currentIndex());
    ui::controlAs<QCheckBox>(d, kRttyAutoPolarity)->click();  // Invers forces the polarity
    ui::controlAs<QPushButton>(d, kRttyInvert)->click();
    EXPECT_EQ(nimba.rtty()->params().baud, 50);
    EXPECT_EQ(nimba.rtty()->params().shift, 450);
    EXPECT_EQ(nimba.rtty()->params().stop, 2.0f);
    EXPECT_EQ(nimba.rtty()->params().invert, 1);
    EXPECT_TRUE(ui::controlAs<ui::LitSwitch>(d, kRttyInvert)->isLit());

    ui::controlAs<QPushButton>(d, kRttySitor)->click();
    EXPECT_EQ(nimba.rtty()->params().mode, 2);
    EXPECT_TRUE(ui::controlAs<ui::LitSwitch>(d, kRttySitor)->isLit());
    EXPECT_FALSE(ui::controlAs<ui::LitSwitch>(d, kRttyBaudot)->isLit());
    ui::controlAs<QPushButton>(d, kRttyLetters)->click();
    EXPECT_TRUE(nimba.rtty()->letters());
    EXPECT_TRUE(ui::controlAs<ui::LitSwitch>(d, kRttyLetters)->isLit());

    // The page shows the tones on the spectrum display while it is shown.
    EXPECT_EQ(nimba.spectrum().attached(), page.spectrumView());
    EXPECT_TRUE(nimba.spectrum().analyser().toneColumns().has_value());

    w.selectTab(kCwTab);
    EXPECT_EQ(iniValue(box.dir.path(), "BAUD"), "50");
    EXPECT_EQ(iniValue(box.dir.path(), "MODE"), "2");
    EXPECT_EQ(iniValue(box.dir.path(), "INVERS"), "1");
    EXPECT_EQ(nimba.spectrum().attached(), w.cwPage()->spectrumView());
}

TEST(NimbaRttyPage, DesignControlsReachTheDecoderAndTheReadoutFollowsTheSignal) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kRttyTab);
    RttyPage& page = *w.rttyPage();
    QWidget* d = page.dialog();
    RttyChain& chain = *nimba.rtty();
    ASSERT_TRUE(chain.start());
    auto* autoPolarity = ui::controlAs<QCheckBox>(d, kRttyAutoPolarity);
    auto* invert = ui::controlAs<ui::LitSwitch>(d, kRttyInvert);
    auto* snr = ui::controlAs<QLabel>(d, kRttySnr);
    ASSERT_TRUE(autoPolarity && invert && snr);
    EXPECT_FALSE(invert->isEnabled());  // the matched design finds the polarity
    // An inverted 50 Bd signal: the pump shows the polarity found and the S/N.
    ui::controlAs<QSpinBox>(d, kRttyBaud)->setValue(50);
    const auto audio = zeb::test::fskAudio(
        zeb::test::ita2Frames(zeb::test::ita2Codes("RYRYRY CQ CQ DE TEST TEST\n"), 1.5, 0, 20),
        {.baud = 50, .markHz = 1700, .spaceHz = 1275, .ebN0Db = 20});
    for (std::size_t at = 0; at + 1024 <= audio.size(); at += 1024)
        chain.processBlock(std::span<const float>(audio.data() + at, 1024));
    const QRegularExpression number(QStringLiteral("\\d+ dB"));
    page.poll();
    EXPECT_TRUE(number.match(snr->text()).hasMatch()) << snr->text().toStdString();
    EXPECT_TRUE(invert->isLit());

    autoPolarity->click();  // keeps the polarity found
    ui::controlAs<QSpinBox>(d, kRttySquelchDb)->setValue(12);
    ui::controlAs<QCheckBox>(d, kRttyUsos)->click();
    ui::controlAs<QSpinBox>(d, kRttyShift)->setValue(170);
    ui::controlAs<QSpinBox>(d, kRttyCenter)->setValue(1915);
    auto* design = ui::controlAs<QComboBox>(d, kRttyDesign);
    design->setCurrentIndex(design->findData(static_cast<int>(rtty::DemodVariant::Main)));
    emit design->activated(design->currentIndex());
    const rtty::RttyParams p = chain.params();
    EXPECT_EQ(std::tuple(p.variant, p.polarity, p.invert, p.squelchDb, p.usos, p.center),
              std::tuple(rtty::DemodVariant::Main, rtty::Polarity::Inverted, 1, 12.0f, true, 1915));
    page.poll();  // the filter designs measure no S/N
    EXPECT_FALSE(number.match(snr->text()).hasMatch()) << snr->text().toStdString();
    EXPECT_FALSE(autoPolarity->isEnabled());
    EXPECT_TRUE(invert->isEnabled() && invert->isLit());

    w.selectTab(kFrequencyTab);
    for (const auto& [key, value] :
         {std::pair{"DEMOD", "0"}, std::pair{"POLARITY", "2"}, std::pair{"SQUELCHDB", "12.000000"},
          std::pair{"USOS", "1"}, std::pair{"INVERS", "1"}})
        EXPECT_EQ(iniValue(box.dir.path(), key), value) << key;
}

// The S/N shown is the Eb/N0 the signal was made with, within a decibel:
// Baudot and SITOR-B (whose tones leak into each other's bit windows), the
// signal off the set tones with the frequency control on.
TEST(NimbaRttyPage, SnrReadoutIsTheEbN0OfTheSignal) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    nimba.window()->selectTab(kRttyTab);
    RttyPage& page = *nimba.window()->rttyPage();
    auto* snr = ui::controlAs<QLabel>(page.dialog(), kRttySnr);
    RttyChain& chain = *nimba.rtty();
    ASSERT_TRUE(snr && chain.start());
    const std::string text = "GALE WARNING 0600 UTC WIND NORTH 8 TO 9 SEA ROUGH VIS GOOD\n";
    struct Case {
        bool sitor;
        double ebN0Db, offsetHz;
    };
    // The modes take turns, so each signal starts on a newly tuned decoder.
    for (const auto& c : {Case{false, 6, 20}, Case{true, 6, -15}, Case{false, 10, -20},
                          Case{true, 10, 15}, Case{false, 16, 20}, Case{true, 16, -15}}) {
        SCOPED_TRACE(testing::Message() << c.sitor << " " << c.ebN0Db << " dB " << c.offsetHz);
        rtty::RttyParams p = chain.params();
        std::tie(p.mode, p.baud, p.shift, p.center, p.afc) =
            c.sitor ? std::tuple(2, 100, 170, 1275, true) : std::tuple(0, 50, 450, 1275, true);
        chain.setParams(p);
        const double lowerHz = p.center + c.offsetHz;
        const auto audio = zeb::test::fskAudio(
            c.sitor ? zeb::test::sitorElements(
                          zeb::test::fecSlots(zeb::test::ccir476Words(text + text), 16, false), 14)
                    : zeb::test::ita2Frames(zeb::test::ita2Codes(text + text), 1.5, 0, 20),
            {.baud = c.sitor ? 100.0 : 50.0,
             .markHz = lowerHz,
             .spaceHz = lowerHz + p.shift,
             .ebN0Db = c.ebN0Db});
        for (std::size_t at = 0; at + 1024 <= audio.size(); at += 1024)
            chain.processBlock(std::span<const float>(audio.data() + at, 1024));
        page.poll();
        const auto shown = QRegularExpression(QStringLiteral("(-?\\d+) dB")).match(snr->text());
        ASSERT_TRUE(shown.hasMatch()) << snr->text().toStdString();
        EXPECT_NEAR(shown.captured(1).toInt(), c.ebN0Db, 1.0);
    }
}

TEST(NimbaCwPage, KnobsSetTheFilterAndItsPassBandAndAreWrittenWhenLeft) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kCwTab);
    QWidget* d = w.cwPage()->dialog();
    auto* center = ui::controlAs<ui::RotaryKnob>(d, kCwCenterKnob);
    auto* width = ui::controlAs<ui::RotaryKnob>(d, kCwWidthKnob);
    ASSERT_NE(center, nullptr);
    ASSERT_NE(width, nullptr);
    center->setValue(800);
    width->stepBy(-1, true);  // 100 − 10
    EXPECT_EQ(nimba.cw()->band(), (cw::ToneBand{800, 90}));
    EXPECT_EQ(ui::controlAs<ui::SegmentDisplay>(d, kCwCenterDisplay)->text(), "0800");
    center->setValue(5000);  // beyond the knob: the top of its range
    EXPECT_EQ(nimba.cw()->band().center, 2000);
    EXPECT_TRUE(nimba.spectrum().analyser().passBandColumns().has_value());
    EXPECT_FALSE(nimba.spectrum().analyser().toneColumns().has_value());

    w.selectTab(kFrequencyTab);
    EXPECT_EQ(iniValue(box.dir.path(), "CENTER"), "2000");
    EXPECT_EQ(iniValue(box.dir.path(), "WIDTH"), "90");
}

// Starts the chain in SITOR-B mode and decodes a generated NAVTEX broadcast
// in blocks as the capture thread hands them over.
void receiveNavtex(RttyChain& chain, const std::string& text) {
    ASSERT_TRUE(chain.start());  // reads RTTYPARAM; the page's settings follow
    rtty::RttyParams p = chain.params();
    p.mode = 2;
    p.baud = 100;
    p.shift = 170;
    p.center = 1275;
    chain.setParams(p);
    zeb::test::FskSignal signal;
    signal.baud = 100;
    signal.markHz = 1275 + 8;
    signal.spaceHz = 1445 + 8;
    signal.ebN0Db = 25;
    const auto audio = zeb::test::fskAudio(
        zeb::test::sitorElements(zeb::test::fecSlots(zeb::test::ccir476Words(text), 20, false),
                                 14.0),
        signal);
    for (std::size_t at = 0; at + 1024 <= audio.size(); at += 1024)
        chain.processBlock(std::span<const float>(audio.data() + at, 1024));
}

TEST(NimbaRttyPage, SitorModeSavesNavtexMessagesThroughTheFramer) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    // Only station G is selected: F's navigational warning is not saved.
    ProfileFile ini(box.dir.path() / "NIMBA.INI");
    ini.setSection("RTTYPARAM");
    ASSERT_TRUE(ini.writeText("NAVTEXSTATIONS", "G").ok());
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    RttyChain& chain = *nimba.rtty();
    receiveNavtex(chain, "ZCZC FA01\nLIGHT OUT\nNNNN\nZCZC GA01\nGALE WARNING SKAGERRAK\nNNNN\n");
    ASSERT_TRUE(zeb::test::pumpUntil([&] {
        return nimba.window()->rttyPage()->text().model().saved().size() == 1;
    })) << nimba.window()->rttyPage()->text().model().contents();
    const auto saved = nimba.window()->rttyPage()->text().model().saved()[0];
    EXPECT_EQ(saved.filename().string().rfind("INFO_", 0), 0u) << saved;
    EXPECT_NE(zeb::test::readFile(saved).find("GALE WARNING SKAGERRAK"), std::string::npos);
    EXPECT_EQ(zeb::test::readFile(saved).find("LIGHT OUT"), std::string::npos);
    EXPECT_EQ(chain.scanner()->state(), 1);  // the bulletin scanner saw nothing
}

TEST(NimbaRttyPage, NavtexMessagesAreListedAndAClickShowsThem) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    ProfileFile ini(box.dir.path() / "NIMBA.INI");
    ini.setSection("RTTYPARAM");
    ASSERT_TRUE(ini.writeText("NAVTEXSTATIONS", "G").ok());
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kRttyTab);
    RttyPage& page = *w.rttyPage();
    QTreeWidget* list = page.messageList();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isHidden());  // Baudot

    // A warning, a message of a station not selected, one cut off by the next.
    receiveNavtex(*nimba.rtty(),
                  "ZCZC GB01\nGALE WARNING SKAGERRAK\nNNNN\nZCZC FE02\nFORECAST\n"
                  "NNNN\nZCZC GE03\nSW 4\nZCZC GA04\nLIGHT OUT\nNNNN\n");
    ASSERT_TRUE(zeb::test::pumpUntil([&] { return list->topLevelItemCount() == 4; }))
        << page.text().model().contents();
    page.refresh();
    EXPECT_FALSE(list->isHidden());
    QStringList rows;
    for (int r = 0; r < 4; ++r) {
        QStringList cells;
        for (int c = 1; c < list->columnCount(); ++c)
            cells << list->topLevelItem(r)->text(c).left(c == 2 ? 1 : -1);
        rows << cells.join(u'|');
    }
    EXPECT_EQ(rows, QStringList({"G|B|01|0|!|", "F|E|02|0||" + nimba.bundle()->string(9026),
                                 "G|E|03|0||" + nimba.bundle()->string(9027), "G|A|04|0|!|"}));

    auto click = [&](int row) {
        list->scrollToItem(list->topLevelItem(row));
        const QPointF at = list->visualItemRect(list->topLevelItem(row)).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(list->viewport(), &event);
        }
    };
    // The cut-off message ends where the next one starts.
    click(2);
    const QString selected = page.text().textCursor().selectedText();
    EXPECT_TRUE(selected.startsWith("ZCZC GE03")) << selected.toStdString();
    EXPECT_TRUE(selected.contains("SW 4"));
    EXPECT_FALSE(selected.contains("GA04"));
    EXPECT_TRUE(page.text().hasFocus());

    // Once the window has dropped the messages: the saved file, or a word
    // that the text is gone.
    std::string filler;
    for (int i = 0; i < 14000; ++i) filler += "FILLER LINE OF FORTY CHARACTERS .......\n";
    page.text().appendReceived(filler);
    click(0);
    ASSERT_NE(page.messageFile(), nullptr);
    EXPECT_TRUE(page.messageFile()->findChild<QPlainTextEdit*>()->toPlainText().contains(
        "GALE WARNING SKAGERRAK"));
    click(1);
    EXPECT_EQ(box.boxes.texts, QStringList({nimba.bundle()->string(9028)}));

    ui::controlAs<QPushButton>(page.dialog(), kRttyBaudot)->click();
    EXPECT_TRUE(list->isHidden());
}

// With the frequency control on (the default), a signal 80 Hz above the set
// tones is followed: the page shows the offset and the markers move to it.
TEST(NimbaRttyPage, FrequencyControlFollowsASignalOffTheSetTones) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kRttyTab);
    RttyPage& page = *w.rttyPage();
    RttyChain& chain = *nimba.rtty();
    ASSERT_TRUE(ui::controlAs<QCheckBox>(page.dialog(), kRttyAfc)->isChecked());
    ASSERT_TRUE(chain.start());
    ui::controlAs<QSpinBox>(page.dialog(), kRttyBaud)->setValue(50);
    const auto before = nimba.spectrum().analyser().toneColumns();
    const rtty::RttyParams p = chain.params();
    std::string text;
    for (int i = 0; i < 6; ++i) text += "RYRYRY CQ CQ DE TEST TEST\n";
    const auto audio = zeb::test::fskAudio(
        zeb::test::ita2Frames(zeb::test::ita2Codes(text), 1.5, 0, 20),
        {.baud = 50, .markHz = p.lowerHz() + 80.0, .spaceHz = p.upperHz() + 80.0, .ebN0Db = 20});
    for (std::size_t at = 0; at + 1024 <= audio.size(); at += 1024)
        chain.processBlock(std::span<const float>(audio.data() + at, 1024));
    page.poll();
    const QString shown = ui::controlAs<QLabel>(page.dialog(), kRttyOffset)->text();
    const auto offset = QRegularExpression(QStringLiteral("([+-]\\d+) Hz")).match(shown);
    ASSERT_TRUE(offset.hasMatch()) << shown.toStdString();
    EXPECT_NEAR(offset.captured(1).toInt(), 80, 5);
    EXPECT_NE(nimba.spectrum().analyser().toneColumns(), before);
    EXPECT_EQ(chain.params().center, p.center);  // the set tones stay
}

// A left click on the spectrum or on the waterfall puts each page's decoder
// where the click was: the RTTY tones either side of it, the CW and fax
// centres on it. A right click on the spectrum switches the displays.
TEST(NimbaDecoderPages, AClickOnEitherDisplayTunesThePage) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.resize(1000, 760);
    struct Case {
        int tab;
        std::function<std::pair<ui::SpectrumView*, ui::WaterfallView*>()> displays;
        std::function<double()> tunedTo;  // the frequency the page put at the click
    };
    const Case cases[] = {
        {kRttyTab,
         [&] { return std::pair(w.rttyPage()->spectrumView(), w.rttyPage()->waterfallView()); },
         [&] {
             const auto p = nimba.rtty()->params();
             return p.center + 0.5 * p.shift;
         }},
        {kCwTab, [&] { return std::pair(w.cwPage()->spectrumView(), w.cwPage()->waterfallView()); },
         [&] { return double(nimba.cw()->band().center); }},
        {kFaxTab,
         [&] { return std::pair(w.faxPage()->spectrumView(), w.faxPage()->waterfallView()); },
         [&] { return double(nimba.faxDecoder()->config().center); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tab);
        w.selectTab(c.tab);
        QCoreApplication::processEvents();
        const auto [spectrum, waterfall] = c.displays();
        ASSERT_TRUE(spectrum && waterfall);
        ASSERT_EQ(nimba.spectrum().attachedWaterfall(), waterfall);
        ASSERT_GT(waterfall->columns(), 100);
        for (const double hz : {1500.0, 1800.0}) {
            const double x = waterfall->axis().columnOf(hz);
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 10),
                              waterfall->mapToGlobal(QPointF(x, 10)), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(waterfall, &press);
            EXPECT_NEAR(c.tunedTo(), hz, 1.0 + waterfall->axis().hzPerColumn());
        }
        const QRect area = spectrum->contentsRect().adjusted(1, 1, -1, -1);
        const double x = area.left() + (1600.0 / 2756.0) * area.width();
        bool on = true;
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::RightButton}) {
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, 10),
                                spectrum->mapToGlobal(QPointF(x, 10)), button, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(spectrum, &release);
            if (button == Qt::RightButton) on = !on;
            EXPECT_EQ(nimba.spectrum().on(), on);
        }
        EXPECT_NEAR(c.tunedTo(), 1600.0, 1.0 + 2756.0 / area.width());
    }
}

// What a page shows before its decoder is switched on is what the decoder
// then uses, and what the next run starts with.
TEST(NimbaDecoderPages, SettingsMadeBeforeTheStartAreTheOnesTheDecoderStartsWith) {
    using Pair = std::pair<int, int>;
    struct Case {
        int tab, button;
        std::function<void(MainWindow&)> edit;
        std::function<Pair(Nimba&)> used;
        Pair wanted;
    };
    const Case cases[] = {
        {kFaxTab,
         kFaxButton,
         [](MainWindow& w) {
             ui::controlAs<QPushButton>(w.faxPage()->dialog(), faxid::kIocButtons[1])->click();
             ui::controlAs<QPushButton>(w.faxPage()->dialog(), faxid::kLpmButtons[1])->click();
         },
         [](Nimba& n) { return Pair(n.faxDecoder()->config().ioc, n.faxDecoder()->config().lpm); },
         {fax::kIocValues[1], fax::kLpmValues[1]}},
        {kCwTab,
         kCwButton,
         [](MainWindow& w) {
             ui::controlAs<ui::RotaryKnob>(w.cwPage()->dialog(), kCwCenterKnob)->setValue(1234);
             ui::controlAs<ui::RotaryKnob>(w.cwPage()->dialog(), kCwWidthKnob)->setValue(321);
         },
         [](Nimba& n) { return Pair(n.cw()->band().center, n.cw()->band().width); },
         {1234, 321}},
        {kRttyTab,
         kRttyButton,
         [](MainWindow& w) {
             ui::controlAs<QSpinBox>(w.rttyPage()->dialog(), kRttyBaud)->setValue(100);
             ui::controlAs<QSpinBox>(w.rttyPage()->dialog(), kRttyShift)->setValue(850);
         },
         [](Nimba& n) { return Pair(n.rtty()->params().baud, n.rtty()->params().shift); },
         {100, 850}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tab);
        test::Sandbox box;
        if (!box.ready) GTEST_SKIP() << "suite not staged";
        {
            Nimba nimba(shownOptions(box.dir.path()));
            ASSERT_FALSE(nimba.startUp().has_value());
            // A run before leaves the decoder's settings in NIMBA.INI.
            nimba.window()->command(c.button);
            nimba.window()->command(kOffButton);
            nimba.window()->selectTab(c.tab);
            ASSERT_NE(c.used(nimba), c.wanted);
            c.edit(*nimba.window());
            nimba.window()->command(c.button);
            ASSERT_TRUE(nimba.modes().decoder(nimba.modes().mode())->running());
            EXPECT_EQ(c.used(nimba), c.wanted);
        }
        Nimba again(shownOptions(box.dir.path()));
        ASSERT_FALSE(again.startUp().has_value());
        EXPECT_EQ(c.used(again), c.wanted);
    }
}

// The spectrum display is shared: back on the fax page, it marks the fax
// tones and filter again instead of what the RTTY page left.
TEST(NimbaFaxPage, SpectrumMarksTheFaxTonesAgainAfterAVisitToTheRttyPage) {
    test::Sandbox box;
    if (!box.ready) GTEST_SKIP() << "suite not staged";
    Nimba nimba(shownOptions(box.dir.path()));
    ASSERT_FALSE(nimba.startUp().has_value());
    MainWindow& w = *nimba.window();
    w.selectTab(kFaxTab);
    QCoreApplication::processEvents();  // a new page is shown from the event loop
    ui::controlAs<QPushButton>(w.faxPage()->dialog(), faxid::kFilterButtons.back())->click();
    w.command(kFaxButton);
    const dsp::SpectrumAnalyser& analyser = nimba.spectrum().analyser();
    const auto tones = analyser.toneColumns();
    const auto band = analyser.passBandColumns();
    ASSERT_TRUE(tones && band);
    w.selectTab(kRttyTab);
    ASSERT_NE(analyser.toneColumns(), tones);
    w.selectTab(kFaxTab);
    QCoreApplication::processEvents();
    EXPECT_EQ(analyser.toneColumns(), tones);
    EXPECT_EQ(analyser.passBandColumns(), band);
}

}  // namespace
}  // namespace zeb::nimba
