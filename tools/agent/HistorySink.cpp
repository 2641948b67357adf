#include "HistorySink.h"

#include "Agent.h"

#include <QFile>
#include <QFileInfo>

#include <ctime>
#include <sys/stat.h>

namespace {

using std::chrono::milliseconds;

constexpr int64_t kWriteRetryMs = 5000;
constexpr int64_t kTrimEveryMs = 60'000;
constexpr int64_t kCheckEveryMs = 1000; // the file still there, the size bound
constexpr size_t kMostPerTransaction = 50'000;
constexpr size_t kWriteEarly = 1000; // changes queued: written before the second is over

int64_t MonotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int64_t WallClockUs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

} // namespace

HistorySink::~HistorySink()
{
    Finish(kFinishMs);
}

bool HistorySink::Open(const QString &path, int64_t nowUs, QString *error)
{
    m_path = path;
    if (!m_writer.Open(path, error))
        return false;
    int64_t newest = 0;
    // The writer records the move as an event in the same transaction.
    const int64_t moved = m_writer.MoveFutureRows(nowUs, &newest, error);
    if (moved < 0)
        return false;
    if (moved > 0)
        AgentWarn(QStringLiteral("%1 changes stamped over a minute after the clock's time %2, up "
                                 "to %3, were moved aside (kept in the database); recording goes "
                                 "on at the clock's time")
                      .arg(moved)
                      .arg(AgentTimeText(nowUs), AgentTimeText(newest)));
    m_lastValues = m_writer.LastValues();
    m_lastTimeUs = m_writer.LastTimeUs();
    struct stat st = {};
    if (stat(QFile::encodeName(path).constData(), &st) == 0) {
        m_fileDev = st.st_dev;
        m_fileIno = st.st_ino;
    }
    return true;
}

void HistorySink::Start(bool write)
{
    m_write = write;
    m_thread = std::thread([this] { Run(); });
}

void HistorySink::SetRetention(int days, int64_t maxBytes)
{
    m_retentionDays = days;
    m_maxBytes = maxBytes;
}

void HistorySink::Enqueue(Item &&item)
{
    m_backlog += item.changes.size();
    ++m_items;
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_one();
}

void HistorySink::Push(std::vector<HistoryChange> &&changes)
{
    if (!changes.empty())
        Enqueue({Item::Changes, std::move(changes), 0, {}, {}});
}

void HistorySink::PushEvent(int64_t timeUs, const QString &kind, const QString &text)
{
    Enqueue({Item::Event, {}, timeUs, kind, text});
}

void HistorySink::ClockReset(int64_t nowUs)
{
    Enqueue({Item::Reset, {}, nowUs, {}, {}});
}

bool HistorySink::Drain(int ms)
{
    if (!m_thread.joinable())
        return m_items == 0;
    std::unique_lock lock(m_mutex);
    m_hurry = true;
    m_wake.notify_one();
    const bool drained =
        m_done.wait_for(lock, milliseconds(ms), [this] { return m_items == 0 || m_finished; });
    m_hurry = false;
    return drained && m_items == 0;
}

size_t HistorySink::Finish(int ms)
{
    if (!m_thread.joinable())
        return backlog();
    std::unique_lock lock(m_mutex);
    m_stop = true;
    m_wake.notify_one();
    if (!m_done.wait_for(lock, milliseconds(ms), [this] { return m_finished; })) {
        // Still inside the database (a disk that does not answer): the process ends without it.
        m_thread.detach();
        m_abandoned = true;
        return backlog();
    }
    lock.unlock();
    m_thread.join();
    return backlog();
}

void HistorySink::Run()
{
    std::deque<Item> items; // taken from the queue, not yet written
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A failed write is tried again after a while, soon once the agent waits for it.
        const bool hurry = m_stop || m_hurry;
        if (!m_failure.isEmpty())
            m_wake.wait_for(lock, milliseconds(hurry ? 200 : kWriteRetryMs),
                            [this, hurry] { return !hurry && (m_stop || m_hurry); });
        else if (!m_stop)
            // Changes are written once a second, in shorter steps when many come.
            m_wake.wait_for(lock, milliseconds(kCheckEveryMs),
                            [this] { return m_stop || m_hurry || m_backlog >= kWriteEarly; });
        for (; !m_queue.empty(); m_queue.pop_front()) {
            Item &next = m_queue.front();
            Item *last = items.empty() ? nullptr : &items.back();
            if (last && last->kind == Item::Changes && next.kind == Item::Changes &&
                last->changes.size() < kMostPerTransaction) {
                last->changes.insert(last->changes.end(), next.changes.begin(), next.changes.end());
                --m_items;
            } else {
                items.push_back(std::move(next));
            }
        }
        const bool stop = m_stop;
        lock.unlock();
        WriteAll(&items);
        if (!stop)
            Maintain(MonotonicMs());
        lock.lock();
        m_done.notify_all();
        if (stop && items.empty() && m_queue.empty())
            break;
    }
    m_writer.Close();
    m_finished = true;
    m_done.notify_all();
}

