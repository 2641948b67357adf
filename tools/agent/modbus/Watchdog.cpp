#include "Watchdog.h"

#include "Agent.h"
#include "ModbusConfig.h"
#include "WatchdogSocket.h"
#include "config/AtomicFile.h"
#include "model/PointIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <ctime>

namespace {

int64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

QString UtcTime(int64_t us)
{
    return QDateTime::fromMSecsSinceEpoch(us / 1000, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

// "5:out:3=off 5:out:4=on 7:out:*=off": a later item wins over an earlier one.
QString ParseSafeOutputs(const QString &value, const std::vector<PlantBoard> &boards,
                         std::map<std::pair<int32_t, int>, bool> *safe)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString &item : value.split(separators, Qt::SkipEmptyParts)) {
        const QString word = item.section(u'=', -1).toLower();
        if (!item.contains(u'=') || (word != u"off" && word != u"on" && word != u"hold"))
            return QStringLiteral("\"%1\" is not CARD:out:POINT=off, =on or =hold").arg(item);
        QString error;
        const auto points = ParseWritablePoints(item.section(u'=', 0, -2), boards, &error);
        if (!points)
            return error;
        for (const auto &point : *points) {
            if (word == u"hold")
                safe->erase(point);
            else
                (*safe)[point] = word == u"on";
        }
    }
    return {};
}

QString ApplyKey(const QString &key, const QString &value, const std::vector<PlantBoard> *boards,
                 WatchdogConfig *c)
{
    if (key == u"timeoutms") {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || (n != 0 && (n < 100 || n > 60000)))
            return QStringLiteral("not 0 (off) or a number from 100 to 60000");
        c->timeoutMs = n;
    } else if (key == u"trigger") {
        if (value.toLower() != u"any" && value.toLower() != u"writes")
            return QStringLiteral("not any or writes");
        c->writesOnly = value.toLower() == u"writes";
    } else if (key == u"safeoutputs") {
        c->safeText = value;
        if (boards)
            return ParseSafeOutputs(value, *boards, &c->safe);
    } else if (key == u"autoclear") {
        if (value != u"0" && value != u"1")
            return QStringLiteral("not 0 or 1");
        c->autoClear = value == u"1";
    } else if (key == u"statefile" || key == u"socket") {
        if (!QDir::isAbsolutePath(value))
            return QStringLiteral("not an absolute path");
        (key == u"socket" ? c->socket : c->stateFile) = value;
    } else {
        return QStringLiteral("unknown key");
    }
    return {};
}

} // namespace

bool ParseWatchdogConfig(const QList<ConfigEntry> &entries, const QString &file,
                         const std::vector<PlantBoard> *boards, WatchdogConfig *config,
                         QString *error)
{
    WatchdogConfig c;
    if (!ApplySection(
            entries, file, QStringLiteral("Watchdog"),
            [&](const QString &key, const QString &value) {
                return ApplyKey(key, value, boards, &c);
            },
            error))
        return false;
    *config = std::move(c);
    return true;
}

Watchdog::Watchdog()
{
    m_check.setTimerType(Qt::PreciseTimer);
    connect(&m_check, &QTimer::timeout, this, &Watchdog::Check);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Watchdog::Check);
}

Watchdog::~Watchdog() = default;

bool Watchdog::Configure(const QList<ConfigEntry> &entries, const QString &file, int sectionLine,
                         QString *error)
{
    WatchdogConfig config;
    if (sectionLine != 0 &&
        !ParseWatchdogConfig(entries, file, m_haveBoards ? &m_boards : nullptr, &config, error))
        return false;
    const bool first = !m_loaded && sectionLine != 0;
    m_configured = sectionLine != 0;
    const QString socket = m_config.socket;
    m_config = config;
    if (first) {
        m_loaded = true;
        Load();
        m_socket = std::make_unique<WatchdogSocket>(
            m_config.socket.isEmpty() ? WatchdogSocket::DefaultPath() : m_config.socket,
            [this](const QByteArray &command) {
                QJsonObject reply = Status();
                if (command == "clear") {
                    QString why;
                    reply = Status();
                    reply[QStringLiteral("cleared")] =
                        Clear(QStringLiteral("qrxio watchdog clear"), &why);
                    if (!why.isEmpty())
                        reply[QStringLiteral("error")] = why;
                    reply[QStringLiteral("state")] = Status()[QStringLiteral("state")];
                } else if (command != "show") {
                    reply = {{QStringLiteral("error"), QStringLiteral("unknown command")}};
                }
                return QJsonDocument(reply).toJson(QJsonDocument::Compact);
            });
        QString why;
        if (!m_socket->Listen(&why)) {
            Log(why + QStringLiteral("; \"qrxio watchdog\" cannot reach this agent"));
            m_socket.reset();
        }
    }
    m_writesOnly = m_config.writesOnly;
    m_autoClear = m_config.autoClear;
    SetTimeout(m_configured ? m_config.timeoutMs : 0);
    RunCheck();
    return true;
}

