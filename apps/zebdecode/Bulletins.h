// What zebdecode does with decoded teleprinter text besides printing it: the
// bulletin scanner (ITA2) or the SITOR-B message framer, with the program's
// received-text rules, writing the files the main program writes below the
// working directory (SYNOP/STATION.DAT, SYNOP/WARN_….RTF, SYNOP/INFO_….RTF,
// SYNOP/NAVTEX.DAT).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/TextSink.h"
#include "teleprinter/CharacterHandlers.h"
#include "weather/NavtexMessage.h"

namespace zeb::zebdecode {

class Bulletins {
public:
    // Reference data from "<workDir>/DATA", else from the "DATA" beside the
    // program. Without it the scanner is off (a note on stderr) unless
    // `required`, when the error is returned.
    static std::optional<std::string> open(const std::filesystem::path& workDir, bool sitor,
                                           bool required, std::unique_ptr<Bulletins>& out);
    // Only the received characters on stdout: no scanner, no framer, no files.
    static std::unique_ptr<Bulletins> plain();
    ~Bulletins();

    // The NAVTEX stations and subjects whose messages are saved (SITOR-B).
    void setNavtexSelection(const weather::NavtexSelection& selection);
    // Whether sections heard without their bulletin heading are read.
    void setMidBulletin(bool on);
    // Only the report descriptions on stdout, not the received text.
    void setDescriptionsOnly(bool on);
    // Received characters printed so far (blanks and line ends not counted).
    long printed() const;

    // The display (prints to stdout) and the scanner or framer sink.
    TextSink& display();
    teleprinter::CharacterSink* scanner();
    // The reception ended: a warning or NAVTEX message being received is
    // saved as it is.
    void endOfReception();
    // Ends the text with a line end and prints the counts on stderr (when
    // something was saved, or with -v).
    void summary() const;
    // Warnings, messages and reports received that could not be saved.
    int unsaved() const;

private:
    Bulletins();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zeb::zebdecode
