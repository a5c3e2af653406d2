// The message boxes of a program: one title for all of them, owned by the
// main window once it exists.
//
//   showMessage(id)       string `id` of the language bundle, warning icon, OK
//   showText(text)        a literal text, warning icon, OK
//   ask(text)             question icon, Yes / No; true for Yes
//   showDeviceError(...)  an audio device's error text followed by " (Line %d)"
//   showSystemError()     the text of the last system error (errno)
//
// The texts and boxes are built by pure functions so that tests can check them
// without showing anything; a test can also replace the function that shows a
// box (setPresenter) to answer it.
#pragma once

#include "ui/Program.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cerrno>
#include <functional>
#include <memory>

class QWidget;

namespace zeb::ui {

class LanguageBundle;

// text + " (Line 185)"
QString withLineSuffix(const QString& text, int line);

// The system's text of an errno value ("No such file or directory").
QString systemErrorText(int errnum);

// The title of the message boxes of a program ("Nimbarra", "Receiver Control").
QString messageTitle(Program program);

enum class BoxKind {
    Warning,   // exclamation icon, OK
    Question,  // question icon, Yes and No (No is the default)
};

// A box, not shown yet.
std::unique_ptr<QMessageBox> makeMessageBox(BoxKind kind, const QString& title, const QString& text,
                                            QWidget* owner = nullptr);

class MessageBoxes {
public:
    // Shows a box and returns the button the user chose.
    using Presenter = std::function<QMessageBox::StandardButton(QMessageBox&)>;

    explicit MessageBoxes(QString title, const LanguageBundle* bundle = nullptr);
    explicit MessageBoxes(Program program, const LanguageBundle* bundle = nullptr);

    const QString& title() const { return title_; }
    void setBundle(const LanguageBundle* bundle) { bundle_ = bundle; }
    // The main window; boxes belong to it while it exists.
    void setOwner(QWidget* owner) { owner_ = owner; }
    QWidget* owner() const { return owner_.data(); }

    void showMessage(int id) const;
    void showText(const QString& text) const;
    bool ask(const QString& text) const;
    bool askMessage(int id) const;  // ask with string `id`
    void showDeviceError(const QString& deviceErrorText, int line) const;
    // `errnum` defaults to errno as it is where the call is written.
    void showSystemError(int errnum = errno) const;

    // Text of string `id`, or empty without a bundle.
    QString messageText(int id) const;

    // Replaces how boxes are shown (for every MessageBoxes); an empty function
    // restores the default, a modal exec().
    static void setPresenter(Presenter presenter);

    // Shows a box through the current presenter.
    static QMessageBox::StandardButton present(QMessageBox& box);

private:
    QMessageBox::StandardButton show(BoxKind kind, const QString& text) const;

    QString title_;
    const LanguageBundle* bundle_ = nullptr;
    QPointer<QWidget> owner_;
};

// The failure of a program that found no language bundle: prints the
// program's fixed text (and `detail`, when given) on stderr — no window exists
// yet — and shows the text in a message box. The program then ends.
void reportMissingBundle(Program program, const QString& detail = QString());

}  // namespace zeb::ui
