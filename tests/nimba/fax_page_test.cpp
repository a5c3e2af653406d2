// The fax page, its picture window and the link between the fax decoder and
// the user interface, driven with the real English bundle and synthetic fax
// audio.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "../ui/EventLoop.h"
#include "FaxDisplays.h"
#include "FaxPage.h"
#include "PictureWindow.h"
#include "SpectrumLink.h"
#include "support/FaxGenerator.h"
#include "support/TestEnv.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/SpectrumView.h"

namespace zeb::nimba {
namespace {

using test::pumpUntil;

const TimeKey kClock = timeKey(NameTime{2004, 6, 3, 14, 5, 0});

void key(QWidget* target, int code, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent press(QEvent::KeyPress, code, modifiers);
    QCoreApplication::sendEvent(target, &press);
}

void mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                  : type == QEvent::MouseMove ? Qt::MouseButtons(Qt::LeftButton)
                                                              : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

class FaxFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ui::registerPanelControls();
        const std::string suite = test::testSetting("ZEB_TEST_SUITE_DIR");
        ASSERT_FALSE(suite.empty()) << "set ZEB_TEST_SUITE_DIR to the staged suite directory";
        auto loaded = ui::LanguageBundle::load(ui::Program::Nimba, suite);
        ASSERT_TRUE(loaded) << loaded.error().message;
        bundle = std::move(*loaded);
        messages = std::make_unique<ui::MessageBoxes>(ui::Program::Nimba, bundle.get());
        ui::MessageBoxes::setPresenter([this](QMessageBox& box) {
            boxes.push_back(box.text());
            boxThreads.push_back(QThread::currentThread());
            return QMessageBox::Ok;
        });
        profile = std::make_unique<ProfileFile>(dir.path() / "NIMBA.INI");
        context.bundle = bundle.get();
        context.messages = messages.get();
        context.profile = profile.get();
        context.spectrum = &spectrum;
        context.signal = &signal;
        context.workDir = dir.path();
        context.setStatus = [this](const QString& text) { statuses.push_back(text); };
        context.clock = [] { return kClock; };
        displays = std::make_unique<FaxDisplays>(context);
        decoder = std::make_unique<fax::FaxDecoder>(displays->events(), dir.path());
        decoder->setProfile(profile.get());
        displays->setDecoder(decoder.get());
    }

    void TearDown() override {
        page.reset();
        if (decoder) decoder->stop();
        if (displays) displays->faxStopped();
        QCoreApplication::processEvents();
        decoder.reset();
        displays.reset();
        ui::MessageBoxes::setPresenter({});
    }

    FaxPage& openPage() {
        page = std::make_unique<FaxPage>(context, *decoder, *displays);
        page->resize(780, 420);
        page->show();
        QCoreApplication::processEvents();
        return *page;
    }

    template <class T>
    T* control(int id) {
        return ui::controlAs<T>(page->dialog(), id);
    }

    // Feeds audio to the decoder as the capture thread would, in whole blocks.
    void feed(const std::vector<float>& audio) {
        for (std::size_t at = 0; at + fax::kBlockLength <= audio.size(); at += fax::kBlockLength)
            decoder->processBlock(
                std::span<const float, fax::kBlockLength>(audio.data() + at, fax::kBlockLength));
    }

    test::TempDir dir;
    std::unique_ptr<ui::LanguageBundle> bundle;
    std::unique_ptr<ui::MessageBoxes> messages;
    std::unique_ptr<ProfileFile> profile;
    SpectrumLink spectrum;
    ui::SignalBuffer signal;
    PageContext context;
    std::unique_ptr<FaxDisplays> displays;
    std::unique_ptr<fax::FaxDecoder> decoder;
    std::unique_ptr<FaxPage> page;
    std::vector<QString> statuses;
    std::vector<QString> boxes;
    std::vector<QThread*> boxThreads;
};

using FaxPageTest = FaxFixture;
using FaxDisplaysTest = FaxFixture;
using FaxPictureWindowTest = FaxFixture;

TEST(FaxPageText, SaveNameAndToneValues) {
    EXPECT_EQ(faxSaveName(kClock), "FAX_2004-06-03_14-05.BMP");
    EXPECT_EQ(faxSaveName(timeKey(NameTime{2026, 12, 31, 23, 59, 0})), "FAX_2026-12-31_23-59.BMP");
    EXPECT_EQ(parseToneValue("300"), std::optional<std::uint16_t>(300));
    EXPECT_EQ(parseToneValue(" 65535 "), std::optional<std::uint16_t>(65535));
    EXPECT_EQ(parseToneValue("0"), std::optional<std::uint16_t>(0));
    // Not a value of the record's 16-bit field: the previous value stays.
    EXPECT_FALSE(parseToneValue("65536"));
    EXPECT_FALSE(parseToneValue("-5"));
    EXPECT_FALSE(parseToneValue("3x0"));
    EXPECT_FALSE(parseToneValue(""));
}

