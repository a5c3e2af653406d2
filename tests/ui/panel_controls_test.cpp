// The front-panel controls: the text of the segment display, the bar meter's
// fill, the knob's range, steps, keys, wheel, drag and signal, the lit switch's
// lamp, and the controls created from a dialog template.
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/SpectrumView.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zeb::ui {
namespace {

// ---- segment display ----

TEST(PanelControlsSegmentText, FixedPointUsesWidthAndDecimals) {
    EXPECT_EQ(segmentText(3.14159, 7, 2), QStringLiteral("   3.14"));
    EXPECT_EQ(segmentText(-3.14159, 7, 2), QStringLiteral("  -3.14"));
    EXPECT_EQ(segmentText(0.06, 5, 1), QStringLiteral("  0.1"));
    EXPECT_EQ(segmentText(-0.25, 3, 3), QStringLiteral("-0.250"));
    // A value wider than the display is shown whole, not cut.
    EXPECT_EQ(segmentText(12345.6, 3, 1), QStringLiteral("12345.6"));
}

TEST(PanelControlsSegmentText, IntegersAreZeroPaddedAndRoundedToNearest) {
    EXPECT_EQ(segmentText(42.0, 4, 0), QStringLiteral("0042"));
    EXPECT_EQ(segmentText(41.5, 4, 0), QStringLiteral("0042"));
    EXPECT_EQ(segmentText(41.49, 4, 0), QStringLiteral("0041"));
    EXPECT_EQ(segmentText(0.4, 3, 0), QStringLiteral("000"));
    EXPECT_EQ(segmentText(-7.0, 4, 0), QStringLiteral("-007"));
    EXPECT_EQ(segmentText(-2.5, 4, 0), QStringLiteral("-003"));
    EXPECT_EQ(segmentText(-2.4, 4, 0), QStringLiteral("-002"));
    EXPECT_EQ(segmentText(123456.0, 3, 0), QStringLiteral("123456"));
}

TEST(PanelControlsSegmentDisplay, ShowsItsValueInItsFormatAndDrawsLitSegments) {
    SegmentDisplay display;
    EXPECT_EQ(display.text(), QStringLiteral("0000"));
    display.setFormat(6, 1);
    display.setValue(-12.34);
    EXPECT_EQ(display.digits(), 6);
    EXPECT_EQ(display.decimals(), 1);
    EXPECT_EQ(display.text(), QStringLiteral(" -12.3"));
    EXPECT_GE(display.sizeHint().width(), 6 * 8);
    EXPECT_EQ(display.sizeHint().height(), 24);

    // A dark face with light (cyan) segments.
    display.resize(120, 24);
    const QImage image = display.grab().toImage();
    int light = 0, dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 200 && c.green() > 180 && c.red() < 160) ++light;
            if (c.lightness() < 40) ++dark;
        }
    EXPECT_GT(light, 20);
    EXPECT_GT(dark, image.width() * image.height() / 2);
}

// ---- bar meter ----

TEST(PanelControlsBarMeter, FilledLengthFollowsTheValue) {
    BarMeter meter;
    EXPECT_EQ(meter.minimum(), 0);
    EXPECT_EQ(meter.maximum(), 100);
    EXPECT_EQ(meter.filledLength(200), 0);
    meter.setValue(50);
    EXPECT_EQ(meter.filledLength(200), 100);
    meter.setValue(100);
    EXPECT_EQ(meter.filledLength(200), 200);
    EXPECT_EQ(meter.filledLength(0), 0);
}

TEST(PanelControlsBarMeter, ValuesAreLimitedToTheRange) {
    BarMeter meter;
    meter.setValue(150);
    EXPECT_EQ(meter.value(), 100);
    EXPECT_EQ(meter.filledLength(80), 80);
    meter.setValue(-5);
    EXPECT_EQ(meter.value(), 0);
    meter.setRange(-50, 50);
    meter.setValue(0);
    EXPECT_EQ(meter.filledLength(100), 50);
    meter.setRange(10, 20);  // the value follows the new range
    EXPECT_EQ(meter.value(), 10);
    EXPECT_EQ(meter.filledLength(100), 0);
    meter.setRange(5, 5);  // an empty range fills nothing and divides by nothing
    EXPECT_EQ(meter.filledLength(100), 0);
}

