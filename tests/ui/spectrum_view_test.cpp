// The spectrum display drawn from a real analyser's frame, the frame hand-over
// between the capture and UI threads, and the signal window's buffer, scale
// and line.
#include "dsp/SpectrumAnalyser.h"
#include "ui/SpectrumView.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zeb::ui {
namespace {

constexpr int kClientWidth = 258;  // drawing area 256 × 80
constexpr int kClientHeight = 82;

// A sine over a little deterministic noise, so the curve stands above the
// bottom everywhere and peaks at the sine.
std::vector<float> sine(double hz, double noise = 0.0, int n = 1024, double rate = 11025.0) {
    std::vector<float> block(static_cast<std::size_t>(n));
    std::uint32_t seed = 12345;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double random = static_cast<double>(seed >> 8) / (1 << 24) - 0.5;
        block[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * i / rate) +
                                      noise * random);
    }
    return block;
}

struct Analysed {
    dsp::SpectrumAnalyser analyser;
    SpectrumFrame frame;
    SpectrumSnapshot snapshot;

    explicit Analysed(const std::vector<float>& block, bool markers = true) {
        EXPECT_TRUE(analyser.init(11025.0f, 1024));
        EXPECT_TRUE(analyser.attachDisplay(kClientWidth, kClientHeight));
        if (markers) {
            analyser.setPassBand(300.0f, 600.0f);
            analyser.setTones(1000.0f, 2000.0f);
        }
        analyser.analyse(block.data());
        EXPECT_TRUE(frame.publish(analyser));
        EXPECT_TRUE(frame.copyTo(snapshot));
    }
};

bool isColour(const QImage& image, int x, int y, const QColor& colour) {
    return image.pixelColor(x, y).rgb() == colour.rgb();
}

TEST(SpectrumFrame, CopiesTheAnalysersResult) {
    Analysed a(sine(1000.0));
    EXPECT_EQ(a.snapshot.width, 256);
    EXPECT_EQ(a.snapshot.height, 80);
    ASSERT_EQ(a.snapshot.curve.size(), 256u);
    EXPECT_TRUE(
        std::equal(a.snapshot.curve.begin(), a.snapshot.curve.end(), a.analyser.curve().begin()));
    EXPECT_EQ(a.snapshot.passBand, a.analyser.passBandColumns());
    EXPECT_EQ(a.snapshot.tones, a.analyser.toneColumns());
    EXPECT_EQ(a.snapshot.serial, 1u);
}

TEST(SpectrumFrame, RequestsOneRepaintUntilTheFrameIsTaken) {
    Analysed a(sine(1000.0));
    EXPECT_TRUE(a.frame.publish(a.analyser));  // taken by the constructor
    EXPECT_FALSE(a.frame.publish(a.analyser));
    EXPECT_FALSE(a.frame.publish(a.analyser));
    ASSERT_TRUE(a.frame.copyTo(a.snapshot));
    EXPECT_EQ(a.snapshot.serial, 4u);
    EXPECT_TRUE(a.frame.publish(a.analyser));

    a.frame.clear();
    EXPECT_FALSE(a.frame.copyTo(a.snapshot));
    EXPECT_TRUE(a.frame.publish(a.analyser));  // clear() dropped the pending repaint
    EXPECT_TRUE(a.frame.copyTo(a.snapshot));
}

TEST(SpectrumFrame, AWiderDisplayThanReservedIsCutNotOverrun) {
    dsp::SpectrumAnalyser analyser;
    ASSERT_TRUE(analyser.init(11025.0f, 1024));
    ASSERT_TRUE(analyser.attachDisplay(kClientWidth, kClientHeight));
    const auto block = sine(500.0);
    analyser.analyse(block.data());
    SpectrumFrame frame(64);
    EXPECT_TRUE(frame.publish(analyser));
    SpectrumSnapshot snapshot;
    ASSERT_TRUE(frame.copyTo(snapshot));
    EXPECT_EQ(snapshot.width, 64);
    ASSERT_EQ(snapshot.curve.size(), 64u);
    EXPECT_TRUE(std::equal(snapshot.curve.begin(), snapshot.curve.end(), analyser.curve().begin()));
    EXPECT_FALSE(SpectrumView::render(snapshot, {}).isNull());
}

