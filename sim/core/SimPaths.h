#pragma once
// Where the simulator finds its files: environment variables (an empty value counts as unset),
// the per-user runtime and data folders, and the folder of the loaded library.

#include <string>

namespace SimPaths {

// The value of an environment variable; empty when it is unset or empty.
std::string Env(const char *name);

// The shared state file: QRXSIM_STATE, else $XDG_RUNTIME_DIR/qrxsim-state, else state in the
// private folder qrxsim-<uid> of $TMPDIR (default /tmp), which is made with mode 0700 when
// missing. A folder there that is not this user's with mode 0700 (another user's, a link, a
// file, one open to others) is refused: answers false and says in `error` what to remove.
bool StatePath(std::string *path, std::string *error);

// The per-user data folder: $XDG_DATA_HOME/qrxsim, else $HOME/.local/share/qrxsim.
std::string DefaultDataDir();

// The folder of the shared object (or executable) that holds `address`; empty if unknown.
std::string DirOfAddress(const void *address);

// The folder part of `path` ("." when it has none).
std::string DirOf(const std::string &path);

// `path` itself when absolute, else `path` under `base`.
std::string Resolve(const std::string &base, const std::string &path);

bool FileExists(const std::string &path);

// Reads the whole of the regular file at `path` into `text` when it holds at most `maxBytes`.
// A FIFO, a device or a folder in its place is refused without waiting on it. Answers 0, or
// the reason as an errno value (ENOENT: no such file, EINVAL: not a regular file, EFBIG: larger
// than `maxBytes`).
int ReadFile(const std::string &path, size_t maxBytes, std::string *text);

// Creates `dir` and its missing parents; true when it exists afterwards.
bool MakeDirs(const std::string &dir);

} // namespace SimPaths
