#include "platform/qt/QtTermination.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace brindle {

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: wake the event loop. The socket never blocks (a burst of
// signals needs only one wake-up) and errno is kept for the code the signal interrupted.
void onSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

void HandleTerminationSignals(std::function<void()> onTerminate) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [onTerminate = std::move(onTerminate)] {
                         char byte;
                         [[maybe_unused]] const auto got = ::read(signalPipe[1], &byte, 1);
                         onTerminate();
                     });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
}

}  // namespace brindle
