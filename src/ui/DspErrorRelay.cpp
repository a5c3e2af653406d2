#include "ui/DspErrorRelay.h"

#include <QMetaObject>
#include <QObject>

#include <mutex>

namespace zeb::ui {

namespace {

std::mutex gMutex;
QObject* gTarget = nullptr;
DspErrorRelay::Handler gHandler;
dsp::ErrorReport gReport;
bool gPending = false;

void deliver() {
    DspErrorRelay::Handler handler;
    dsp::ErrorReport report;
    {
        std::lock_guard lock(gMutex);
        if (!gTarget) return;
        handler = gHandler;
        report = gReport;
    }
    if (handler) handler(report);
}

void relay(const dsp::ErrorReport& report) {
    std::lock_guard lock(gMutex);
    if (!gTarget || gPending) return;
    gReport = report;
    gPending = true;
    QMetaObject::invokeMethod(gTarget, &deliver, Qt::QueuedConnection);
}

}  // namespace

void DspErrorRelay::install(QObject* target, Handler handler) {
    {
        std::lock_guard lock(gMutex);
        gTarget = target;
        gHandler = std::move(handler);
        gPending = false;
    }
    dsp::setErrorHandler(&relay);
}

void DspErrorRelay::remove(QObject* target) {
    std::lock_guard lock(gMutex);
    if (gTarget != target) return;
    gTarget = nullptr;
    gHandler = nullptr;
}

}  // namespace zeb::ui