// The check runs only while a [Watchdog] section is in force and the boards are known: an
// agent without one has no timer of it.
void Watchdog::RunCheck()
{
    if (m_configured && m_haveBoards)
        m_check.start(m_intervalMs);
    else
        m_check.stop();
}

bool Watchdog::SetBoards(const BoardModel &, const std::vector<BoardInfo> &boards, int intervalMs,
                         QString *error)
{
    std::vector<PlantBoard> plant;
    for (const BoardInfo &b : boards)
        plant.push_back({b.cardNo, {}, b.liveMask(PointDir::In), b.liveMask(PointDir::Out)});
    std::map<std::pair<int32_t, int>, bool> safe;
    if (m_configured) {
        const QString problem = ParseSafeOutputs(m_config.safeText, plant, &safe);
        if (!problem.isEmpty()) {
            *error = QStringLiteral("[Watchdog] SafeOutputs=: ") + problem;
            return false;
        }
    }
    const bool first = !m_haveBoards;
    m_boards = std::move(plant);
    m_haveBoards = true;
    m_config.safe = std::move(safe);
    m_intervalMs = std::max(1, intervalMs);
    RunCheck();
    if (first && tripped()) {
        // A trip kept from before the start: its safe values hold again.
        QStringList done, failed;
        WriteSafeValues(&done, &failed);
        if (!failed.isEmpty())
            Log(QStringLiteral("writing the safe values again failed: ") + failed.join(u"; "));
        if (pollSoon)
            pollSoon();
    }
    return true;
}

void Watchdog::Stop()
{
    m_check.stop();
    m_socket.reset();
}

void Watchdog::MasterRequest(bool write)
{
    m_lastAnyMs = NowMs();
    if (!m_writesOnly.load() || write)
        Feed();
}

void Watchdog::Feed()
{
    m_lastRequestMs = NowMs();
    int expected = Waiting;
    if (m_state.compare_exchange_strong(expected, Armed)) {
        QMetaObject::invokeMethod(this, [this] {
            Log(QStringLiteral("armed by a master request"));
            emit changed();
        });
    } else if (expected == Tripped && m_autoClear.load()) {
        QMetaObject::invokeMethod(this,
                                  [this] { Clear(QStringLiteral("the next master request")); });
    }
}

int64_t Watchdog::MsSinceRequest() const
{
    const int64_t last = m_lastAnyMs.load();
    return last == 0 ? 65535 : NowMs() - last;
}

void Watchdog::Kick()
{
    m_lastAnyMs = NowMs();
    Feed();
}

void Watchdog::SetState(State s)
{
    if (m_state.exchange(s) != s)
        emit changed();
}

void Watchdog::SetTimeout(int ms)
{
    m_timeoutMs = ms;
    const State s = state();
    if (s != Tripped)
        SetState(ms == 0 ? Off : s == Off ? Waiting : s);
    emit changed();
}

// Every poll interval; when the deadline falls before the next check, a timer of its own
// meets it, so the safe values come within a millisecond or two of TimeoutMs.
void Watchdog::Check()
{
    const int timeout = m_timeoutMs.load();
    const int64_t quiet = NowMs() - m_lastRequestMs.load();
    if (state() != Armed || timeout <= 0)
        return;
    if (quiet >= timeout)
        return Trip(
            QStringLiteral("no master request for %1 ms (TimeoutMs=%2)").arg(quiet).arg(timeout));
    if (timeout - quiet < m_check.interval() && !m_deadline.isActive())
        m_deadline.start(int(timeout - quiet));
}

