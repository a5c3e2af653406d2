// The small family of front-panel controls the programs draw themselves: a
// numeric segment display, a bar meter, a rotary knob, an indicator lamp and
// a switch button whose lamp lights in a given colour. Each paints into an
// off-screen image that is redrawn only when its value changes.
//
// In dialog templates they appear as custom widgets of the classes
// "SegmentDisplay", "BarMeter", "RotaryKnob", "Lamp" and "LitSwitch";
// registerPanelControls() makes the dialog loader create them.
#pragma once

#include <QColor>
#include <QImage>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace zeb::ui {

// Registers the factories of the panel controls with DialogLoader (once per
// process, on the UI thread; repeated calls do nothing).
void registerPanelControls();

// The text of a numeric display: "%*.*f" with `digits` and `decimals`, or
// "%0*d" with `digits` when `decimals` is 0 (the value rounded to nearest).
QString segmentText(double value, int digits, int decimals);

// Light segments on a dark background.
class SegmentDisplay : public QWidget {
    Q_OBJECT
public:
    explicit SegmentDisplay(QWidget* parent = nullptr);

    void setFormat(int digits, int decimals);
    int digits() const { return digits_; }
    int decimals() const { return decimals_; }
    void setValue(double value);
    double value() const { return value_; }
    // What the display shows now.
    QString text() const { return segmentText(value_, digits_, decimals_); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    int digits_ = 4;
    int decimals_ = 0;
    double value_ = 0.0;
    QImage image_;
};

// A value shown as a filled bar (the level meters take 0 … 100).
class BarMeter : public QWidget {
    Q_OBJECT
public:
    explicit BarMeter(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Limited to the range.
    void setValue(int value);
    int value() const { return value_; }
    // Width (horizontal bar) or height (vertical) of the filled part for a
    // bar of `length` pixels.
    int filledLength(int length) const;
    void setOrientation(Qt::Orientation orientation);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    Qt::Orientation orientation_ = Qt::Vertical;
    QImage image_;
};

// A rotary knob over a range of values. Its pointer turns from 0 to 270
// degrees across the range. Arrow keys and the mouse wheel move it by one
// step, or by ten with the Ctrl key held; Page Up / Page Down by the page
// step (10); dragging up or right turns it up. A short label ("Vol", "IFS",
// "Hz") is drawn beneath it.
class RotaryKnob : public QWidget {
    Q_OBJECT
public:
    explicit RotaryKnob(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Limited to the range; emits valueChanged() when it changes.
    void setValue(int value);
    int value() const { return value_; }
    void setLabel(const QString& label);
    const QString& label() const { return label_; }
    void setPageStep(int step) { pageStep_ = step; }
    int pageStep() const { return pageStep_; }
    // Pointer angle 0 … 270 of the current value.
    int position() const;
    // One step up (+1) or down (−1), ten when `control` is held.
    void stepBy(int steps, bool control);

    QSize sizeHint() const override;

signals:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void render();
    int wheelRemainder_ = 0;  // parts of a wheel notch
    int minimum_ = 0;
    int maximum_ = 270;
    int value_ = 0;
    int pageStep_ = 10;
    QString label_;
    QPoint dragOrigin_;
    int dragValue_ = 0;
    QImage image_;
};

// An indicator lamp: lit in its colour or dark.
class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);

    void setLit(bool lit);
    bool isLit() const { return lit_; }
    void setColour(const QColor& colour);
    const QColor& colour() const { return colour_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    bool lit_ = false;
    QColor colour_{0, 200, 0};
    QImage image_;
};

// A push button drawn by the program with a lamp beside its caption; the
// lamp lights in the button's lit colour.
class LitSwitch : public QPushButton {
    Q_OBJECT
public:
    explicit LitSwitch(QWidget* parent = nullptr);

    void setLit(bool lit);
    bool isLit() const { return lit_; }
    void setLitColour(const QColor& colour);
    const QColor& litColour() const { return litColour_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void render();
    bool lit_ = false;
    QColor litColour_{64, 64, 192};
    QImage image_;
    QString imageKey_;  // what image_ shows
};

}  // namespace zeb::ui
