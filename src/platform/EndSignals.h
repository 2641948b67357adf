#pragma once
// SIGTERM, SIGHUP and SIGINT, the ways a session or a terminal asks a program to end, delivered
// through the event loop: the handler only writes the signal's number to a pipe, and a notifier
// on the pipe's other end calls the callback from the loop, where Qt may be used. A signal that
// was ignored when the program started (nohup) stays ignored. Elsewhere than on Unix nothing
// is caught.

#include <QObject>
#include <functional>

class QSocketNotifier;

class EndSignals : public QObject
{
public:
    // Only one may exist at a time.
    explicit EndSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    // Puts back what the signals did before.
    ~EndSignals() override;

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
};
