#include "AgentConfig.h"

#include "config/ProfileFile.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxConfigBytes = 1 << 20;

std::optional<int64_t> Number(const QString &text, int64_t min, int64_t max)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok, 10);
    if (!ok || text.startsWith(u'+') || n < min || n > max)
        return std::nullopt;
    return n;
}

QString Unquote(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    return value;
}

// Applies one [Recorder] key; an empty answer when it was taken, else what is wrong with it.
QString ApplyRecorderKey(const ConfigEntry &e, RecorderConfig *r)
{
    const QString key = e.key.toLower();
    const auto number = [&](int64_t min, int64_t max, auto *into) {
        const std::optional<int64_t> n = Number(e.value, min, max);
        if (n)
            *into = decltype(+*into)(*n);
        return n ? QString()
                 : QStringLiteral("%1 takes a number from %2 to %3, not \"%4\"")
                       .arg(e.key)
                       .arg(min)
                       .arg(max)
                       .arg(e.value);
    };
    if (key == "database" || key == "pointnames" || key == "devicelibrary") {
        if (e.value.isEmpty())
            return QStringLiteral("%1 needs a path").arg(e.key);
        (key == "database"         ? r->database
             : key == "pointnames" ? r->pointNames
                                   : r->deviceLibrary) = e.value;
        return {};
    }
    if (key == "intervalms")
        return number(1, 3'600'000, &r->intervalMs);
    if (key == "retentiondays")
        return number(1, 36'500, &r->retentionDays);
    if (key == "maxdatabasemb")
        return number(1, 16 * 1024 * 1024, &r->maxDatabaseMB);
    if (key == "loadingmode") {
        const QString v = e.value.toLower();
        if (v != "auto" && v != "manual" && v != "0" && v != "1")
            return QStringLiteral("LoadingMode is auto or manual, not \"%1\"").arg(e.value);
        r->loadingMode = (v == "manual" || v == "1") ? 1 : 0;
        return {};
    }
    if (key == "boards") {
        r->boards.clear();
        if (e.value.compare(QStringLiteral("all"), Qt::CaseInsensitive) == 0)
            return {};
        const QStringList cards =
            e.value.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
        for (const QString &card : cards) {
            const std::optional<int64_t> n = Number(card, 0, INT32_MAX);
            if (!n)
                return QStringLiteral("Boards is \"all\" or card numbers, not \"%1\"").arg(e.value);
            r->boards.push_back(int32_t(*n));
        }
        return r->boards.empty() ? QStringLiteral("Boards is \"all\" or card numbers") : QString();
    }
    return QStringLiteral("unknown key \"%1\" in [Recorder]").arg(e.key);
}

} // namespace

QList<ConfigEntry> AgentConfig::Section(const QString &name) const
{
    for (const auto &[section, entries] : handed)
        if (section.compare(name, Qt::CaseInsensitive) == 0)
            return entries;
    return {};
}

bool ParseAgentConfig(const QByteArray &text, const QString &file,
                      const QStringList &handedSections, AgentConfig *config, QString *error)
{
    AgentConfig result;
    QStringList seenSections, seenKeys;
    QList<ConfigEntry> *handed = nullptr;
    bool inRecorder = false;
    int number = 0;
    auto fail = [&](const QString &what) {
        *error = QStringLiteral("%1:%2: %3").arg(file).arg(number).arg(what);
        return false;
    };
    for (const Line &line : SplitLines(text)) {
        ++number;
        if (line.text.contains('\0'))
            return fail(QStringLiteral("a NUL byte in the line"));
        const QString t = QString::fromUtf8(line.text).trimmed();
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
            continue;
        if (t.startsWith(u'[')) {
            if (!t.endsWith(u']'))
                return fail(QStringLiteral("a section is written [Name]"));
            const QString name = t.mid(1, t.size() - 2).trimmed();
            if (seenSections.contains(name.toLower()))
                return fail(QStringLiteral("section [%1] is given twice").arg(name));
            seenSections << name.toLower();
            seenKeys.clear();
            inRecorder = name.compare(QStringLiteral("Recorder"), Qt::CaseInsensitive) == 0;
            handed = nullptr;
            if (!inRecorder && !handedSections.contains(name, Qt::CaseInsensitive))
                return fail(QStringLiteral("unknown section [%1]").arg(name));
            if (!inRecorder) {
                result.handed.append({name, {}});
                result.sectionLines.insert(name.toLower(), number);
                handed = &result.handed.last().second;
            }
            continue;
        }
        const qsizetype equals = t.indexOf(u'=');
        if (equals <= 0)
            return fail(QStringLiteral("a line is a [Section], a key=value or a ; comment"));
        const ConfigEntry entry{t.left(equals).trimmed(), Unquote(t.mid(equals + 1)), number};
        if (!inRecorder && !handed)
            return fail(QStringLiteral("key \"%1\" stands before any section").arg(entry.key));
        if (seenKeys.contains(entry.key.toLower()))
            return fail(QStringLiteral("key \"%1\" is given twice").arg(entry.key));
        seenKeys << entry.key.toLower();
        if (handed)
            handed->append(entry);
        else if (const QString wrong = ApplyRecorderKey(entry, &result.recorder); !wrong.isEmpty())
            return fail(wrong);
    }
    *config = result;
    return true;
}

bool ReadAgentConfig(const QString &path, const QStringList &handedSections, AgentConfig *config,
                     QString *error)
{
    // Opened without waiting (a FIFO would block the open), and read only when it is a regular
    // file.
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st = {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        if (fd >= 0)
            close(fd);
        return false;
    }
    QFile file;
    if (!S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        *error = S_ISDIR(st.st_mode) ? QStringLiteral("%1: it is a folder").arg(path)
                                     : QStringLiteral("%1: it is not a regular file").arg(path);
        close(fd);
        return false;
    }
    const QByteArray text = file.read(kMaxConfigBytes + 1);
    if (text.size() > kMaxConfigBytes) {
        *error = QStringLiteral("%1: larger than 1 MiB").arg(path);
        return false;
    }
    return ParseAgentConfig(text, path, handedSections, config, error);
}
