// zebdecode text: feeds a text file to the bulletin scanner character by
// character, as if it had been received, for bulletins captured elsewhere.
#include <cstdio>
#include <memory>
#include <string>

#include "Bulletins.h"
#include "Commands.h"
#include "common/AtomicFile.h"

namespace zeb::zebdecode {
namespace {

constexpr const char* kTextHelp =
    "usage: zebdecode text [OPTIONS] FILE|-\n"
    "\n"
    "Reads a text file (Windows-1252 or ASCII; - reads standard input) as if its\n"
    "characters had been received by radioteletype, prints it and reads its\n"
    "weather bulletins as the main program does: accepted SYNOP reports are\n"
    "described and appended to SYNOP/STATION.DAT, warnings saved as\n"
    "SYNOP/WARN_....RTF below the working directory.\n"
    "\n"
    "  --dir DIR       working directory (default: the current directory when it\n"
    "                  holds settings or DATA, else $ZEB_HOME, else\n"
    "                  ~/.local/share/zeb); its DATA folder, or the one beside\n"
    "                  zebdecode, holds the station list and the report texts\n"
    "  --sitor         frame SITOR-B messages (ZCZC ... NNNN into\n"
    "                  SYNOP/INFO_....RTF) instead\n"
    "  --no-orphans    leave sections (AAXX, BBXX) outside a bulletin unread\n"
    "  --descriptions-only  print only the report descriptions, not the text\n"
    "  -v, --verbose   the counts of reports even when nothing was stored\n"
    "  --help          this text\n"
    "\n"
    "exit status: 0 read, 2 bad usage, a file that cannot be read or missing\n"
    "reference data, 3 a report or warning could not be saved\n";

}  // namespace

int runText(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kTextHelp, stdout);
            return kExitOk;
        }
    }
    ParsedArgs parsed;
    if (auto error =
            parseArgs(args, {"dir"}, {"sitor", "no-orphans", "descriptions-only"}, parsed, false))
        return fail(*error);
    std::optional<std::string> workDirGiven;
    bool sitor = false;
    bool midBulletin = true;
    bool descriptionsOnly = false;
    for (const auto& [name, value] : parsed.options) {
        if (name == "dir") workDirGiven = value;
        if (name == "sitor") sitor = true;
        if (name == "no-orphans") midBulletin = false;
        if (name == "descriptions-only") descriptionsOnly = true;
    }

    std::string contents;
    if (parsed.input == "-") {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) contents.append(buffer, n);
    } else {
        auto read = readWholeFile(parsed.input);
        if (!read) return fail(read.error().message);
        contents = std::move(read).value();
    }

    std::filesystem::path workDir;
    if (auto error = workDirectory(workDirGiven, workDir)) return fail(*error);
    std::unique_ptr<Bulletins> bulletins;
    if (auto error = Bulletins::open(workDir, sitor, true, bulletins)) return fail(*error);
    bulletins->setMidBulletin(midBulletin);
    bulletins->setDescriptionsOnly(descriptionsOnly);
    // Character by character, as received by radio: the window and the
    // scanner take any kind of line end.
    TextSink& display = bulletins->display();
    teleprinter::CharacterSink* scanner = bulletins->scanner();
    for (char c : contents) {
        display.text(std::string_view(&c, 1));
        if (scanner != nullptr) scanner->character(static_cast<std::uint8_t>(c));
    }
    bulletins->endOfReception();
    bulletins->summary();
    return bulletins->unsaved() > 0 ? kExitNotSaved : kExitOk;
}

}  // namespace zeb::zebdecode
