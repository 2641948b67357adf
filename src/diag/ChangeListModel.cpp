#include "diag/ChangeListModel.h"

#include <QRegularExpression>

bool ChangeFilter::Matches(const RecordedPoint &p, const QString &name) const
{
    if (card >= 0 && p.card != card)
        return false;
    const QString text = point.trimmed();
    if (text.isEmpty())
        return true;
    static const QRegularExpression directed(QStringLiteral("^(in|out)\\s*(\\d{1,9})$"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression number(QStringLiteral("^\\d{1,9}$"));
    if (const QRegularExpressionMatch m = directed.match(text); m.hasMatch())
        return DirText(p.dir) == m.captured(1).toLower() && p.point == m.captured(2).toInt();
    if (number.match(text).hasMatch())
        return p.point == text.toInt();
    return name.contains(text, Qt::CaseInsensitive) ||
        PointKey(p.card, p.dir, p.point).contains(text, Qt::CaseInsensitive);
}

ChangeListModel::ChangeListModel(const ChangeRecorder *recorder, const PointNames *names,
                                 QObject *parent)
    : QAbstractTableModel(parent)
    , m_names(names)
    , m_recorder(recorder)
{
    Reset();
}

QString ChangeListModel::NameOf(int32_t card, PointDir dir, int point) const
{
    return m_names ? m_names->Name(card, dir, point) : QString();
}

int ChangeListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_filter.isEmpty() ? int(m_end - m_first) : int(m_rows.size());
}

int ChangeListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

quint64 ChangeListModel::SeqOfRow(int row) const
{
    return m_filter.isEmpty() ? m_first + quint64(row) : m_rows[size_t(row)];
}

QString ChangeListModel::TimeText(const QDateTime &utc)
{
    return utc.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

QVariant ChangeListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == Name ? QVariant() : QVariant(int(Qt::AlignCenter));
    const PointChange &c = m_recorder->ring().at(SeqOfRow(index.row()));
    const RecordedPoint &p = m_recorder->points()[c.point];
    switch (index.column()) {
    case Time:
        return TimeText(m_recorder->WallTime(c.us));
    case Card:
        return p.card;
    case Direction:
        return DirText(p.dir);
    case Point:
        return p.point;
    case Name:
        return NameOf(p.card, p.dir, p.point);
    case Value:
        return c.value != 0 ? QStringLiteral("on") : QStringLiteral("off");
    default:
        return {};
    }
}

QVariant ChangeListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[ColumnCount] = {"Time",  "Card", "I/O",
                                                    "Point", "Name", "Value"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}

bool ChangeListModel::Shows(uint32_t point) const
{
    return point < m_matches.size() && m_matches[point];
}

void ChangeListModel::UpdateMatches()
{
    const std::vector<RecordedPoint> &points = m_recorder->points();
    m_matches.resize(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const RecordedPoint &p = points[i];
        m_matches[i] = m_filter.Matches(p, NameOf(p.card, p.dir, p.point)) ? 1 : 0;
    }
}

void ChangeListModel::SetRecorder(const ChangeRecorder *recorder)
{
    m_recorder = recorder;
    Reset();
}

void ChangeListModel::SetFilter(const ChangeFilter &filter)
{
    m_filter = filter;
    Reset();
}

void ChangeListModel::Reset()
{
    beginResetModel();
    UpdateMatches();
    const ChangeRing &ring = m_recorder->ring();
    m_first = ring.firstSeq();
    m_end = ring.endSeq();
    m_rows.clear();
    m_newestShownUs = -1;
    if (!m_filter.isEmpty()) {
        for (quint64 seq = m_first; seq < m_end; ++seq)
            if (m_matches[ring.at(seq).point])
                m_rows.push_back(seq);
    }
    if (rowCount() > 0)
        m_newestShownUs = ring.at(SeqOfRow(rowCount() - 1)).us;
    endResetModel();
}

void ChangeListModel::Sync()
{
    const ChangeRing &ring = m_recorder->ring();
    const quint64 first = ring.firstSeq();
    const quint64 end = ring.endSeq();
    if (first < m_first || first > m_end || end < m_end) {
        Reset(); // cleared, or every shown change dropped
        return;
    }
    if (m_matches.size() < m_recorder->points().size())
        UpdateMatches();
    std::vector<quint64> added; // with a filter: the new rows' sequence numbers
    int gone = 0; // rows of changes the ring no longer holds
    if (m_filter.isEmpty()) {
        gone = int(first - m_first);
    } else {
        for (quint64 seq = m_end; seq < end; ++seq)
            if (m_matches[ring.at(seq).point])
                added.push_back(seq);
        while (size_t(gone) < m_rows.size() && m_rows[size_t(gone)] < first)
            ++gone;
    }
    const int came = m_filter.isEmpty() ? int(end - m_end) : int(added.size());
    const int before = rowCount();
    Resize(before, before - gone + came, [&] {
        m_first = first;
        m_end = end;
        if (!m_filter.isEmpty()) {
            m_rows.erase(m_rows.begin(), m_rows.begin() + gone);
            m_rows.insert(m_rows.end(), added.begin(), added.end());
        }
    });
    // Rows removed at the top would have the view move every row it keeps (a million once the
    // cap is reached) on every poll; instead the rows keep their places, show the changes that
    // moved up into them, and only the difference comes or goes at the bottom.
    const int kept = std::min(before, rowCount());
    if (gone > 0 && kept > 0)
        emit dataChanged(index(0, 0), index(kept - 1, ColumnCount - 1));
    if (came > 0)
        m_newestShownUs = ring.at(SeqOfRow(rowCount() - 1)).us;
}

void ChangeListModel::Resize(int before, int after, const std::function<void()> &change)
{
    if (after > before)
        beginInsertRows({}, before, after - 1);
    else if (after < before)
        beginRemoveRows({}, after, before - 1);
    change();
    if (after > before)
        endInsertRows();
    else if (after < before)
        endRemoveRows();
}