TEST(SpectrumRender, ToneIsThePeakWithColouredAreasMarkersAndOutline) {
    Analysed a(sine(1000.0, 3.0));
    const SpectrumSnapshot& s = a.snapshot;
    const DisplayColours colours;
    const QImage image = SpectrumView::render(s, colours);
    ASSERT_EQ(image.size(), QSize(256, 80));

    // The peak of the curve lies at the tone's column.
    const auto peak = std::min_element(s.curve.begin(), s.curve.end()) - s.curve.begin();
    ASSERT_TRUE(s.tones.has_value());
    EXPECT_NEAR(static_cast<double>(peak), s.tones->first, 1.0);
    EXPECT_EQ(s.curve[peak], 0);  // full scale at the peak

    ASSERT_TRUE(s.passBand.has_value());
    const auto [passLo, passHi] = *s.passBand;
    ASSERT_LT(passLo, passHi);
    const auto marker = [&](int x) { return x == s.tones->first || x == s.tones->second; };
    const auto curveAt = [&](int x) { return s.curve[std::clamp(x, 0, 255)]; };
    int checkedAbove = 0, checkedBeneath = 0, checkedMarker = 0;
    for (int x = 0; x < 256; ++x) {
        // The outline passes through every point of the curve.
        // Rows the outline may cross in this column.
        const int top = std::min({curveAt(x - 1), curveAt(x), curveAt(x + 1)});
        const int bottom = std::max({curveAt(x - 1), curveAt(x), curveAt(x + 1)});
        if (!marker(x)) {
            EXPECT_TRUE(isColour(image, x, s.curve[x], colours.outline)) << x;
        } else {
            // Full-height marker lines, interrupted only by the outline.
            for (int y = 0; y < 80; ++y) {
                if (y < top || y > bottom) {
                    EXPECT_TRUE(isColour(image, x, y, colours.toneMarker)) << x << "," << y;
                    ++checkedMarker;
                }
            }
            continue;
        }
        const QColor& above = x >= passLo && x <= passHi ? colours.passBand : colours.background;
        for (int y = 0; y < top; ++y, ++checkedAbove)
            EXPECT_TRUE(isColour(image, x, y, above)) << x << "," << y;
        for (int y = bottom + 1; y < 80; ++y, ++checkedBeneath)
            EXPECT_TRUE(isColour(image, x, y, colours.spectrum)) << x << "," << y;
    }
    EXPECT_GT(checkedAbove, 256 * 40);
    EXPECT_GT(checkedBeneath, 256 * 3);
    EXPECT_GT(checkedMarker, 80);  // beneath the tone's peak, and the whole second marker
    EXPECT_TRUE(isColour(image, (passLo + passHi) / 2, 0, colours.passBand));
    EXPECT_TRUE(isColour(image, passHi + 3, 0, colours.background));
    EXPECT_EQ(colours.outline, QColor(128, 255, 255));
}

TEST(SpectrumRender, SilenceIsAFlatCurveAtTheBottom) {
    Analysed a(std::vector<float>(1024, 0.0f), false);
    const DisplayColours colours;
    for (const int y : a.snapshot.curve) EXPECT_EQ(y, 79);
    const QImage image = SpectrumView::render(a.snapshot, colours);
    ASSERT_EQ(image.size(), QSize(256, 80));
    for (int x = 0; x < 256; ++x) {
        EXPECT_TRUE(isColour(image, x, 79, colours.outline)) << x;
        for (int y = 0; y < 79; ++y) ASSERT_TRUE(isColour(image, x, y, colours.background));
    }
}

