// The tool windows of the RTTY program, built from the shipped bundle and
// read back pixel by pixel: the spectrum's bars and markers, the bit raster's
// lines and scrolling, the settings window's signals, the cross scope's
// squelch and the font dialog's choices.
#include "FontDialog.h"
#include "SettingsWindow.h"
#include "ToolWindows.h"
#include "rtty/RttyParams.h"
#include "support/AllocationCount.h"
#include "support/TestEnv.h"
#include "ui/LanguageBundle.h"

#include <QAbstractButton>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace zeb::zebrtty {
namespace {

class ToolWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string dir = test::testSetting("ZEB_TEST_SUITE_DIR");
        if (dir.empty()) return;
        auto loaded = ui::LanguageBundle::load(ui::Program::ZebRtty, dir);
        if (loaded) bundle_ = std::move(*loaded);
    }
    static void TearDownTestSuite() { bundle_.reset(); }
    void SetUp() override {
        if (!bundle_) GTEST_SKIP() << "no ZEBRTTY bundle in ZEB_TEST_SUITE_DIR";
    }
    static std::unique_ptr<ui::LanguageBundle> bundle_;
};
std::unique_ptr<ui::LanguageBundle> ToolWindows::bundle_;

// The arguments a one-argument signal was emitted with.
template <class T, class Sender, class Signal>
std::shared_ptr<std::vector<T>> record(Sender* sender, Signal signal) {
    auto values = std::make_shared<std::vector<T>>();
    QObject::connect(sender, signal, [values](const auto& value) { values->push_back(value); });
    return values;
}

// The template's minimum size would keep a display from being made small.
void resizeDisplay(QWidget* display, int width, int height) {
    display->setMinimumSize(1, 1);
    display->resize(width, height);
}

template <class T>
T* control(const QWidget* window, int id) {
    T* found = ui::controlAs<T>(window, id);
    EXPECT_NE(found, nullptr) << "control " << id;
    return found;
}

// Bars: bin 0 (the peak) fills the height, bin 10 half of it, bin 127 a
// quarter; bin 200 lies beyond the bars drawn and must not set the scale.
// Markers at 1000 Hz and 1000 + 850 Hz.
struct BarsCase {
    int width;
    int bar10Left, bar10Right;     // columns of bar 10, right one excluded
    int lowerMarker, upperMarker;  // −1: off the picture
};

TEST_F(ToolWindows, SpectrumBarsAndMarkersLandOnTheirColumns) {
    const BarsCase cases[] = {
        {512, 40, 43, 183, 341},   // natural width
        {1024, 80, 86, 366, 682},  // stretched twice
        {300, 40, 43, 183, -1},    // cut at the right
    };
    std::vector<float> bins(256, 0.0f);
    bins[0] = 8.0f;
    bins[10] = 4.0f;
    bins[127] = 2.0f;
    bins[200] = 1000.0f;
    for (const BarsCase& c : cases) {
        SCOPED_TRACE(c.width);
        SpectrumWindow window(*bundle_);
        SpectrumBars& bars = *window.bars();
        EXPECT_EQ(ui::control(window.dialog(), kDisplayControl), &bars);
        resizeDisplay(&bars, c.width, 100);
        bars.setMarkers(1000, 850);
        bars.setSpectrum(bins);
        const QImage& image = bars.image();
        ASSERT_EQ(image.size(), QSize(c.width, 100));
        auto at = [&](int x, int y) { return image.pixel(x, y); };
        EXPECT_EQ(at(0, 0), SpectrumBars::kBar);  // the peak reaches the top
        for (int x = c.bar10Left; x < c.bar10Right; ++x) {
            EXPECT_EQ(at(x, 99), SpectrumBars::kBar) << x;
            EXPECT_EQ(at(x, 50), SpectrumBars::kBar) << x;
            EXPECT_EQ(at(x, 49), SpectrumBars::kBackground) << x;
        }
        EXPECT_EQ(at(c.bar10Left - 1, 99), SpectrumBars::kBackground);
        EXPECT_EQ(at(c.bar10Right, 99), SpectrumBars::kBackground);
        if (c.width >= 512) {
            const int x127 = 508 * c.width / 512;
            EXPECT_EQ(at(x127, 75), SpectrumBars::kBar);
            EXPECT_EQ(at(x127, 74), SpectrumBars::kBackground);
        }
        for (int marker : {c.lowerMarker, c.upperMarker}) {
            if (marker < 0) continue;
            for (int y : {0, 50, 99}) EXPECT_EQ(at(marker, y), SpectrumBars::kMarker) << marker;
            EXPECT_NE(at(marker - 1, 0), SpectrumBars::kMarker);
            EXPECT_NE(at(marker + 1, 0), SpectrumBars::kMarker);
        }
    }
}

