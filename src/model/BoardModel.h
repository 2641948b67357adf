#pragma once
// The board model: the one owner of what the programs know about the boards. It loads the
// device system, reads the card map, the board table (names, counts), the versions and the
// firmware, knows each board's live bits, holds the active card and class and the
// changed-parameter flags, and binds the point names. It alone writes the shared records
// (SystemInfo, BoardTable, card map), which keep the fields, sizes and truncation the program
// defines; everyone else reads them through record() or, better, asks the model. Changes are
// announced with signals. QtCore only: the windows, the change log, qrxio and orvane-agent all
// build on it, and tests build one over the recording fake.

#include "config/PointNames.h"
#include "device/LiveBits.h"
#include "device/SystemInfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

// What the model read of one board of the card map.
struct BoardInfo
{
    int32_t cardNo = 0;
    int32_t type = 0;
    // The point counts as DXS_devGnGetDioNum reported them (not bounded): the one source of
    // point counts for every program (the windows, the Change Log, qrxio, the agent); the card
    // map's counts, which the library may report otherwise, are not used.
    int32_t inputs = 0;
    int32_t outputs = 0;
    int32_t firmware = 0;
    int32_t mapiVersion = 0; // read for this board only by ReadBoard()
    QByteArray name; // the board name; empty for a type the program does not know

    uint64_t liveMask(PointDir dir) const
    {
        return LiveMask(dir, dir == PointDir::In ? inputs : outputs);
    }
    bool isLive(PointDir dir, int point) const
    {
        return IsLive(dir, dir == PointDir::In ? inputs : outputs, point);
    }
};

class BoardModel : public QObject
{
    Q_OBJECT

public:
    explicit BoardModel(QObject *parent = nullptr);
    ~BoardModel() override;

    // The shared records, for reading.
    const SystemInfo &record() const { return *m_records.info(); }
    const CardMap &cardMap() const { return *record().cardMap; }
    const BoardTable &boardTable() const { return *record().boardTable; }

    // -- Loading. Each answers the status of its last library call; the program examines only
    // the load's, the tools every one (failedCall() names the call that failed).
    int32_t LoadSystem(int32_t mode); // DXS_devSysLoad; on success the board table's count
    int32_t ReadCardMap(); // DXS_devGnGetMotDevMap
    void LoadParameters(); // DXS_devConParamLoad of every board below the board count
    // What the board tree shows: the library version of the first card of the map (which
    // becomes the active card), then each board's counts and firmware; the board table takes
    // the names and counts of the boards whose type has a name, and the digital I/O class
    // becomes active when the map holds a board. Emits boardsLoaded().
    void ReadBoards();
    // One board at a map position with every status examined: counts, firmware, version.
    int32_t ReadBoard(int position);
    // DXS_devSysUnload, when a load succeeded and the card map holds a board (or, for a tool
    // that unloads whatever it loaded, `evenWithoutBoards`).
    int32_t Unload(bool evenWithoutBoards = false);
    bool loaded() const { return m_loaded; }
    QString failedCall() const { return m_failedCall; }

    // -- Boards. Positions are card map positions; boardSlots() bounds the map's count to 16.
    int boardSlots() const { return cardMap().boardSlots(); }
    int32_t cardNo(int position) const { return cardMap().cardNo(position); }
    const BoardInfo &board(int position) const;
    // The first position below the board table's count holding the card number, or -1.
    int32_t CardIndexOf(int32_t cardNo) const;
    // The board of a card number, or nullptr.
    const BoardInfo *FindBoard(int32_t cardNo) const;
    int32_t libraryVersion() const { return m_libraryVersion; } // as ReadBoards() read it
    // "<card number> : <board name>" of a position, as the table holds the name.
    QString CardLabelAt(int position) const;

    // -- The active board and class.
    int32_t activeCardNo() const { return record().activeCardNo; }
    int32_t activeCardType() const { return record().activeCardType; }
    bool IsDigitalIoActive() const;
    QString ActiveCardLabel() const;
    void SetActiveCard(int32_t cardNo); // emits activeCardChanged
    void SetActiveCardType(int32_t cardType);

    // -- Changed parameters, per class and card number.
    void MarkParamChanged(int32_t cardNo); // in the active class; out of range changes nothing
    void SetParamChanged(int32_t cardClass, int32_t cardNo, bool changed);
    bool IsParamChanged(int32_t cardClass, int32_t cardNo) const;

    // -- The rest of the record.
    void SetSettingsPath(const QString &path);
    QString settingsPath() const;
    void SetLogSettings(int32_t level, const QByteArray &file);
    // The kind of the window that took the focus; answers whether it is announced for the
    // first time.
    bool SetFocusViewKind(int32_t kind);

    // -- Point names, from the names file beside the settings file.
    void LoadNames(const QString &path);
    PointNames &names() { return m_names; }
    const PointNames &names() const { return m_names; }

signals:
    void boardsLoaded();
    void activeCardChanged(int32_t cardNo);
    void paramChanged(int32_t cardClass, int32_t cardNo, bool changed);

private:
    SystemInfo &info() { return *m_records.info(); }
    int32_t Check(int32_t status, const QString &call);

    SystemRecords m_records;
    std::array<BoardInfo, kMaxBoards> m_boards{};
    int32_t m_libraryVersion = 0;
    bool m_loaded = false;
    QString m_failedCall;
    PointNames m_names;
};
