#pragma once
// SIGINT and SIGTERM as a clean quit: the handler only writes a byte into a pipe; a socket notifier
// reads it inside the event loop, where quitting is safe.

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace quorvanta {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool installed() const { return notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();

    int pipe[2] = {-1, -1};
    QSocketNotifier* notifier = nullptr;
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
};

} // namespace quorvanta
