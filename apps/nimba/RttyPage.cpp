#include "RttyPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "SpectrumLink.h"
#include "TextCommands.h"
#include "common/AtomicFile.h"
#include "common/Codepage.h"
#include "common/Format.h"
#include "rtty/RttySettings.h"
#include "ui/DialogLoader.h"
#include "ui/PanelControls.h"
#include "ui/SpectrumView.h"
#include "ui/TextWindow.h"
#include "weather/Rtf.h"

namespace zeb::nimba {
namespace {

constexpr std::array<int, 8> kBaudPresets = {45, 50, 57, 75, 100, 110, 150, 200};
constexpr std::array<int, 4> kShiftPresets = {85, 170, 425, 850};
constexpr std::array<float, 3> kStops = {1.0f, 1.5f, 2.0f};

// The designs in the order of the selector, with the strings naming them.
constexpr std::array<std::pair<rtty::DemodVariant, int>, 3> kDesigns = {{
    {rtty::DemodVariant::Matched, 9020},
    {rtty::DemodVariant::Main, 9021},
    {rtty::DemodVariant::Rtty, 9022},
}};
constexpr int kStrSnr = 9023;    // "S/N %d dB"
constexpr int kStrNoSnr = 9024;  // "S/N –"
constexpr int kNoSnr = INT_MIN;
// The frequency control's offset from the set tones, and the damaged share.
constexpr int kStrOffset = 9034, kStrErrors = 9035, kStrNoErrors = 9036;
constexpr int kStrRepeat = 9025, kStrNotSelected = 9026, kStrCutOff = 9027, kStrGone = 9028;

// The columns of the message list.
enum Column { kTime, kStation, kSubject, kNumber, kLost, kWarning, kNote };

using Outcome = weather::MessageFramer::Outcome;

bool matched(const rtty::RttyParams& p) { return p.variant == rtty::DemodVariant::Matched; }

// The highest lower tone for a shift: the upper tone stays within kMaxToneHz.
int maxCenter(int shift) { return rtty::kMaxToneHz - shift; }

}  // namespace

// ---- cross scope ----

CrossScope::CrossScope(QWidget* parent) : QWidget(parent) {
    setMinimumSize(96, 96);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CrossScope::refresh() {
    if (buffer_ && buffer_->copyTo(lower_, upper_)) update();
}

std::vector<QPointF> CrossScope::points(std::span<const float> lower, std::span<const float> upper,
                                        QSizeF area) {
    const std::size_t n = std::min(lower.size(), upper.size());
    float peak = 0.0f;
    for (std::size_t i = 0; i < n; ++i)
        peak = std::max({peak, std::fabs(lower[i]), std::fabs(upper[i])});
    const double s = 2.05 * peak;
    std::vector<QPointF> out;
    if (!(s > 0.0) || !std::isfinite(s)) return out;
    out.reserve(n);
    const double cx = area.width() / 2.0, cy = area.height() / 2.0;
    for (std::size_t i = 0; i < n; ++i)
        out.emplace_back(cx + lower[i] * area.width() / s, cy - upper[i] * area.height() / s);
    return out;
}

void CrossScope::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ui::DisplayColours colours;
    painter.fillRect(rect(), colours.background);
    painter.setPen(QPen(QColor(40, 80, 100), 1));
    painter.drawLine(QPointF(width() / 2.0, 0), QPointF(width() / 2.0, height()));
    painter.drawLine(QPointF(0, height() / 2.0), QPointF(width(), height() / 2.0));
    const auto pts = points(lower_, upper_, size());
    if (pts.empty()) return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colours.outline, 1, Qt::DotLine));
    painter.drawPolyline(pts.data(), static_cast<int>(pts.size()));
}

void registerRttyPageControls() {
    ui::DialogLoader::registerWidget(QStringLiteral("CrossScope"),
                                     [](QWidget* parent) { return new CrossScope(parent); });
}

// ---- page ----