TEST(PanelControlsBarMeter, FilledPartIsDrawnInBothOrientations) {
    for (const auto orientation : {Qt::Vertical, Qt::Horizontal}) {
        BarMeter meter;
        meter.setOrientation(orientation);
        meter.resize(orientation == Qt::Vertical ? QSize(14, 100) : QSize(100, 14));
        const auto brightAt = [&](QPoint p) {
            const QImage image = meter.grab().toImage();
            return image.pixelColor(p * image.devicePixelRatio()).lightness();
        };
        const QPoint nearStart = orientation == Qt::Vertical ? QPoint(7, 90) : QPoint(10, 7);
        const int empty = brightAt(nearStart);
        meter.setValue(50);
        EXPECT_GT(brightAt(nearStart), empty + 40);
    }
}

// ---- rotary knob ----

struct KnobProbe {
    RotaryKnob knob;
    std::vector<int> changes;
    KnobProbe() {
        knob.setRange(0, 100);
        QObject::connect(&knob, &RotaryKnob::valueChanged,
                         [this](int value) { changes.push_back(value); });
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(&knob, &event);
    }
    void wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&knob, &event);
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&knob, &event);
    }
};

TEST(PanelControlsRotaryKnob, ValueIsClampedAndPositionSpansZeroTo270) {
    KnobProbe probe;
    RotaryKnob& knob = probe.knob;
    EXPECT_EQ(knob.value(), 0);
    EXPECT_EQ(knob.position(), 0);
    knob.setValue(100);
    EXPECT_EQ(knob.position(), 270);
    knob.setValue(50);
    EXPECT_EQ(knob.position(), 135);
    knob.setValue(1000);
    EXPECT_EQ(knob.value(), 100);
    knob.setValue(-1000);
    EXPECT_EQ(knob.value(), 0);

    knob.setRange(-20, 20);
    knob.setValue(-20);
    EXPECT_EQ(knob.position(), 0);
    knob.setValue(20);
    EXPECT_EQ(knob.position(), 270);
    knob.setRange(7, 7);
    EXPECT_EQ(knob.value(), 7);
    EXPECT_EQ(knob.position(), 0);
}

TEST(PanelControlsRotaryKnob, ValueChangedOncePerChangeAndNeverWhenUnchanged) {
    KnobProbe probe;
    probe.knob.setValue(10);
    probe.knob.setValue(10);
    probe.knob.setValue(20);
    probe.knob.setValue(500);  // clamped to 100
    probe.knob.setValue(100);  // unchanged
    EXPECT_EQ(probe.changes, (std::vector<int>{10, 20, 100}));
    probe.knob.stepBy(1, false);  // at the top already
    EXPECT_EQ(probe.changes.size(), 3u);
}

TEST(PanelControlsRotaryKnob, StepByMovesOneOrTenWithControl) {
    KnobProbe probe;
    probe.knob.setValue(50);
    probe.knob.stepBy(1, false);
    EXPECT_EQ(probe.knob.value(), 51);
    probe.knob.stepBy(-1, true);
    EXPECT_EQ(probe.knob.value(), 41);
    probe.knob.stepBy(3, false);
    EXPECT_EQ(probe.knob.value(), 44);
    probe.knob.stepBy(1, true);
    probe.knob.stepBy(1, true);
    probe.knob.stepBy(1, true);
    probe.knob.stepBy(1, true);
    probe.knob.stepBy(1, true);
    probe.knob.stepBy(1, true);
    EXPECT_EQ(probe.knob.value(), 100);
    probe.knob.stepBy(-1000000, true);
    EXPECT_EQ(probe.knob.value(), 0);
}

