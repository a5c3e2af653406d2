// The received-text window without a window: the text of the bulletins and
// messages received, with the window's fill limit, the start mark of a
// warning or message being collected and the saving of collected text as
// RTF files. The command line uses it as it is; the programs' windows keep
// the same rules.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "common/Text.h"
#include "common/TextSink.h"
#include "common/TimeKey.h"
#include "weather/BulletinOutput.h"
#include "weather/Rtf.h"

namespace zeb::weather {

// The window holds at most this many characters; when the text passes the
// limit less 1000, the first 10 lines are deleted.
inline constexpr std::size_t kTextLimit = 524288;
inline constexpr std::size_t kTrimThreshold = kTextLimit - 1000;
inline constexpr int kTrimLines = 10;

class TextModel : public TextSink, public BulletinOutput {
public:
    // What happens to a warning or message being collected when the first
    // lines are deleted: the main program saves what it has and collects the
    // rest anew; the RTTY program moves the start mark back.
    enum class TrimPolicy { SaveAndRestart, MoveMark };

    // Collected texts are saved in `synopDir` (created when missing).
    explicit TextModel(std::filesystem::path synopDir,
                       TrimPolicy policy = TrimPolicy::SaveAndRestart);

    // Received characters (Windows-1252; CR, LF, CR LF and CR CR LF each
    // start one new line).
    void text(std::string_view bytes) override;
    void appendChar(char ch);

    // BulletinOutput
    void appendText(std::string_view text) override;
    void markStart(Collected kind) override;
    void saveCollected(Collected kind, bool beforeCurrentLine = false) override;
    void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine = false) override;
    void playWarningTone() override;

    // The whole text as RTF when the name ends in ".RTF" (any case), else as
    // plain text with CR LF line ends. Replaces the file atomically.
    Result<void> saveAll(const std::filesystem::path& file) const;
    // Appends an RTF or plain-text file to the window.
    Result<void> load(const std::filesystem::path& file);

    const std::string& contents() const { return text_; }
    std::size_t startMark() const { return mark_; }
    bool collecting() const { return collecting_; }
    // Files written by saveCollected, in order, and why the last save failed
    // (empty when it succeeded).
    const std::vector<std::filesystem::path>& saved() const { return saved_; }
    const std::string& lastError() const { return lastError_; }
    int tonesRequested() const { return tones_; }
    // Characters deleted from the front by the fill limit since construction;
    // a view that mirrors the text deletes as many from its own front.
    std::uint64_t trimmedCount() const { return trimmed_; }
    // The text in [from, to) with its received and report formats, for
    // saving a part of the window (offsets are clamped to the text).
    RtfDocument rtfRange(std::size_t from, std::size_t to) const;

    void setClock(std::function<TimeKey()> clock) { clock_ = std::move(clock); }
    // Called after each file written (the command line prints it).
    void setSavedListener(std::function<void(const std::filesystem::path&)> listener) {
        onSaved_ = std::move(listener);
    }
    void setToneListener(std::function<void()> listener) { onTone_ = std::move(listener); }
    void setFormats(RtfFormat received, RtfFormat report) {
        receivedFormat_ = std::move(received);
        reportFormat_ = std::move(report);
    }

private:
    void append(std::string_view bytes, bool report);
    void checkFill();
    std::size_t currentLineStart() const;
    // Writes the collected text to `target` ("" = the first free minute's name).
    void save(Collected kind, bool beforeCurrentLine, std::filesystem::path target);
    RtfDocument document(std::size_t from, std::size_t to) const;

    std::filesystem::path synopDir_;
    TrimPolicy policy_;
    std::string text_;
    // Offsets where the text switches between received and report format.
    std::vector<std::pair<std::size_t, bool>> runs_;
    std::size_t mark_ = 0;
    bool collecting_ = false;
    Collected kind_ = Collected::Warning;
    std::size_t sinceCheck_ = 0;
    LineEnds lineEnds_;
    std::vector<std::filesystem::path> saved_;
    std::string lastError_;
    int tones_ = 0;
    std::uint64_t trimmed_ = 0;
    RtfFormat receivedFormat_;
    RtfFormat reportFormat_;
    std::function<TimeKey()> clock_;
    std::function<void(const std::filesystem::path&)> onSaved_;
    std::function<void()> onTone_;
};

}  // namespace zeb::weather
