// Message boxes in the GUI tests: every box's text is recorded and the box
// answered with OK, or Yes when it asks.
#pragma once

#include <QMessageBox>
#include <QStringList>

#include "ui/MessageBoxes.h"

namespace zeb::test {

class BoxRecorder {
public:
    BoxRecorder() {
        ui::MessageBoxes::setPresenter([this](QMessageBox& box) {
            texts.push_back(box.text());
            return box.standardButtons().testFlag(QMessageBox::Yes) ? QMessageBox::Yes
                                                                    : QMessageBox::Ok;
        });
    }
    ~BoxRecorder() { ui::MessageBoxes::setPresenter({}); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;
    QStringList texts;
};

}  // namespace zeb::test
