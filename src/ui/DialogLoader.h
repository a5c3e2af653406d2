// Dialog templates: Qt Designer ".ui" files inside a language bundle, loaded
// into widgets. Controls are named after their numeric id ("c1004") so the
// programs find a control by its number.
//
// The suite's own controls (segment displays, knobs, lamps, ...) appear in
// .ui files as custom widgets. QUiLoader does not know them and would quietly
// put a plain QWidget in their place, so every loader consults a registry of
// factories first; a program registers its controls once at start.
#pragma once

#include "common/Result.h"

#include <QString>
#include <QUiLoader>

#include <functional>

class QIODevice;
class QWidget;

namespace zeb::ui {

// Creates a control of a custom class; the loader sets its object name.
using WidgetFactory = std::function<QWidget*(QWidget* parent)>;

class DialogLoader : public QUiLoader {
public:
    explicit DialogLoader(QObject* parent = nullptr);

    // Registers (or replaces) the factory of a custom widget class. Call on the
    // UI thread, before loading the dialogs that use the class.
    static void registerWidget(const QString& className, WidgetFactory factory);
    static void unregisterWidget(const QString& className);
    static bool isRegistered(const QString& className);

    // Loads a dialog from a .ui document; the error names `what` (usually the
    // resource path) and QUiLoader's reason.
    Result<QWidget*> loadDialog(QIODevice& device, QWidget* parent, const QString& what);

    QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                          const QString& name = QString()) override;
};

// "c1004"
QString controlName(int id);

// The control with numeric id `id` in a dialog, or nullptr.
QWidget* control(const QWidget* dialog, int id);

// The control, when it is of class T (use for the suite's own classes and for
// the Qt classes a program relies on).
template <class T>
T* controlAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(control(dialog, id));
}

}  // namespace zeb::ui
