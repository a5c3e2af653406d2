#include "ui/MessageBoxes.h"

#include "ui/LanguageBundle.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zeb::ui {
namespace {

MessageBoxes::Presenter& presenter() {
    static MessageBoxes::Presenter current;
    return current;
}

// strerror_r comes in two forms (GNU: returns the text; POSIX: fills the buffer).
[[maybe_unused]] const char* errorTextOf(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* errorTextOf(const char* result, const char*) { return result; }

}  // namespace

QString withLineSuffix(const QString& text, int line) {
    return text + QStringLiteral(" (Line %1)").arg(line);
}

QString systemErrorText(int errnum) {
    char buffer[256] = {};
    const char* text = errorTextOf(strerror_r(errnum, buffer, sizeof buffer), buffer);
    if (!text || !*text) return QStringLiteral("Unknown error %1").arg(errnum);
    return QString::fromLocal8Bit(text);
}

QString messageTitle(Program program) {
    const std::string_view title = programInfo(program).messageTitle;
    return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
}

std::unique_ptr<QMessageBox> makeMessageBox(BoxKind kind, const QString& title, const QString& text,
                                            QWidget* owner) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(title);
    box->setText(text);
    // Texts come from bundles and from other programs: never interpret markup.
    box->setTextFormat(Qt::PlainText);
    if (kind == BoxKind::Question) {
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
    } else {
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

MessageBoxes::MessageBoxes(QString title, const LanguageBundle* bundle)
    : title_(std::move(title)), bundle_(bundle) {}

MessageBoxes::MessageBoxes(Program program, const LanguageBundle* bundle)
    : MessageBoxes(messageTitle(program), bundle) {}

void MessageBoxes::setPresenter(Presenter replacement) { presenter() = std::move(replacement); }

QMessageBox::StandardButton MessageBoxes::present(QMessageBox& box) {
    if (presenter()) return presenter()(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton MessageBoxes::show(BoxKind kind, const QString& text) const {
    const auto box = makeMessageBox(kind, title_, text, owner_.data());
    return present(*box);
}

QString MessageBoxes::messageText(int id) const {
    return bundle_ ? bundle_->string(id) : QString();
}

void MessageBoxes::showMessage(int id) const { show(BoxKind::Warning, messageText(id)); }

void MessageBoxes::showText(const QString& text) const { show(BoxKind::Warning, text); }

bool MessageBoxes::ask(const QString& text) const {
    return show(BoxKind::Question, text) == QMessageBox::Yes;
}

bool MessageBoxes::askMessage(int id) const { return ask(messageText(id)); }

void MessageBoxes::showDeviceError(const QString& deviceErrorText, int line) const {
    show(BoxKind::Warning, withLineSuffix(deviceErrorText, line));
}

void MessageBoxes::showSystemError(int errnum) const {
    show(BoxKind::Warning, systemErrorText(errnum));
}

void reportMissingBundle(Program program, const QString& detail) {
    const std::string_view text = missingBundleText(program);
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(programInfo(program).name.size()),
                 programInfo(program).name.data(), static_cast<int>(text.size()), text.data());
    if (!detail.isEmpty()) std::fprintf(stderr, "  %s\n", detail.toLocal8Bit().constData());
    MessageBoxes boxes(program);
    boxes.showText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace zeb::ui
