#include "Bulletins.h"

#include "Commands.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "common/Codepage.h"
#include "common/SuiteDirs.h"
#include "common/Text.h"
#include "common/WorkQueue.h"
#include "weather/BulletinChain.h"
#include "weather/StationFile.h"
#include "weather/TextModel.h"
#include "weather/WeatherData.h"

namespace zeb::zebdecode {
namespace {

// The received text on stdout: each line end as one newline, Windows-1252 as
// UTF-8.
class StdoutText {
public:
    void print(std::string_view bytes) {
        if (bytes.empty()) return;
        std::string text;
        for (char c : bytes) {
            const LineEnds::Step step = lineEnds_.next(c);
            text.append(static_cast<std::size_t>(step.lineEnds), '\n');
            if (step.text) text.push_back(c);
        }
        if (text.empty()) return;
        for (char c : text) printed_ += (c != ' ' && c != '\n') ? 1 : 0;
        write(text);
    }
    // A report description or note, set off from the received text by a
    // blank line, each line behind "> ".
    void describe(std::string_view lines) {
        std::string text = last_ == '\n' ? "\n" : "\n\n";
        for (std::size_t at = 0; at < lines.size();) {
            std::size_t end = lines.find('\n', at);
            if (end == std::string_view::npos) end = lines.size();
            if (end > at) text += "> " + std::string(lines.substr(at, end - at)) + "\n";
            at = end + 1;
        }
        if (text.size() > 2) write(text);
    }
    // Received characters printed, blanks and line ends not counted.
    long printed() const { return printed_; }
    // Ends the text with a line end, before anything goes to stderr.
    void finish() {
        if (last_ != '\n') std::fputc('\n', stdout);
        last_ = '\n';
        std::fflush(stdout);
    }

private:
    void write(const std::string& text) {
        const std::string utf8 = cp1252ToUtf8(text);
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
        last_ = text.back();
    }

    LineEnds lineEnds_;
    char last_ = '\n';
    long printed_ = 0;
};

// The window's text on stdout, every saved file and tone on stderr.
class Console : public TextSink, public weather::BulletinOutput {
public:
    explicit Console(const std::filesystem::path& synopDir) : model_(synopDir) {
        model_.setSavedListener([this](const std::filesystem::path& file) {
            std::fprintf(stderr, "zebdecode: saved %s\n", shownPath(file).c_str());
            ++files_;
        });
    }

    void text(std::string_view bytes) override {
        if (!descriptionsOnly_) out_.print(bytes);
        for (char c : bytes) received_ += (c != ' ' && c != '\r' && c != '\n') ? 1 : 0;
        model_.text(bytes);
    }
    void appendText(std::string_view text) override {
        out_.describe(text);
        model_.appendText(text);
    }
    void setDescriptionsOnly(bool on) { descriptionsOnly_ = on; }
    long printed() const { return received_; }
    void markStart(weather::Collected kind) override { model_.markStart(kind); }
    void saveCollected(weather::Collected kind, bool beforeCurrentLine) override {
        model_.saveCollected(kind, beforeCurrentLine);
        reportFailure();
    }
    void saveCollectedAs(std::string_view fileName, bool beforeCurrentLine) override {
        model_.saveCollectedAs(fileName, beforeCurrentLine);
        reportFailure();
    }
    void playWarningTone() override { note("warning tone"); }

    int files() const { return files_; }
    int failures() const { return failures_; }
    void finish() { out_.finish(); }

private:
    void reportFailure() {
        if (model_.lastError().empty()) return;
        std::fprintf(stderr, "zebdecode: not saved: %s\n", model_.lastError().c_str());
        ++failures_;
    }

