#include "SharedState.h"

#include "device/CardMap.h"

#include <cerrno>
#include <csignal>
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

// The mappings of this copy of the code, watched for a file cut short under them. A page of a
// shared file mapping that lies beyond the file's end raises SIGBUS when touched; the handler
// then puts fresh zero pages in its place and marks the mapping lost, so the process carries on
// and every later call can tell. A fault elsewhere goes to whatever handled SIGBUS before.
struct Guard
{
    std::atomic<uintptr_t> base{0};
    std::atomic<bool> lost{false};
};
constexpr int kGuards = 16;
Guard g_guards[kGuards];
size_t g_mapBytes = 0; // sizeof(Layout) in whole pages
struct sigaction g_previous = {};

void OnBusError(int signal, siginfo_t *info, void *context)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Guard &guard : g_guards) {
        const uintptr_t base = guard.base.load();
        if (base && address - base < g_mapBytes) {
            const int saved = errno;
            void *fresh = mmap(reinterpret_cast<void *>(base), g_mapBytes, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            errno = saved;
            if (fresh != MAP_FAILED) {
                guard.lost.store(true);
                return;
            }
        }
    }
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        // Back to the default (or ignoring): a fault repeats on return and ends the process
        // as it would have without this handler; a signal sent by kill is raised again.
        sigaction(signal, &g_previous, nullptr);
        if (g_previous.sa_handler == SIG_DFL)
            raise(signal);
    }
}

// Watches the mapping at `base`; answers its guard, or -1 when all are taken (the mapping
// then goes unwatched).
int Watch(void *base, size_t bytes)
{
    if (!g_mapBytes) {
        const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        g_mapBytes = (bytes + page - 1) / page * page;
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previous);
    }
    for (int i = 0; i < kGuards; ++i) {
        if (!g_guards[i].base.load()) {
            g_guards[i].lost.store(false);
            g_guards[i].base.store(reinterpret_cast<uintptr_t>(base));
            return i;
        }
    }
    return -1;
}

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
        Close();
        return false;
    };
    LockedFile file(path);
    // A symbolic link (O_NOFOLLOW) or a folder in the file's place fails the open.
    const bool notAFile = file.fd() < 0 && (errno == ELOOP || errno == EISDIR);
    if (file.fd() < 0 && !notAFile)
        return fail("cannot open or lock");
    struct stat st;
    if (!notAFile && fstat(file.fd(), &st) != 0)
        return fail("cannot stat");
    // Never size or overwrite a file that is not the user's own plain file (the default path
    // may lie in /tmp, where others can place files).
    if (notAFile || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        *error = "state file " + path +
            ": not a plain file of this user; remove it, or set QRXSIM_STATE to another file";
        Close();
        return false;
    }
    const bool sized = st.st_size == static_cast<off_t>(sizeof(Layout));
    // Reserve the file's blocks, so that a full disk shows here and not as a fault when the
    // mapping is first written.
    if (!sized || st.st_blocks * 512 < static_cast<blkcnt_t>(sizeof(Layout))) {
        const int reserved = ftruncate(file.fd(), sizeof(Layout)) != 0
            ? errno
            : posix_fallocate(file.fd(), 0, sizeof(Layout));
        if (reserved != 0) {
            // A file sized here goes back to empty, so that nobody maps its missing blocks.
            if (!sized) {
                [[maybe_unused]] const int undone = ftruncate(file.fd(), 0);
            }
            errno = reserved;
            return fail("cannot reserve its space");
        }
    }
    void *map = mmap(nullptr, sizeof(Layout), PROT_READ | PROT_WRITE, MAP_SHARED, file.fd(), 0);
    if (map == MAP_FAILED)
        return fail("cannot map");
    m_layout = static_cast<Layout *>(map);
    m_boards = m_layout->boards;
    m_guard = Watch(map, sizeof(Layout));
    m_lost = m_guard >= 0 ? &g_guards[m_guard].lost : &s_unwatched;

    Layout &l = *m_layout;
    const uint64_t fingerprint = config.Fingerprint();
    const bool valid = sized && Atomic(l.magic).load() == Layout::kMagic &&
        l.version == Layout::kVersion && l.fingerprint == fingerprint &&
        l.boardCount == static_cast<int32_t>(config.boards.size()) && InRange(config);
    if (valid && !rebuild)
        return true;

    Rebuild(config);
    return true;
}

// Built in place under the lock: a process that opens the file meanwhile waits for it, and one
// that has it mapped already sees the fresh state.
void SharedState::Rebuild(const BoardConfig &config)
{
    Layout &l = *m_layout;
    Atomic(l.magic).store(0);
    for (BoardSlot &s : l.boards) {
        Atomic(s.held).store(0);
        Atomic(s.outputs).store(0);
        for (int32_t *field : {&s.filterEnable, &s.filterTime, &s.checkOn, &s.loadedEnable,
                               &s.loadedTime, &s.loadedCheckOn})
            Atomic(*field).store(0);
    }
    l.version = Layout::kVersion;
    l.fingerprint = config.Fingerprint();
    l.boardCount = static_cast<int32_t>(config.boards.size());
    l.reserved = 0;
    Atomic(l.magic).store(Layout::kMagic);
}

bool SharedState::InRange(const BoardConfig &config) const
{
    auto within = [](int32_t &field, int32_t hi) {
        const int32_t value = Atomic(field).load();
        return value >= 0 && value <= hi;
    };
    for (size_t i = 0; i < config.boards.size(); ++i) {
        const BoardDef &b = config.boards[i];
        BoardSlot &s = m_layout->boards[i];
        if ((Atomic(s.held).load() & ~b.inputMask()) ||
            (Atomic(s.outputs).load() & ~PointMask(b.outputs)) || !within(s.filterEnable, 1) ||
            !within(s.filterTime, 15) || !within(s.checkOn, 1) || !within(s.loadedEnable, 1) ||
            !within(s.loadedTime, 15) || !within(s.loadedCheckOn, 1))
            return false;
    }
    return true;
}

void SharedState::Close()
{
    if (m_guard >= 0)
        g_guards[m_guard].base.store(0);
    m_guard = -1;
    m_lost = &s_unwatched;
    if (m_layout)
        munmap(m_layout, sizeof(Layout));
    m_layout = nullptr;
    m_boards = nullptr;
}
