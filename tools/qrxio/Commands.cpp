#include "Commands.h"

#include <QStringList>

namespace {

constexpr qsizetype kAny = 65; // a card and up to 64 points

// The help's text after the options.
const char kHelpTail[] =
    R"(CARD is a card number from "qrxio list", not a position. POINT counts from 0; get, set,
monitor and history also take the name the program's Point Names gave it. A monitor or history
operand is a CARD (monitor: its inputs; history: its points), CARD:POINT (an input),
CARD:in:POINT, CARD:out:POINT or CARD[:in|out]:NAME. A history TIME is ISO 8601 UTC
(2026-12-08T03:00:00.5Z), with an offset (+01:00), local without either, or -30s, -10m, -2h, -1d.
VALUE is 0 or 1 (or off and on). A filter time CODE k means 0.001 x 2^k msec, k = 0..15.
Exit status: 0 success, 1 the library, a board or the history database refused or the output
could not be written, 2 a usage error, 3 monitor's --idle-timeout passed before -n changes
were seen.
)";

// "  <left>  <help>", the help in column `column`, or on a line of its own when the left part
// is too long.
QString HelpLine(const QString &left, const char *help, int column)
{
    const QString start = QStringLiteral("  ") + left;
    if (start.size() + 2 > column)
        return start + u'\n' + QString(column, u' ') + QLatin1String(help) + u'\n';
    return start.leftJustified(column) + QLatin1String(help) + u'\n';
}

QString OptionLines(std::span<const OptionSpec> options)
{
    QString text;
    for (const OptionSpec &o : options) {
        if (!o.help)
            continue;
        QString left =
            o.alias ? QStringLiteral("%1, %2").arg(o.alias, o.name) : QString::fromLatin1(o.name);
        if (o.value)
            left += u' ' + QLatin1String(o.value);
        text += HelpLine(left, o.help, 23);
    }
    return text;
}

using C = CardOperands;
const Command kCommands[] = {
    {.name = "list", .forms = {{"", "every board of the card map"}}, .run = RunList},
    {.name = "info",
     .forms = {{"[CARD...]", "every point of the boards: card, in or out, point, value, name"}},
     .maxOperands = kAny,
     .cards = C::All,
     .run = RunInfo},
    {.name = "get",
     .forms = {{"CARD [in|out] [POINT...]",
                "the points' values, or the board's input and output words"}},
     .minOperands = 1,
     .maxOperands = kAny,
     .cards = C::First,
     .check = CheckGet,
     .run = RunGet},
    {.name = "set",
     .forms = {{"CARD POINT|NAME=VALUE...", "switch outputs, then read them back"},
               {"CARD --word HEX [--page 0|1]",
                "write the 32 outputs of a page, then read them back"}},
     .minOperands = 1,
     .maxOperands = kAny,
     .cards = C::First,
     .options = SetOptions,
     .check = CheckSet,
     .run = RunSet},
    {.name = "monitor",
     .forms = {{"[CARD[:in|out][:POINT|NAME]...]",
                "a line for each change of an input, or of the points"}},
     .maxOperands = kAny,
     .options = MonitorOptions,
     .check = CheckMonitor,
     .run = RunMonitor,
     .readerMayGo = true},
    {.name = "led",
     .forms = {{"CARD [on|off]", "show or switch the Run LED"}},
     .minOperands = 1,
     .maxOperands = 2,
     .cards = C::First,
     .check = CheckLed,
     .run = RunLed},
    {.name = "filter",
     .forms = {{"CARD [--enable 0|1] [--time CODE]", "show or set the input filter"}},
     .minOperands = 1,
     .maxOperands = 1,
     .cards = C::First,
     .options = FilterOptions,
     .run = RunFilter},
    {.name = "reset",
     .forms = {{"CARD", "reset a board"}},
     .minOperands = 1,
     .maxOperands = 1,
     .cards = C::First,
     .run = RunReset},
    {.name = "save",
     .forms = {{"CARD|--all", "save the parameters of a board, or of all boards"}},
     .maxOperands = 1,
     .cards = C::First,
     .options = SaveOptions,
     .check = CheckSave,
     .run = RunSave},
    {.name = "log", .forms = {{"", "show the device library's log level and file"}}, .run = RunLog},
    // History reads the agent's database, not the boards: no library is bound for it.
    {.name = "history",
     .forms = {{"[CARD[:in|out][:POINT|NAME]...]",
                "the changes orvane-agent recorded (see qrxio(1))"}},
     .maxOperands = kAny,
     .options = HistoryOptions,
     .check = CheckHistory,
     .run = RunHistory,
     .boards = false},
    {.name = "watchdog",
     .forms = {{"[show|clear]", "orvane-agent's safe-state watchdog: show it, or clear a trip"}},
     .maxOperands = 1,
     .options = WatchdogOptions,
     .check = CheckWatchdog,
     .run = RunWatchdog,
     .boards = false},
    {.name = "help", .forms = {{"", "this text"}}, .maxOperands = kAny},
};

} // namespace

std::span<const Command> Commands()
{
    return kCommands;
}

std::span<const OptionSpec> OptionsOf(const Command &command)
{
    return command.options ? command.options() : std::span<const OptionSpec>();
}

const Command *FindCommand(const QString &name)
{
    for (const Command &command : Commands())
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

QString HelpText()
{
    QString text = QStringLiteral("Usage: qrxio [OPTION...] COMMAND [ARGUMENT...]\n"
                                  "The QRX-L boards through the device access library, from a "
                                  "terminal.\n\nCommands:\n");
    for (const Command &command : Commands()) {
        for (const CommandForm &form : command.forms) {
            if (!form.operands)
                continue;
            const QString left = QLatin1String(command.name) +
                (*form.operands ? u' ' + QLatin1String(form.operands) : QString());
            text += HelpLine(left, form.help, 32);
        }
    }
    text += QStringLiteral("\nOptions:\n") + OptionLines(GlobalOptions());
    for (const Command &command : Commands()) {
        const QString lines = OptionLines(OptionsOf(command));
        if (!lines.isEmpty())
            text += QStringLiteral("\nOptions of %1:\n").arg(command.name) + lines;
    }
    return text + u'\n' + QLatin1String(kHelpTail);
}
