#pragma once
// The change log's list: one row per recorded change that passes the filter, oldest first,
// read straight from the recorder's ring. Sync() follows the ring after each poll: the rows
// keep their places and show the changes that moved into them when old ones were dropped, and
// the rows that came or went in number do so at the bottom. QtCore only.

#include "diag/ChangeRecorder.h"

#include <QAbstractTableModel>

#include <deque>
#include <functional>

// Which changes the log shows: one card (or all), and a point given as "in5", "out12", a
// number (either direction) or part of a name or of a key like "card1_in5".
struct ChangeFilter
{
    int32_t card = -1; // -1: every card
    QString point;

    bool isEmpty() const { return card < 0 && point.trimmed().isEmpty(); }
    bool Matches(const RecordedPoint &p, const QString &name) const;
};

class ChangeListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Card, Direction, Point, Name, Value, ColumnCount };

    // Names are taken from `names` when given.
    explicit ChangeListModel(const ChangeRecorder *recorder, const PointNames *names = nullptr,
                             QObject *parent = nullptr);

    // The name of a point, or empty.
    QString NameOf(int32_t card, PointDir dir, int point) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The recording shown (the live one or one read from a history); every row anew.
    void SetRecorder(const ChangeRecorder *recorder);
    const ChangeRecorder *recorder() const { return m_recorder; }

    // Takes in what the recorder holds since the last sync.
    void Sync();
    // Rebuilds every row: after a new filter, new names or a cleared recording.
    void Reset();

    void SetFilter(const ChangeFilter &filter);
    const ChangeFilter &filter() const { return m_filter; }
    // Whether the filter lets a point's changes through.
    bool Shows(uint32_t point) const;

    // The sequence number of a row's change.
    quint64 SeqOfRow(int row) const;
    // The time of the newest change shown, or -1.
    qint64 newestShownUs() const { return m_newestShownUs; }

    // The local wall-clock time of a row: "14:03:12.345".
    static QString TimeText(const QDateTime &utc);

private:
    const PointNames *m_names;
    void UpdateMatches();
    // Announces the row count going from `before` to `after` around `change`.
    void Resize(int before, int after, const std::function<void()> &change);

    const ChangeRecorder *m_recorder;
    ChangeFilter m_filter;
    std::vector<char> m_matches; // per point index: whether the filter lets it through
    // Rows: with no filter, the ring's sequence numbers [m_first, m_end); with a filter, the
    // numbers in m_rows.
    quint64 m_first = 0;
    quint64 m_end = 0;
    std::deque<quint64> m_rows;
    qint64 m_newestShownUs = -1;
};