// The state is shown (changed) once the safe values are on the outputs; it is kept on disk
// right after them.
void Watchdog::Trip(const QString &reason)
{
    m_state = Tripped;
    ++m_trips;
    m_lastTripUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_reason = reason;
    QStringList done, failed;
    WriteSafeValues(&done, &failed);
    Save(); // after the outputs, which must not wait for the disk
    QString text = QStringLiteral("tripped: %1; safe values: %2")
                       .arg(reason, done.isEmpty() ? QStringLiteral("none") : done.join(u", "));
    if (!failed.isEmpty())
        text += QStringLiteral("; failed: ") + failed.join(QStringLiteral("; "));
    Log(text + QStringLiteral("; network writes are refused until it is cleared"));
    Record(text);
    emit changed();
    if (pollSoon)
        pollSoon();
}

void Watchdog::WriteSafeValues(QStringList *done, QStringList *failed)
{
    m_safeBoards.clear();
    std::set<int32_t> failedBoards;
    for (const auto &[point, value] : m_config.safe) {
        const WriteResult r = VerifiedWrite(point.first, point.second, value);
        const QString name =
            QStringLiteral("card %1 out %2=%3").arg(point.first).arg(point.second).arg(int(value));
        if (r.ok) {
            *done << name;
            m_safeBoards.insert(point.first);
        } else {
            *failed << name + QStringLiteral(": ") + r.reason;
            failedBoards.insert(point.first);
        }
    }
    for (int32_t card : failedBoards)
        m_safeBoards.erase(card);
}

bool Watchdog::Clear(const QString &by, QString *why)
{
    if (!tripped()) {
        if (why)
            *why = QStringLiteral("the watchdog is not tripped");
        return false;
    }
    m_reason.clear();
    SetState(m_timeoutMs.load() > 0 ? Waiting : Off);
    Save();
    const QString text = QStringLiteral("cleared by %1").arg(by);
    Log(text + QStringLiteral("; armed again by the next master request"));
    Record(text);
    emit changed();
    return true;
}

QJsonObject Watchdog::Status() const
{
    static const char *const names[] = {"off", "armed", "tripped", "waiting"};
    QJsonObject o;
    o[QStringLiteral("state")] = QLatin1String(names[state()]);
    o[QStringLiteral("timeoutMs")] = timeoutMs();
    o[QStringLiteral("trips")] = m_trips;
    o[QStringLiteral("lastTrip")] = m_lastTripUs ? QJsonValue(UtcTime(m_lastTripUs)) : QJsonValue();
    o[QStringLiteral("reason")] = m_reason;
    return o;
}

QString Watchdog::StatePath() const
{
    if (!m_config.stateFile.isEmpty())
        return m_config.stateFile;
    return QFileInfo(HistoryFile::DefaultPath()).dir().filePath(QStringLiteral("watchdog.json"));
}

void Watchdog::Load()
{
    QFile file(StatePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject o = QJsonDocument::fromJson(file.read(65536)).object();
    m_trips = o[QStringLiteral("trips")].toInt();
    m_lastTripUs = int64_t(o[QStringLiteral("lastTripUs")].toDouble());
    if (!o[QStringLiteral("tripped")].toBool())
        return;
    m_reason = o[QStringLiteral("reason")].toString();
    m_state = Tripped;
    Log(QStringLiteral("tripped before this start (at %1: %2), kept in %3; network writes are "
                       "refused until it is cleared")
            .arg(UtcTime(m_lastTripUs), m_reason, StatePath()));
}

void Watchdog::Save()
{
    QJsonObject o;
    o[QStringLiteral("tripped")] = tripped();
    o[QStringLiteral("trips")] = m_trips;
    o[QStringLiteral("lastTripUs")] = double(m_lastTripUs);
    o[QStringLiteral("reason")] = m_reason;
    const QByteArray text = QJsonDocument(o).toJson();
    QDir().mkpath(QFileInfo(StatePath()).absolutePath());
    QString error;
    if (!WriteFileAtomically(
            StatePath(), [&](QIODevice *out) { return out->write(text) == text.size(); }, &error))
        Log(QStringLiteral("cannot keep the state in %1: %2").arg(StatePath(), error));
}

void Watchdog::Record(const QString &text)
{
    if (recordEvent)
        recordEvent(QStringLiteral("watchdog"), text);
}

void Watchdog::Log(const QString &text)
{
    AgentLog(QStringLiteral("watchdog: ") + text);
}
