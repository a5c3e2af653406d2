// The logo field of the main window: a raised edge and, inside it, LOGO.BMP
// from the working directory scaled to fit and centred; light grey (192,192,192)
// pixels take the colour of the window. Without the file only the edge shows.
#pragma once

#include <QImage>
#include <QWidget>

#include <filesystem>

namespace zeb::nimba {

// The image prepared for an area: grey 192 replaced by `face`, scaled by the
// larger of the two ratios (image / area), rounded to whole pixels.
QImage fitLogo(const QImage& logo, QSize area, QColor face);

class LogoView : public QWidget {
    Q_OBJECT
public:
    explicit LogoView(QWidget* parent = nullptr);

    // Loads the logo (a missing or unreadable file leaves none).
    void load(const std::filesystem::path& file);
    bool hasLogo() const { return !logo_.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage logo_;
};

// Registers LogoView with the dialog loader.
void registerLogoView();

}  // namespace zeb::nimba
