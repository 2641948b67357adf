#include "platform/EndSignals.h"

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
struct sigaction g_before[std::size(kSignals)];
bool g_caught[std::size(kSignals)] = {};

void OnSignal(int signal)
{
    // Only async-signal-safe calls here; the loop does the rest.
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(std::function<void(int signal)> onSignal, QObject *parent)
    : QObject(parent)
    , m_onSignal(std::move(onSignal))
{
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number;
        while (read(g_pipe[0], &number, 1) == 1)
            m_onSignal(number);
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        g_caught[i] = sigaction(kSignals[i], nullptr, &g_before[i]) == 0 &&
            g_before[i].sa_handler != SIG_IGN && sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

EndSignals::~EndSignals()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (std::exchange(g_caught[i], false))
            sigaction(kSignals[i], &g_before[i], nullptr);
    delete m_notifier; // before the pipe it watches is closed
    for (int &fd : g_pipe)
        if (fd >= 0)
            close(std::exchange(fd, -1));
}

#else

EndSignals::EndSignals(std::function<void(int signal)> onSignal, QObject *parent)
    : QObject(parent)
    , m_onSignal(std::move(onSignal))
{
}

EndSignals::~EndSignals() = default;

#endif
