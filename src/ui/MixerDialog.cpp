#include "ui/MixerDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/Format.h"
#include "common/ProfileFile.h"
#include "ui/DialogLoader.h"
#include "ui/MessageBoxes.h"

namespace zeb::ui {
namespace {

// What an item of the tree stands for.
constexpr int kIdRole = Qt::UserRole;
constexpr int kIsControlRole = Qt::UserRole + 1;

}  // namespace

QString mixerItemLabel(std::string_view typeName, std::string_view name, std::string_view shortName,
                       std::int32_t id) {
    return QString::fromStdString(
        formatPrintf("%s (%s [%s]) ID:%d", {typeName, name, shortName, static_cast<int>(id)}));
}

MixerDialog::MixerDialog(const std::vector<audio::MixerDestinationInfo>& lines,
                         const audio::MixerIds& ids, Member line, Member control,
                         const ProfileFile* nimbaIni, const MessageBoxes* messages,
                         MixerDialogTexts texts, QWidget* parent)
    : QDialog(parent),
      ids_(ids),
      line_(line),
      control_(control),
      ini_(nimbaIni),
      messages_(messages),
      texts_(std::move(texts)) {
    setWindowTitle(texts_.title);
    auto* layout = new QVBoxLayout(this);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(controlName(mixerid::kTree));
    tree_->setColumnCount(1);
    tree_->header()->hide();
    tree_->setMinimumSize(480, 320);
    layout->addWidget(tree_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    if (ini_) {
        save_ = buttons->addButton(texts_.save, QDialogButtonBox::ActionRole);
        save_->setObjectName(controlName(mixerid::kSave));
        connect(save_, &QPushButton::clicked, this, [this] { saveAndClose(); });
    }
    layout->addWidget(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] { choose(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kIsControlRole).toBool()) choose();
    });
    fill(lines);
    tree_->expandAll();
    select(ids_.*line_, ids_.*control_);
    selectionChanged();
}

void MixerDialog::fill(const std::vector<audio::MixerDestinationInfo>& lines) {
    for (const audio::MixerDestinationInfo& destination : lines) {
        QTreeWidgetItem* item = addLine(nullptr, destination);
        for (const audio::MixerLineInfo& source : destination.sources) addLine(item, source);
    }
}

QTreeWidgetItem* MixerDialog::addLine(QTreeWidgetItem* parent, const audio::MixerLineInfo& line) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, mixerItemLabel(audio::componentTypeName(line.componentType), line.name,
                                    line.shortName, line.id));
    item->setData(0, kIdRole, line.id);
    item->setData(0, kIsControlRole, false);
    // The line's own controls come before the sources below it.
    for (const audio::MixerControlInfo& control : line.controls) {
        auto* c = new QTreeWidgetItem(item);
        c->setText(0, mixerItemLabel(audio::controlTypeName(control.type), control.name,
                                     control.shortName, control.id));
        c->setData(0, kIdRole, control.id);
        c->setData(0, kIsControlRole, true);
    }
    return item;
}

bool MixerDialog::select(std::int32_t line, std::int32_t control) {
    // The control below its line; else the control wherever it hangs (the
    // recording volume is a source's control, its line the destination).
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (!item->data(0, kIsControlRole).toBool() || item->data(0, kIdRole).toInt() != control)
            continue;
        if (item->parent()->data(0, kIdRole).toInt() == line) {
            found = item;
            break;
        }
        if (!found) found = item;
    }
    tree_->setCurrentItem(found);
    if (found) tree_->scrollToItem(found);
    return found != nullptr;
}

std::optional<std::pair<std::int32_t, std::int32_t>> MixerDialog::selection() const {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item || !item->parent() || !item->data(0, kIsControlRole).toBool()) return std::nullopt;
    return std::pair{item->parent()->data(0, kIdRole).toInt(), item->data(0, kIdRole).toInt()};
}

void MixerDialog::selectionChanged() {
    const bool control = selection().has_value();
    ok_->setEnabled(control);
    if (save_) save_->setEnabled(control);
}

bool MixerDialog::take() {
    const auto chosen = selection();
    if (!chosen) return false;
    ids_.*line_ = chosen->first;
    ids_.*control_ = chosen->second;
    return true;
}

void MixerDialog::choose() {
    if (take()) accept();
}

void MixerDialog::saveAndClose() {
    if (!ini_ || !take()) return;
    if (!audio::saveMixerIds(*ini_, ids_)) {
        if (messages_) messages_->showText(texts_.notSaved);
        return;
    }
    saved_ = true;
    accept();
}

}  // namespace zeb::ui
