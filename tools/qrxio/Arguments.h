#pragma once
// The command line of qrxio: the command, its operands and its options, checked for form, and
// the small parsers the commands share. Which options a command takes is in the command table
// (Commands.h); whether a card or a point exists is known only once the boards are loaded.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

struct Arguments
{
    QString command;
    QStringList operands;

    bool help = false;
    bool version = false;
    bool json = false;
    std::optional<int32_t> mode; // 0 auto, 1 manual; else the settings file's
    std::optional<int32_t> logLevel;
    std::optional<QString> logFile;

    std::optional<uint32_t> word; // set
    int page = 0;
    bool pageGiven = false; // --page belongs to --word

    bool outputs = false; // monitor
    bool local = false;
    bool rising = false; // neither: both edges
    bool falling = false;
    int64_t intervalMs = 10;
    std::optional<int64_t> maxChanges;
    std::optional<int64_t> idleTimeoutMs;

    std::optional<int32_t> filterEnable; // filter
    std::optional<int32_t> filterTime;

    bool all = false; // save

    QString db; // history; empty: the agent's default database
    QString socket = QStringLiteral("/run/orvane/watchdog.sock"); // watchdog
    int64_t sinceUs = INT64_MIN;
    int64_t untilUs = INT64_MAX;
    bool csv = false;
    bool vcd = false;
    bool moved = false; // history: the rows moved aside for a clock error

    // Reads the words after the program's name. Options may stand before or after the
    // command; "--" ends them. False, with `error` set, for a usage error.
    static bool Parse(const QStringList &words, Arguments *args, QString *error);
};

// One option: how it is written, what it takes and what it does to the arguments.
struct OptionSpec
{
    const char *name; // "--interval"
    const char *alias; // a short form ("-h"), or nullptr
    const char *value; // what it takes, as the help names it ("MS"); nullptr for a switch
    const char *help; // its line in the help; nullptr where the command's usage shows it
    // Stores the value; false, with `error` set, when it is not acceptable.
    bool (*apply)(const QString &value, Arguments *args, QString *error);
};

// `text` in double quotes, as messages show what was typed.
QString Quoted(const QString &text);

// A decimal number in min..max, digits only.
std::optional<int64_t> ParseNumber(const QString &text, int64_t min, int64_t max);
// An option's number in min..max; nothing, with `error` saying so, when it is not one.
std::optional<int64_t> OptionNumber(const char *name, const QString &value, int64_t min,
                                    int64_t max, QString *error);
// A card number operand: digits only, within 32 bits.
std::optional<int32_t> ParseCard(const QString &text);
// A value of a point or of the Run LED: 1 or on, 0 or off; -1 for anything else.
int ParseSwitch(const QString &text);
