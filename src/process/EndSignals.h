#pragma once
// SIGTERM, SIGHUP and SIGINT, the ways a session, a terminal or a service manager asks a program
// to end (the agent takes SIGHUP to read its configuration again): one rule for the program,
// qrxio and the agent. The handler only writes the signal's number to a pipe; a signal that
// was ignored when the process started (nohup) stays ignored; SIGPIPE is ignored, so that a
// reader that has gone shows as a failed write. The program and the agent take the numbers in
// their event loop (EndSignals); qrxio, which has none, waits on the pipe (EndSignal::ReadEnd).
// Elsewhere than on Unix nothing is caught. QtCore only.

#include <QObject>

#include <functional>

namespace EndSignal {

// Catches the signals; once a process, until Uninstall(). With `secondEnds`, a second signal of
// a kind ends the process the default way, for a call that never returns. False when the pipe
// could not be made (a signal is still noted, see Caught()).
bool Install(bool secondEnds = false);
// Puts back what the signals did before Install() and closes the pipe.
void Uninstall();
// The end of the pipe the signal numbers are read from, -1 without one.
int ReadEnd();
// The last signal caught, 0 before any.
int Caught();

} // namespace EndSignal

class QSocketNotifier;

// The signals delivered through the event loop: `onSignal` is called there, where Qt may be used.
class EndSignals : public QObject
{
public:
    // Only one may exist at a time.
    explicit EndSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    // Puts back what the signals did before.
    ~EndSignals() override;
    // False when the signals could not be caught (no pipe).
    bool isValid() const { return m_notifier != nullptr; }

private:
    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
};
