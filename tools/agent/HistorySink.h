#pragma once
// The agent's history writer on a thread of its own. The poll hands it each poll's changes
// (and the events worth keeping) through a queue and never waits for it: the queue is bounded
// by the recorder, which asks backlog() before it records. The thread writes what is queued in
// one transaction per round, in the order it was handed; a write that fails (a full disk, a
// write lock another process holds) keeps the changes and is tried again, said once. Retention
// runs on the same thread. Whatever the thread does, the poll's thread only takes a mutex for
// as long as it takes to move a batch into the queue.

#include "history/HistoryWriter.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class HistorySink
{
public:
    // A row stamped more than this after the clock is in the future: moved aside at the start,
    // and when the clock steps back farther than this while the agent runs.
    static constexpr int64_t kFutureUs = 60'000'000;

    HistorySink() = default;
    ~HistorySink();
    HistorySink(const HistorySink &) = delete;
    HistorySink &operator=(const HistorySink &) = delete;

    // On the calling thread, before Start(): opens the database, moves aside the rows stamped
    // in the future of `nowUs` (said once, with both times, and kept as an event) and reads
    // each point's last value and the last time.
    bool Open(const QString &path, int64_t nowUs, QString *error);
    QHash<uint64_t, bool> lastValues() const { return m_lastValues; }
    int64_t lastTimeUs() const { return m_lastTimeUs; }
    // Starts the thread; `write` false (benchmarks only) drops every batch unwritten.
    void Start(bool write = true);

    // How long changes are kept, and how large the database may grow (0: no bound).
    void SetRetention(int days, int64_t maxBytes);
    // Queued for the thread, in order; never waits for the disk.
    void Push(std::vector<HistoryChange> &&changes);
    void PushEvent(int64_t timeUs, const QString &kind, const QString &text);
    // The clock stepped back to `nowUs` beyond the bound: before the next batch, the rows
    // stamped after nowUs + kFutureUs are moved aside.
    void ClockReset(int64_t nowUs);
    // Changes queued or being written.
    size_t backlog() const { return m_backlog.load(std::memory_order_relaxed); }
    // True once after the database was made again (it was deleted under the agent): every
    // point's value is to be recorded again.
    bool TakeReopened() { return m_reopened.exchange(false); }

    // Waits at most `ms` until everything queued is written; false when it was not.
    bool Drain(int ms);
    // Writes what is queued, closes the database and stops the thread, waiting at most `ms`;
    // answers the changes that did not reach the database. A thread still inside the database
    // then is left to the process's end (nothing is committed half), and abandoned() is true:
    // the sink must then outlive the process's end.
    size_t Finish(int ms);
    bool abandoned() const { return m_abandoned; }
    static constexpr int kFinishMs = 10'000;

private:
    struct Item
    {
        enum Kind { Changes, Event, Reset } kind = Changes;
        std::vector<HistoryChange> changes;
        int64_t timeUs = 0;
        QString eventKind, text;
    };
    void Run();
    void Enqueue(Item &&item);
    void WriteAll(std::deque<Item> *items);
    bool WriteFront(std::deque<Item> *items, QString *error);
    bool WriteItem(const Item &item, QString *error);
    void ReportFailure(const QString &error);
    void Maintain(int64_t nowMs);
    void CheckFile();
    bool SameFile() const;

    HistoryWriter m_writer;
    QString m_path;
    QHash<uint64_t, bool> m_lastValues;
    int64_t m_lastTimeUs = 0;
    uint64_t m_fileDev = 0, m_fileIno = 0;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    std::deque<Item> m_queue; // guarded by m_mutex
    bool m_stop = false; // guarded by m_mutex
    bool m_finished = false; // guarded by m_mutex: the thread left Run()
    bool m_hurry = false; // guarded by m_mutex: the agent waits for the queue
    bool m_abandoned = false;
    std::atomic<size_t> m_items{0}; // queued or being written
    std::atomic<size_t> m_backlog{0};
    std::atomic<bool> m_reopened{false};
    std::atomic<int> m_retentionDays{30};
    std::atomic<int64_t> m_maxBytes{0};
    bool m_write = true;

    // The thread's own.
    QString m_failure; // the failure said, until a write succeeds
    int64_t m_nextTrimMs = 0;
    int64_t m_nextCheckMs = 0;
};
