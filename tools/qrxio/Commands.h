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

struct Command
{
    const char *name;
    CommandForm forms[2];
    qsizetype minOperands;
    qsizetype maxOperands;
    CardOperands cards;
    std::span<const OptionSpec> (*options)(); // the options of this command alone, or nullptr
    // Checks and reads the operands before the library is bound; nullptr when the count and
    // the cards say all. Answers an exit status.
    int (*check)(QrxIo &tool);
    // Does the command on the loaded system; nullptr for help, which needs no library.
    int (*run)(QrxIo &tool);
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
// qrxio watchdog talks to the agent, not the boards: main() hands it over before the options
// are parsed (WatchdogCommand.cpp).
bool IsWatchdogCommand(const QStringList &words);
int RunWatchdog(const QStringList &words);
