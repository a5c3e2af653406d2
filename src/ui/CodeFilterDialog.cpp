#include "ui/CodeFilterDialog.h"

#include "stations/FrequencyList.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zeb::ui {

CodeFilterDialog::CodeFilterDialog(const QString& title, const std::vector<Code>& codes,
                                   std::span<const std::uint8_t> bits, const QString& allText,
                                   const QString& noneText, QWidget* parent)
    : QDialog(parent), bits_(bits.begin(), bits.end()) {
    setWindowTitle(title);
    list_ = new QListWidget(this);
    for (const Code& c : codes) {
        auto* item = new QListWidgetItem(c.name, list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(Qt::UserRole, c.code);
        const bool on = c.code >= 0 && static_cast<std::size_t>(c.code) < bits_.size() * 8 &&
                        stations::testBit(bits_, static_cast<unsigned>(c.code));
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }

    auto* all = new QPushButton(allText, this);
    all->setObjectName(QStringLiteral("all"));
    auto* none = new QPushButton(noneText, this);
    none->setObjectName(QStringLiteral("none"));
    connect(all, &QPushButton::clicked, this, [this] { setAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { setAll(false); });
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    layout->addWidget(box);
}

void CodeFilterDialog::setAll(bool on) {
    std::fill(bits_.begin(), bits_.end(), on ? 0xFF : 0x00);
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

std::vector<std::uint8_t> CodeFilterDialog::bits() const {
    std::vector<std::uint8_t> out = bits_;
    for (int i = 0; i < list_->count(); ++i) {
        const QListWidgetItem* item = list_->item(i);
        const int code = item->data(Qt::UserRole).toInt();
        if (code < 0 || static_cast<std::size_t>(code) >= out.size() * 8) continue;
        stations::setBit(out, static_cast<unsigned>(code), item->checkState() == Qt::Checked);
    }
    return out;
}

}  // namespace zeb::ui