TEST(FaxPageText, GreyTableRunsFromWhiteToNearBlack) {
    const QVector<QRgb> t = faxGreyTable();
    ASSERT_EQ(t.size(), 16);
    EXPECT_EQ(t[0], qRgb(255, 255, 255));
    EXPECT_EQ(t[1], qRgb(238, 238, 238));
    EXPECT_EQ(t[15], qRgb(0, 0, 0));
}

TEST_F(FaxPageTest, LoadsEveryControlWithItsClass) {
    openPage();
    ASSERT_TRUE(page->loaded());
    for (int id : {1029, 1028, 1053}) EXPECT_TRUE(control<ui::RotaryKnob>(id)) << id;
    for (int id : {1057, 1058, 1059}) EXPECT_TRUE(control<ui::SegmentDisplay>(id)) << id;
    for (int id : {1025, 1026}) EXPECT_TRUE(control<QLineEdit>(id)) << id;
    for (int id :
         {1043, 1044, 1045, 1046, 1048, 1049, 1050, 1064, 1065, 1066, 1051, 1052, 1054, 1055, 1056})
        EXPECT_TRUE(control<ui::LitSwitch>(id)) << id;
    EXPECT_TRUE(control<QSpinBox>(1063));
    for (int id : {1047, 1060, 1071}) EXPECT_TRUE(control<QPushButton>(id)) << id;
    EXPECT_TRUE(control<ui::SpectrumView>(1003));
    // The knobs cover the decoder's ranges.
    EXPECT_EQ(control<ui::RotaryKnob>(1029)->minimum(), 1000);
    EXPECT_EQ(control<ui::RotaryKnob>(1029)->maximum(), 2100);
    EXPECT_EQ(control<ui::RotaryKnob>(1028)->minimum(), 150);
    EXPECT_EQ(control<ui::RotaryKnob>(1053)->maximum(), 2500);
    // The panel shows the loaded record.
    const fax::FaxConfig c = decoder->config();
    EXPECT_EQ(control<ui::SegmentDisplay>(1057)->value(), c.center);
    EXPECT_EQ(control<QLineEdit>(1025)->text(), QString::number(c.startTone));
    // Shown the page attaches its spectrum display.
    EXPECT_EQ(spectrum.attached(), control<ui::SpectrumView>(1003));
    page.reset();
    EXPECT_EQ(spectrum.attached(), nullptr);
}

TEST_F(FaxPageTest, KnobsReachTheDecoderAndBandwidthStaysAtLeastTheShift) {
    openPage();
    auto* centre = control<ui::RotaryKnob>(1029);
    auto* shift = control<ui::RotaryKnob>(1028);
    auto* bandwidth = control<ui::RotaryKnob>(1053);
    centre->setValue(1700);
    EXPECT_EQ(decoder->config().center, 1700);
    EXPECT_EQ(control<ui::SegmentDisplay>(1057)->value(), 1700);

    shift->setValue(600);
    EXPECT_EQ(decoder->config().shift, 600);
    EXPECT_EQ(control<ui::SegmentDisplay>(1058)->value(), 600);

    bandwidth->setValue(1000);
    EXPECT_EQ(decoder->config().bandwidth, 1000);
    // Below the shift: raised to the shift, and the knob is set back.
    bandwidth->setValue(300);
    EXPECT_EQ(decoder->config().bandwidth, 600);
    EXPECT_EQ(bandwidth->value(), 600);
    EXPECT_EQ(control<ui::SegmentDisplay>(1059)->value(), 600);
    // A shift above the bandwidth takes the bandwidth along.
    shift->setValue(900);
    EXPECT_EQ(decoder->config().bandwidth, 900);
    EXPECT_EQ(bandwidth->value(), 900);
}

