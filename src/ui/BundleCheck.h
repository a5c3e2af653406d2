// What each program needs from its language bundle, and the check of a bundle
// against it. The shipped bundles are checked by the tests, and a translator
// can check a new bundle the same way before it reaches a user.
#pragma once

#include "ui/Program.h"

#include <string>
#include <utility>
#include <vector>

namespace zeb::ui {

class LanguageBundle;

struct StringRequirement {
    int id = 0;
    // nullptr: shown as it stands. Otherwise the string is used as a printf
    // format and this is the signature of the arguments passed to it
    // (FormatCheck.h), e.g. "iiiii" for year, month, day, hour, minute.
    const char* format = nullptr;
};

struct ControlRequirement {
    int id = 0;
    const char* className = "QWidget";  // the control must inherit this class
};

struct DialogRequirement {
    int id = 0;
    std::vector<ControlRequirement> controls;
};

struct BundleManifest {
    std::vector<StringRequirement> strings;
    std::vector<int> icons;
    std::vector<int> bitmaps;
    std::vector<DialogRequirement> dialogs;
};

const BundleManifest& bundleManifest(Program program);

// Every problem of the bundle, one sentence each; empty when it is sound:
// strings.txt issues, required strings missing or empty, format strings whose
// placeholders do not fit, dialogs that do not load or repeat a control id,
// required dialogs or controls missing or of the wrong class, icons and
// bitmaps that are missing or do not load. Needs a QApplication; register the
// program's own controls (DialogLoader::registerWidget) first, or their class
// checks fail.
std::vector<std::string> checkBundle(const LanguageBundle& bundle, const BundleManifest& manifest);

}  // namespace zeb::ui