// The raster as text, top line first: '#' black, '.' white.
std::vector<std::string> rasterText(const QImage& image) {
    std::vector<std::string> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x) row += qGray(image.pixel(x, y)) < 128 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

struct RasterCase {
    const char* name;
    double speed;
    const char* samples;  // '+' positive, '-' negative, '0' zero
    std::vector<std::string> rows;
    double position;
};

TEST_F(ToolWindows, BitRasterMarksSamplesAndScrollsAtTheEdge) {
    const RasterCase cases[] = {
        {"one pixel each", 1.0, "+-+0+", {"......", "......", "#.#.#."}, 5.0},
        {"last sample on a pixel wins", 0.5, "-++-", {"......", "......", "#....."}, 2.0},
        {"a full line scrolls up", 1.0, "++-+++++-", {"......", "##.###", "##...."}, 3.0},
        {"steps of three", 3.0, "++++-", {"#..#..", "#..#..", "......"}, 3.0},
        {"two wraps", 2.0, "+++-+++", {"#.#.#.", "..#.#.", "#....."}, 2.0},
    };
    for (const RasterCase& c : cases) {
        SCOPED_TRACE(c.name);
        BitRasterWindow window(*bundle_);
        BitRaster& raster = *window.raster();
        resizeDisplay(&raster, 6, 3);
        raster.setSpeed(c.speed);
        std::vector<float> samples;
        for (const char* s = c.samples; *s; ++s)
            samples.push_back(*s == '+' ? 0.7f : *s == '-' ? -0.7f : 0.0f);
        raster.push(samples);
        EXPECT_EQ(rasterText(raster.image()), c.rows);
        EXPECT_DOUBLE_EQ(raster.position(), c.position);
    }
}

TEST_F(ToolWindows, BitRasterSliderSetsTheSpeed) {
    BitRasterWindow window(*bundle_);
    QSlider* slider = control<QSlider>(window.dialog(), kSpeedSlider);
    ASSERT_NE(slider, nullptr);
    const auto changed = record<double>(&window, &BitRasterWindow::speedChanged);
    window.setSpeed(0.5);
    EXPECT_EQ(slider->value(), 5000);
    EXPECT_TRUE(changed->empty());
    slider->setValue(2500);
    ASSERT_EQ(changed->size(), 1u);
    EXPECT_DOUBLE_EQ(changed->at(0), 0.25);
    EXPECT_DOUBLE_EQ(window.speed(), 0.25);
}

// One user action each, from the same starting parameters (which carry
// out-of-range fields that setParams must already have replaced).
struct SettingsCase {
    const char* name;
    std::function<void(QWidget* dialog)> act;
    std::function<double(const rtty::RttyParams&)> field;
    double expected;
};

void click(QWidget* dialog, int id) {
    if (auto* b = control<QAbstractButton>(dialog, id)) b->click();
}
void spin(QWidget* dialog, int id, int value) {
    if (auto* s = control<QSpinBox>(dialog, id)) s->setValue(value);
}