TEST_F(FaxPageTest, ModeButtonsSelectAndLightOnlyTheirOwn) {
    openPage();
    auto litOnly = [this](std::initializer_list<int> ids, int selected) {
        for (int id : ids) EXPECT_EQ(control<ui::LitSwitch>(id)->isLit(), id == selected) << id;
    };
    control<ui::LitSwitch>(1044)->click();
    EXPECT_EQ(decoder->config().ioc, 288);
    litOnly({1043, 1044, 1045, 1046}, 1044);
    control<ui::LitSwitch>(1043)->click();
    EXPECT_EQ(decoder->config().ioc, 267);
    litOnly({1043, 1044, 1045, 1046}, 1043);

    control<ui::LitSwitch>(1065)->click();
    EXPECT_EQ(decoder->config().lpm, 180);
    litOnly({1048, 1049, 1050, 1064, 1065, 1066}, 1065);

    control<ui::LitSwitch>(1051)->click();
    EXPECT_EQ(decoder->config().filterOrder, 0);
    litOnly({1051, 1052, 1054, 1055}, 1051);
    control<ui::LitSwitch>(1055)->click();
    EXPECT_EQ(decoder->config().filterOrder, 128);
    litOnly({1051, 1052, 1054, 1055}, 1055);
}

TEST_F(FaxPageTest, ToneEditsKeepThePreviousValueOnBadText) {
    openPage();
    auto* start = control<QLineEdit>(1025);
    auto* stop = control<QLineEdit>(1026);
    start->setText("350");
    EXPECT_EQ(decoder->config().startTone, 350);
    start->setText("35x");
    EXPECT_EQ(decoder->config().startTone, 350);
    EXPECT_EQ(start->text(), "35x");  // what is being typed stays
    start->setText("99999");
    EXPECT_EQ(decoder->config().startTone, 350);
    stop->setText("500");
    EXPECT_EQ(decoder->config().stopTone, 500);
    EXPECT_EQ(decoder->config().startTone, 350);
}

TEST_F(FaxPageTest, SlantStepsCorrectTheCurrentMode) {
    openPage();
    const float nominal = decoder->derived().pixelRate;
    control<QSpinBox>(1063)->stepUp();
    const float corrected = decoder->correctionTable().lookup(576, 120);
    EXPECT_NEAR(corrected, nominal - fax::kSlantStep, 5e-8);
    control<QSpinBox>(1063)->stepDown();
    control<QSpinBox>(1063)->stepDown();
    EXPECT_NEAR(decoder->correctionTable().lookup(576, 120), nominal + fax::kSlantStep, 5e-8);
    control<QPushButton>(1047)->click();
    EXPECT_GT(decoder->correctionTable().lookup(288, 60), 0.0f);
}

TEST_F(FaxPageTest, PreviewSizeReachesTheDecoderAndThePreviewPaints) {
    openPage();
    ASSERT_TRUE(decoder->start());
    auto* preview = control<QPushButton>(1071);
    auto inner = [preview] { return preview->rect().adjusted(2, 2, -2, -2).size(); };
    const QSize before = inner();
    EXPECT_EQ(decoder->preview().width(), before.width());
    EXPECT_EQ(decoder->preview().height(), before.height());
    page->resize(900, 560);
    QCoreApplication::processEvents();
    ASSERT_NE(inner(), before);
    EXPECT_EQ(decoder->preview().width(), inner().width());
    EXPECT_EQ(decoder->preview().height(), inner().height());
    EXPECT_FALSE(preview->grab().isNull());
}

TEST_F(FaxPageTest, SaveAsWritesABitmapOnlyWithoutAWorkFile) {
    openPage();
    ASSERT_TRUE(decoder->start());
    QString title, suggested, filter;
    const QString target = QString::fromStdString((dir.path() / "chosen.BMP").string());
    page->setSaveDialog([&](QWidget*, const QString& t, const QString& s, const QString& f) {
        title = t;
        suggested = s;
        filter = f;
        return target;
    });
    control<QPushButton>(1060)->click();
    EXPECT_EQ(title, bundle->string(73));
    EXPECT_TRUE(suggested.endsWith("/FAX/FAX_2004-06-03_14-05.BMP")) << suggested.toStdString();
    EXPECT_EQ(filter, "Bitmap (*.BMP)");
    std::ifstream in(dir.path() / "chosen.BMP", std::ios::binary);
    char magic[2] = {};
    in.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");
    EXPECT_TRUE(boxes.empty());

    // A file that cannot be written: the reason in a box, nothing else lost.
    page->setSaveDialog([&](QWidget*, const QString&, const QString&, const QString&) {
        return QString::fromStdString((dir.path() / "missing" / "x.BMP").string());
    });
    control<QPushButton>(1060)->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].startsWith(bundle->string(9012)));

    // While a work file is open the dialog is not even offered.
    decoder->manualStartStop();
    ASSERT_TRUE(decoder->pictureFileOpen());
    title.clear();
    page->saveAs();
    EXPECT_TRUE(title.isEmpty());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], bundle->string(9013));
}

