#pragma once
// What the change log hands on: the recording as CSV (one line per change) and as a Value
// Change Dump (IEEE 1364: one wire per point, timescale 1 us), and the text of a board snapshot for
// the clipboard. QtCore only.

#include "config/AtomicFile.h"
#include "diag/ChangeRecorder.h"

#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// The name shown for a point (empty when it has none).
using PointNameLookup = std::function<QString(const RecordedPoint &)>;

// "2024-05-01T12:00:00.123456Z": the wall-clock time of a recording time, in UTC.
QString UtcText(const QDateTime &startUtc, qint64 us);
// "12.345678": seconds since the recording began.
QString ElapsedText(qint64 us);
// A field quoted for CSV when it holds a comma, a quote or a line end; one that begins with
// "=", "+", "-" or "@" gets a leading "'" so that a spreadsheet reads it as text.
QString CsvField(const QString &text);

// The CSV header line, without its line end.
QString CsvHeader();
// Writes the whole recording as CSV; false when the device refused a write.
bool WriteCsv(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names);

// The VCD reference of each of the recorder's points: its name with every character other
// than a letter, digit or underscore replaced by "_" (and "_" put before a leading digit), or
// "card1_in5" without a name; a repeated reference gets "_2", "_3", ... appended.
QStringList VcdReferences(const ChangeRecorder &recorder, const PointNameLookup &names);
// The short identifier code of the n-th wire: printable characters "!" to "~", base 94.
QByteArray VcdCode(int n);
// Writes the whole recording as a VCD; false when the device refused a write.
bool WriteVcd(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names);

// A board as "Copy Snapshot" puts it on the clipboard.
struct BoardSnapshot
{
    int32_t card = 0;
    QString label; // the card label, "0 : QRX-LM32DIO"
    int32_t inputs = 0;
    int32_t outputs = 0;
    uint64_t inWord = 0;
    uint64_t outWord = 0;
    int32_t filterEnable = 0;
    int32_t filterTime = 0; // code k: 0.001 * 2^k msec
    int32_t runLed = 0;
};

// Reads a board's live words, input filter settings and Run LED through the device table.
BoardSnapshot ReadSnapshot(int32_t card, const QString &label, int32_t inputs, int32_t outputs);
// The snapshot as text, one board after the other, taken at `when` (local time).
QString SnapshotText(const QList<BoardSnapshot> &boards, const QDateTime &when);
// "0.001" ... "32.768": the filter time of a code, in milliseconds.
QString FilterTimeText(int32_t code);
