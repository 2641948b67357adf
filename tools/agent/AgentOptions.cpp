#include "Agent.h"

#include <QStringList>

bool AgentOptions::Parse(const QStringList &words, AgentOptions *options, QString *error)
{
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString word = words[i], value;
        const qsizetype equals = word.startsWith("--") ? word.indexOf(u'=') : -1;
        if (equals > 0) {
            value = word.mid(equals + 1);
            word = word.left(equals);
        }
        const bool takesValue = word == "--config" || word == "--database" || word == "--interval";
        if (takesValue && equals < 0) {
            if (i + 1 >= words.size()) {
                *error = QStringLiteral("%1 needs a value").arg(word);
                return false;
            }
            value = words[++i];
        } else if (!takesValue && equals > 0) {
            *error = QStringLiteral("%1 takes no value").arg(word);
            return false;
        }
        if (word == "--help" || word == "-h") {
            options->help = true;
        } else if (word == "--version") {
            options->version = true;
        } else if (takesValue && value.isEmpty()) {
            *error = QStringLiteral("%1 needs a value").arg(word);
            return false;
        } else if (word == "--config") {
            options->config = value;
        } else if (word == "--database") {
            options->database = value;
        } else if (word == "--interval") {
            bool ok = false;
            const int ms = value.toInt(&ok);
            if (!ok || ms < 1 || ms > 3'600'000 || value.startsWith(u'+')) {
                *error = QStringLiteral("--interval takes a number from 1 to 3600000, not \"%1\"")
                             .arg(value);
                return false;
            }
            options->intervalMs = ms;
        } else {
            *error = word.startsWith(u'-') ? QStringLiteral("unknown option \"%1\"").arg(word)
                                           : QStringLiteral("unexpected argument \"%1\"").arg(word);
            return false;
        }
    }
    return true;
}

QString AgentOptions::HelpText()
{
    return QStringLiteral(R"(Usage: orvane-agent [--config FILE] [--database PATH] [--interval MS]
Records every change of the live inputs and outputs of the QRX-L boards in a history database,
in the foreground, until SIGTERM or SIGINT. SIGHUP reads the config file again. With an [Mqtt]
section in the config file it also publishes the boards to an MQTT broker (the plant link).

Options:
  --config FILE     the config file (INI, see orvane-agent(1)); without it, the defaults
  --database PATH   the history database (default: $XDG_STATE_HOME/orvane/history.db)
  --interval MS     read the points every MS milliseconds (default 10)
  -h, --help        this text
  --version         the version, and the device library the agent would use

Read the history with "qrxio history".
Exit status: 0 stopped by a signal, 1 the library, a file or the database refused, 2 a usage
or config error.
)");
}