RttyPage::RttyPage(PageContext& context, RttyChain& chain, QWidget* parent)
    : QWidget(parent), context_(context), chain_(chain) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    dialog_ = context.bundle ? context.bundle->dialog(kRttyDialog, this) : nullptr;
    if (!dialog_) dialog_ = new QWidget(this);
    layout->addWidget(dialog_);

    text_ = new ui::ReceivedTextWindow(context.workDir / "SYNOP",
                                       weather::TextModel::TrimPolicy::SaveAndRestart);
    text_->model().setClock(context.clock);
    placeTextWindow(dialog_, kRttyText, text_, layout);
    loadTextFont(context_, *text_, rtty::kMainSection);

    spectrum_ = ui::controlAs<ui::SpectrumView>(dialog_, kSpectrumControl);
    waterfall_ = ui::controlAs<ui::WaterfallView>(dialog_, kWaterfallControl);
    if (context_.spectrum)
        connectDisplays(
            this, *context_.spectrum, spectrum_, waterfall_, [this](double hz) { tuneTo(hz); },
            [this](int id) { return context_.string(id); });
    scope_ = ui::controlAs<CrossScope>(dialog_, kRttyScope);
    if (scope_) scope_->setBuffer(&chain_.scope());
    chain_.setScopeOn(scopeOn_ && scope_);
    lock_ = ui::controlAs<ui::Lamp>(dialog_, kRttyLock);
    snr_ = ui::controlAs<QLabel>(dialog_, kRttySnr);
    offset_ = ui::controlAs<QLabel>(dialog_, kRttyOffset);
    list_ = ui::controlAs<QTreeWidget>(dialog_, kRttyMessages);
    if (list_) {
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        QHeaderView* header = list_->header();
        header->setStretchLastSection(false);
        header->setMinimumSectionSize(12);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        // The subject's name takes what is left (elided; in full as tooltip).
        header->setSectionResizeMode(kSubject, QHeaderView::Stretch);
        connect(list_, &QTreeWidget::itemClicked, this,
                [this](QTreeWidgetItem* item) { showMessage(list_->indexOfTopLevelItem(item)); });
    }

    auto button = [this](int id, auto slot) {
        if (auto* b = ui::controlAs<QPushButton>(dialog_, id))
            connect(b, &QPushButton::clicked, this, slot);
    };
    button(kRttyBaudot, [this] { setMode(0); });
    button(kRttySync, [this] { setMode(1); });
    button(kRttySitor, [this] { setMode(2); });
    button(kRttyInvert, [this] { toggleInvert(); });
    button(kRttyLetters, [this] {
        chain_.setLetters(true);
        refresh();
    });
    button(kRttyFigures, [this] {
        chain_.setLetters(false);
        refresh();
    });
    button(kRttyScopeSwitch, [this] { toggleScope(); });
    button(kSaveButton, [this] { saveTextWindow(this, context_, *text_); });
    button(kPrintButton, [this] { printTextWindow(this, *text_); });
    button(kFontButton, [this] { chooseTextFont(this, context_, *text_, rtty::kMainSection); });

    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kRttyBaudPreset)) {
        for (int b : kBaudPresets) combo->addItem(QString::number(b), b);
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            rtty::RttyParams p = chain_.params();
            p.baud = combo->itemData(index).toInt();
            apply(p);
        });
    }
    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kRttyShiftPreset)) {
        for (int s : kShiftPresets) combo->addItem(QString::number(s), s);
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            rtty::RttyParams p = chain_.params();
            p.shift = combo->itemData(index).toInt();
            p.center = std::min(p.center, maxCenter(p.shift));
            apply(p);
        });
    }
    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kRttyDesign)) {
        for (const auto& [variant, text] : kDesigns)
            combo->addItem(context_.string(text), static_cast<int>(variant));
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            rtty::RttyParams p = chain_.params();
            p.variant = static_cast<rtty::DemodVariant>(combo->itemData(index).toInt());
            apply(p);
        });
    }
    auto check = [this](int id, auto slot) {
        if (auto* c = ui::controlAs<QCheckBox>(dialog_, id))
            connect(c, &QCheckBox::toggled, this, [this, slot](bool on) {
                if (!updating_) slot(on);
            });
    };
    check(kRttyAutoPolarity, [this](bool on) { setAutoPolarity(on); });
    check(kRttyUsos, [this](bool on) {
        rtty::RttyParams p = chain_.params();
        p.usos = on;
        apply(p);
    });
    check(kRttyAfc, [this](bool on) {
        rtty::RttyParams p = chain_.params();
        p.afc = on;
        apply(p);
    });
    if (auto* combo = ui::controlAs<QComboBox>(dialog_, kRttyStop)) {
        for (float s : kStops) combo->addItem(QString::number(double(s)), double(s));
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            rtty::RttyParams p = chain_.params();
            p.stop = static_cast<float>(combo->itemData(index).toDouble());
            apply(p);
        });
    }
    auto spin = [this](int id, int lo, int hi, auto setter) {
        auto* s = ui::controlAs<QSpinBox>(dialog_, id);
        if (!s) return;
        s->setRange(lo, hi);
        connect(s, &QSpinBox::valueChanged, this, [this, setter](int v) {
            if (updating_) return;
            rtty::RttyParams p = chain_.params();
            setter(p, v);
            apply(p);
        });
    };
    spin(kRttyBaud, 30, 270, [](rtty::RttyParams& p, int v) { p.baud = v; });
    spin(kRttyShift, rtty::kMinShift, rtty::kMaxShift, [](rtty::RttyParams& p, int v) {
        p.shift = v;
        p.center = std::min(p.center, maxCenter(v));
    });
    // The top follows the shift (refresh()).
    spin(kRttyCenter, rtty::kMinCenter, rtty::kMaxCenter,
         [](rtty::RttyParams& p, int v) { p.center = v; });
    spin(kRttySquelchDb, 0, static_cast<int>(rtty::kMaxSquelchDb),
         [](rtty::RttyParams& p, int v) { p.squelchDb = static_cast<float>(v); });
    refresh();
    lockChanged();
}

