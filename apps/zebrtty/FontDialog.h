// The font and colour dialog of ZEBRTTY (dialog 122): the fonts and colours
// of the received text and of the plain-language reports, and the
// background. Each choice is reported at once, so the text window changes
// while the dialog stays open.
//
// Control ids:
//   1000 text font     1001 text colour
//   1002 report font   1003 report colour
//   1004 background colour
//   1    close
//
// The font and colour boxes are shown through replaceable choosers (as
// ui::MessageBoxes::setPresenter does for message boxes), so a test answers
// them without a modal box.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

#include <functional>
#include <optional>

namespace zeb::ui {
class LanguageBundle;
}

namespace zeb::zebrtty {

inline constexpr int kFontDialog = 122;
inline constexpr int kTextFontButton = 1000, kTextColourButton = 1001;
inline constexpr int kReportFontButton = 1002, kReportColourButton = 1003;
inline constexpr int kBackgroundButton = 1004, kCloseButton = 1;

class FontDialog : public QDialog {
    Q_OBJECT
public:
    // Asks for a font or a colour, starting from `current`; nullopt when the
    // user cancels. `title` is the caption of the button that asked.
    using FontChooser = std::function<std::optional<QFont>(QWidget* parent, const QFont& current,
                                                           const QString& title)>;
    using ColourChooser = std::function<std::optional<QColor>(
        QWidget* parent, const QColor& current, const QString& title)>;

    // Replace the choosers (for every dialog); an empty function restores the
    // default, QFontDialog or QColorDialog.
    static void setFontChooser(FontChooser chooser);
    static void setColourChooser(ColourChooser chooser);

    explicit FontDialog(const ui::LanguageBundle& bundle, QWidget* parent = nullptr);

    // What the choosers start from (no signal).
    void setTextFont(const QFont& font) { textFont_ = font; }
    void setTextColour(const QColor& colour) { textColour_ = colour; }
    void setReportFont(const QFont& font) { reportFont_ = font; }
    void setReportColour(const QColor& colour) { reportColour_ = colour; }
    void setBackground(const QColor& colour) { background_ = colour; }
    const QFont& textFont() const { return textFont_; }
    const QColor& textColour() const { return textColour_; }
    const QFont& reportFont() const { return reportFont_; }
    const QColor& reportColour() const { return reportColour_; }
    const QColor& background() const { return background_; }

    void done(int result) override;

signals:
    void textFontChanged(const QFont& font);
    void textColourChanged(const QColor& colour);
    void reportFontChanged(const QFont& font);
    void reportColourChanged(const QColor& colour);
    void backgroundChanged(const QColor& colour);
    void closed();

private:
    void chooseFont(int button, QFont& font, void (FontDialog::*changed)(const QFont&));
    void chooseColour(int button, QColor& colour, void (FontDialog::*changed)(const QColor&));
    QString caption(int button) const;

    QWidget* dialog_ = nullptr;
    QFont textFont_;
    QColor textColour_{Qt::black};
    QFont reportFont_;
    QColor reportColour_{0, 128, 0};
    QColor background_{192, 192, 192};
};

}  // namespace zeb::zebrtty
