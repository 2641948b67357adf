#pragma once
// What the change log hands on: the recording as CSV and as a Value Change Dump, written by
// history/ChangeFormat.h as "qrxio history" writes them, and the text of a board snapshot for
// the clipboard. QtCore only.

#include "config/AtomicFile.h"
#include "diag/ChangeRecorder.h"
#include "history/ChangeFormat.h"

#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// The name shown for a point (empty when it has none).
using PointNameLookup = std::function<QString(const RecordedPoint &)>;

// Which of the recording's points an export holds (every point read at least once, by default).
struct ExportChoice
{
    std::function<bool(uint32_t)> includes; // by index into the recorder's points; empty: all
    bool changedOnly = false; // leaves out the points that never changed
};

// Writes the recording as CSV or VCD (history/ChangeFormat.h): the chosen points with their
// levels at the start, then their changes; false when the device refused a write.
bool WriteChanges(QIODevice *out, ChangeFileFormat format, const ChangeRecorder &recorder,
                  const PointNameLookup &names, const ExportChoice &choice = {});
bool WriteCsv(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names,
              const ExportChoice &choice = {});
bool WriteVcd(QIODevice *out, const ChangeRecorder &recorder, const PointNameLookup &names,
              const ExportChoice &choice = {});
// The VCD reference of each of the recorder's points (empty for a point never read).
QStringList VcdReferences(const ChangeRecorder &recorder, const PointNameLookup &names);

// A board as "Copy Snapshot" puts it on the clipboard.
struct BoardSnapshot
{
    int32_t card = 0;
    QString label; // the card label, "0 : QRX-LM32DIO"
    int32_t inputs = 0;
    int32_t outputs = 0;
    uint64_t inWord = 0;
    uint64_t outWord = 0;
    uint64_t inRefused = 0; // points whose read was refused: their bits in the word are 0
    uint64_t outRefused = 0;
    int32_t filterEnable = 0;
    int32_t filterTime = 0; // code k: 0.001 * 2^k msec
    int32_t runLed = 0;
    bool filterRead = true; // false: a filter read was refused
    bool runLedRead = true;
};

// Reads a board's live words, input filter settings and Run LED through the device table.
// A refused read is never shown as a value: the text marks it (see SnapshotText).
BoardSnapshot ReadSnapshot(int32_t card, const QString &label, int32_t inputs, int32_t outputs);
// The snapshot as text, one board after the other, taken at `when` (local time). A word that
// holds refused points shows "?" for each hexadecimal digit holding one and names them,
// "DI_0: 0x0000?0A5 (not read: 12, 13)"; a refused filter or Run LED read is "not read".
QString SnapshotText(const QList<BoardSnapshot> &boards, const QDateTime &when);
// "0.001" ... "32.768": the filter time of a code, in milliseconds.
QString FilterTimeText(int32_t code);