RttyPage::~RttyPage() {
    chain_.setScopeOn(false);
    if (context_.spectrum) context_.spectrum->detach(spectrum_);
}

void RttyPage::apply(const rtty::RttyParams& params) {
    chain_.setParams(params);
    // Written at once: the chain reads "RTTYPARAM" again when it starts.
    (void)chain_.saveParams();
    markTones(true);
    refresh();
}

void RttyPage::tuneTo(double hz) {
    rtty::RttyParams p = chain_.params();
    const int center = static_cast<int>(std::lround(hz - 0.5 * p.shift));
    p.center = std::clamp(center, rtty::kMinCenter, maxCenter(p.shift));
    apply(p);
}

void RttyPage::markTones(bool force) {
    if (!context_.spectrum) return;
    const rtty::RttyParams p = chain_.params();
    std::pair<float, float> tones{chain_.lowerToneHz(), chain_.upperToneHz()};
    if (!chain_.running() || tones.first <= 0.0f)
        tones = {static_cast<float>(p.lowerHz()), static_cast<float>(p.upperHz())};
    if (!force && std::abs(tones.first - markedTones_.first) < 1.0f &&
        std::abs(tones.second - markedTones_.second) < 1.0f)
        return;
    markedTones_ = tones;
    context_.spectrum->setMarkers(dsp::Markers{0.0f, 0.0f, tones.first, tones.second});
}

void RttyPage::setMode(int mode) {
    rtty::RttyParams p = chain_.params();
    p.mode = mode;
    apply(p);
}

void RttyPage::toggleInvert() {
    rtty::RttyParams p = chain_.params();
    if (matched(p)) {
        // The matched design finds the polarity itself unless it is forced.
        if (p.polarity == rtty::Polarity::Auto) return;
        const bool inverted = p.polarity != rtty::Polarity::Inverted;
        p.polarity = inverted ? rtty::Polarity::Inverted : rtty::Polarity::Normal;
        p.invert = inverted ? 1 : 0;
    } else {
        p.invert = p.invert ? 0 : 1;
        // A forced polarity stays the same for every design.
        if (p.polarity != rtty::Polarity::Auto)
            p.polarity = p.invert ? rtty::Polarity::Inverted : rtty::Polarity::Normal;
    }
    apply(p);
}

void RttyPage::setAutoPolarity(bool on) {
    rtty::RttyParams p = chain_.params();
    if (on) {
        p.polarity = rtty::Polarity::Auto;
    } else {
        // Keeps the polarity found so far; undecided, the stored one.
        const rtty::Polarity found = chain_.polarityInUse();
        p.polarity = found != rtty::Polarity::Auto ? found
                     : p.invert                    ? rtty::Polarity::Inverted
                                                   : rtty::Polarity::Normal;
        p.invert = p.polarity == rtty::Polarity::Inverted ? 1 : 0;
    }
    apply(p);
}

void RttyPage::toggleScope() {
    scopeOn_ = !scopeOn_;
    chain_.setScopeOn(scopeOn_ && scope_);
    if (scope_) scope_->setVisible(true);
    refresh();
}

