// How a program shows its main window at start. A program started
// "minimised" by another one of the suite gets ZEB_SHOW=min in its
// environment.
#pragma once

class QWidget;

namespace zeb::ui {

// True when the environment asks for a minimised start (ZEB_SHOW=min).
bool startMinimised();

// Shows the window normally, or minimised when startMinimised().
void showMainWindow(QWidget* window);

}  // namespace zeb::ui