void HistorySink::WriteAll(std::deque<Item> *items)
{
    QString error;
    while (!items->empty() && WriteFront(items, &error)) {
    }
    if (!items->empty()) {
        ReportFailure(error);
    } else if (!m_failure.isEmpty()) {
        AgentLog(QStringLiteral("writing the history again"));
        m_failure.clear();
    }
}

bool HistorySink::WriteFront(std::deque<Item> *items, QString *error)
{
    const Item &item = items->front();
    if (m_write && !WriteItem(item, error))
        return false;
    m_backlog -= item.changes.size();
    --m_items;
    items->pop_front();
    return true;
}

bool HistorySink::WriteItem(const Item &item, QString *error)
{
    if (!m_writer.isOpen()) {
        *error = QStringLiteral("the database %1 is not open").arg(m_path);
        return false;
    }
    switch (item.kind) {
    case Item::Changes:
        if (!m_writer.Append(item.changes, error))
            return false;
        // A reader that keeps the WAL from being checkpointed is said once.
        if (const QString notice = m_writer.TakeWalNotice(); !notice.isEmpty())
            AgentWarn(notice);
        return true;
    case Item::Event:
        return m_writer.AppendEvent(item.timeUs, item.eventKind, item.text, error);
    case Item::Reset:
        break;
    }
    int64_t newest = 0;
    const int64_t moved = m_writer.MoveFutureRows(item.timeUs, &newest, error);
    if (moved > 0)
        AgentWarn(QStringLiteral("%1 changes stamped after %2, up to %3, were moved aside")
                      .arg(moved)
                      .arg(AgentTimeText(item.timeUs + kFutureUs), AgentTimeText(newest)));
    return moved >= 0;
}

// Said once; the changes stay queued (the recorder bounds them) and are written again.
void HistorySink::ReportFailure(const QString &error)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = error;
    QString why;
    if (m_writer.diskFull())
        why = QStringLiteral(" (the disk is full)");
    else if (const QString holder = m_writer.LockHolder(); !holder.isEmpty())
        why = QStringLiteral(" (the write lock is held by %1)").arg(holder);
    AgentError(QStringLiteral("%1%2; the changes wait in memory, and the write is tried again "
                              "every %3 s")
                   .arg(AgentClause(error), why)
                   .arg(kWriteRetryMs / 1000));
}

void HistorySink::Maintain(int64_t nowMs)
{
    if (nowMs < m_nextCheckMs)
        return;
    m_nextCheckMs = nowMs + kCheckEveryMs;
    CheckFile();
    if (!m_failure.isEmpty() || !m_writer.isOpen() || !m_write)
        return;
    const int64_t maxBytes = m_maxBytes;
    const bool over = maxBytes > 0 && m_writer.SizeBytes() > maxBytes;
    if (nowMs < m_nextTrimMs && !over)
        return;
    const int64_t cutoff = WallClockUs() - int64_t(m_retentionDays) * 86'400'000'000;
    QString error;
    const int64_t removed = m_writer.Retain(cutoff, maxBytes, &error);
    if (removed < 0)
        AgentError(error);
    // While old changes go, the next slice follows a second later.
    m_nextTrimMs = nowMs + (removed > 0 ? kCheckEveryMs : kTrimEveryMs);
}

bool HistorySink::SameFile() const
{
    struct stat st = {};
    return stat(QFile::encodeName(m_path).constData(), &st) == 0 && st.st_dev == m_fileDev &&
        st.st_ino == m_fileIno;
}

// A database deleted (or replaced) under the agent is said, and made again at its path; the
// recorder then records every point's value again.
void HistorySink::CheckFile()
{
    if (m_writer.isOpen() && SameFile())
        return;
    if (m_writer.isOpen())
        AgentWarn(QStringLiteral("the database %1 was deleted or replaced; the history goes on in "
                                 "a new one at that path")
                      .arg(m_path));
    m_writer.Close();
    // A deleted database's own journal files must not be taken for the new one's.
    if (!QFileInfo::exists(m_path)) {
        QFile::remove(m_path + QStringLiteral("-wal"));
        QFile::remove(m_path + QStringLiteral("-shm"));
    }
    QString error;
    if (!m_writer.Open(m_path, &error)) {
        ReportFailure(error);
        return;
    }
    struct stat st = {};
    if (stat(QFile::encodeName(m_path).constData(), &st) == 0) {
        m_fileDev = st.st_dev;
        m_fileIno = st.st_ino;
    }
    m_reopened = true;
}
