#include "diag/ChangeRing.h"

#include <algorithm>

namespace {

constexpr qsizetype kFirstBlock = 4096;

} // namespace

ChangeRing::ChangeRing(qsizetype capacity)
    : m_capacity(std::max<qsizetype>(1, capacity))
{
}

const PointChange &ChangeRing::at(quint64 seq) const
{
    const qsizetype offset = qsizetype(seq - firstSeq());
    return m_buffer[size_t((m_head + offset) % m_capacity)];
}

bool ChangeRing::push(const PointChange &change, PointChange *dropped)
{
    ++m_endSeq;
    if (m_size < m_capacity) {
        // Grow by doubling, but never past the capacity, so a full ring holds no slack.
        if (m_buffer.size() == m_buffer.capacity())
            m_buffer.reserve(size_t(std::min(m_capacity, std::max(kFirstBlock, m_size * 2))));
        m_buffer.push_back(change);
        ++m_size;
        return false;
    }
    PointChange &slot = m_buffer[size_t(m_head)];
    if (dropped)
        *dropped = slot;
    slot = change;
    m_head = (m_head + 1) % m_capacity;
    return true;
}

void ChangeRing::clear()
{
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_size = 0;
    m_head = 0;
}

quint64 ChangeRing::lowerBound(qint64 us) const
{
    quint64 lo = firstSeq();
    quint64 hi = m_endSeq;
    while (lo < hi) {
        const quint64 mid = lo + (hi - lo) / 2;
        if (at(mid).us < us)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}
