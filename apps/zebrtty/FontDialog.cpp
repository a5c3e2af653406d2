#include "FontDialog.h"

#include "ToolWindows.h"
#include "ui/DialogLoader.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QFontDialog>

namespace zeb::zebrtty {
namespace {

FontDialog::FontChooser& fontChooser() {
    static FontDialog::FontChooser chooser;
    return chooser;
}

FontDialog::ColourChooser& colourChooser() {
    static FontDialog::ColourChooser chooser;
    return chooser;
}

std::optional<QFont> askFont(QWidget* parent, const QFont& current, const QString& title) {
    if (fontChooser()) return fontChooser()(parent, current, title);
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, current, parent, title);
    return ok ? std::optional<QFont>(font) : std::nullopt;
}

std::optional<QColor> askColour(QWidget* parent, const QColor& current, const QString& title) {
    if (colourChooser()) return colourChooser()(parent, current, title);
    const QColor colour = QColorDialog::getColor(current, parent, title);
    return colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
}

}  // namespace

void FontDialog::setFontChooser(FontChooser chooser) { fontChooser() = std::move(chooser); }

void FontDialog::setColourChooser(ColourChooser chooser) { colourChooser() = std::move(chooser); }

FontDialog::FontDialog(const ui::LanguageBundle& bundle, QWidget* parent) : QDialog(parent) {
    dialog_ = embedDialog(*this, bundle, kFontDialog);
    auto onClick = [this](int id, auto slot) {
        if (auto* b = ui::controlAs<QAbstractButton>(dialog_, id))
            connect(b, &QAbstractButton::clicked, this, slot);
    };
    onClick(kTextFontButton,
            [this] { chooseFont(kTextFontButton, textFont_, &FontDialog::textFontChanged); });
    onClick(kTextColourButton, [this] {
        chooseColour(kTextColourButton, textColour_, &FontDialog::textColourChanged);
    });
    onClick(kReportFontButton,
            [this] { chooseFont(kReportFontButton, reportFont_, &FontDialog::reportFontChanged); });
    onClick(kReportColourButton, [this] {
        chooseColour(kReportColourButton, reportColour_, &FontDialog::reportColourChanged);
    });
    onClick(kBackgroundButton, [this] {
        chooseColour(kBackgroundButton, background_, &FontDialog::backgroundChanged);
    });
    onClick(kCloseButton, [this] { accept(); });
}

QString FontDialog::caption(int button) const {
    const auto* b = ui::controlAs<QAbstractButton>(dialog_, button);
    QString text = b ? b->text() : windowTitle();
    // A single '&' marks the mnemonic; "&&" is a literal ampersand.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

void FontDialog::chooseFont(int button, QFont& font, void (FontDialog::*changed)(const QFont&)) {
    const auto chosen = askFont(this, font, caption(button));
    if (!chosen) return;
    font = *chosen;
    emit(this->*changed)(font);
}

void FontDialog::chooseColour(int button, QColor& colour,
                              void (FontDialog::*changed)(const QColor&)) {
    const auto chosen = askColour(this, colour, caption(button));
    if (!chosen || !chosen->isValid()) return;
    colour = *chosen;
    emit(this->*changed)(colour);
}

void FontDialog::done(int result) {
    QDialog::done(result);
    emit closed();
}

}  // namespace zeb::zebrtty