TEST_F(ToolWindows, SettingsEmitValidatedParamsForEachChange) {
    const auto baud = [](const rtty::RttyParams& p) { return double(p.baud); };
    const auto shift = [](const rtty::RttyParams& p) { return double(p.shift); };
    const SettingsCase cases[] = {
        {"baud 50 preset", [](QWidget* d) { click(d, kFirstBaudButton + 1); }, baud, 50},
        {"baud 300 preset", [](QWidget* d) { click(d, kFirstBaudButton + 8); }, baud, 300},
        {"baud spin", [](QWidget* d) { spin(d, kBaudSpin, 110); }, baud, 110},
        {"shift 850 preset", [](QWidget* d) { click(d, kFirstShiftButton + 3); }, shift, 850},
        {"shift spin", [](QWidget* d) { spin(d, kShiftSpin, 600); }, shift, 600},
        {"center spin", [](QWidget* d) { spin(d, kCenterSpin, 1000); },
         [](const rtty::RttyParams& p) { return double(p.center); }, 1000},
        {"stop 2", [](QWidget* d) { click(d, kFirstStopButton + 2); },
         [](const rtty::RttyParams& p) { return double(p.stop); }, 2.0},
        {"SITOR-B", [](QWidget* d) { click(d, kFirstModeButton + 2); },
         [](const rtty::RttyParams& p) { return double(p.mode); }, 2},
        {"invert", [](QWidget* d) { click(d, kInvertButton); },
         [](const rtty::RttyParams& p) { return double(p.invert); }, 1},
        {"squelch", [](QWidget* d) { control<QSlider>(d, kSquelchSlider)->setValue(250); },
         [](const rtty::RttyParams& p) { return double(p.squelch); }, 500000},
    };
    rtty::RttyParams start;
    start.baud = 45;
    start.rate = 45.45;
    start.shift = 170;
    start.squelchDb = 99.0f;  // out of range
    start.stop = 1.4f;        // to the nearest length
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsWindow window(*bundle_);
        const auto changed = record<rtty::RttyParams>(&window, &SettingsWindow::paramsChanged);
        window.setParams(start);
        EXPECT_TRUE(changed->empty());
        EXPECT_EQ(control<QSpinBox>(window.dialog(), kShiftSpin)->value(), 170);
        c.act(window.dialog());
        ASSERT_EQ(changed->size(), 1u);
        const rtty::RttyParams& emitted = changed->at(0);
        EXPECT_TRUE(rtty::isValid(emitted));
        EXPECT_DOUBLE_EQ(c.field(emitted), c.expected);
        EXPECT_DOUBLE_EQ(c.field(window.params()), c.expected);
    }
}

TEST_F(ToolWindows, SettingsShiftAfcMetersAndLamp) {
    SettingsWindow window(*bundle_);
    const auto shiftState = record<bool>(&window, &SettingsWindow::shiftStateRequested);
    const auto afc = record<bool>(&window, &SettingsWindow::afcToggled);
    const auto changed = record<rtty::RttyParams>(&window, &SettingsWindow::paramsChanged);
    click(window.dialog(), kFiguresButton);
    click(window.dialog(), kLettersButton);
    EXPECT_EQ(*shiftState, (std::vector<bool>{true, false}));
    click(window.dialog(), kAfcButton);
    window.setAfc(false);
    click(window.dialog(), kAfcButton);
    EXPECT_EQ(*afc, (std::vector<bool>{true, true}));
    EXPECT_TRUE(changed->empty());

    rtty::RttyParams p;
    p.squelch = 700000.0f;
    window.setParams(p);
    EXPECT_EQ(control<QSlider>(window.dialog(), kSquelchSlider)->value(), 350);
    EXPECT_TRUE(changed->empty());

    auto* mean = control<LevelMeter>(window.dialog(), kSpectrumMeter);
    auto* tone = control<LevelMeter>(window.dialog(), kToneMeter);
    ASSERT_TRUE(mean && tone);
    resizeDisplay(mean, 10, 100);
    resizeDisplay(tone, 10, 100);
    window.setLevels(1e6, 5e6);
    EXPECT_EQ(mean->filledHeight(), 50);
    EXPECT_EQ(tone->filledHeight(), 100);  // clipped
    window.setLevels(-1.0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(mean->filledHeight(), 0);
    EXPECT_EQ(tone->filledHeight(), 0);
}

int figurePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == ScopeView::kFigure;
    return n;
}

TEST_F(ToolWindows, CrossScopeDrawsOnlyWhileTheSquelchIsOpen) {
    // A circle at two scales: autoscaled, both fill the area to its edges.
    for (const float amplitude : {0.001f, 3000.0f}) {
        SCOPED_TRACE(amplitude);
        std::vector<float> lower(1024), upper(1024);
        for (int i = 0; i < 1024; ++i) {
            lower[i] = amplitude * static_cast<float>(std::cos(2 * std::numbers::pi * i / 256));
            upper[i] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * i / 256));
        }
        CrossScopeWindow window(*bundle_);
        ScopeView& scope = *window.scope();
        resizeDisplay(&scope, 101, 101);
        scope.setSignals(lower, upper);
        EXPECT_EQ(figurePixels(scope.image()), 0);
        window.setOpen(true);
        scope.setSignals(lower, upper);
        const QImage& image = scope.image();
        EXPECT_GT(figurePixels(image), 200);
        EXPECT_EQ(image.pixel(100, 50), ScopeView::kFigure);  // lower at its peak
        EXPECT_EQ(image.pixel(50, 0), ScopeView::kFigure);    // upper at its peak
        EXPECT_EQ(image.pixel(50, 50), ScopeView::kAxis);
        window.setOpen(false);
        EXPECT_EQ(figurePixels(scope.image()), 0);
        scope.setSignals(lower, upper);
        EXPECT_EQ(figurePixels(scope.image()), 0);
    }
}

