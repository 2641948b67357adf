#include "StopSignal.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_requested = 0;
int g_pipe[2] = {-1, -1};

void OnSignal(int)
{
    const int savedErrno = errno;
    g_requested = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

namespace StopSignal {

bool Install()
{
    // Without the pipe a wait still ends on a signal (ppoll is never restarted), only a signal
    // just before the wait starts may then be noticed one wait later.
    const bool piped = g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller set to be ignored (nohup) stays ignored.
        struct sigaction before = {};
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    return piped;
}

bool Requested()
{
    return g_requested != 0;
}

bool WaitFor(int64_t ns, bool *outputGone)
{
    if (g_requested)
        return true;
    ns = ns > 0 ? ns : 0;
    // Events 0 on standard output: only an error or a hang-up is reported for it.
    pollfd fds[2] = {{g_pipe[0], POLLIN, 0}, {outputGone ? STDOUT_FILENO : -1, 0, 0}};
    const timespec timeout = {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    if (ppoll(fds, 2, &timeout, nullptr) > 0 && outputGone)
        *outputGone = (fds[1].revents & (POLLERR | POLLHUP)) != 0;
    return g_requested != 0;
}

} // namespace StopSignal