void RttyPage::refresh() {
    updating_ = true;
    const rtty::RttyParams p = chain_.params();
    auto lit = [this](int id, bool on) {
        if (auto* b = ui::controlAs<ui::LitSwitch>(dialog_, id)) b->setLit(on);
    };
    lit(kRttyBaudot, p.mode == 0);
    lit(kRttySync, p.mode == 1);
    lit(kRttySitor, p.mode == 2);
    lit(kRttyLetters, chain_.letters());
    lit(kRttyFigures, !chain_.letters());
    lit(kRttyScopeSwitch, scopeOn_);
    auto setSpin = [this](int id, int v) {
        if (auto* s = ui::controlAs<QSpinBox>(dialog_, id)) s->setValue(v);
    };
    setSpin(kRttyBaud, p.baud);
    setSpin(kRttyShift, p.shift);
    if (auto* s = ui::controlAs<QSpinBox>(dialog_, kRttyCenter)) s->setMaximum(maxCenter(p.shift));
    setSpin(kRttyCenter, p.center);
    setSpin(kRttySquelchDb, static_cast<int>(std::lround(p.squelchDb)));
    // Squelch and automatic polarity belong to the matched design.
    const bool isMatched = matched(p);
    if (auto* s = ui::controlAs<QSpinBox>(dialog_, kRttySquelchDb)) s->setEnabled(isMatched);
    if (auto* c = ui::controlAs<QCheckBox>(dialog_, kRttyAutoPolarity)) {
        c->setChecked(p.polarity == rtty::Polarity::Auto);
        c->setEnabled(isMatched);
    }
    if (auto* b = ui::controlAs<QWidget>(dialog_, kRttyInvert))
        b->setEnabled(!isMatched || p.polarity != rtty::Polarity::Auto);
    if (auto* c = ui::controlAs<QCheckBox>(dialog_, kRttyUsos)) c->setChecked(p.usos);
    if (auto* c = ui::controlAs<QCheckBox>(dialog_, kRttyAfc)) c->setChecked(p.afc);
    if (list_) list_->setVisible(p.mode == static_cast<int>(rtty::RttyMode::SitorB));
    auto select = [this](int id, const QVariant& value) {
        if (auto* c = ui::controlAs<QComboBox>(dialog_, id)) c->setCurrentIndex(c->findData(value));
    };
    select(kRttyBaudPreset, p.baud);
    select(kRttyShiftPreset, p.shift);
    select(kRttyStop, double(p.stop));
    select(kRttyDesign, static_cast<int>(p.variant));
    updating_ = false;
    showDecoderState();
}

void RttyPage::showDecoderState() {
    const rtty::RttyParams p = chain_.params();
    bool inverted = p.invert != 0;
    if (matched(p)) {
        inverted = p.polarity == rtty::Polarity::Auto
                       ? chain_.polarityInUse() == rtty::Polarity::Inverted
                       : p.polarity == rtty::Polarity::Inverted;
    }
    if (auto* b = ui::controlAs<ui::LitSwitch>(dialog_, kRttyInvert)) b->setLit(inverted);
    if (!snr_) return;
    const double snr = chain_.snrDb();
    const int shown = std::isfinite(snr) ? static_cast<int>(std::lround(snr)) : kNoSnr;
    if (shown != shownSnr_) {
        shownSnr_ = shown;
        snr_->setText(shown == kNoSnr || !context_.bundle
                          ? context_.string(kStrNoSnr)
                          : context_.bundle->format(kStrSnr, {shown}));
    }
    snr_->setEnabled(chain_.squelchOpen());
    showOffsetAndErrors();
}

void RttyPage::showOffsetAndErrors() {
    markTones(false);
    if (!offset_ || !context_.bundle) return;
    const rtty::RttyParams p = chain_.params();
    QString text;
    if (chain_.running() && chain_.lowerToneHz() > 0.0f) {
        // The middle of the pair: the fine correction may also widen the shift.
        const double middle = 0.5 * (chain_.lowerToneHz() + chain_.upperToneHz());
        const int offset =
            static_cast<int>(std::lround(middle - 0.5 * (p.lowerHz() + p.upperHz())));
        text = context_.bundle->format(kStrOffset, {offset});
    }
    const float share = chain_.errorShare();
    text += (text.isEmpty() ? "" : "  ") +
            (std::isfinite(share) ? context_.bundle->format(
                                        kStrErrors, {static_cast<int>(std::lround(100.0f * share))})
                                  : context_.string(kStrNoErrors));
    if (text == shownOffset_) return;
    shownOffset_ = text;
    offset_->setText(text);
}

void RttyPage::poll() {
    if (scope_ && scopeOn_ && isVisible()) scope_->refresh();
    lockChanged();
    showDecoderState();
}

void RttyPage::markStart(weather::Collected kind) {
    text_->markStart(kind);
    previousStart_ = start_;
    start_ = text_->model().trimmedCount() + text_->model().startMark();
}

