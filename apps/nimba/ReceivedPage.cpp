#include "ReceivedPage.h"

namespace zeb::nimba {
namespace {

ui::ReceivedContext receivedContext(PageContext& context) {
    ui::ReceivedContext c;
    c.bundle = context.bundle;
    c.messages = context.messages;
    c.workDir = context.workDir;
    // Through the program's context: the status field it names at the time.
    c.setStatus = [&context](const QString& text) { context.setStatus(text); };
    c.texts = ui::nimbaReceivedTexts();
    return c;
}

}  // namespace

ReceivedPage::ReceivedPage(PageContext& context, const weather::WeatherData* weatherData,
                           int& remembered, QWidget* parent)
    : ui::ReceivedPanel(receivedContext(context), weatherData, remembered, parent) {}

}  // namespace zeb::nimba