TEST(SpectrumRender, EmptyAreasDrawNothing) {
    SpectrumSnapshot s;
    EXPECT_TRUE(SpectrumView::render(s, {}).isNull());
    s.width = 10;
    s.height = 0;
    s.curve.assign(10, 0);
    EXPECT_TRUE(SpectrumView::render(s, {}).isNull());
    s.width = 0;
    s.height = 10;
    EXPECT_TRUE(SpectrumView::render(s, {}).isNull());
    // Curve values outside the area and a short curve are tolerated.
    s.width = 20;
    s.height = 10;
    s.curve = {-5, 50, 3};
    s.tones = std::pair{-1, 40};
    s.passBand = std::pair{15, 99};
    const QImage image = SpectrumView::render(s, {});
    ASSERT_EQ(image.size(), QSize(20, 10));
    EXPECT_TRUE(isColour(image, 0, 0, DisplayColours{}.outline));
    EXPECT_TRUE(isColour(image, 19, 3, DisplayColours{}.outline));
}

TEST(SpectrumView, RefreshDrawsTheLatestFrameAndClicksAreReported) {
    SpectrumView view;
    view.resize(kClientWidth + 2 * view.frameWidth(), kClientHeight + 2 * view.frameWidth());
    EXPECT_EQ(view.analyserSize(), QSize(kClientWidth, kClientHeight));
    Analysed a(sine(1500.0));
    EXPECT_TRUE(a.frame.publish(a.analyser));
    view.setFrame(&a.frame);
    QMetaObject::invokeMethod(&view, "refresh", Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_EQ(view.image().size(), QSize(256, 80));
    EXPECT_EQ(view.image(), SpectrumView::render(a.snapshot, {}));
    EXPECT_TRUE(a.frame.publish(a.analyser));  // the view took the frame

    // The image sits one pixel inside the client area.
    const QImage shown = view.grab().toImage();
    const QPoint origin = view.contentsRect().topLeft() + QPoint(1, 1);
    EXPECT_EQ(shown.pixelColor((origin + QPoint(128, 40)) * shown.devicePixelRatio()),
              view.image().pixelColor(128, 40));

    // A right click switches the display; a left click names the frequency
    // under the mouse.
    int clicks = 0;
    double tunedHz = 0.0;
    QObject::connect(&view, &SpectrumView::clicked, [&] { ++clicks; });
    QObject::connect(&view, &SpectrumView::tuneRequested, [&](double hz) { tunedHz = hz; });
    view.setFrequencyRange(0.0, 2756.0);
    const double x = origin.x() + 128.0;  // the middle of the drawing area
    for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, 20), QPointF(x, 20), button,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &release);
    }
    EXPECT_EQ(clicks, 1);
    EXPECT_NEAR(tunedHz, 1378.0, 2756.0 / 256);

    a.frame.clear();
    view.refresh();
    EXPECT_TRUE(view.image().isNull());
}

// ---- signal window ----

TEST(SignalBuffer, HandsOverTheLatestValuesOnce) {
    SignalBuffer buffer;
    std::array<float, SignalBuffer::kLength> out{};
    EXPECT_FALSE(buffer.copyTo(out));
    std::vector<float> many(2000, 1.5f);
    EXPECT_TRUE(buffer.publish(many));
    EXPECT_FALSE(buffer.publish(many));  // repaint pending
    ASSERT_TRUE(buffer.copyTo(out));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 1.5f; }));
    EXPECT_FALSE(buffer.copyTo(out));

    const std::vector<float> few{1.0f, -2.0f, 3.0f};
    EXPECT_TRUE(buffer.publish(few));
    ASSERT_TRUE(buffer.copyTo(out));
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], -2.0f);
    EXPECT_EQ(out[2], 3.0f);
    EXPECT_TRUE(std::all_of(out.begin() + 3, out.end(), [](float v) { return v == 0.0f; }));
}

