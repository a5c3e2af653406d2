// Unix signals delivered to Qt's event loop: the handler only writes the
// signal number into a pipe, and the UI thread reads it and emits
// signalReceived(). Programs use it to close cleanly on SIGTERM, SIGINT and
// SIGHUP (session end), exactly as if the user closed the main window.
//
// A program that claims resources (its bus class) before it can make the
// watcher — which needs the QApplication — calls holdSignals() first: the
// signals then wait, blocked, and reach the watcher once it exists, instead of
// killing the program before it can release what it holds.
//
// One watcher per program: a second one while the first lives throws
// std::logic_error. The previous handlers are restored on destruction.
#pragma once

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <vector>

namespace zeb::ui {

class FdNotifier;

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the handlers, then unblocks the signals.
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

    // Blocks the signals of this thread until a watcher for them exists.
    static void holdSignals(std::initializer_list<int> signalNumbers);

signals:
    void signalReceived(int signalNumber);

private:
    void drain();

    std::vector<std::pair<int, struct sigaction>> previous_;
    FdNotifier* notifier_ = nullptr;
};

}  // namespace zeb::ui
