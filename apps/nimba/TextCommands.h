// The commands of the two text pages (RTTY and CW): save the text (the whole
// text, or the selection) as RTF or plain text, print it, choose its font
// (kept under "FONT" in the page's settings section).
#pragma once

#include <QString>

#include <functional>
#include <string_view>

class QLayout;
class QWidget;

namespace zeb::ui {
class ReceivedTextWindow;
}

namespace zeb::nimba {

struct PageContext;

// The save dialog: (parent, title, proposed path, filter) → chosen path or
// empty. Replaceable so that tests can answer it.
using SaveDialog = std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
void setSaveDialog(SaveDialog dialog);  // empty: the toolkit's dialog
QString askSaveFile(QWidget* parent, const QString& title, const QString& proposed,
                    const QString& filter);

// Puts a page's text window where its dialog has the placeholder control
// `id` (same name, same place in the layout); without one, at the end of
// `fallback`.
void placeTextWindow(QWidget* dialog, int id, QWidget* window, QLayout* fallback);

// Save: proposes "SYNOP/WARN_yyyy-mm-dd_hh-mi.RTF" (UTC); message 51 when
// the file cannot be written. Returns true when a file was written.
bool saveTextWindow(QWidget* parent, const PageContext& context,
                    const ui::ReceivedTextWindow& window);
// Print through the print dialog (a PDF file is one of its printers).
void printTextWindow(QWidget* parent, const ui::ReceivedTextWindow& window);
// Font dialog; the chosen font applies to the whole text and is stored.
void chooseTextFont(QWidget* parent, const PageContext& context, ui::ReceivedTextWindow& window,
                    std::string_view section);
// The stored font of a section (the fixed-pitch default when absent).
void loadTextFont(const PageContext& context, ui::ReceivedTextWindow& window,
                  std::string_view section);

}  // namespace zeb::nimba
