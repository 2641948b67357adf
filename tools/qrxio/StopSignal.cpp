#include "StopSignal.h"

#include "process/EndSignals.h"

#include <poll.h>
#include <unistd.h>

namespace StopSignal {

bool Install()
{
    return EndSignal::Install(true);
}

bool Requested()
{
    return EndSignal::Caught() != 0;
}

bool WaitFor(int64_t ns, bool *outputGone)
{
    if (Requested())
        return true;
    ns = ns > 0 ? ns : 0;
    // Events 0 on standard output: only an error or a hang-up is reported for it. Without the
    // pipe a wait still ends on a signal (ppoll is never restarted).
    pollfd fds[2] = {{EndSignal::ReadEnd(), POLLIN, 0}, {outputGone ? STDOUT_FILENO : -1, 0, 0}};
    const timespec timeout = {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    if (ppoll(fds, 2, &timeout, nullptr) > 0 && outputGone)
        *outputGone = (fds[1].revents & (POLLERR | POLLHUP)) != 0;
    return Requested();
}

} // namespace StopSignal
