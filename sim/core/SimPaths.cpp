#include "SimPaths.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SimPaths {

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool StatePath(std::string *path, std::string *error)
{
    *path = Env("QRXSIM_STATE");
    if (!path->empty())
        return true;
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        *path = runtime + "/qrxsim-state";
        return true;
    }
    const std::string temp = Env("TMPDIR");
    const std::string dir = (temp.empty() ? "/tmp" : temp) + "/qrxsim-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = dir + ": cannot make the folder of the state file: " + std::strerror(errno);
        return false;
    }
    // Anyone may have made it first in a shared folder such as /tmp.
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077)) {
        *error = dir +
            ": not a folder of this user with mode 0700; remove it (or have it "
            "removed), or set XDG_RUNTIME_DIR or QRXSIM_STATE";
        return false;
    }
    *path = dir + "/state";
    return true;
}

std::string DefaultDataDir()
{
    const std::string data = Env("XDG_DATA_HOME");
    if (!data.empty())
        return data + "/qrxsim";
    return Env("HOME") + "/.local/share/qrxsim";
}

std::string DirOfAddress(const void *address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return {};
    std::string file = info.dli_fname;
    // A main program may report a bare name; its folder is then the one of /proc/self/exe.
    if (file.find('/') == std::string::npos) {
        char exe[4096];
        const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0)
            return {};
        file.assign(exe, n);
    }
    return DirOf(file);
}

std::string DirOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Resolve(const std::string &base, const std::string &path)
{
    if (path.empty() || path.front() == '/')
        return path;
    return base + "/" + path;
}

bool FileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int ReadFile(const std::string &path, size_t maxBytes, std::string *text)
{
    // Non-blocking, so that opening a FIFO never waits for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (static_cast<uintmax_t>(st.st_size) > maxBytes)
        error = EFBIG;
    std::string read;
    // One byte beyond the limit tells a file that grew since fstat.
    char buffer[4096];
    while (!error && read.size() <= maxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n == 0)
            break;
        else if (n > 0)
            read.append(buffer, static_cast<size_t>(n));
    }
    if (!error && read.size() > maxBytes)
        error = EFBIG;
    close(fd);
    if (!error)
        *text = std::move(read);
    return error;
}

bool MakeDirs(const std::string &dir)
{
    struct stat st;
    if (dir.empty() || stat(dir.c_str(), &st) == 0)
        return !dir.empty() && S_ISDIR(st.st_mode);
    const std::string parent = DirOf(dir);
    if (parent != dir && !MakeDirs(parent))
        return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

} // namespace SimPaths