TEST(SignalScale, JumpsUpAndDecaysByATenth) {
    SignalScale scale;
    EXPECT_EQ(scale.value(), 0.0f);
    EXPECT_FLOAT_EQ(scale.update(std::vector<float>{1.0f, -2.0f}), 4.1f);
    EXPECT_FLOAT_EQ(scale.update(std::vector<float>{1.0f}), 4.1f + 0.1f * (2.05f - 4.1f));
    EXPECT_FLOAT_EQ(scale.update(std::vector<float>{-10.0f}), 20.5f);
    EXPECT_FLOAT_EQ(scale.value(), 20.5f);
    EXPECT_FLOAT_EQ(scale.update(std::vector<float>(16, 0.0f)), 20.5f * 0.9f);
}

TEST(SignalWindow, PolylineIsTheBaselineForSilence) {
    const std::vector<float> values(SignalBuffer::kLength, 0.5f);
    for (const float scale : {0.0f, -1.0f}) {
        const auto points = SignalWindow::polyline(values, scale, QSize(800, 200));
        ASSERT_EQ(points.size(), 800u);
        for (int i = 0; i < 800; ++i) EXPECT_EQ(points[i], QPoint(i, 100));
    }
    EXPECT_EQ(SignalWindow::polyline(values, 1.0f, QSize(1600, 200)).size(), 1024u);
    EXPECT_TRUE(SignalWindow::polyline(values, 1.0f, QSize(0, 200)).empty());
}

TEST(SignalWindow, PolylineIsScaledAroundTheMiddleAndClamped) {
    const std::vector<float> values{0.0f, 1.0f, -1.0f, 4.0f, -4.0f, 0.26f};
    const auto points = SignalWindow::polyline(values, 4.0f, QSize(6, 200));
    ASSERT_EQ(points.size(), 6u);
    EXPECT_EQ(points[0], QPoint(0, 100));
    EXPECT_EQ(points[1], QPoint(1, 50));
    EXPECT_EQ(points[2], QPoint(2, 150));
    EXPECT_EQ(points[3], QPoint(3, 0));    // 100 − 200, clamped
    EXPECT_EQ(points[4], QPoint(4, 199));  // 100 + 200, clamped
    EXPECT_EQ(points[5], QPoint(5, 87));   // 100 − round(13)
}

TEST(SignalWindow, TitlePlacementRefreshAndClose) {
    SignalBuffer buffer;
    SignalWindow window(QStringLiteral("Nimbarra"), buffer);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Nimbarra-Signal"));
    EXPECT_TRUE(window.isWindow());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect placed = window.geometry();
    EXPECT_EQ(placed.top(), screen.top() + screen.height() * 3 / 4);
    EXPECT_EQ(placed.height(), screen.height() / 4);
    if (screen.width() > 1024) {
        EXPECT_EQ(placed.width(), 1024);
        EXPECT_EQ(placed.left(), screen.left() + (screen.width() - 1024) / 2);
    } else {
        EXPECT_EQ(placed.width(), screen.width());
        EXPECT_EQ(placed.left(), screen.left());
    }

    const std::vector<float> values{1.0f, -1.0f};
    EXPECT_TRUE(buffer.publish(values));
    window.refresh();
    EXPECT_FLOAT_EQ(window.scale().value(), 2.05f);
    window.refresh();  // nothing new: the scale stays
    EXPECT_FLOAT_EQ(window.scale().value(), 2.05f);

    window.resize(300, 100);
    const QImage image = window.grab().toImage();
    const qreal dpr = image.devicePixelRatio();
    EXPECT_EQ(image.pixelColor(QPoint(150, 10) * dpr).rgb(), DisplayColours{}.background.rgb());
    EXPECT_EQ(image.pixelColor(QPoint(150, 50) * dpr).rgb(), QColor(128, 255, 255).rgb());

    int closed = 0;
    QObject::connect(&window, &SignalWindow::closed, [&] { ++closed; });
    window.show();
    window.close();
    EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace zeb::ui
