#pragma once
// qrxio: the boards from a terminal, through the same device access library as the program.
// One run binds the library, loads the device system, does one command and unloads the
// system again on every path once the load has succeeded. This is what the commands share:
// the arguments, the output, the library and the boards, the point names, and the operands
// their check read.

#include "Arguments.h"
#include "Output.h"
#include "Status.h"
#include "config/PointNames.h"
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"

#include <QString>

#include <cstdint>
#include <vector>

struct Command;

class QrxIo
{
public:
    QrxIo(const Arguments &args, const QString &executableDir);

    int Run();

    struct Board
    {
        int32_t cardNo;
        int32_t inputs; // as the library reported them
        int32_t outputs;
    };
    struct PointValue
    {
        int point;
        int value; // -1 for a point to read
    };

    // The board of a card number, with its counts; refused when the library refuses.
    int FindBoard(int32_t cardNo, Board *board);
    // A usage error when a point of `points` is not one of the board's.
    int CheckPoints(const Board &board, bool outputs);
    // Reads the program's point names (from the names file beside its settings file).
    void LoadNames();
    bool simulated() const { return m_library.IsSimulated(); }

    Arguments args;
    Output out;
    CardMap map;
    PointNames names;
    std::vector<int32_t> cards; // the cards named, in order
    int direction = -1; // get: -1 both words, 0 inputs, 1 outputs
    std::vector<PointValue> points;
    int led = -1; // led: -1 show, else the value to set

private:
    int CheckOperands(const Command &command);
    // The device library to bind: ORVANE_DEVICE_LIBRARY, beside us, or the package's folder.
    QString LibraryPath() const;
    int BindLibrary();
    void PrintVersion();
    int LoadSystem(int32_t mode);
    int RunLoaded(const Command &command);
    int32_t LoadingMode() const;

    QString m_executableDir;
    DeviceLibrary m_library;
};
