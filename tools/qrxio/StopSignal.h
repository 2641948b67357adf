#pragma once
// Ctrl+C (SIGINT), SIGTERM and SIGHUP ask qrxio to stop, so that it still unloads the device
// system before it ends. They are caught by the rule every program shares
// (process/EndSignals.h: a signal the caller ignores, as under nohup, stays ignored; SIGPIPE is
// ignored, so a reader that has gone shows as a failed write); a wait on the signals' pipe ends
// at once. A second signal of the same kind ends the process the default way, for a library
// call that never returns.

#include <cstdint>

namespace StopSignal {

// Installs the handlers; false when the pipe could not be made (waits then end on a signal
// that arrives during them, not on one just before).
bool Install();

bool Requested();

// Waits `ns` nanoseconds, or less when a stop is asked for; true when one was. With
// `outputGone`, the wait also ends when standard output's reader has gone (a pipe whose reader
// closed it, a terminal hung up), which sets it; a write is not needed to notice that.
bool WaitFor(int64_t ns, bool *outputGone = nullptr);

} // namespace StopSignal
