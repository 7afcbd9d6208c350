#include "app/QuitSignals.h"

#include "core/Messages.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvanta {

namespace {

volatile std::sig_atomic_t writeEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    if (writeEnd >= 0)
        [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    if (writeEnd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipe) != 0) {
        printDiagnostic("cannot catch SIGINT and SIGTERM");
        pipe[0] = pipe[1] = -1;
        return;
    }
    writeEnd = pipe[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
    notifier = new QSocketNotifier(pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
}

QuitSignals::~QuitSignals()
{
    if (pipe[0] < 0)
        return;
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    writeEnd = -1;
    delete notifier;
    ::close(pipe[0]);
    ::close(pipe[1]);
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

} // namespace quorvanta
