#include "SharedState.h"

#include "CardMap.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

struct SharedState::Layout
{
    static constexpr uint32_t kMagic = 0x51525853; // "SXRQ" on disk
    static constexpr uint32_t kVersion = 1;

    uint32_t magic;
    uint32_t version;
    uint64_t fingerprint;
    int32_t boardCount;
    int32_t reserved;
    BoardSlot boards[kMaxBoards];
};

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);
static_assert(std::atomic_ref<int32_t>::is_always_lock_free);

namespace {

// Holds the file descriptor and its lock for the duration of Open.
class LockedFile
{
public:
    explicit LockedFile(const std::string &path)
        : m_fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        if (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~LockedFile()
    {
        // Unlock explicitly: the mapping keeps the open file alive, and with it a lock that
        // closing the descriptor alone would leave held.
        if (m_fd >= 0) {
            flock(m_fd, LOCK_UN);
            close(m_fd);
        }
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

SharedState::~SharedState()
{
    Close();
}

bool SharedState::Open(const std::string &path, const BoardConfig &config, bool rebuild,
                       std::string *error)
{
    Close();
    auto fail = [&](const char *what) {
        *error = "state file " + path + ": " + what + ": " + std::strerror(errno);
        if (m_layout)
            munmap(m_layout, sizeof(Layout));
        m_layout = nullptr;
        return false;
    };
    LockedFile file(path);
    if (file.fd() < 0)
        return fail("cannot open or lock");
    struct stat st;
    if (fstat(file.fd(), &st) != 0)
        return fail("cannot stat");
    // Never size or overwrite a file that is not the user's own plain file (the default path
    // may lie in /tmp, where others can place files).
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        errno = EPERM;
        return fail("not a plain file of this user");
    }
    const bool sized = st.st_size == static_cast<off_t>(sizeof(Layout));
    if (!sized && ftruncate(file.fd(), sizeof(Layout)) != 0)
        return fail("cannot size");
    void *map = mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, file.fd(), 0);
    if (map == MAP_FAILED)
        return fail("cannot map");
    m_layout = static_cast<Layout *>(map);

    Layout &l = *m_layout;
    const uint64_t fingerprint = config.Fingerprint();
    const bool valid = sized && Atomic(l.magic).load() == Layout::kMagic &&
        l.version == Layout::kVersion && l.fingerprint == fingerprint &&
        l.boardCount == static_cast<int32_t>(config.boards.size());
    if (valid && !rebuild)
        return true;

    // Build in place under the lock: a process that opens the file meanwhile waits for it,
    // and one that has it mapped already sees the fresh state.
    Atomic(l.magic).store(0);
    for (BoardSlot &s : l.boards) {
        Atomic(s.held).store(0);
        Atomic(s.outputs).store(0);
        for (int32_t *field : {&s.filterEnable, &s.filterTime, &s.checkOn, &s.loadedEnable,
                               &s.loadedTime, &s.loadedCheckOn})
            Atomic(*field).store(0);
    }
    l.version = Layout::kVersion;
    l.fingerprint = fingerprint;
    l.boardCount = static_cast<int32_t>(config.boards.size());
    l.reserved = 0;
    Atomic(l.magic).store(Layout::kMagic);
    return true;
}

void SharedState::Close()
{
    if (m_layout)
        munmap(m_layout, sizeof(Layout));
    m_layout = nullptr;
}

BoardSlot &SharedState::slot(int position) const
{
    return m_layout->boards[position];
}
