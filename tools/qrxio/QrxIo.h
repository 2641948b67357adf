#pragma once
// qrxio: the boards from a terminal, through the same device access library as the program.
// One run binds the library, loads the device system, does one command and unloads the
// system again on every path once the load has succeeded.

#include "Arguments.h"
#include "Output.h"
#include "config/PointNames.h"
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"

#include <QString>

#include <cstdint>
#include <vector>

struct FailedCall;

enum ExitStatus : int {
    kExitOk = 0,
    kExitRefused = 1, // the library or a board refused, or the output could not be written
    kExitUsage = 2,
};

class QrxIo
{
public:
    QrxIo(const Arguments &args, const QString &executableDir);

    int Run();

    static QString HelpText();
    // Prints a usage error with the hint to --help; answers kExitUsage.
    static int UsageError(const QString &message);

private:
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

    int CheckOperands();
    int ParseGetPoints(qsizetype first);
    // The device library to bind: ORVANE_DEVICE_LIBRARY, beside us, or the package's folder.
    QString LibraryPath() const;
    int BindLibrary();
    void PrintVersion();
    int LoadSystem(int32_t mode);
    int RunLoaded();

    int List();
    int Get();
    int Set();
    int Watch();
    int Led();
    int Filter();
    int Reset();
    int Save();
    int Log();

    // The board of a card number, with its counts; a usage error when the map has no such card.
    int FindBoard(int32_t cardNo, Board *board);
    int CheckPoints(const Board &board, bool outputs);
    int32_t LoadingMode() const;

    static int Refused(const QString &call, int32_t status);
    static int Refused(const FailedCall &failed);

    Arguments m_args;
    QString m_executableDir;
    Output m_out;
    DeviceLibrary m_library;
    CardMap m_map;
    PointNames m_names; // the program's names of the points, read from its names file

    std::vector<int32_t> m_cards; // the cards named, in order
    int m_direction = -1; // get: -1 both words, 0 inputs, 1 outputs
    std::vector<PointValue> m_points;
    int m_led = -1; // led: -1 show, else the value to set
};
