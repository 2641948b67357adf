#pragma once
// The command line of qrxio: the command, its operands and its options, checked for form.
// Whether a card or a point exists is known only once the boards are loaded.

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

    bool outputs = false; // monitor
    bool local = false;
    int64_t intervalMs = 10;
    std::optional<int64_t> maxChanges;
    std::optional<int64_t> idleTimeoutMs;

    std::optional<int32_t> filterEnable; // filter
    std::optional<int32_t> filterTime;

    bool all = false; // save

    // Reads the words after the program's name. Options may stand before or after the
    // command; "--" ends them. False, with `error` set, for a usage error.
    static bool Parse(const QStringList &words, Arguments *args, QString *error);
};

// `text` in double quotes, as messages show what was typed.
QString Quoted(const QString &text);

// A decimal number in min..max, digits only.
std::optional<int64_t> ParseNumber(const QString &text, int64_t min, int64_t max);