    weather::TextModel model_;
    StdoutText out_;
    int files_ = 0;
    int failures_ = 0;
    bool descriptionsOnly_ = false;
    long received_ = 0;
};

// Prints what the decoder shows when there is nothing else to do with it.
class PlainDisplay : public TextSink {
public:
    void text(std::string_view bytes) override { out_.print(bytes); }
    void finish() { out_.finish(); }
    long printed() const { return out_.printed(); }

private:
    StdoutText out_;
};

}  // namespace

struct Bulletins::State {
    std::filesystem::path workDir;
    weather::WeatherData data;
    // Station records are written here, so a live input never waits for the disk.
    WorkQueue files;
    std::unique_ptr<Console> console;
    std::unique_ptr<PlainDisplay> plain;
    std::unique_ptr<weather::BulletinChain> chain;
};

Bulletins::Bulletins() : state_(std::make_unique<State>()) {}
Bulletins::~Bulletins() {
    if (state_->console) state_->console->finish();
    if (state_->plain) state_->plain->finish();
}

std::optional<std::string> Bulletins::open(const std::filesystem::path& workDir, bool sitor,
                                           bool required, std::unique_ptr<Bulletins>& out) {
    std::unique_ptr<Bulletins> b(new Bulletins());
    State& s = *b->state_;
    s.workDir = workDir;
    const std::filesystem::path synopDir = workDir / "SYNOP";
    std::error_code ec;
    std::filesystem::create_directories(workDir, ec);
    if (!std::filesystem::is_directory(workDir, ec))
        return "the working directory " + workDir.string() + " cannot be made" +
               (ec ? ": " + ec.message() : std::string());

    if (sitor) {
        s.console = std::make_unique<Console>(synopDir);
        s.chain = std::make_unique<weather::BulletinChain>(
            *s.console, weather::BulletinChain::Setup{.synopDir = synopDir, .files = &s.files});
        s.chain->setSitor(true);
        const std::string& loadError = s.chain->framer().log().loadError();
        if (!loadError.empty()) std::fprintf(stderr, "zebdecode: %s\n", loadError.c_str());
        out = std::move(b);
        return std::nullopt;
    }

    auto data = weather::loadWeatherData(workDir / weather::kDataDir);
    if (!data) {
        const auto beside = findShared(weather::kDataDir).value_or(workDir / weather::kDataDir);
        auto second = weather::loadWeatherData(beside);
        if (second) {
            data = std::move(second);
        } else if (required) {
            return data.error().message;
        } else {
            std::fprintf(stderr, "zebdecode: %s Bulletins are not scanned.\n",
                         data.error().message.c_str());
            s.plain = std::make_unique<PlainDisplay>();
            out = std::move(b);
            return std::nullopt;
        }
    }
    s.data = std::move(data).value();
    s.console = std::make_unique<Console>(synopDir);
    s.chain = std::make_unique<weather::BulletinChain>(
        *s.console,
        weather::BulletinChain::Setup{.synopDir = synopDir, .data = &s.data, .files = &s.files});
    out = std::move(b);
    return std::nullopt;
}

std::unique_ptr<Bulletins> Bulletins::plain() {
    std::unique_ptr<Bulletins> b(new Bulletins());
    b->state_->plain = std::make_unique<PlainDisplay>();
    return b;
}

void Bulletins::setNavtexSelection(const weather::NavtexSelection& selection) {
    if (state_->chain) state_->chain->setNavtexSelection(selection);
}

void Bulletins::setMidBulletin(bool on) {
    if (state_->chain) state_->chain->setMidBulletin(on);
}

TextSink& Bulletins::display() {
    if (state_->console) return *state_->console;
    return *state_->plain;
}

teleprinter::CharacterSink* Bulletins::scanner() { return state_->chain.get(); }

void Bulletins::endOfReception() {
    if (state_->chain) state_->chain->endOfReception();
}

void Bulletins::setDescriptionsOnly(bool on) {
    if (state_->console) state_->console->setDescriptionsOnly(on);
}

long Bulletins::printed() const {
    if (state_->console) return state_->console->printed();
    return state_->plain ? state_->plain->printed() : 0;
}

void Bulletins::summary() const {
    const State& s = *state_;
    if (s.console) s.console->finish();
    if (s.plain) s.plain->finish();
    if (s.chain) s.chain->flush();
    // The counts only when something was stored or saved, or with -v.
    const bool saved = (s.chain && s.chain->stored() > 0) || (s.console && s.console->files() > 0);
    if (!saved && unsaved() == 0 && !verbose()) return;
    if (const weather::TextScanner* scanner = s.chain ? s.chain->scanner() : nullptr) {
        std::fprintf(stderr,
                     "zebdecode: %d reports accepted, %d refused (time), %d stored; %d unknown "
                     "stations, %d unknown headings, %d unreadable ship groups",
                     scanner->accepted(), scanner->refused(), s.chain->stored(), scanner->errors(2),
                     scanner->errors(1), scanner->errors(0));
        if (scanner->duplicates() > 0)
            std::fprintf(stderr, "; %d copies heard with and without heading stored once",
                         scanner->duplicates());
        if (const std::string error = s.chain->lastStoreError(); !error.empty())
            std::fprintf(stderr, " (%s)", error.c_str());
        std::fputc('\n', stderr);
    }
    if (s.console) std::fprintf(stderr, "zebdecode: %d files saved\n", s.console->files());
    if (const int lost = unsaved(); lost > 0)
        std::fprintf(stderr, "zebdecode: %d received warnings, messages or reports are not saved\n",
                     lost);
}

int Bulletins::unsaved() const {
    const State& s = *state_;
    if (s.chain) s.chain->flush();
    return (s.console ? s.console->failures() : 0) + (s.chain ? s.chain->storeFailures() : 0);
}

}  // namespace zeb::zebdecode
