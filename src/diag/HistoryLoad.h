#pragma once
// "Open History..." on a thread of its own, so that the Change Log stays responsive: the
// window hands a HistoryJob the work (open a database and find its span, or read a range into
// a recording), reads its progress while it runs, may cancel it, and hears finished() on its
// own thread. The work uses a HistoryReader of its own and never touches the device.

#include "diag/ChangeRecorder.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// A range of a history read into a recording, as the window shows it.
struct LoadedHistory
{
    std::unique_ptr<ChangeRecorder> recording;
    bool full = false; // the recording's ring filled: it holds the first changes of the range
};

// Milliseconds of a time in microseconds, rounded down (also before 1970).
qint64 FloorMs(qint64 us);

// Reads [sinceUs, untilUs] of the history at `path` into a recording of `capacity` changes
// that begins at `sinceUs` (to the millisecond). False with `error` set when the file is
// missing, no history or unreadable; false with `error` empty when `cancel` was set. The
// progress, in thousandths of the range's time, goes to `permille`.
bool LoadHistory(const QString &path, qint64 sinceUs, qint64 untilUs, qsizetype capacity,
                 LoadedHistory *loaded, QString *error, const std::atomic<bool> *cancel = nullptr,
                 std::atomic<int> *permille = nullptr);

class HistoryJob : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(const std::atomic<bool> &cancel, std::atomic<int> &permille)>;

    // Starts `work` on a thread of its own.
    explicit HistoryJob(Work work, QObject *parent = nullptr);
    // Cancels the work and waits for it to end.
    ~HistoryJob() override;

    void Cancel() { m_cancel = true; }
    bool cancelled() const { return m_cancel; }
    int permille() const { return m_permille; }
    // Waits until the work has ended (finished() still comes through the event loop).
    void Wait();

signals:
    void finished();

private:
    std::atomic<bool> m_cancel = false;
    std::atomic<int> m_permille = 0;
    std::unique_ptr<QThread> m_thread;
};
