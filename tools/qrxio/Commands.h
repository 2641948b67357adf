#pragma once
// The commands of qrxio, in one table that the parser (which options a command takes), the
// help and the dispatch all read. Each command's code is in a unit of its own
// (<Name>Command.cpp); to add one, write its unit and give it a row in Commands.cpp.

#include "Arguments.h"

#include <QString>

#include <span>

class QrxIo;

// One way of calling a command, as the help shows it.
struct CommandForm
{
    const char *operands; // after the name; "" for none, nullptr for a form not used
    const char *help;
};

// Which operands are card numbers, checked for form before anything is loaded.
enum class CardOperands { None, First, All };

// A row of the table; the rows name their fields.
struct Command
{
    const char *name = nullptr;
    CommandForm forms[2] = {};
    qsizetype minOperands = 0;
    qsizetype maxOperands = 0;
    CardOperands cards = CardOperands::None;
    std::span<const OptionSpec> (*options)() = nullptr; // the options of this command alone
    // Checks and reads the operands before the library is bound; nullptr when the count and
    // the cards say all. Answers an exit status.
    int (*check)(QrxIo &tool) = nullptr;
    // Does the command; nullptr for help. Answers an exit status.
    int (*run)(QrxIo &tool) = nullptr;
    bool boards = true; // run needs the device library bound and the boards loaded
    bool readerMayGo = false; // a reader that goes ends it well (exit 0)
};

std::span<const Command> Commands();
std::span<const OptionSpec> OptionsOf(const Command &command);
const Command *FindCommand(const QString &name);
// The options every command takes (Arguments.cpp).
std::span<const OptionSpec> GlobalOptions();
QString HelpText();

// The commands' units.
int RunList(QrxIo &tool);
int RunInfo(QrxIo &tool);
int CheckGet(QrxIo &tool);
int RunGet(QrxIo &tool);
std::span<const OptionSpec> SetOptions();
int CheckSet(QrxIo &tool);
int RunSet(QrxIo &tool);
std::span<const OptionSpec> MonitorOptions();
int CheckMonitor(QrxIo &tool);
int RunMonitor(QrxIo &tool);
int CheckLed(QrxIo &tool);
int RunLed(QrxIo &tool);
std::span<const OptionSpec> FilterOptions();
int RunFilter(QrxIo &tool);
int RunReset(QrxIo &tool);
std::span<const OptionSpec> SaveOptions();
int CheckSave(QrxIo &tool);
int RunSave(QrxIo &tool);
int RunLog(QrxIo &tool);
std::span<const OptionSpec> HistoryOptions(); // History.cpp
int CheckHistory(QrxIo &tool);
int RunHistory(QrxIo &tool);
std::span<const OptionSpec> WatchdogOptions(); // WatchdogCommand.cpp
int CheckWatchdog(QrxIo &tool);
int RunWatchdog(QrxIo &tool);
