#pragma once
// How recorded changes are written for other programs: CSV (one line per change) and a Value
// Change Dump (IEEE 1364: one wire per point, timescale 1 us). The Change Log's exports and
// "qrxio history" both write through these, so that both give the same files. QtCore only.

#include "device/LiveBits.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

class QIODevice;

// Collects text and hands it to the device in large pieces; the first failed write is kept.
class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice *out)
        : m_out(out)
    {
    }
    ChunkWriter &operator<<(const QByteArray &text);
    ChunkWriter &operator<<(const QString &text) { return *this << text.toUtf8(); }
    ChunkWriter &operator<<(const char *text) { return *this << QByteArray(text); }
    ChunkWriter &operator<<(char c) { return *this << QByteArray(1, c); }
    // Writes what is held; false when any write failed.
    bool flush();

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    QIODevice *m_out;
    QByteArray m_buffer;
    bool m_ok = true;
};

// "2024-05-01T12:00:00.123456Z": the wall-clock time of a recording time, in UTC.
QString UtcText(const QDateTime &startUtc, qint64 us);
// "12.345678": seconds since the recording began.
QString ElapsedText(qint64 us);
// A field quoted for CSV when it holds a comma, a quote or a line end; one that begins with
// "=", "+", "-" or "@" gets a leading "'" so that a spreadsheet reads it as text.
QString CsvField(const QString &text);
// The CSV header line, without its line end.
QString CsvHeader();
// One CSV line of a change at `us` since the recording began at `startUtc`, with its line end.
QString CsvLine(const QDateTime &startUtc, qint64 us, int32_t card, PointDir dir, int point,
                const QString &name, int value);

// A point as a VCD wire is named after it.
struct VcdPoint
{
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    QString name; // the point name, or empty
};
// The reference of each point: its name with every character other than a letter, digit or
// underscore replaced by "_" (and "_" put before a leading digit), or "card1_in5" without a
// name; a repeated reference gets "_2", "_3", ... appended. Named points choose first.
QStringList VcdReferences(const std::vector<VcdPoint> &points);
// The short identifier code of the n-th wire: printable characters "!" to "~", base 94.
QByteArray VcdCode(int n);

// Writes a VCD: the header and the wires, the levels at the start, then the changes in time
// order, then a closing time.
class VcdWriter
{
public:
    explicit VcdWriter(QIODevice *out)
        : m_w(out)
    {
    }
    // `references` name the wires in order; `levels` hold each wire's level at `startUs`: 0, 1,
    // or -1 while unknown. Times are microseconds since `startUtc`.
    void Begin(const QDateTime &startUtc, const QStringList &references,
               const std::vector<int> &levels, qint64 startUs);
    void Change(qint64 us, int wire, bool value);
    // The closing time: `lastUs`, and at least one after the last change, so that a reader
    // shows that change too. False when a write failed.
    bool End(qint64 lastUs);

private:
    void At(qint64 us);

    ChunkWriter m_w;
    std::vector<QByteArray> m_codes;
    qint64 m_shown = 0;
};
