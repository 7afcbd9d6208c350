#pragma once
// SIGINT, SIGTERM and SIGHUP as a clean quit: the handler only writes a byte into two pipes. A socket
// notifier reads one inside the event loop, where quitting is safe. A watchdog thread reads the
// other: when the program has not ended `grace` after a signal (the GUI thread busy in a long
// encoding, a decode that cannot be stopped), it flushes standard output and leaves at once.

#include <QObject>

#include <chrono>
#include <csignal>
#include <thread>

class QSocketNotifier;

namespace quorvanta {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr,
                         std::chrono::milliseconds grace = std::chrono::milliseconds(700));
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool installed() const { return notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();
    void watch(std::chrono::milliseconds grace);

    int pipe[2] = {-1, -1};
    int watchPipe[2] = {-1, -1};
    QSocketNotifier* notifier = nullptr;
    std::thread watchdog;
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
    struct sigaction previousHangUp {};
};

} // namespace quorvanta
