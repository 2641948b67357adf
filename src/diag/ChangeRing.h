#pragma once
// The recorded changes of the change log, oldest first, in a ring of bounded size: when it is
// full, each new change drops the oldest one. Every change has a sequence number that stays
// its own while it is kept, so a view can tell which changes left and which came. QtCore only.

#include <QtGlobal>

#include <cstdint>
#include <vector>

// One change of one point: when (microseconds since the recording began), which point (an
// index into the recorder's points) and its new value.
struct PointChange
{
    qint64 us = 0;
    uint32_t point = 0;
    uint32_t value = 0;
};

class ChangeRing
{
public:
    explicit ChangeRing(qsizetype capacity);

    qsizetype capacity() const { return m_capacity; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    // Sequence numbers: [firstSeq, endSeq) are kept.
    quint64 firstSeq() const { return m_endSeq - quint64(m_size); }
    quint64 endSeq() const { return m_endSeq; }
    // The change of a kept sequence number.
    const PointChange &at(quint64 seq) const;

    // Appends a change; when the ring is full the oldest goes and is copied to `dropped`.
    // True when one was dropped.
    bool push(const PointChange &change, PointChange *dropped);
    // Forgets every change; numbering goes on where it was.
    void clear();

    // The first kept sequence number whose change is at `us` or later (endSeq if none).
    quint64 lowerBound(qint64 us) const;

    // Bytes the ring holds on the heap.
    size_t memoryBytes() const { return m_buffer.capacity() * sizeof(PointChange); }

private:
    std::vector<PointChange> m_buffer; // grows up to the capacity, then wraps
    qsizetype m_capacity;
    qsizetype m_size = 0;
    qsizetype m_head = 0; // index of the oldest change once the buffer wraps
    quint64 m_endSeq = 0;
};
