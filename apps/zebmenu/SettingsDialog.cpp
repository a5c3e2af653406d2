#include "SettingsDialog.h"

#include "ZebMenu.h"
#include "ui/DialogLoader.h"
#include "ui/LanguageBundle.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zeb::zebmenu {
namespace {

ui::DialogRunner& runner() {
    static ui::DialogRunner r;
    return r;
}

constexpr std::pair<int, int> kAges[] = {{settingsid::k48Hours, 48},
                                         {settingsid::k96Hours, 96},
                                         {settingsid::k192Hours, 192},
                                         {settingsid::kNever, 0}};

}  // namespace

void SettingsDialog::setRunner(ui::DialogRunner r) { runner() = std::move(r); }

SettingsDialog::SettingsDialog(ZebMenu& program, QWidget* parent)
    : QDialog(parent), program_(program) {
    const auto* bundle = program.bundle();
    form_ = bundle ? bundle->dialog(settingsid::kDialog, this) : nullptr;
    if (!form_) form_ = new QWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form_);
    setWindowTitle(form_->windowTitle());
    const MenuSettings& s = program.settings();
    for (const auto& [id, hours] : kAges)
        if (auto* b = ui::controlAs<QRadioButton>(form_, id))
            b->setChecked(hours == 0 ? s.deleteHours <= 0 : s.deleteHours == hours);
    if (auto* b = ui::controlAs<QCheckBox>(form_, settingsid::kWarnSound))
        b->setChecked(s.warnSound);
    if (auto* spin = ui::controlAs<QSpinBox>(form_, settingsid::kOffset))
        spin->setValue(s.receiverOffsetHz);
    if (auto* box = form_->findChild<QDialogButtonBox*>()) {
        connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }
}

int SettingsDialog::run() {
    const int result = ui::runDialog(runner(), *this);
    if (result == QDialog::Accepted) take();
    return result;
}

void SettingsDialog::take() {
    MenuSettings& s = program_.settings();
    for (const auto& [id, hours] : kAges)
        if (auto* b = ui::controlAs<QRadioButton>(form_, id); b && b->isChecked())
            s.deleteHours = hours;
    if (auto* b = ui::controlAs<QCheckBox>(form_, settingsid::kWarnSound))
        s.warnSound = b->isChecked();
    if (auto* spin = ui::controlAs<QSpinBox>(form_, settingsid::kOffset))
        s.receiverOffsetHz = spin->value();
}

}  // namespace zeb::zebmenu
