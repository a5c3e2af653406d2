// The strings of the frequency-list and schedule widgets, by number. The
// launcher and the main program number their strings differently, so each
// passes its own table. A number of 0, a program without a bundle or a string
// the bundle lacks falls back to the widget's built-in English text, so a
// widget is never blank.
//
// Also here: how the widgets run their dialogs, replaceable so that tests
// answer them without a modal loop.
#pragma once

#include "common/Format.h"
#include "stations/CodeNames.h"
#include "stations/StationRecord.h"
#include "ui/LanguageBundle.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <initializer_list>

namespace zeb::ui {

struct StationTexts {
    // Frequency list: frequency, name, call sign, country, type, modulation.
    std::array<int, 6> columns{};
    int shownCount = 0;      // "%d of %d stations": shown, total
    int deleteQuestion = 0;  // "%d": the number of stations selected
    int saveQuestion = 0;
    int saveFailed = 0;  // the error's text follows on a line of its own
    int noSelection = 0;
    int listFull = 0;
    int scheduleActive = 0;
    int overlap = 0;
    int scheduleSaveTitle = 0;
    int scheduleLoadTitle = 0;
    int scheduleSaveFailed = 0;  // the error's text follows
    int scheduleLoadFailed = 0;  // the error's text follows
    int scheduleIncomplete = 0;  // "%d": bytes at the end that make no entry
    int countryBase = stations::kCountryStringBase;
    int typeBase = stations::kTypeStringBase;
    int modulationBase = stations::kModulationStringBase;

    // Buttons of the list.
    int newButton = 0;
    int editButton = 0;
    int deleteButton = 0;
    int saveButton = 0;
    int fontButton = 0;
    int addToScheduleButton = 0;
    int tuneButton = 0;
    int startButton = 0;
    // The filter dialog (its title is the column's caption).
    int filterAll = 0;
    int filterNone = 0;

    // The station dialog.
    int stationTitle = 0;
    int frequencyLabel = 0;
    int nameLabel = 0;
    int callSignLabel = 0;
    int remarkLabel = 0;
    int countryLabel = 0;
    int typeLabel = 0;
    int modulationLabel = 0;
    int modeLabel = 0;
    int modeNone = 0;
    int teleprinterGroup = 0;
    int faxGroup = 0;
    int speedLabel = 0;
    int shiftLabel = 0;
    int centreLabel = 0;
    int stopBitsLabel = 0;
    int invertedLabel = 0;
    int synchronousLabel = 0;
    int iocLabel = 0;
    int linesPerMinuteLabel = 0;
    int startToneLabel = 0;
    int stopToneLabel = 0;
    int faxOptionLabel = 0;
    int takeFromReceiver = 0;
    int invalidNumber = 0;  // "%s", "%g", "%g": the field's label, lowest, highest
    int noFrequency = 0;

    // The schedule: start, end, station, frequency, modulation.
    std::array<int, 5> scheduleColumns{};
    int scheduleEditButton = 0;
    int scheduleDeleteButton = 0;
    int scheduleSaveButton = 0;
    int scheduleLoadButton = 0;
    int scheduleSwitch = 0;
    int timeTitle = 0;
    int startLabel = 0;
    int endLabel = 0;
    int invalidTime = 0;
};

// The launcher's numbers.
inline StationTexts launcherTexts() {
    StationTexts t;
    t.columns = {9, 10, 11, 12, 13, 14};
    t.shownCount = 25;
    t.deleteQuestion = 16;
    t.saveQuestion = 21;
    t.saveFailed = 22;
    t.noSelection = 20;
    t.scheduleActive = 48;
    t.overlap = 29;
    t.scheduleSaveTitle = 51;
    t.scheduleLoadTitle = 52;
    return t;
}

// A table of numbers together with the bundle they refer to.
class StationStrings {
public:
    StationStrings(const StationTexts& texts, const LanguageBundle* bundle)
        : texts_(texts), bundle_(bundle) {}

    const StationTexts& numbers() const { return texts_; }
    const LanguageBundle* bundle() const { return bundle_; }

    // String `id`, or `english` when there is none.
    QString text(int id, const char* english) const {
        if (has(id)) return bundle_->string(id);
        return QString::fromUtf8(english);
    }
    // The same used as a printf format (zeb::formatPrintf).
    QString format(int id, const char* english, std::initializer_list<FormatArg> args) const {
        if (has(id)) return bundle_->format(id, args);
        return QString::fromStdString(formatPrintf(english, args));
    }

    // Code names: the bundle's string base + code, else the English name.
    // Type and modulation codes outside their range have no name.
    QString countryName(int code) const {
        if (code < 0 || code > 255) return {};
        return codeName(texts_.countryBase + code, stations::countryName(code));
    }
    QString typeName(int code) const {
        if (code < 0 || code >= stations::kTypeCodeCount) return {};
        return codeName(texts_.typeBase + code, stations::typeName(code));
    }
    QString modulationLabel(int code) const {
        if (code < 0 || code >= stations::kModulationCodeCount) return {};
        return codeName(texts_.modulationBase + code, stations::modulationLabel(code));
    }

private:
    bool has(int id) const {
        return id > 0 && bundle_ && bundle_->hasString(id) && !bundle_->string(id).isEmpty();
    }
    QString codeName(int id, std::string_view english) const {
        if (has(id)) return bundle_->string(id);
        return QString::fromUtf8(english.data(), static_cast<qsizetype>(english.size()));
    }

    StationTexts texts_;
    const LanguageBundle* bundle_;
};

// Runs a modal dialog and returns its result (QDialog::Accepted or
// Rejected). The default is QDialog::exec(); a test replaces it to fill in
// and confirm the dialog without a modal loop.
using DialogRunner = std::function<int(QDialog&)>;

inline int runDialog(const DialogRunner& runner, QDialog& dialog) {
    return runner ? runner(dialog) : dialog.exec();
}

}  // namespace zeb::ui
