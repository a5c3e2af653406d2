#include "TextCommands.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QLayout>
#include <QPrintDialog>
#include <QPrinter>

#include "PageContext.h"
#include "common/Format.h"
#include "cw/CwSettings.h"
#include "ui/DialogLoader.h"
#include "ui/TextWindow.h"

namespace zeb::nimba {
namespace {

SaveDialog& saveDialog() {
    static SaveDialog dialog;
    return dialog;
}

constexpr int kSaveTitle = 39;
constexpr int kSaveFailed = 51;

}  // namespace

void setSaveDialog(SaveDialog dialog) { saveDialog() = std::move(dialog); }

QString askSaveFile(QWidget* parent, const QString& title, const QString& proposed,
                    const QString& filter) {
    if (saveDialog()) return saveDialog()(parent, title, proposed, filter);
    return QFileDialog::getSaveFileName(parent, title, proposed, filter);
}

void placeTextWindow(QWidget* dialog, int id, QWidget* window, QLayout* fallback) {
    QWidget* placeholder = ui::control(dialog, id);
    if (!placeholder) {
        fallback->addWidget(window);
        return;
    }
    window->setObjectName(placeholder->objectName());
    QWidget* host = placeholder->parentWidget() ? placeholder->parentWidget() : dialog;
    window->setParent(host);
    if (!host->layout() || !host->layout()->replaceWidget(placeholder, window))
        window->setGeometry(placeholder->geometry());
    delete placeholder;
}

bool saveTextWindow(QWidget* parent, const PageContext& context,
                    const ui::ReceivedTextWindow& window) {
    const NameTime t = breakDown(context.clock());
    const std::string name =
        formatPrintf("WARN_%d-%02d-%02d_%02d-%02d.RTF", {t.year, t.month, t.day, t.hour, t.minute});
    const std::filesystem::path dir = context.workDir / "SYNOP";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const QString chosen = askSaveFile(parent, context.string(kSaveTitle),
                                       QString::fromStdString((dir / name).string()),
                                       QStringLiteral("Rich Text (*.RTF *.rtf)"));
    if (chosen.isEmpty()) return false;
    if (!window.saveTo(chosen.toStdString())) {
        if (context.messages) context.messages->showMessage(kSaveFailed);
        return false;
    }
    return true;
}

void printTextWindow(QWidget* parent, const ui::ReceivedTextWindow& window) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    window.printTo(printer);
}

void loadTextFont(const PageContext& context, ui::ReceivedTextWindow& window,
                  std::string_view section) {
    ui::FontRecordBytes record = cw::defaultFontRecord();
    if (context.profile) {
        context.profile->setSection(section);
        if (context.profile->readBytes("FONT", record) != record.size())
            record = cw::defaultFontRecord();
    }
    window.applyFont(ui::fontFromRecord(record));
}

void chooseTextFont(QWidget* parent, const PageContext& context, ui::ReceivedTextWindow& window,
                    std::string_view section) {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, window.textFont(), parent);
    if (!ok) return;
    window.applyFont(font);
    if (!context.profile) return;
    ui::FontRecordBytes base = cw::defaultFontRecord();
    context.profile->setSection(section);
    (void)context.profile->readBytes("FONT", base);
    context.profile->setSection(section);
    (void)context.profile->writeBytes("FONT", ui::recordFromFont(font, base));
}

}  // namespace zeb::nimba