void RttyPage::messageFramed(const weather::MessageFramer::Message& message) {
    const weather::TextModel& model = text_->model();
    const std::uint64_t end = model.trimmedCount() + model.contents().size();
    listed_.push_back(message.complete ? Listed{message, start_, end}
                                       : Listed{message, previousStart_, start_});
    if (!list_) return;
    const NameTime t = breakDown(context_.clock());
    QStringList cells(kNote + 1);
    cells[kTime] = QString::fromStdString(formatPrintf("%02d:%02d", {t.hour, t.minute}));
    cells[kLost] = QString::number(message.lost);
    const bool warning = message.id && weather::isMandatorySubject(message.id->subject);
    if (message.id) {
        cells[kStation] = QChar(message.id->station);
        cells[kSubject] = QString(QChar(message.id->subject)) + u' ' +
                          QString::fromUtf8(weather::subjectName(message.id->subject));
        cells[kNumber] = QString::fromStdString(message.id->text().substr(2));
    } else {
        cells[kStation] = cells[kSubject] = cells[kNumber] = QStringLiteral("?");
    }
    if (warning) cells[kWarning] = QStringLiteral("!");
    if (message.outcome == Outcome::Repeated)
        cells[kNote] = context_.string(kStrRepeat);
    else if (message.outcome == Outcome::NotSelected)
        cells[kNote] = context_.string(kStrNotSelected);
    else if (!message.complete)
        cells[kNote] = context_.string(kStrCutOff);
    auto* item = new QTreeWidgetItem(cells);
    item->setToolTip(kSubject, cells[kSubject]);
    item->setTextAlignment(kLost, Qt::AlignRight | Qt::AlignVCenter);
    QFont font = list_->font();
    font.setBold(warning);
    for (int c = 0; c <= kNote; ++c) {
        item->setFont(c, font);
        // Messages not saved this time are greyed.
        if (message.outcome == Outcome::Repeated || message.outcome == Outcome::NotSelected)
            item->setForeground(c, list_->palette().brush(QPalette::Disabled, QPalette::Text));
    }
    list_->addTopLevelItem(item);
    list_->scrollToItem(item);
}

void RttyPage::showMessage(int row) {
    if (row < 0 || row >= static_cast<int>(listed_.size())) return;
    const Listed& listed = listed_[static_cast<std::size_t>(row)];
    const weather::TextModel& model = text_->model();
    const std::uint64_t first = model.trimmedCount();
    const std::uint64_t last = first + model.contents().size();
    if (listed.start < first || listed.end > last || listed.end <= listed.start) {
        // A repeat has no file of its own: the copy saved before stands for it.
        std::string file = listed.message.file;
        for (std::size_t i = static_cast<std::size_t>(row); file.empty() && i-- > 0;)
            if (listed.message.id && listed_[i].message.id == listed.message.id)
                file = listed_[i].message.file;
        showFile(listed.message, file);
        return;
    }
    // The cursor at the start keeps the beginning of the message in view;
    // the focus keeps new text from scrolling it away.
    QTextCursor cursor(text_->document());
    cursor.setPosition(static_cast<int>(listed.end - first));
    cursor.setPosition(static_cast<int>(listed.start - first), QTextCursor::KeepAnchor);
    text_->setTextCursor(cursor);
    text_->ensureCursorVisible();
    text_->setFocus();
}

void RttyPage::showFile(const weather::MessageFramer::Message& message, const std::string& file) {
    std::string text;
    if (auto bytes = file.empty() ? Result<std::string>(Error{})
                                  : readWholeFile(context_.workDir / "SYNOP" / file)) {
        text = std::move(*bytes);
    } else {
        if (context_.messages) context_.messages->showMessage(kStrGone);
        return;
    }
    if (text.rfind("{\\rtf", 0) == 0) {
        if (auto doc = weather::readRtf(text)) text = doc->plainText();
    }
    if (file_) file_->close();
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(
        QString::fromStdString(message.id ? "NAVTEX " + message.id->text() : file));
    auto* layout = new QVBoxLayout(dialog);
    auto* view = new QPlainTextEdit(dialog);
    view->setReadOnly(true);
    view->setFont(text_->textFont());
    view->setPlainText(QString::fromStdString(cp1252ToUtf8(text)));
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->resize(480, 360);
    dialog->show();
    file_ = dialog;
}

QDialog* RttyPage::messageFile() const { return file_.data(); }

void RttyPage::lockChanged() {
    if (lock_) lock_->setLit(chain_.lockValue() > 0);
}

void RttyPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    if (context_.spectrum && spectrum_) {
        markTones(true);
        context_.spectrum->attach(spectrum_, waterfall_);
    }
}

void RttyPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (context_.spectrum) context_.spectrum->detach(spectrum_);
    (void)chain_.saveParams();
}

}  // namespace zeb::nimba
