#pragma once
// The simulator's diagnostic log: a level 0..5 and a file. Each logged call becomes one line,
// appended and on disk before the call returns, so another process may read it at once.
//
// Level 1 logs failed calls; 2 adds calls that change something; 3 every other call but the
// two bit reads; 4 adds DXS_devDoGetBit; 5 logs every call.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class DeviceLog
{
public:
    static constexpr int kChanges = 2;
    static constexpr int kQueries = 3;
    static constexpr int kOutputReads = 4;
    static constexpr int kInputReads = 5;

    // Whether a call of the class `callLevel` that answered `status` is logged. One relaxed
    // load when logging is off, so that bit reads stay cheap.
    bool Wants(int callLevel, int32_t status) const
    {
        const int level = m_level.load(std::memory_order_relaxed);
        return level > 0 && (level >= callLevel || status < 0);
    }

    int level() const { return m_level.load(std::memory_order_relaxed); }
    void setLevel(int level) { m_level.store(level, std::memory_order_relaxed); }
    std::string file() const;
    void setFile(const std::string &path);

    // Whether lines can go to `path`: an existing regular file that may be written, or a new
    // one whose folder exists or can be made (the nearest existing folder may be written).
    static bool Usable(const std::string &path);

    // Appends "<local time with microseconds> <text>" as one line.
    void Write(const std::string &text);

private:
    std::atomic<int> m_level{0};
    mutable std::mutex m_mutex;
    std::string m_file;
};

// printf-style formatting into a std::string; used only once a line is known to be logged.
std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