TEST(PanelControlsRotaryKnob, KeysStepAndPage) {
    KnobProbe probe;
    EXPECT_EQ(probe.knob.focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    probe.knob.setValue(50);
    probe.changes.clear();
    probe.key(Qt::Key_Up);
    EXPECT_EQ(probe.knob.value(), 51);
    probe.key(Qt::Key_Right);
    EXPECT_EQ(probe.knob.value(), 52);
    probe.key(Qt::Key_Down);
    EXPECT_EQ(probe.knob.value(), 51);
    probe.key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(probe.knob.value(), 41);
    probe.key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(probe.knob.value(), 51);
    probe.knob.setPageStep(25);
    probe.key(Qt::Key_PageUp);
    EXPECT_EQ(probe.knob.value(), 76);
    probe.key(Qt::Key_PageUp);
    EXPECT_EQ(probe.knob.value(), 100);
    probe.key(Qt::Key_PageDown);
    EXPECT_EQ(probe.knob.value(), 75);
    EXPECT_EQ(probe.changes, (std::vector<int>{51, 52, 51, 41, 51, 76, 100, 75}));
    probe.key(Qt::Key_A);  // not the knob's
    EXPECT_EQ(probe.knob.value(), 75);
}

TEST(PanelControlsRotaryKnob, WheelStepsOneOrTenWithControl) {
    KnobProbe probe;
    probe.knob.setValue(50);
    probe.wheel(120);
    EXPECT_EQ(probe.knob.value(), 51);
    probe.wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(probe.knob.value(), 41);
    probe.wheel(60);  // half a notch: nothing yet
    EXPECT_EQ(probe.knob.value(), 41);
    probe.wheel(60);
    EXPECT_EQ(probe.knob.value(), 42);
}

TEST(PanelControlsRotaryKnob, DraggingUpOrRightTurnsUp) {
    KnobProbe probe;
    probe.knob.resize(48, 60);
    probe.knob.setValue(50);
    probe.mouse(QEvent::MouseButtonPress, QPoint(24, 24), Qt::LeftButton);
    probe.mouse(QEvent::MouseMove, QPoint(24, 4), Qt::LeftButton);
    const int up = probe.knob.value();
    EXPECT_GT(up, 50);
    probe.mouse(QEvent::MouseMove, QPoint(44, 4), Qt::LeftButton);
    EXPECT_GT(probe.knob.value(), up);
    probe.mouse(QEvent::MouseMove, QPoint(24, 60), Qt::LeftButton);
    EXPECT_LT(probe.knob.value(), 50);
    probe.mouse(QEvent::MouseButtonRelease, QPoint(24, 60), Qt::NoButton);
    const int released = probe.knob.value();
    probe.mouse(QEvent::MouseMove, QPoint(24, 0), Qt::NoButton);  // no button: no turn
    EXPECT_EQ(probe.knob.value(), released);
}

TEST(PanelControlsRotaryKnob, LabelAndPointerAreDrawn) {
    RotaryKnob knob;
    knob.setLabel(QStringLiteral("Vol"));
    EXPECT_EQ(knob.label(), QStringLiteral("Vol"));
    EXPECT_GT(knob.sizeHint().height(), knob.sizeHint().width() - 1);
    knob.resize(knob.sizeHint());
    const QImage low = knob.grab().toImage();
    knob.setValue(knob.maximum());
    const QImage high = knob.grab().toImage();
    EXPECT_NE(low, high);
}

// ---- lamp and lit switch ----

int pixelsOf(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb()) ++n;
    return n;
}

