#include "process/EndSignals.h"

#ifdef Q_OS_UNIX

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_caughtSignal = 0;
struct sigaction g_before[std::size(kSignals)];
bool g_caught[std::size(kSignals)] = {};

void OnSignal(int signal)
{
    // Only async-signal-safe calls here; the loop or the wait does the rest.
    const int saved = errno;
    g_caughtSignal = signal;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

namespace EndSignal {

bool Install(bool secondEnds)
{
    const bool piped = g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
    if (!piped)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | (secondEnds ? SA_RESETHAND : 0);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (g_caught[i])
            continue;
        g_caught[i] = sigaction(kSignals[i], nullptr, &g_before[i]) == 0 &&
            g_before[i].sa_handler != SIG_IGN && sigaction(kSignals[i], &action, nullptr) == 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return piped;
}

void Uninstall()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (std::exchange(g_caught[i], false))
            sigaction(kSignals[i], &g_before[i], nullptr);
    for (int &fd : g_pipe)
        if (fd >= 0)
            close(std::exchange(fd, -1));
}

int ReadEnd()
{
    return g_pipe[0];
}

int Caught()
{
    return g_caughtSignal;
}

} // namespace EndSignal

EndSignals::EndSignals(std::function<void(int signal)> onSignal, QObject *parent)
    : QObject(parent)
    , m_onSignal(std::move(onSignal))
{
    if (!EndSignal::Install())
        return;
    m_notifier = new QSocketNotifier(EndSignal::ReadEnd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number;
        while (read(EndSignal::ReadEnd(), &number, 1) == 1)
            m_onSignal(number);
    });
}

EndSignals::~EndSignals()
{
    delete m_notifier; // before the pipe it watches is closed
    EndSignal::Uninstall();
}

#else

namespace EndSignal {
bool Install(bool)
{
    return false;
}
void Uninstall() { }
int ReadEnd()
{
    return -1;
}
int Caught()
{
    return 0;
}
} // namespace EndSignal

EndSignals::EndSignals(std::function<void(int signal)> onSignal, QObject *parent)
    : QObject(parent)
    , m_onSignal(std::move(onSignal))
{
}

EndSignals::~EndSignals() = default;

#endif
