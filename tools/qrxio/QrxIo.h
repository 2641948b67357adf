#pragma once
// qrxio: the boards from a terminal, through the same device access library as the program.
// One run binds the library, loads the device system, does one command and unloads the
// system again on every path once the load has succeeded. This is what the commands share:
// the arguments, the output, the library and the boards, the point names, and the operands
// their check read.

#include "Arguments.h"
#include "Output.h"
#include "PointOperand.h"
#include "Status.h"
#include "device/DeviceLibrary.h"
#include "model/BoardModel.h"

#include <QString>

#include <cstdint>
#include <vector>

struct Command;

// The live points of a mask as the messages name them: "0..7, 16..31", or "it has none".
QString LivePointsText(uint64_t mask);

class QrxIo
{
public:
    QrxIo(const Arguments &args, const QString &executableDir);

    int Run();

    struct PointValue
    {
        int point;
        int value; // -1 for a point to read
    };

    // Reads the board of a card number (the first of the map holding it) through the model;
    // refused when the library refuses a call.
    int ReadBoard(int32_t cardNo, const BoardInfo **board);
    // The cards named, else every card of the map once (a card number the map holds twice
    // addresses its first board only).
    std::vector<int32_t> CardsOrAll() const;
    // A usage error when a point of `points` is not a live point of the board.
    int CheckPoints(const BoardInfo &board, PointDir dir) const;
    static int CheckPoint(const BoardInfo &board, PointDir dir, int point);
    // Reads the program's point names (from the names file beside its settings file).
    void LoadNames();
    bool simulated() const { return m_library.IsSimulated(); }

    // Off in a test that has put a device table of its own in place (the recording fake).
    bool bindLibrary = true;
    Arguments args;
    Output out;
    BoardModel model; // the boards, the live bits and the point names
    std::vector<int32_t> cards; // the cards named, in order
    int direction = -1; // get: -1 both words, 0 inputs, 1 outputs
    std::vector<PointValue> points;
    int led = -1; // led: -1 show, else the value to set
    std::vector<PointOperand> chosen; // monitor: the cards and points named, in order

private:
    int CheckOperands(const Command &command);
    int BindLibrary();
    // The device library: the search order of Settings::DeviceLibraryPath, with the
    // DeviceLibrary key of the program's settings file.
    QString LibraryPath() const;
    void PrintVersion();
    int LoadSystem(int32_t mode);
    int RunLoaded(const Command &command);
    int CheckCards() const;
    int32_t LoadingMode() const;

    QString m_executableDir;
    DeviceLibrary m_library;
};
