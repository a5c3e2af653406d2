#include "ui/ShowState.h"

#include <QWidget>

#include <strings.h>
#include <cstdlib>
#include <cstring>

namespace zeb::ui {

bool startMinimised() {
    const char* value = std::getenv("ZEB_SHOW");
    return value && ::strcasecmp(value, "min") == 0;
}

void showMainWindow(QWidget* window) {
    if (startMinimised())
        window->showMinimized();
    else
        window->show();
}

}  // namespace zeb::ui
