#include "app/QuitSignals.h"

#include "core/Messages.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvanta {

namespace {

volatile std::sig_atomic_t writeEnd = -1;
volatile std::sig_atomic_t watchEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    if (writeEnd >= 0)
        [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    if (watchEnd >= 0)
        [[maybe_unused]] const auto written = ::write(watchEnd, &byte, 1);
    errno = savedErrno;
}

constexpr unsigned char kStopWatching = 0;

void closePair(int (&fds)[2])
{
    for (int& fd : fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

QuitSignals::QuitSignals(QObject* parent, std::chrono::milliseconds grace) : QObject(parent)
{
    if (writeEnd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipe) != 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, watchPipe) != 0) {
        printDiagnostic("cannot catch SIGINT, SIGTERM and SIGHUP");
        closePair(pipe);
        closePair(watchPipe);
        return;
    }
    ::fcntl(watchPipe[1], F_SETFL, O_NONBLOCK); // the handler never blocks
    writeEnd = pipe[1];
    watchEnd = watchPipe[1];
    watchdog = std::thread([this, grace] { watch(grace); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
    sigaction(SIGHUP, &action, &previousHangUp);
    notifier = new QSocketNotifier(pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
}

QuitSignals::~QuitSignals()
{
    if (pipe[0] < 0)
        return;
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    sigaction(SIGHUP, &previousHangUp, nullptr);
    writeEnd = -1;
    watchEnd = -1;
    const unsigned char stop = kStopWatching;
    [[maybe_unused]] const auto written = ::write(watchPipe[1], &stop, 1);
    watchdog.join();
    delete notifier;
    closePair(pipe);
    closePair(watchPipe);
}

void QuitSignals::drain()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(pipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        Q_EMIT received(last);
}

void QuitSignals::watch(std::chrono::milliseconds grace)
{
    unsigned char byte = kStopWatching;
    while (::read(watchPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    if (byte == kStopWatching)
        return;
    // A signal came: the event loop has `grace` to end the program in order; more signals change
    // nothing.
    const auto deadline = std::chrono::steady_clock::now() + grace;
    pollfd stopped{watchPipe[0], POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const int ready = ::poll(&stopped, 1, static_cast<int>(left.count()));
        if (ready > 0 && ::read(watchPipe[0], &byte, 1) == 1 && byte == kStopWatching)
            return; // the ordered quit ended
    }
    // The GUI thread may be anywhere, even inside a write to standard output: nothing here waits for
    // a lock it could hold.
    static constexpr char kLeaving[] = "quorvanta: still busy after a quit signal: leaving at once\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kLeaving, sizeof kLeaving - 1);
    if (::ftrylockfile(stdout) == 0) {
        ::fflush_unlocked(stdout);
        ::funlockfile(stdout);
    }
    std::_Exit(0);
}

} // namespace quorvanta