TEST_F(ToolWindows, FontDialogReportsEachChoiceAtOnce) {
    FontDialog dialog(*bundle_);
    QFont offered(QStringLiteral("Courier"), 14);
    QColor colourOffered(10, 20, 30);
    bool cancel = false;
    QStringList titles;
    FontDialog::setFontChooser([&](QWidget*, const QFont&, const QString& title) {
        titles << title;
        return cancel ? std::nullopt : std::optional<QFont>(offered);
    });
    FontDialog::setColourChooser([&](QWidget*, const QColor&, const QString& title) {
        titles << title;
        return cancel ? std::nullopt : std::optional<QColor>(colourOffered);
    });
    const auto textFont = record<QFont>(&dialog, &FontDialog::textFontChanged);
    const auto textColour = record<QColor>(&dialog, &FontDialog::textColourChanged);
    const auto reportFont = record<QFont>(&dialog, &FontDialog::reportFontChanged);
    const auto reportColour = record<QColor>(&dialog, &FontDialog::reportColourChanged);
    const auto background = record<QColor>(&dialog, &FontDialog::backgroundChanged);
    // How often each button's signal was emitted.
    const std::pair<int, std::function<std::size_t()>> buttons[] = {
        {kTextFontButton, [&] { return textFont->size(); }},
        {kTextColourButton, [&] { return textColour->size(); }},
        {kReportFontButton, [&] { return reportFont->size(); }},
        {kReportColourButton, [&] { return reportColour->size(); }},
        {kBackgroundButton, [&] { return background->size(); }}};
    for (const bool cancelled : {true, false}) {
        cancel = cancelled;
        for (const auto& [id, count] : buttons) {
            click(&dialog, id);
            EXPECT_EQ(count(), cancelled ? 0u : 1u) << id;
        }
    }
    FontDialog::setFontChooser({});
    FontDialog::setColourChooser({});
    EXPECT_EQ(textFont->at(0), offered);
    EXPECT_EQ(background->at(0), colourOffered);
    EXPECT_EQ(dialog.reportColour(), colourOffered);
    EXPECT_EQ(titles.size(), 10);
    EXPECT_FALSE(titles.front().contains(QLatin1Char('&')));
}

TEST_F(ToolWindows, FeedingABlockAllocatesNothing) {
    SpectrumWindow spectrum(*bundle_);
    CrossScopeWindow scope(*bundle_);
    BitRasterWindow raster(*bundle_);
    SettingsWindow settings(*bundle_);
    resizeDisplay(spectrum.bars(), 512, 100);
    resizeDisplay(scope.scope(), 100, 100);
    resizeDisplay(raster.raster(), 200, 50);
    scope.setOpen(true);
    std::vector<float> bins(256), lower(1024), upper(1024);
    for (int i = 0; i < 1024; ++i) {
        lower[i] = static_cast<float>(std::sin(0.7 * i));
        upper[i] = static_cast<float>(std::cos(0.3 * i));
        if (i < 256) bins[i] = static_cast<float>(i % 17);
    }
    auto feed = [&](int block) {
        spectrum.setSpectrum(bins);
        spectrum.setMarkers(1275 + block, 425);
        scope.setSignals(lower, upper);
        raster.push(lower);
        settings.setLevels(1e5 * block, 2e5 * block);
        settings.setLocked(false);
    };
    feed(0);  // the images are made at their first use
    const long before = test::allocationCount();
    for (int block = 1; block < 8; ++block) feed(block);
    EXPECT_EQ(test::allocationCount(), before);
}

}  // namespace
}  // namespace zeb::zebrtty
