#include "ui/DialogLoader.h"

#include <QHash>
#include <QIODevice>
#include <QWidget>

namespace zeb::ui {
namespace {

QHash<QString, WidgetFactory>& registry() {
    static QHash<QString, WidgetFactory> factories;
    return factories;
}

}  // namespace

DialogLoader::DialogLoader(QObject* parent) : QUiLoader(parent) {
    // Dialogs never come with Designer plugins; loading them would only make
    // the result depend on what happens to be installed.
    clearPluginPaths();
    // The texts in a bundle's .ui files are already in the bundle's language.
    setTranslationEnabled(false);
}

void DialogLoader::registerWidget(const QString& className, WidgetFactory factory) {
    registry().insert(className, std::move(factory));
}

void DialogLoader::unregisterWidget(const QString& className) { registry().remove(className); }

bool DialogLoader::isRegistered(const QString& className) { return registry().contains(className); }

QWidget* DialogLoader::createWidget(const QString& className, QWidget* parent,
                                    const QString& name) {
    const auto it = registry().constFind(className);
    if (it != registry().constEnd() && *it) {
        QWidget* widget = (*it)(parent);
        if (widget) {
            widget->setObjectName(name);
            return widget;
        }
    }
    return QUiLoader::createWidget(className, parent, name);
}

Result<QWidget*> DialogLoader::loadDialog(QIODevice& device, QWidget* parent, const QString& what) {
    QWidget* widget = load(&device, parent);
    if (!widget) {
        QString reason = errorString();
        if (reason.isEmpty()) reason = QStringLiteral("not a dialog description");
        return Error{
            0, QStringLiteral("dialog %1 cannot be loaded: %2").arg(what, reason).toStdString()};
    }
    return widget;
}

QString controlName(int id) { return QStringLiteral("c%1").arg(id); }

QWidget* control(const QWidget* dialog, int id) {
    if (!dialog) return nullptr;
    return dialog->findChild<QWidget*>(controlName(id));
}

}  // namespace zeb::ui