// The automatic slant on the page: the clock error measured on a received
// picture is shown, "Store" puts it into the correction table of this sound
// input, "Auto" switches the measurement off for good, and "Save as PNG"
// writes the picture on screen.
TEST_F(FaxPageTest, MeasuredClockIsShownStoredPerInputAndSavedAsPng) {
    decoder->setInputDevice("hw:1,0");
    openPage();
    auto* autoSlant = page->dialog()->findChild<QCheckBox*>("autoSlant");
    auto* shown = page->dialog()->findChild<QLabel*>("measuredSlant");
    auto* store = page->dialog()->findChild<QPushButton*>("acceptSlant");
    ASSERT_TRUE(autoSlant && shown && store);
    EXPECT_TRUE(autoSlant->isChecked());
    EXPECT_FALSE(store->isEnabled());
    ASSERT_TRUE(decoder->start());
    test::FaxSignal signalSpec;
    signalSpec.phasingLines = 20;
    signalSpec.ppm = 120.0;
    signalSpec.stopSeconds = 0.0;
    feed(test::faxAudio(test::testChart(fax::lineWidth(576), 30), signalSpec));
    ASSERT_TRUE(pumpUntil([&] { return store->isEnabled(); }));
    EXPECT_NEAR(shown->text().section(' ', 0, 0).toDouble(), 120.0, 10.0)
        << shown->text().toStdString();
    store->click();
    const std::string ini = test::readFile(dir.path() / "NIMBA.INI");
    EXPECT_NE(ini.find("CORRTABLE.hw:1,0="), std::string::npos) << ini;
    EXPECT_NEAR(decoder->correctionTable().lookup(576, 120) * (1 + 120e-6) /
                    fax::nominalPixelRate(576, 120),
                1.0, 10e-6);

    autoSlant->click();
    EXPECT_FALSE(decoder->autoSlant());
    EXPECT_NE(test::readFile(dir.path() / "NIMBA.INI").find("AUTOSLANT=0"), std::string::npos);

    auto* savePng = page->dialog()->findChild<QPushButton*>("savePng");
    ASSERT_TRUE(savePng);
    QString suggested;
    page->setSaveDialog([&](QWidget*, const QString&, const QString& s, const QString&) {
        suggested = s;
        return QString::fromStdString((dir.path() / "chosen.PNG").string());
    });
    savePng->click();  // also while the picture is being received
    EXPECT_TRUE(suggested.endsWith("/FAX/FAX_2004-06-03_14-05.PNG")) << suggested.toStdString();
    EXPECT_EQ(test::readFile(dir.path() / "chosen.PNG").substr(1, 3), "PNG");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FaxDisplaysTest, ReceptionShowsStatesAndThePictureWindowPaints) {
    openPage();
    ASSERT_TRUE(decoder->start());
    displays->faxStarted();
    EXPECT_FALSE(control<ui::LitSwitch>(1056)->isLit());
    EXPECT_TRUE(control<ui::LitSwitch>(1056)->isEnabled());

    const test::GreyPicture chart = test::testChart(fax::lineWidth(576), 30);
    test::FaxSignal signalSpec;
    signalSpec.phasingLines = 10;
    signalSpec.stopSeconds = 0.0;
    signalSpec.tailSeconds = 0.0;
    feed(test::faxAudio(chart, signalSpec));
    ASSERT_TRUE(pumpUntil([&] {
        return std::find(statuses.begin(), statuses.end(), bundle->string(34)) != statuses.end();
    }));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), bundle->string(32)), statuses.end());
    EXPECT_EQ(decoder->state(), fax::FaxState::Receiving);
    EXPECT_TRUE(control<ui::LitSwitch>(1056)->isLit());
    EXPECT_FALSE(control<QPushButton>(1060)->isEnabled());

    // The preview button opens the window over the received picture.
    control<QPushButton>(1071)->click();
    PictureWindow* window = displays->pictureWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Nimbarra-FAX");
    window->resize(600, 300);
    const QImage shot = window->viewport()->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // The chart's black band at the left edge and white parts elsewhere.
    bool dark = false, light = false;
    for (int x = 0; x < shot.width(); ++x) {
        const int g = qGray(shot.pixel(x, 5));
        dark = dark || g < 64;
        light = light || g > 192;
    }
    EXPECT_TRUE(dark);
    EXPECT_TRUE(light);

    // Closing the window clears the wish; stopping keeps it.
    displays->togglePictureWindow();
    EXPECT_EQ(displays->pictureWindow(), nullptr);
    EXPECT_FALSE(displays->pictureWindowWanted());
    displays->togglePictureWindow();
    ASSERT_NE(displays->pictureWindow(), nullptr);
    displays->faxStopped();
    EXPECT_EQ(displays->pictureWindow(), nullptr);
    EXPECT_TRUE(displays->pictureWindowWanted());
    displays->faxStarted();
    EXPECT_NE(displays->pictureWindow(), nullptr);
    // The user closing it by the title bar counts as not wanted.
    displays->pictureWindow()->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(displays->pictureWindow(), nullptr);
    EXPECT_FALSE(displays->pictureWindowWanted());
}

