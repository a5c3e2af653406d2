// The filter of one column of the frequency list: a checkable list of codes
// (countries, station types or modulations) with "all" and "none" buttons.
// It works on a copy of the filter's bit set; bits of codes that are not
// listed (countries without a name) keep their value, except that "all" and
// "none" set or clear them as well.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

class QListWidget;
class QPushButton;

namespace zeb::ui {

class CodeFilterDialog : public QDialog {
    Q_OBJECT
public:
    struct Code {
        int code = 0;  // bit number in the set
        QString name;
    };

    // The buttons are named "all" and "none".
    CodeFilterDialog(const QString& title, const std::vector<Code>& codes,
                     std::span<const std::uint8_t> bits, const QString& allText,
                     const QString& noneText, QWidget* parent = nullptr);

    // Checks or clears every code, listed or not.
    void setAll(bool on);
    // The set with the choices made.
    std::vector<std::uint8_t> bits() const;

    QListWidget* list() const { return list_; }

private:
    QListWidget* list_ = nullptr;
    std::vector<std::uint8_t> bits_;
};

}  // namespace zeb::ui
