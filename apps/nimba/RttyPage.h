// The RTTY page: the demodulator's settings (mode, baud rate, shift, stop
// length, tone position, design, squelch, polarity, unshift on space), the
// letters/figures shift, the cross scope and its switch, the lock lamp, the
// signal-to-noise readout, the spectrum display and the received-text window
// with its save, print and font commands. In SITOR-B mode the NAVTEX messages
// framed in this session are listed beside the text; a click on one shows it.
//
// The page lives for the whole run and is only hidden when another page is
// chosen: its text window goes on receiving. Every change of a setting is
// written to section "RTTYPARAM" at once, because the chain loads that
// section when the decoder starts.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "DecoderChains.h"
#include "PageContext.h"

class QComboBox;
class QDialog;
class QLabel;
class QSpinBox;
class QTreeWidget;

namespace zeb::ui {
class Lamp;
class LitSwitch;
class ReceivedTextWindow;
class SpectrumView;
class WaterfallView;
}  // namespace zeb::ui

namespace zeb::nimba {

// Page dialog and control ids.
inline constexpr int kRttyDialog = 120;
inline constexpr int kRttyBaudot = 1201, kRttySync = 1202, kRttySitor = 1203;
inline constexpr int kRttyBaudPreset = 1204, kRttyBaud = 1205;
inline constexpr int kRttyShiftPreset = 1206, kRttyShift = 1207;
inline constexpr int kRttyStop = 1208, kRttyCenter = 1209, kRttyInvert = 1210;
inline constexpr int kRttyLetters = 1211, kRttyFigures = 1212;
inline constexpr int kRttyScopeSwitch = 1213, kRttyScope = 1214, kRttyLock = 1215;
inline constexpr int kRttyDesign = 1216, kRttySquelchDb = 1217, kRttySnr = 1218;
inline constexpr int kRttyAutoPolarity = 1219, kRttyText = 1220, kRttyUsos = 1221;
inline constexpr int kRttyMessages = 1222, kRttyAfc = 1223, kRttyOffset = 1224;
inline constexpr int kSpectrumControl = 1003, kWaterfallControl = 1009;
inline constexpr int kSaveButton = 1019, kPrintButton = 1103, kFontButton = 1104;

// The cross scope: the lower-tone filter output against the upper-tone
// output, one dotted line of 1024 points through the middle of the area.
class CrossScope : public QWidget {
    Q_OBJECT
public:
    explicit CrossScope(QWidget* parent = nullptr);
    void setBuffer(ScopeBuffer* buffer) { buffer_ = buffer; }
    Q_INVOKABLE void refresh();
    // The points for an area (tests): scaled by width (x) and height (y)
    // over 2.05 × the larger peak; empty when both outputs are silent.
    static std::vector<QPointF> points(std::span<const float> lower, std::span<const float> upper,
                                       QSizeF area);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScopeBuffer* buffer_ = nullptr;
    std::array<float, ScopeBuffer::kLength> lower_{}, upper_{};
};

class RttyPage : public QWidget {
    Q_OBJECT
public:
    RttyPage(PageContext& context, RttyChain& chain, QWidget* parent = nullptr);
    ~RttyPage() override;

    ui::ReceivedTextWindow& text() { return *text_; }
    ui::SpectrumView* spectrumView() const { return spectrum_; }
    ui::WaterfallView* waterfallView() const { return waterfall_; }
    // Shows the chain's settings in the controls.
    void refresh();
    // The lock lamp follows the decoder.
    void lockChanged();
    // A click on the spectrum or the waterfall at `hz`: the pair of tones of
    // the set shift is put either side of it.
    void tuneTo(double hz);
    // Takes what the decoder left for the scope, the lamp, the
    // signal-to-noise readout and the polarity found (often, on the
    // user-interface thread).
    void poll();
    QWidget* dialog() const { return dialog_; }

    // The queue's start marks and framed messages, in the order they were
    // queued: a message's text runs from its start mark to the end of the
    // window, or, cut off by the next "ZCZC", to the next start mark.
    void markStart(weather::Collected kind);
    void messageFramed(const weather::MessageFramer::Message& message);
    QTreeWidget* messageList() const { return list_; }
    // Selects the row's message in the text window and scrolls to it; when
    // its text has left the window, shows its saved file, or says that it is
    // gone.
    void showMessage(int row);
    // The saved file's text (open until closed).
    QDialog* messageFile() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void apply(const rtty::RttyParams& params);
    void setMode(int mode);
    void toggleScope();
    void toggleInvert();
    void setAutoPolarity(bool on);
    // The readouts and, while the polarity is found automatically, the
    // Invers switch.
    void showDecoderState();
    // The tones listened to on the displays (they move with the frequency
    // control); `force` also when they have not moved.
    void markTones(bool force);
    void showOffsetAndErrors();
    // `file`: in the SYNOP folder ("" none).
    void showFile(const weather::MessageFramer::Message& message, const std::string& file);

    // A listed message and where its text is, counted from the first
    // character the window ever held (trimmed ones included).
    struct Listed {
        weather::MessageFramer::Message message;
        std::uint64_t start = 0;
        std::uint64_t end = 0;
    };

    PageContext& context_;
    RttyChain& chain_;
    QWidget* dialog_ = nullptr;
    ui::ReceivedTextWindow* text_ = nullptr;
    ui::SpectrumView* spectrum_ = nullptr;
    ui::WaterfallView* waterfall_ = nullptr;
    CrossScope* scope_ = nullptr;
    ui::Lamp* lock_ = nullptr;
    QLabel* snr_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::vector<Listed> listed_;
    std::uint64_t start_ = 0, previousStart_ = 0;  // the last two start marks
    QPointer<QDialog> file_;
    // What the readout shows: whole dB, or INT_MIN for no value.
    std::optional<int> shownSnr_;
    QLabel* offset_ = nullptr;
    QString shownOffset_;
    std::pair<float, float> markedTones_{0.0f, 0.0f};
    bool updating_ = false;
    bool scopeOn_ = true;
};

void registerRttyPageControls();

}  // namespace zeb::nimba
