#include "ParamFile.h"

#include "SimPaths.h"
#include "SimStatus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

std::string ParamFile::PathFor(const std::string &dataDir, int32_t cardNo)
{
    return dataDir + "/card" + std::to_string(cardNo) + ".prm";
}

namespace {

// Makes a new temporary file beside `path` under a name nobody can foretell, and answers its
// descriptor (or -1). The file is always a new one: it never follows a link placed under that
// name, nor reuses a file that is there already. It is locked (flock) from before anything is
// written until it is closed, so RemoveAbandoned leaves it alone.
int CreateTemporary(const std::string &path, std::string *temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t random = 0;
        if (getrandom(&random, sizeof random, 0) != sizeof random)
            return -1;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp%016llx",
                      static_cast<unsigned long long>(random));
        *temp = path + suffix;
        const int fd =
            open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        // Another process may have taken the file for abandoned and removed it before the
        // lock was taken; then it has no name any more, and a new one is made.
        struct stat st;
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0)
            return fd;
        close(fd);
    }
    return -1;
}

// Removes the temporary files of `path` that nobody holds: those of saves that were killed
// before they could rename or remove them.
void RemoveAbandoned(const std::string &path)
{
    const std::string dir = SimPaths::DirOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp";
    DIR *folder = opendir(dir.c_str());
    if (!folder)
        return;
    while (const dirent *entry = readdir(folder)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string name = dir + "/" + entry->d_name;
        const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Only a regular file that nobody holds, and only while the name is still that file.
        struct stat held, named;
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(name.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev)
            unlink(name.c_str());
        close(fd);
    }
    closedir(folder);
}

} // namespace

int32_t ParamFile::Save(const std::string &path, int32_t type, const BoardParams &params)
{
    if (!SimPaths::MakeDirs(SimPaths::DirOf(path)))
        return kSimParamFileWrite;
    RemoveAbandoned(path);
    char text[256];
    const int n = std::snprintf(text, sizeof text,
                                "# qrxsim board parameters\nType=%d\nFilterEnable=%d\n"
                                "FilterTime=%d\nRunLed=%d\n",
                                type, params.filterEnable, params.filterTime, params.checkOn);
    std::string temp;
    const int fd = CreateTemporary(path, &temp);
    if (fd < 0)
        return kSimParamFileWrite;
    const bool saved =
        write(fd, text, n) == n && fsync(fd) == 0 && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!saved)
        unlink(temp.c_str());
    // Closing releases the lock, once the temporary is gone.
    close(fd);
    return saved ? kSimOk : kSimParamFileWrite;
}

int32_t ParamFile::Load(const std::string &path, int32_t type, BoardParams *params)
{
    RemoveAbandoned(path);
    std::string text;
    const int error = SimPaths::ReadFile(path, kMaxBytes, &text);
    if (error == ENOENT || error == ENOTDIR)
        return kSimParamFileMissing;
    if (error)
        return kSimParamFileCorrupt;
    std::istringstream in(text);
    std::map<std::string, int32_t> values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            return kSimParamFileCorrupt;
        const std::string value = line.substr(equals + 1);
        char *end = nullptr;
        errno = 0;
        const long v = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX ||
            !values.emplace(line.substr(0, equals), static_cast<int32_t>(v)).second)
            return kSimParamFileCorrupt;
    }
    BoardParams p;
    auto take = [&values](const char *key, int32_t lo, int32_t hi, int32_t *out) {
        const auto it = values.find(key);
        if (it == values.end() || it->second < lo || it->second > hi)
            return false;
        *out = it->second;
        values.erase(it);
        return true;
    };
    int32_t fileType = 0;
    if (!take("Type", type, type, &fileType) || !take("FilterEnable", 0, 1, &p.filterEnable) ||
        !take("FilterTime", 0, 15, &p.filterTime) || !take("RunLed", 0, 1, &p.checkOn) ||
        !values.empty())
        return kSimParamFileCorrupt;
    *params = p;
    return kSimOk;
}
