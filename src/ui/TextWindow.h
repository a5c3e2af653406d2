// The received-text window of the decoder pages: a rich-text view over a
// weather::TextModel, which keeps the rules of the window (fill limit and the
// deletion of the first ten lines, the start mark of a bulletin being
// collected, the saving of collected bulletins as RTF files).
//
// Everything here runs on the user-interface thread. The decoders queue what
// they produce; the program drains the queue into appendReceived(),
// appendText(), markStart() and saveCollected() in the order it was queued.
//
// Appending keeps the user's selection. While the window has the keyboard
// focus the view does not jump; otherwise it scrolls to the end.
#pragma once

#include <QFont>
#include <QString>
#include <QTextCharFormat>
#include <QTextEdit>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "weather/TextModel.h"

class QPrinter;

namespace zeb::ui {

// The 60-byte character-format record stored under "FONT": size (60), mask,
// effects, height in twips, offset, colour, character set, pitch and family,
// 32-byte face name, little-endian. The same layout as cw::FontRecord.
using FontRecordBytes = std::array<std::uint8_t, 60>;

// The font a record describes (height in twips / 20 points, bold, italic,
// underline, strike-out, face from Windows-1252; a fixed-pitch font when the
// face is empty), and the record of a font.
QFont fontFromRecord(const FontRecordBytes& record);
FontRecordBytes recordFromFont(const QFont& font, const FontRecordBytes& base);

class ReceivedTextWindow : public QTextEdit {
    Q_OBJECT
public:
    ReceivedTextWindow(std::filesystem::path synopDir, weather::TextModel::TrimPolicy policy,
                       QWidget* parent = nullptr);

    // Received characters (Windows-1252, CR or LF end a line).
    void appendReceived(std::string_view bytes);
    // A whole text (report description, error line), in the report colour.
    void appendText(std::string_view bytes);
    void markStart(weather::Collected kind);
    // With a file name: the name the message framer chose (see
    // weather::BulletinOutput::saveCollectedAs).
    void saveCollected(weather::Collected kind, bool beforeCurrentLine,
                       std::string_view fileName = {});

    weather::TextModel& model() { return model_; }
    const weather::TextModel& model() const { return model_; }

    // The save command: the file name is upper-cased; ".RTF" is written as
    // rich text, anything else as plain text; with a non-empty selection only
    // the selection. Replaces the file atomically.
    Result<void> saveTo(const std::filesystem::path& file) const;
    // Prints the text page by page, only the selection when there is one (a
    // PDF printer works as well).
    void printTo(QPrinter& printer) const;
    // Applies a font to the whole text and remembers it for new text.
    void applyFont(const QFont& font);
    const QFont& textFont() const { return font_; }
    // The colour of received text, and the font and colour of report text
    // (descriptions, notes), for text appended from now on and saved files.
    void setStyles(const QColor& textColour, const QFont& reportFont, const QColor& reportColour);

private:
    void sync();  // brings the view to the model's text

    weather::TextModel model_;
    QFont font_;
    std::size_t shown_ = 0;       // characters of the model's text in the view
    std::uint64_t trimmed_ = 0;   // the model's trimmedCount() at the last sync
    bool pendingReport_ = false;  // the text being synced is report text
    QTextCharFormat receivedFormat_;
    QTextCharFormat reportFormat_;
};

// Plays a tone sequence: (frequency Hz, duration ms) pairs ended by frequency
// 0; the first tone starts 1 ms after play(). While a sequence plays, further
// requests are ignored. The sound goes to a ToneOutput (the program's audio
// output, or the system beep when there is none).
class ToneOutput {
public:
    virtual ~ToneOutput() = default;
    virtual void startTone(int frequencyHz) = 0;
    virtual void stopTone() = 0;
};

class TonePlayer : public QObject {
    Q_OBJECT
public:
    explicit TonePlayer(ToneOutput& output, QObject* parent = nullptr);
    // Silences a sequence still playing.
    ~TonePlayer() override;

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    bool playing() const { return playing_; }
    // Returns false when nothing was started (disabled or playing).
    bool play(std::span<const weather::TonePair> sequence);

signals:
    void finished();

private:
    void step();
    ToneOutput& output_;
    bool enabled_ = true;
    bool playing_ = false;
    std::vector<weather::TonePair> sequence_;
    std::size_t next_ = 0;
};

// Sine tones on an audio output device (an audioio backend name such as
// "default" or "null"); falls back to QApplication::beep() when the device
// cannot be opened.
std::unique_ptr<ToneOutput> makeAudioToneOutput(std::string device);

}  // namespace zeb::ui