TEST_F(FaxDisplaysTest, FileFailuresShowMessage19OnceOnTheUiThread) {
    const Error error{5, "disk full"};
    std::thread capture([&] {
        displays->events().pictureFileFailed(error);
        displays->events().pictureFileFailed(error);
    });
    capture.join();
    EXPECT_TRUE(boxes.empty());  // never shown on the capture thread
    ASSERT_TRUE(pumpUntil([&] { return !boxes.empty(); }));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], bundle->string(19));
    EXPECT_EQ(boxThreads[0], qApp->thread());
    // A later failure is reported again.
    displays->events().pictureFileFailed(error);
    ASSERT_TRUE(pumpUntil([&] { return boxes.size() == 2; }));
}

TEST_F(FaxDisplaysTest, DecoderOffRequestAndLineProfileArriveOnTheUiThread) {
    std::vector<QThread*> offThreads;
    int refreshes = 0;
    QObject::connect(displays.get(), &FaxDisplays::decoderOffRequested,
                     [&] { offThreads.push_back(QThread::currentThread()); });
    QObject::connect(displays.get(), &FaxDisplays::signalRefreshRequested, [&] { ++refreshes; });
    const std::vector<float> values(1024, 250.0f);
    std::thread capture([&] {
        displays->events().decoderOffRequested();
        displays->events().lineProfile(values);
        displays->events().lineProfile(values);  // the window has not taken the first yet
    });
    capture.join();
    EXPECT_TRUE(offThreads.empty());
    ASSERT_TRUE(pumpUntil([&] { return !offThreads.empty() && refreshes > 0; }));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(offThreads.size(), 1u);
    EXPECT_EQ(offThreads[0], qApp->thread());
    EXPECT_EQ(refreshes, 1);
    std::array<float, ui::SignalBuffer::kLength> copy{};
    ASSERT_TRUE(signal.copyTo(copy));
    EXPECT_EQ(copy[10], 250.0f);
}

TEST_F(FaxPictureWindowTest, KeysDragAndManualAlignment) {
    ASSERT_TRUE(decoder->start());
    displays->togglePictureWindow();
    PictureWindow* window = displays->pictureWindow();
    ASSERT_NE(window, nullptr);
    window->resize(400, 300);
    QCoreApplication::processEvents();
    QScrollBar* h = window->horizontalScrollBar();
    QScrollBar* v = window->verticalScrollBar();
    EXPECT_EQ(h->maximum() + h->pageStep(), fax::lineWidth(576));
    EXPECT_EQ(v->maximum() + v->pageStep(), decoder->picture().height());

    key(window, Qt::Key_PageDown);
    EXPECT_EQ(v->value(), v->pageStep());
    key(window, Qt::Key_PageUp);
    EXPECT_EQ(v->value(), 0);
    key(window, Qt::Key_End);
    EXPECT_EQ(h->value(), h->pageStep());
    key(window, Qt::Key_Home);
    EXPECT_EQ(h->value(), 0);
    key(window, Qt::Key_Down);
    EXPECT_EQ(v->value(), v->singleStep());
    key(window, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(h->value(), h->pageStep());

    // Dragging left and up shows more of the right and the bottom.
    QWidget* view = window->viewport();
    const int h0 = h->value(), v0 = v->value();
    mouse(view, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(200, 200));
    mouse(view, QEvent::MouseMove, Qt::NoButton, QPoint(150, 170));
    mouse(view, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(150, 170));
    EXPECT_EQ(h->value(), h0 + 50);
    EXPECT_EQ(v->value(), v0 + 30);

    // Right double click: the clicked column (with the scroll offset) starts
    // the line.
    h->setValue(100);
    const int before = decoder->column();
    mouse(view, QEvent::MouseButtonDblClick, Qt::RightButton, QPoint(20, 20));
    const int width = fax::lineWidth(576);
    EXPECT_EQ(decoder->column(), ((before - 120) % width + width) % width);
}

}  // namespace
}  // namespace zeb::nimba
