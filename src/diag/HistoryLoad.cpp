#include "diag/HistoryLoad.h"

#include "device/CardMap.h"
#include "history/HistoryReader.h"

#include <QDateTime>
#include <QThread>

#include <algorithm>

namespace {

// The history's points in the recording, by the history's point index; -1 for a point no
// board can have.
std::vector<int64_t> ReplayPoints(ChangeRecorder &recording,
                                  const std::vector<HistoryPoint> &points)
{
    std::vector<int64_t> indexOf;
    for (const HistoryPoint &p : points)
        indexOf.push_back(p.point >= 0 && p.point < kMaxPoints
                              ? int64_t(recording.ReplayPoint(p.card, p.dir, p.point, p.startValue))
                              : -1);
    return indexOf;
}

} // namespace

qint64 FloorMs(qint64 us)
{
    return us >= 0 ? us / 1000 : (us - 999) / 1000;
}

bool LoadHistory(const QString &path, qint64 sinceUs, qint64 untilUs, qsizetype capacity,
                 LoadedHistory *loaded, QString *error, const std::atomic<bool> *cancel,
                 std::atomic<int> *permille)
{
    const qint64 originMs = FloorMs(sinceUs);
    auto recording = std::make_unique<ChangeRecorder>(capacity);
    recording->Replay(QDateTime::fromMSecsSinceEpoch(originMs, Qt::UTC));
    std::vector<HistoryPoint> points;
    std::vector<int64_t> indexOf;
    bool full = false;
    const double span = double(std::max<qint64>(1, untilUs - sinceUs));
    const auto each = [&](const HistoryRecord &r) {
        if (cancel && *cancel)
            return false;
        if (indexOf.empty())
            indexOf = ReplayPoints(*recording, points);
        if (permille)
            *permille = int(std::clamp(double(r.timeUs - sinceUs) * 1000 / span, 0.0, 1000.0));
        const int64_t index = indexOf[r.point];
        full = index >= 0 &&
            !recording->ReplayValue(uint32_t(index), r.value, r.timeUs - originMs * 1000);
        return !full;
    };
    HistoryReader reader;
    QString why;
    if (!reader.Open(path, &why) || !reader.Read(sinceUs, untilUs, &points, each, &why) ||
        (cancel && *cancel)) {
        if (error)
            *error = why;
        return false;
    }
    if (indexOf.empty())
        ReplayPoints(*recording, points);
    recording->SetPollIntervalUs(reader.PollIntervalUs(sinceUs, untilUs));
    const qint64 nowUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    if (!full)
        recording->ReplayEnd(std::min(untilUs, nowUs) - originMs * 1000);
    if (permille)
        *permille = 1000;
    loaded->recording = std::move(recording);
    loaded->full = full;
    return true;
}

HistoryJob::HistoryJob(Work work, QObject *parent)
    : QObject(parent)
{
    m_thread.reset(QThread::create([this, work = std::move(work)] { work(m_cancel, m_permille); }));
    connect(m_thread.get(), &QThread::finished, this, &HistoryJob::finished);
    m_thread->start();
}

HistoryJob::~HistoryJob()
{
    Cancel();
    m_thread->wait();
}

void HistoryJob::Wait()
{
    m_thread->wait();
}