TEST(PanelControlsLitSwitch, LampShowsTheLitColourOnlyWhenLit) {
    LitSwitch button;
    button.setText(QStringLiteral("RTTY"));
    button.setLitColour(QColor(255, 40, 40));
    EXPECT_EQ(button.litColour(), QColor(255, 40, 40));
    button.resize(button.sizeHint());
    EXPECT_GE(button.height(), 20);
    EXPECT_EQ(pixelsOf(button.grab().toImage(), QColor(255, 40, 40)), 0);
    button.setLit(true);
    EXPECT_TRUE(button.isLit());
    EXPECT_GT(pixelsOf(button.grab().toImage(), QColor(255, 40, 40)), 4);
    button.setLitColour(QColor(40, 255, 40));
    const QImage green = button.grab().toImage();
    EXPECT_EQ(pixelsOf(green, QColor(255, 40, 40)), 0);
    EXPECT_GT(pixelsOf(green, QColor(40, 255, 40)), 4);
    button.setLit(false);
    EXPECT_EQ(pixelsOf(button.grab().toImage(), QColor(40, 255, 40)), 0);
}

TEST(PanelControlsLamp, LitInItsColour) {
    Lamp lamp;
    lamp.resize(16, 16);
    lamp.setColour(QColor(0, 0, 255));
    EXPECT_EQ(pixelsOf(lamp.grab().toImage(), QColor(0, 0, 255)), 0);
    lamp.setLit(true);
    EXPECT_TRUE(lamp.isLit());
    EXPECT_GT(pixelsOf(lamp.grab().toImage(), QColor(0, 0, 255)), 4);
}

// ---- dialog templates ----

TEST(PanelControlsRegistration, DialogTemplatesCreateTheRealClasses) {
    registerPanelControls();
    registerPanelControls();  // repeated calls do nothing
    for (const char* name :
         {"SegmentDisplay", "BarMeter", "RotaryKnob", "Lamp", "LitSwitch", "SpectrumView"})
        EXPECT_TRUE(DialogLoader::isRegistered(QString::fromLatin1(name))) << name;

    QByteArray ui = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Panel</class>
 <widget class="QWidget" name="d100">
  <layout class="QVBoxLayout" name="layout">
   <item><widget class="SegmentDisplay" name="c1001"/></item>
   <item><widget class="BarMeter" name="c1002"/></item>
   <item><widget class="RotaryKnob" name="c1003"/></item>
   <item><widget class="Lamp" name="c1004"/></item>
   <item><widget class="LitSwitch" name="c1005"/></item>
   <item><widget class="SpectrumView" name="c1006"/></item>
  </layout>
 </widget>
 <customwidgets>
  <customwidget><class>SegmentDisplay</class><extends>QWidget</extends><header>ui/PanelControls.h</header></customwidget>
  <customwidget><class>BarMeter</class><extends>QWidget</extends><header>ui/PanelControls.h</header></customwidget>
  <customwidget><class>RotaryKnob</class><extends>QWidget</extends><header>ui/PanelControls.h</header></customwidget>
  <customwidget><class>Lamp</class><extends>QWidget</extends><header>ui/PanelControls.h</header></customwidget>
  <customwidget><class>LitSwitch</class><extends>QPushButton</extends><header>ui/PanelControls.h</header></customwidget>
  <customwidget><class>SpectrumView</class><extends>QFrame</extends><header>ui/SpectrumView.h</header></customwidget>
 </customwidgets>
 <resources/>
 <connections/>
</ui>
)";
    QBuffer device(&ui);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    DialogLoader loader;
    auto loaded = loader.loadDialog(device, nullptr, QStringLiteral("panel"));
    ASSERT_TRUE(loaded.ok()) << (loaded.ok() ? std::string() : loaded.error().message);
    std::unique_ptr<QWidget> dialog(*loaded);
    EXPECT_NE(controlAs<SegmentDisplay>(dialog.get(), 1001), nullptr);
    EXPECT_NE(controlAs<BarMeter>(dialog.get(), 1002), nullptr);
    EXPECT_NE(controlAs<RotaryKnob>(dialog.get(), 1003), nullptr);
    EXPECT_NE(controlAs<Lamp>(dialog.get(), 1004), nullptr);
    EXPECT_NE(controlAs<LitSwitch>(dialog.get(), 1005), nullptr);
    EXPECT_NE(controlAs<SpectrumView>(dialog.get(), 1006), nullptr);
}

}  // namespace
}  // namespace zeb::ui
