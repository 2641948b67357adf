#include "Arguments.h"

#include "Commands.h"

#include <QList>

#include <span>

namespace {

bool SetMode(const QString &value, Arguments *args, QString *error)
{
    if (value != "auto" && value != "manual") {
        *error = QStringLiteral("--mode is auto or manual, not %1").arg(Quoted(value));
        return false;
    }
    args->mode = value == "auto" ? 0 : 1;
    return true;
}

bool SetLogFile(const QString &value, Arguments *args, QString *error)
{
    if (value.isEmpty()) {
        *error = QStringLiteral("--log-file needs a path");
        return false;
    }
    args->logFile = value;
    return true;
}

// The options of every command.
const OptionSpec kGlobalOptions[] = {
    {"--json", nullptr, nullptr, "print each result as one JSON object on a line of its own",
     [](const QString &, Arguments *a, QString *) {
         return a->json = true;
     }},
    {"--mode", nullptr, "auto|manual",
     "the loading mode (default: the one in the program's settings file)", SetMode},
    {"--log-level", nullptr, "0..5", "the device library's log level for this run",
     [](const QString &v, Arguments *a, QString *e) {
         return (a->logLevel = OptionNumber("--log-level", v, 0, 5, e)).has_value();
     }},
    {"--log-file", nullptr, "PATH", "the device library's log file for this run", SetLogFile},
    {"--help", "-h", nullptr, "this text",
     [](const QString &, Arguments *a, QString *) {
         return a->help = true;
     }},
    {"--version", "-v", nullptr, "the version, and the device library a command would use",
     [](const QString &, Arguments *a, QString *) {
         return a->version = true;
     }},
};

struct FoundOption
{
    const OptionSpec *entry = nullptr;
    const Command *owner = nullptr; // nullptr for an option of every command
};

FoundOption FindOption(const QString &name)
{
    auto matches = [&name](const OptionSpec &o) {
        return name == QLatin1String(o.name) || (o.alias && name == QLatin1String(o.alias));
    };
    for (const OptionSpec &option : kGlobalOptions)
        if (matches(option))
            return {&option, nullptr};
    for (const Command &command : Commands())
        for (const OptionSpec &option : OptionsOf(command))
            if (matches(option))
                return {&option, &command};
    return {};
}

struct GivenOption
{
    FoundOption option;
    QString name; // as written
    QString value;
};

// Reads one option word (and its value, from the next word when it takes one); false with
// `error` set for a usage error.
bool ReadOption(const QStringList &words, qsizetype *i, QList<GivenOption> *given, QString *error)
{
    const QString &word = words[*i];
    const qsizetype equals = word.startsWith("--") ? word.indexOf(u'=') : -1;
    const QString name = equals < 0 ? word : word.left(equals);
    const FoundOption found = FindOption(name);
    if (!found.entry) {
        *error = QStringLiteral("unknown option %1").arg(Quoted(name));
        return false;
    }
    QString value;
    if (found.entry->value) {
        if (equals >= 0)
            value = word.mid(equals + 1);
        else if (*i + 1 < words.size())
            value = words[++*i];
        else {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return false;
        }
    } else if (equals >= 0) {
        *error = QStringLiteral("%1 takes no value").arg(name);
        return false;
    }
    given->append({found, name, value});
    return true;
}

// Every option given must belong to the command, or to every command.
bool CheckOwners(const QList<GivenOption> &given, const Arguments &args, QString *error)
{
    for (const GivenOption &g : given) {
        if (g.option.owner && args.command != QLatin1String(g.option.owner->name)) {
            *error = QStringLiteral("%1 is not an option of %2")
                         .arg(g.option.entry->name,
                              args.command.isEmpty() ? QStringLiteral("qrxio without a command")
                                                     : Quoted(args.command));
            return false;
        }
    }
    return true;
}

} // namespace

std::span<const OptionSpec> GlobalOptions()
{
    return kGlobalOptions;
}

QString Quoted(const QString &text)
{
    return u'"' + text + u'"';
}

std::optional<int64_t> ParseNumber(const QString &text, int64_t min, int64_t max)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    int64_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<int64_t> OptionNumber(const char *name, const QString &value, int64_t min,
                                    int64_t max, QString *error)
{
    const std::optional<int64_t> n = ParseNumber(value, min, max);
    if (!n)
        *error = QStringLiteral("%1 takes a number from %2 to %3, not %4")
                     .arg(QLatin1String(name))
                     .arg(min)
                     .arg(max)
                     .arg(Quoted(value));
    return n;
}

std::optional<int32_t> ParseCard(const QString &text)
{
    return ParseNumber(text, 0, INT32_MAX);
}

int ParseSwitch(const QString &text)
{
    if (text == "1" || text == "on")
        return 1;
    if (text == "0" || text == "off")
        return 0;
    return -1;
}

bool Arguments::Parse(const QStringList &words, Arguments *args, QString *error)
{
    QList<GivenOption> given;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        if (!optionsEnd && word == "--") {
            optionsEnd = true;
        } else if (optionsEnd || !word.startsWith(u'-') || word.size() == 1 || word[1].isDigit()) {
            // No option begins with a digit: "-1" is an operand (a bad point, say), never an
            // unknown option.
            if (args->command.isEmpty())
                args->command = word;
            else
                args->operands << word;
        } else if (!ReadOption(words, &i, &given, error)) {
            return false;
        }
    }
    for (const GivenOption &g : given) {
        if (!g.option.entry->apply(g.value, args, error))
            return false;
    }
    if (args->help || args->version || args->command == "help")
        return true;
    return CheckOwners(given, *args, error);
}
