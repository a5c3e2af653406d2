// The launcher's settings dialog (template 122): the age after which
// received files are deleted (48, 96, 192 hours or never), the warning
// sound, and the receiver offset in Hz added to every dial frequency.
// Confirming stores the three values in the program's settings; the caller
// writes them to ZEBSYS.INI.
#pragma once

#include "ui/StationTexts.h"

#include <QDialog>

namespace zeb::zebmenu {

class ZebMenu;

namespace settingsid {
inline constexpr int kDialog = 122;
inline constexpr int k48Hours = 1024, k96Hours = 1025, k192Hours = 1026, kNever = 1027;
inline constexpr int kWarnSound = 1028;
inline constexpr int kOffset = 1029;
}  // namespace settingsid

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    SettingsDialog(ZebMenu& program, QWidget* parent = nullptr);

    // Runs the dialog (through the replaceable runner) and takes the values
    // over when it is confirmed.
    int run();
    QWidget* form() const { return form_; }

    // How the dialog is run; tests fill in and confirm it.
    static void setRunner(ui::DialogRunner runner);

private:
    void take();

    ZebMenu& program_;
    QWidget* form_ = nullptr;
};

}  // namespace zeb::zebmenu
