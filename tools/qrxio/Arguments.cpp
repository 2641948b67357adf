#include "Arguments.h"

#include <QList>
#include <QPair>

namespace {

struct OptionSpec
{
    const char *name;
    bool takesValue;
    const char *command; // the one command it belongs to, or nullptr for every command
};

const OptionSpec kOptions[] = {
    {"--help", false, nullptr},    {"-h", false, nullptr},
    {"--version", false, nullptr}, {"--json", false, nullptr},
    {"--mode", true, nullptr},     {"--log-level", true, nullptr},
    {"--log-file", true, nullptr}, {"--word", true, "set"},
    {"--page", true, "set"},       {"--out", false, "monitor"},
    {"--local", false, "monitor"}, {"--interval", true, "monitor"},
    {"-n", true, "monitor"},       {"--idle-timeout", true, "monitor"},
    {"--enable", true, "filter"},  {"--time", true, "filter"},
    {"--all", false, "save"},
};

const OptionSpec *FindOption(const QString &name)
{
    for (const OptionSpec &option : kOptions) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

// Stores one option's value; false with `error` set when the value is not acceptable.
bool Apply(const QString &name, const QString &value, Arguments *args, QString *error)
{
    // A number option's value; nothing, with `error` set, when it is not one in min..max.
    auto number = [&](int64_t min, int64_t max) {
        const std::optional<int64_t> n = ParseNumber(value, min, max);
        if (!n)
            *error = QStringLiteral("%1 takes a number from %2 to %3, not %4")
                         .arg(name)
                         .arg(min)
                         .arg(max)
                         .arg(Quoted(value));
        return n;
    };
    if (name == "--help" || name == "-h")
        args->help = true;
    else if (name == "--version")
        args->version = true;
    else if (name == "--json")
        args->json = true;
    else if (name == "--out")
        args->outputs = true;
    else if (name == "--local")
        args->local = true;
    else if (name == "--all")
        args->all = true;
    else if (name == "--mode") {
        if (value != "auto" && value != "manual") {
            *error = QStringLiteral("--mode is auto or manual, not %1").arg(Quoted(value));
            return false;
        }
        args->mode = value == "auto" ? 0 : 1;
    } else if (name == "--log-level")
        return (args->logLevel = number(0, 5)).has_value();
    else if (name == "--log-file") {
        if (value.isEmpty()) {
            *error = QStringLiteral("--log-file needs a path");
            return false;
        }
        args->logFile = value;
    } else if (name == "--word") {
        QString digits = value;
        if (digits.startsWith("0x", Qt::CaseInsensitive))
            digits = digits.mid(2);
        bool ok = !digits.isEmpty() && digits.size() <= 8;
        for (QChar c : digits)
            ok = ok && QStringLiteral("0123456789abcdefABCDEF").contains(c);
        if (!ok) {
            *error =
                QStringLiteral("--word takes a 32-bit hexadecimal word, not %1").arg(Quoted(value));
            return false;
        }
        args->word = digits.toUInt(nullptr, 16);
    } else if (name == "--page")
        return (args->page = number(0, 1).value_or(-1)) >= 0;
    else if (name == "--interval")
        return (args->intervalMs = number(1, 3'600'000).value_or(0)) > 0;
    else if (name == "-n")
        return (args->maxChanges = number(1, 1'000'000'000)).has_value();
    else if (name == "--idle-timeout")
        return (args->idleTimeoutMs = number(1, 1'000'000'000)).has_value();
    else if (name == "--enable")
        return (args->filterEnable = number(0, 1)).has_value();
    else if (name == "--time")
        return (args->filterTime = number(0, 15)).has_value();
    return true;
}

} // namespace

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

bool Arguments::Parse(const QStringList &words, Arguments *args, QString *error)
{
    QList<QPair<const OptionSpec *, QString>> given;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        if (!optionsEnd && word == "--") {
            optionsEnd = true;
            continue;
        }
        if (optionsEnd || !word.startsWith(u'-') || word.size() == 1) {
            if (args->command.isEmpty())
                args->command = word;
            else
                args->operands << word;
            continue;
        }
        const qsizetype equals = word.startsWith("--") ? word.indexOf(u'=') : -1;
        const QString name = equals < 0 ? word : word.left(equals);
        const OptionSpec *option = FindOption(name);
        if (!option) {
            *error = QStringLiteral("unknown option %1").arg(Quoted(name));
            return false;
        }
        QString value;
        if (option->takesValue) {
            if (equals >= 0)
                value = word.mid(equals + 1);
            else if (i + 1 < words.size())
                value = words[++i];
            else {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
        } else if (equals >= 0) {
            *error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        }
        given.append({option, value});
    }
    for (const auto &[option, value] : given) {
        if (!Apply(QLatin1String(option->name), value, args, error))
            return false;
    }
    if (args->help || args->version || args->command == "help")
        return true;
    for (const auto &[option, value] : given) {
        if (option->command && args->command != QLatin1String(option->command)) {
            *error = QStringLiteral("%1 is not an option of %2")
                         .arg(option->name,
                              args->command.isEmpty() ? QStringLiteral("qrxio without a command")
                                                      : Quoted(args->command));
            return false;
        }
    }
    return true;
}
