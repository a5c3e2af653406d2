// The waterfall: the capture thread's part allocating nothing, the newest row
// on top, the frequency under a click, the scale in Hz or in kHz.
#include "dsp/Waterfall.h"
#include "support/AllocationCount.h"
#include "ui/WaterfallView.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace zeb::ui {
namespace {

std::vector<std::uint8_t> row(int width, int value) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(width),
                                     static_cast<std::uint8_t>(value));
}

TEST(WaterfallFrame, AnalysingPublishingAndDrainingAllocateNothing) {
    dsp::Waterfall waterfall;
    ASSERT_TRUE(waterfall.attach(500, 0.0f, 2756.0f));
    WaterfallFrame frame(1000, 4);
    std::vector<float> block(1024);
    for (int i = 0; i < 1024; ++i) block[i] = static_cast<float>(std::sin(0.855 * i));
    long sum = 0;
    const long before = test::allocationCount();
    for (const int blocksPerRow : {1, 2, 4}) {
        waterfall.setBlocksPerRow(blocksPerRow);
        for (int b = 0; b < 12; ++b) {
            if (waterfall.analyse(block)) frame.publish(waterfall.row());
            if (b % 5 == 0) frame.drain([&](std::span<const std::uint8_t> r) { sum += r[250]; });
        }
    }
    EXPECT_EQ(test::allocationCount(), before);
    EXPECT_GT(sum, 0);
}

class WaterfallDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        view_.setFrame(&frame_);
        view_.setRange(0.0, 2756.0);
        view_.resize(400, 120);
        view_.show();
        area_ = view_.height() - view_.scaleHeight();
    }
    QRgb shown(int x, int y) { return view_.grab().toImage().pixel(x, y); }
    WaterfallFrame frame_{1000, 64};
    WaterfallView view_;
    int area_ = 0;
};

TEST_F(WaterfallDisplay, NewestRowAtTheTopOlderRowsBelow) {
    // Batches past the image's height and, once, past the frame's ring, which
    // keeps the newest rows; one request to refresh per batch.
    std::vector<int> expected;  // newest first
    for (int batch : {1, 3, 40, 70, 5}) {
        for (int i = 0; i < batch; ++i) {
            const int value = (static_cast<int>(expected.size()) * 37 + 11) % 256;
            EXPECT_EQ(frame_.publish(row(400, value)), i == 0);
            expected.insert(expected.begin(), i < batch - 64 ? -1 : value);  // -1: dropped
        }
        expected.erase(std::remove(expected.begin(), expected.end(), -1), expected.end());
        QMetaObject::invokeMethod(&view_, "refresh", Qt::QueuedConnection);
        QCoreApplication::processEvents();
        const QImage image = view_.grab().toImage();
        for (int y = 0; y < std::min(static_cast<int>(expected.size()), area_); ++y)
            ASSERT_EQ(image.pixel(200, y), view_.colourOf(static_cast<std::uint8_t>(expected[y])));
    }
    EXPECT_EQ(frame_.dropped(), 70u - 64u);
    // Columns keep their order; a row of another width is stretched.
    std::vector<std::uint8_t> ramp(200);
    for (int x = 0; x < 200; ++x) ramp[x] = static_cast<std::uint8_t>(x);
    frame_.publish(ramp);
    view_.refresh();
    for (const int x : {0, 17, 255, 399})
        EXPECT_EQ(shown(x, 0), view_.colourOf(static_cast<std::uint8_t>(x / 2)));
    view_.setPalette(WaterfallPalette::Grey);  // recolours what is shown
    EXPECT_EQ(shown(34, 0), qRgb(17, 17, 17));
}

TEST_F(WaterfallDisplay, LeftPressTunesToTheFrequencyUnderThePointerRightPressToggles) {
    std::vector<double> tuned;
    int toggles = 0;
    QObject::connect(&view_, &WaterfallView::tuneRequested,
                     [&](double hz) { tuned.push_back(hz); });
    QObject::connect(&view_, &WaterfallView::toggleRequested, [&] { ++toggles; });
    const double x = std::round(view_.axis().columnOf(1500.0));
    for (const int y : {5, area_ + 3}) {  // on the waterfall and on the scale
        for (const auto button : {Qt::LeftButton, Qt::RightButton}) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y), QPointF(x, y), button,
                              button, Qt::NoModifier);
            QCoreApplication::sendEvent(&view_, &press);
        }
    }
    ASSERT_EQ(tuned.size(), 2u);
    for (const double hz : tuned) EXPECT_NEAR(hz, 1500.0, view_.axis().hzPerColumn());
    EXPECT_EQ(toggles, 2);
}

TEST(WaterfallScale, LabelsInHzOrInKhzOfTheReceivedFrequencyWithoutOverlap) {
    struct {
        std::optional<double> dialKhz;
        bool lowerSideband;
        double audioHz;
        const char* label;
    } const cases[] = {
        {std::nullopt, false, 1500.0, "1500"}, {14100.0, false, 1500.0, "14101.5"},
        {14100.0, true, 1500.0, "14098.5"},    {7880.25, false, 250.0, "7880.5"},
        {7880.25, true, 1250.0, "7879.0"},
    };
    const QFontMetrics metrics(QFont{});
    for (const int width : {800, 500, 150}) {
        const dsp::FrequencyAxis axis{0.0, 2756.0, width};
        for (const auto& c : cases) {
            const auto marks = WaterfallView::scaleMarks(axis, c.dialKhz, c.lowerSideband, metrics);
            double end = -1e9;
            int found = 0;
            for (const ScaleMark& m : marks) {
                if (!m.labelled) continue;
                const double half = metrics.horizontalAdvance(m.label) / 2.0;
                EXPECT_GT(m.x - half, end) << width << " " << m.label.toStdString();
                end = m.x + half;
                if (width < 500 || std::fabs(m.x - axis.columnOf(c.audioHz)) >= 0.5) continue;
                EXPECT_EQ(m.label, QString::fromLatin1(c.label));
                ++found;
            }
            EXPECT_EQ(found, width < 500 ? 0 : 1) << width << " " << c.label;
        }
    }
}

}  // namespace
}  // namespace zeb::ui
