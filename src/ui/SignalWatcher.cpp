#include "ui/SignalWatcher.h"

#include "ui/FdNotifier.h"

#include <QPointer>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

namespace zeb::ui {
namespace {

// The pipe lives as long as the process: a signal may arrive while a watcher
// is being destroyed, and its handler must always find a valid descriptor.
int pipeFds[2] = {-1, -1};
bool watcherAlive = false;

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe drops the byte: the same signal is already waiting.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (watcherAlive) throw std::logic_error("only one SignalWatcher may exist at a time");
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    watcherAlive = true;

    notifier_ = new FdNotifier(
        pipeFds[0], [this] { drain(); }, this);
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : signalNumbers) {
        sigaddset(&held, signalNumber);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction old {};
        if (::sigaction(signalNumber, &action, &old) == 0)
            previous_.emplace_back(signalNumber, old);
    }
    // Signals held since start-up arrive now, through the pipe.
    ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

void SignalWatcher::holdSignals(std::initializer_list<int> signalNumbers) {
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : signalNumbers) sigaddset(&held, signalNumber);
    ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

SignalWatcher::~SignalWatcher() {
    for (const auto& [signalNumber, old] : previous_) ::sigaction(signalNumber, &old, nullptr);
    watcherAlive = false;
}

void SignalWatcher::drain() {
    const QPointer<SignalWatcher> alive(this);
    unsigned char bytes[64];
    while (alive) {
        const ssize_t n = ::read(pipeFds[0], bytes, sizeof bytes);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n && alive; ++i) emit signalReceived(bytes[i]);
    }
}

}  // namespace zeb::ui
