#include "weather/TextModel.h"

#include <algorithm>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/ReceivedFile.h"
#include "common/Text.h"

namespace zeb::weather {

TextModel::TextModel(std::filesystem::path synopDir, TrimPolicy policy)
    : synopDir_(std::move(synopDir)), policy_(policy), clock_([] { return zeb::now(); }) {
    reportFormat_.colour = 0x000080;  // descriptions in dark blue
}

void TextModel::text(std::string_view bytes) {
    for (char c : bytes) appendChar(c);
}

void TextModel::appendChar(char ch) {
    append(std::string_view(&ch, 1), false);
    if (++sinceCheck_ > 100) {
        sinceCheck_ = 0;
        checkFill();
    }
}

void TextModel::appendText(std::string_view text) {
    append(text, true);
    checkFill();
}

void TextModel::append(std::string_view bytes, bool report) {
    if (bytes.empty()) return;
    if (runs_.empty() || runs_.back().second != report) runs_.emplace_back(text_.size(), report);
    // Every kind of line end becomes one "\n".
    for (char c : bytes) {
        const LineEnds::Step step = lineEnds_.next(c);
        text_.append(static_cast<std::size_t>(step.lineEnds), '\n');
        if (step.text) text_.push_back(c);
    }
}

std::size_t TextModel::currentLineStart() const {
    const std::size_t lf = text_.rfind('\n');
    return lf == std::string::npos ? 0 : lf + 1;
}

void TextModel::markStart(Collected kind) {
    mark_ = currentLineStart();
    collecting_ = true;
    kind_ = kind;
}

void TextModel::playWarningTone() {
    ++tones_;
    if (onTone_) onTone_();
}

RtfDocument TextModel::document(std::size_t from, std::size_t to) const {
    RtfDocument doc;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const std::size_t start = std::max(runs_[i].first, from);
        const std::size_t end =
            std::min(i + 1 < runs_.size() ? runs_[i + 1].first : text_.size(), to);
        if (start >= end) continue;
        doc.runs.push_back(
            {runs_[i].second ? reportFormat_ : receivedFormat_, text_.substr(start, end - start)});
    }
    return doc;
}

RtfDocument TextModel::rtfRange(std::size_t from, std::size_t to) const {
    to = std::min(to, text_.size());
    return document(std::min(from, to), to);
}

void TextModel::saveCollected(Collected kind, bool beforeCurrentLine) {
    save(kind, beforeCurrentLine, {});
}

void TextModel::saveCollectedAs(std::string_view name, bool beforeCurrentLine) {
    const std::filesystem::path file(name);
    if (name.empty() || file.filename() != file || name == "." || name == "..") {
        // Not a plain name of the folder: saved under a name of its own.
        save(Collected::Information, beforeCurrentLine, {});
        return;
    }
    save(Collected::Information, beforeCurrentLine, synopDir_ / file);
}

void TextModel::save(Collected kind, bool beforeCurrentLine, std::filesystem::path target) {
    const std::size_t end = beforeCurrentLine ? currentLineStart() : text_.size();
    const std::size_t from = std::min(mark_, end);
    collecting_ = false;
    lastError_.clear();
    const ReceivedKind fileKind =
        kind == Collected::Warning ? ReceivedKind::Warning : ReceivedKind::Information;
    const std::string rtf = writeRtf(document(from, end));
    if (target.empty()) {
        // Never replace a file received earlier in the same minute, by this
        // program or another: the next free minute.
        auto written = writeReceivedFile(synopDir_, fileKind, breakDown(clock_()), rtf);
        if (!written) {
            lastError_ = written.error().message;
            return;
        }
        target = *written;
    } else {
        std::error_code ec;
        std::filesystem::create_directories(synopDir_, ec);
        auto written = writeFileAtomically(target, rtf);
        if (!written) {
            lastError_ = written.error().message;
            return;
        }
    }
    saved_.push_back(target);
    if (onSaved_) onSaved_(target);
}

void TextModel::checkFill() {
    if (text_.size() <= kTrimThreshold) return;
    // The first ten lines go; a large insertion (a loaded file) loses ten
    // lines at a time until the text is below the threshold again.
    std::size_t cut = 0;
    do {
        for (int line = 0; line < kTrimLines && cut < text_.size(); ++line) {
            const std::size_t lf = text_.find('\n', cut);
            cut = lf == std::string::npos ? text_.size() : lf + 1;
        }
    } while (text_.size() - cut > kTrimThreshold);
    if (cut == 0) return;
    const bool wasCollecting = collecting_;
    if (wasCollecting && policy_ == TrimPolicy::SaveAndRestart) saveCollected(kind_);
    text_.erase(0, cut);
    trimmed_ += cut;
    std::vector<std::pair<std::size_t, bool>> runs;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const std::size_t end = i + 1 < runs_.size() ? runs_[i + 1].first : std::string::npos;
        if (end != std::string::npos && end <= cut) continue;
        runs.emplace_back(runs_[i].first > cut ? runs_[i].first - cut : 0, runs_[i].second);
    }
    runs_ = std::move(runs);
    if (wasCollecting && policy_ == TrimPolicy::SaveAndRestart) {
        mark_ = text_.size();
        collecting_ = true;
    } else {
        mark_ = mark_ > cut ? mark_ - cut : 0;
    }
}

Result<void> TextModel::saveAll(const std::filesystem::path& file) const {
    const std::string name = file.filename().string();
    const bool rtf = name.size() >= 4 && equalsNoCase(name.substr(name.size() - 4), ".RTF");
    return writeFileAtomically(file, rtf ? writeRtf(document(0, text_.size())) : toCrLf(text_));
}

Result<void> TextModel::load(const std::filesystem::path& file) {
    auto contents = readWholeFile(file);
    if (!contents) return contents.error();
    const std::string& bytes = *contents;
    if (bytes.rfind("{\\rtf", 0) == 0) {
        auto doc = readRtf(bytes);
        if (!doc) return doc.error();
        append(doc->plainText(), false);
    } else {
        append(bytes, false);
    }
    checkFill();
    return success();
}

}  // namespace zeb::weather
