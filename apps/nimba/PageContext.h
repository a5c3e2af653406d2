// What the pages of the main window share with the program: the language
// bundle and message boxes, the settings file, the spectrum display, the
// signal window's buffer, the status field and the clock.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>

#include "common/ProfileFile.h"
#include "common/TimeKey.h"
#include "ui/LanguageBundle.h"
#include "ui/MessageBoxes.h"
#include "ui/SpectrumView.h"

namespace zeb::nimba {

class SpectrumLink;

struct PageContext {
    const ui::LanguageBundle* bundle = nullptr;
    const ui::MessageBoxes* messages = nullptr;
    ProfileFile* profile = nullptr;  // NIMBA.INI
    SpectrumLink* spectrum = nullptr;
    // The signal window's values; decoders publish into it while it is open.
    ui::SignalBuffer* signal = nullptr;
    std::function<bool()> signalWindowOpen = [] { return false; };
    std::filesystem::path workDir = ".";
    // Puts a text into the main window's status field (control 1012).
    std::function<void(const QString&)> setStatus = [](const QString&) {};
    // The current UTC time.
    std::function<TimeKey()> clock = [] { return zeb::now(); };
    // A scheduled reception is running (the timer's reception-active flag).
    std::function<bool()> receptionActive = [] { return false; };

    QString string(int id) const { return bundle ? bundle->string(id) : QString(); }
};

}  // namespace zeb::nimba
