#include "DeviceLog.h"

#include "SimPaths.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string Format(const char *format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < static_cast<int>(sizeof buffer))
        return std::string(buffer, n > 0 ? n : 0);
    std::string text(n, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), n + 1, format, args);
    va_end(args);
    return text;
}

std::string DeviceLog::file() const
{
    std::lock_guard lock(m_mutex);
    return m_file;
}

void DeviceLog::setFile(const std::string &path)
{
    std::lock_guard lock(m_mutex);
    m_file = path;
}

bool DeviceLog::Usable(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) && access(path.c_str(), W_OK) == 0;
    std::string dir = path;
    while (errno == ENOENT && dir != "/" && dir != ".") {
        dir = SimPaths::DirOf(dir);
        if (stat(dir.c_str(), &st) == 0)
            return S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
    }
    return false; // an ancestor that is no folder, or one that cannot be looked into
}

void DeviceLog::Write(const std::string &text)
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[40];
    const size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%06ld ", now.tv_nsec / 1000);
    const std::string line = stamp + text + "\n";

    std::lock_guard lock(m_mutex);
    if (m_file.empty())
        return;
    // One write(2) per line on an O_APPEND descriptor: lines of several processes never mix.
    // Non-blocking, and only into a regular file: a FIFO put in the file's place never holds
    // up the call.
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = open(m_file.c_str(), flags, 0644);
    if (fd < 0 && SimPaths::MakeDirs(SimPaths::DirOf(m_file)))
        fd = open(m_file.c_str(), flags, 0644);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        [[maybe_unused]] const ssize_t written = write(fd, line.data(), line.size());
    }
    close(fd);
}
