#include "Commands.h"

#include <QStringList>

namespace {

constexpr qsizetype kAny = 65; // a card and up to 64 points

// The help's text after the options.
const char kHelpTail[] =
    R"(CARD is a card number from "qrxio list", not a position. POINT counts from 0; get, set and
monitor also take the name the program's Point Names gave it. A monitor operand is a CARD (its
inputs), CARD:POINT (an input), CARD:in:POINT, CARD:out:POINT or CARD[:in|out]:NAME.
VALUE is 0 or 1 (or off and on). A filter time CODE k means 0.001 x 2^k msec, k = 0..15.
Exit status: 0 success, 1 the library or a board refused, 2 a usage error, 3 monitor's
--idle-timeout passed before -n changes were seen.
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
    {"list", {{"", "every board of the card map"}}, 0, 0, C::None, nullptr, nullptr, RunList},
    {"info",
     {{"[CARD...]", "every point of the boards: card, in or out, point, value, name"}},
     0,
     kAny,
     C::All,
     nullptr,
     nullptr,
     RunInfo},
    {"get",
     {{"CARD [in|out] [POINT...]", "the points' values, or the board's input and output words"}},
     1,
     kAny,
     C::First,
     {},
     CheckGet,
     RunGet},
    {"set",
     {{"CARD POINT|NAME=VALUE...", "switch outputs, then read them back"},
      {"CARD --word HEX [--page 0|1]", "write the 32 outputs of a page, then read them back"}},
     1,
     kAny,
     C::First,
     SetOptions,
     CheckSet,
     RunSet},
    {"monitor",
     {{"[CARD[:in|out][:POINT|NAME]...]", "a line for each change of an input, or of the points"}},
     0,
     kAny,
     C::None,
     MonitorOptions,
     CheckMonitor,
     RunMonitor,
     true},
    {"led",
     {{"CARD [on|off]", "show or switch the Run LED"}},
     1,
     2,
     C::First,
     {},
     CheckLed,
     RunLed},
    {"filter",
     {{"CARD [--enable 0|1] [--time CODE]", "show or set the input filter"}},
     1,
     1,
     C::First,
     FilterOptions,
     nullptr,
     RunFilter},
    {"reset", {{"CARD", "reset a board"}}, 1, 1, C::First, nullptr, nullptr, RunReset},
    {"save",
     {{"CARD|--all", "save the parameters of a board, or of all boards"}},
     0,
     1,
     C::First,
     SaveOptions,
     CheckSave,
     RunSave},
    {"log",
     {{"", "show the device library's log level and file"}},
     0,
     0,
     C::None,
     {},
     nullptr,
     RunLog},
    // History reads the database, not the boards: main() hands it to RunHistory (History.h)
    // before the options are parsed; its row is here for the help.
    {"history",
     {{"[--db PATH] [--since TIME] [--until TIME] [--csv|--vcd|--json] "
       "[CARD[:in|out][:POINT|NAME]...]",
       "the changes orvane-agent recorded (see qrxio(1))"}},
     0,
     kAny,
     C::None,
     nullptr,
     nullptr,
     nullptr},
    {"watchdog",
     {{"[show|clear] [--socket PATH] [--json]",
       "orvane-agent's safe-state watchdog: show it, or clear a trip"}},
     0,
     kAny,
     C::None,
     nullptr,
     nullptr,
     nullptr},
    {"help", {{"", "this text"}}, 0, kAny, C::None, nullptr, nullptr, nullptr},
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
