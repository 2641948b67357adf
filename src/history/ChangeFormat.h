#pragma once
// How changes are written for people and other programs, each form in one place: the time of a
// change (UTC with microseconds), its line and its JSON object, which "qrxio monitor", "qrxio
// history" and the plant link's events share; and the files, CSV (one line per start level and
// per change) and a Value Change Dump (IEEE 1364: one wire per point, one scope per card), which
// the Change Log's exports and "qrxio history" both write through ChangeFileWriter. QtCore only.

#include "device/LiveBits.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QIODevice;

// One change of a point: when (microseconds since 1970, UTC), where, its new value and the
// point's name (or empty).
struct ChangeEvent
{
    int64_t timeUs = 0;
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    bool value = false;
    QString name;
};

// "2026-12-08T03:12:00.123456Z"; with `local`, the local time with its offset
// ("2026-12-08T04:12:00.123456+01:00").
QByteArray ChangeTime(int64_t us, bool local = false);
// "2026-12-08T03:12:00.123456Z 5 in 3 1 Door sensor": time, card, direction, point, value, and
// the name (when there is one) last, after the fields a script reads by position.
QString ChangeLine(const ChangeEvent &change, bool local = false);
// {"time": "2026-12-08T03:12:00.123456Z", "card": 5, "dir": "in", "point": 3, "value": 1,
//  "name": "Door sensor"}, the name only when there is one.
QByteArray ChangeJson(const ChangeEvent &change, bool local = false);

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
    // False once a write failed: what follows is dropped.
    bool ok() const { return m_ok; }

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
// The CSV header line, without its line end. The last column, "event", is "start" for a
// point's level at the start (or when it was first read) and "change" for a change.
QString CsvHeader();

// A point of an export: where it is, its name (or empty) and its level at the start of the
// export (0, 1, or -1 while unknown).
struct ExportPoint
{
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    QString name;
    int startValue = -1;
};

// The VCD tick, in microseconds, for a recording polled every `pollIntervalUs`: the largest
// power of ten not above half the interval (1 us to 1 s). A poll's time is only known to the
// interval, so a finer tick adds nothing but samples to a viewer that builds them (sigrok),
// and at half the interval two successive polls never fall into one tick.
qint64 VcdTickUs(qint64 pollIntervalUs);
// The reference of a point's wire: "c5_in3", and after it the name with accents dropped and
// every run of characters other than ASCII letters and digits as one "_" ("c5_in3_Turkontakt"
// for "Türkontakt ✓"). Card and point keep the references of different points apart.
QString VcdReference(const ExportPoint &point);
QStringList VcdReferences(const std::vector<ExportPoint> &points);
// The short identifier code of the n-th wire: printable characters "!" to "~", base 94.
QByteArray VcdCode(int n);

enum class ChangeFileFormat { Csv, Vcd };

// Writes an export as CSV or VCD: the points with their levels at the start, then the changes
// in time order, then a closing time. CSV: one line per start level and per change, UTF-8.
// VCD: one scope per card, a comment mapping each wire to its card, direction, point and full
// name, the tick of VcdTickUs(). Times are microseconds since `startUtc`.
class ChangeFileWriter
{
public:
    ChangeFileWriter(QIODevice *out, ChangeFileFormat format, qint64 pollIntervalUs);

    void Begin(const QDateTime &startUtc, const std::vector<ExportPoint> &points, qint64 startUs);
    // The level of a point first read after the start (its start value until then unknown).
    void Start(qint64 us, int wire, bool value);
    void Change(qint64 us, int wire, bool value);
    // The closing time: `lastUs`, and at least one tick after the last change, so that a
    // reader shows that change too. False when a write failed.
    bool End(qint64 lastUs);
    // False once a write failed.
    bool ok() const { return m_w.ok(); }

private:
    void CsvRow(qint64 us, int wire, int value, const char *event);
    void VcdHeader(const QDateTime &startUtc);
    void VcdAt(qint64 tick);
    void VcdValue(qint64 us, int wire, char value);

    ChunkWriter m_w;
    ChangeFileFormat m_format;
    qint64 m_tickUs;
    QDateTime m_startUtc;
    std::vector<ExportPoint> m_points;
    std::vector<QByteArray> m_codes;
    std::vector<qint64> m_lastTick; // per wire: the tick of its last value
    qint64 m_shown = 0; // the current VCD time, in ticks
};
