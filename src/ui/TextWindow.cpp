#include "ui/TextWindow.h"

#include <QTextDocumentFragment>

#include <QFontDatabase>
#include <QFontInfo>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/AtomicFile.h"
#include "common/Codepage.h"
#include "common/LittleEndian.h"
#include "common/Text.h"

namespace zeb::ui {

namespace {

// Field offsets of the character-format record.
constexpr std::size_t kRecordSize = 0;
constexpr std::size_t kRecordEffects = 8;
constexpr std::size_t kRecordHeight = 12;
constexpr std::size_t kRecordPitchAndFamily = 25;
constexpr std::size_t kRecordFace = 26;
constexpr std::size_t kFaceBytes = 32;

constexpr std::uint32_t kEffectBold = 1;
constexpr std::uint32_t kEffectItalic = 2;
constexpr std::uint32_t kEffectUnderline = 4;
constexpr std::uint32_t kEffectStrikeOut = 8;
constexpr std::uint8_t kFixedPitch = 1;  // low bits of pitchAndFamily

constexpr int kDefaultTwips = 150;   // 7.5 pt
constexpr int kLargestTwips = 1440;  // 72 pt; anything higher is a damaged record

constexpr std::uint32_t kReportColour = 0x000080;

QColor colourOf(std::uint32_t rgb) {
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

weather::RtfFormat rtfFormatOf(const QFont& font, std::uint32_t colour) {
    weather::RtfFormat f;
    f.face = utf8ToCp1252(font.family().toStdString());
    if (f.face.empty()) f.face = "Courier New";
    double points = font.pointSizeF();
    if (points <= 0) points = QFontInfo(font).pointSizeF();
    f.halfPoints = std::clamp(static_cast<int>(std::lround(points * 2)), 2, 32767);
    f.colour = colour;
    f.bold = font.bold();
    f.italic = font.italic();
    return f;
}

// Upper-cases a file name as the desktop shows it. A name that is not UTF-8
// (Linux allows any bytes) only has its ASCII letters changed, so no byte of
// it is lost in a conversion.
std::string upperFileName(const std::string& name) {
    if (isUtf8(name)) return QString::fromStdString(name).toUpper().toStdString();
    std::string out = name;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace

QFont fontFromRecord(const FontRecordBytes& record) {
    const le::Reader in(record);
    const std::uint32_t effects = in.u32(kRecordEffects);
    std::int32_t twips = in.i32(kRecordHeight);
    if (twips <= 0 || twips > kLargestTwips) twips = kDefaultTwips;

    std::size_t faceLength = 0;
    while (faceLength < kFaceBytes - 1 && record[kRecordFace + faceLength] != 0) ++faceLength;
    const std::string face = cp1252ToUtf8(
        std::string_view(reinterpret_cast<const char*>(record.data() + kRecordFace), faceLength));
    const QString family = QString::fromStdString(face).trimmed();

    QFont font =
        family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(family);
    if (family.isEmpty() || (in.u8(kRecordPitchAndFamily) & 0x03) == kFixedPitch) {
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    font.setPointSizeF(twips / 20.0);
    font.setBold((effects & kEffectBold) != 0);
    font.setItalic((effects & kEffectItalic) != 0);
    font.setUnderline((effects & kEffectUnderline) != 0);
    font.setStrikeOut((effects & kEffectStrikeOut) != 0);
    return font;
}

FontRecordBytes recordFromFont(const QFont& font, const FontRecordBytes& base) {
    FontRecordBytes record = base;
    le::Writer out(record);
    out.u32(kRecordSize, static_cast<std::uint32_t>(record.size()));
    std::uint32_t effects = 0;
    if (font.bold()) effects |= kEffectBold;
    if (font.italic()) effects |= kEffectItalic;
    if (font.underline()) effects |= kEffectUnderline;
    if (font.strikeOut()) effects |= kEffectStrikeOut;
    out.u32(kRecordEffects, effects);
    double points = font.pointSizeF();
    if (points <= 0) points = QFontInfo(font).pointSizeF();
    const long twips = std::lround(points * 20);
    out.i32(kRecordHeight,
            twips > 0 && twips <= kLargestTwips ? static_cast<std::int32_t>(twips) : kDefaultTwips);
    std::string face = utf8ToCp1252(font.family().toStdString());
    if (face.size() > kFaceBytes - 1) face.resize(kFaceBytes - 1);
    std::memset(record.data() + kRecordFace, 0, kFaceBytes);
    out.bytes(kRecordFace, face.data(), face.size());
    return record;
}

ReceivedTextWindow::ReceivedTextWindow(std::filesystem::path synopDir,
                                       weather::TextModel::TrimPolicy policy, QWidget* parent)
    : QTextEdit(parent), model_(std::move(synopDir), policy) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Days of reception must not pile up in an undo history.
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    applyFont(fontFromRecord(FontRecordBytes{}));
}

void ReceivedTextWindow::appendReceived(std::string_view bytes) {
    pendingReport_ = false;
    model_.text(bytes);
    sync();
}

void ReceivedTextWindow::appendText(std::string_view bytes) {
    pendingReport_ = true;
    model_.appendText(bytes);
    sync();
}

void ReceivedTextWindow::markStart(weather::Collected kind) {
    model_.markStart(kind);
    sync();
}

void ReceivedTextWindow::saveCollected(weather::Collected kind, bool beforeCurrentLine,
                                       std::string_view fileName) {
    if (fileName.empty())
        model_.saveCollected(kind, beforeCurrentLine);
    else
        model_.saveCollectedAs(fileName, beforeCurrentLine);
    // A save that failed is said in the window, where the text it concerns
    // still is, instead of passing in silence.
    if (!model_.lastError().empty()) model_.appendText("\n" + model_.lastError() + "\n");
    sync();
}

void ReceivedTextWindow::sync() {
    // Document positions equal model offsets: every Windows-1252 byte is one
    // character and every "\n" one paragraph break.
    const std::string& text = model_.contents();
    const std::uint64_t trimmedNow = model_.trimmedCount();
    const auto removed = static_cast<std::size_t>(trimmedNow - trimmed_);
    trimmed_ = trimmedNow;
    if (removed == 0 && shown_ == text.size()) return;

    QTextCursor user = textCursor();
    int anchor = user.anchor();
    int position = user.position();
    QScrollBar* bar = verticalScrollBar();
    const int scroll = bar->value();
    const int across = horizontalScrollBar()->value();

    QTextDocument* doc = document();
    if (removed > 0) {
        QTextCursor front(doc);
        if (removed >= shown_) {
            // Everything shown (and part of what was just added) has gone.
            front.select(QTextCursor::Document);
            front.removeSelectedText();
            shown_ = 0;
        } else {
            front.setPosition(static_cast<int>(removed), QTextCursor::KeepAnchor);
            front.removeSelectedText();
            shown_ -= removed;
        }
        const int cut = static_cast<int>(removed);
        anchor = std::max(0, anchor - cut);
        position = std::max(0, position - cut);
    }
    if (shown_ < text.size()) {
        // Which appender ran tells the format of the new characters: the
        // model only ever grows through one of them per call.
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        end.insertText(QString::fromStdString(cp1252ToUtf8(std::string_view(text).substr(shown_))),
                       pendingReport_ ? reportFormat_ : receivedFormat_);
        shown_ = text.size();
    }

    // The user's selection stays where it was (new text never joins it).
    const int last = std::max(0, doc->characterCount() - 1);
    anchor = std::min(anchor, last);
    position = std::min(position, last);
    if (textCursor().anchor() != anchor || textCursor().position() != position) {
        QTextCursor restored(doc);
        restored.setPosition(anchor);
        restored.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(restored);
    }

    horizontalScrollBar()->setValue(across);
    if (hasFocus()) {
        bar->setValue(scroll);
    } else {
        bar->setValue(bar->maximum());
    }
}

Result<void> ReceivedTextWindow::saveTo(const std::filesystem::path& file) const {
    const std::string name = file.filename().string();
    if (name.empty() || name == "." || name == "..") {
        return Error{EINVAL, "The file name is missing in \"" + file.string() + "\"."};
    }
    const std::string upper = upperFileName(name);
    const std::filesystem::path target = file.parent_path() / upper;
    const bool rtf = upper.size() >= 4 && upper.ends_with(".RTF");

    const std::string& text = model_.contents();
    std::size_t from = 0;
    std::size_t to = text.size();
    const QTextCursor selection = textCursor();
    if (selection.hasSelection()) {
        // Document positions are model offsets: every Windows-1252 byte is one
        // character and every "\n" one paragraph break.
        from = std::min(static_cast<std::size_t>(selection.selectionStart()), text.size());
        to = std::min(static_cast<std::size_t>(selection.selectionEnd()), text.size());
    }
    const std::string bytes = rtf ? weather::writeRtf(model_.rtfRange(from, to))
                                  : weather::toCrLf(std::string_view(text).substr(from, to - from));
    auto written = writeFileAtomically(target, bytes);
    if (!written) {
        return Error{written.error().code, "Could not save the text as " + target.string() + ": " +
                                               written.error().message};
    }
    return success();
}

void ReceivedTextWindow::printTo(QPrinter& printer) const {
    // The selection, or the whole text when nothing is selected.
    std::unique_ptr<QTextDocument> copy(document()->clone());
    if (const QTextCursor selected = textCursor(); selected.hasSelection()) {
        copy = std::make_unique<QTextDocument>();
        QTextCursor(copy.get()).insertFragment(selected.selection());
    }
    copy->setDefaultFont(font_);
    // The printer's own page size and margins decide the layout.
    copy->print(&printer);
}

void ReceivedTextWindow::applyFont(const QFont& font) {
    font_ = font;
    document()->setDefaultFont(font);
    receivedFormat_ = QTextCharFormat();
    receivedFormat_.setFont(font);
    reportFormat_ = receivedFormat_;
    reportFormat_.setForeground(colourOf(kReportColour));

    QTextCharFormat fontOnly;
    fontOnly.setFont(font);
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(fontOnly);

    model_.setFormats(rtfFormatOf(font, 0), rtfFormatOf(font, kReportColour));
}

void ReceivedTextWindow::setStyles(const QColor& textColour, const QFont& reportFont,
                                   const QColor& reportColour) {
    receivedFormat_.setForeground(textColour);
    reportFormat_ = QTextCharFormat();
    reportFormat_.setFont(reportFont);
    reportFormat_.setForeground(reportColour);
    model_.setFormats(rtfFormatOf(font_, textColour.rgb() & 0xFFFFFF),
                      rtfFormatOf(reportFont, reportColour.rgb() & 0xFFFFFF));
}

}  // namespace zeb::ui
