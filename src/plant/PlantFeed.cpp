#include "plant/PlantFeed.h"

#include "link/MqttSession.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <unistd.h>

PlantFeed::PlantFeed(const BrokerSettings &settings, const QByteArray &password, QObject *parent)
    : QObject(parent)
    , m_root(settings.root)
{
    MqttConnection c;
    c.host = settings.host;
    c.port = settings.port;
    // One id per window, so that two programs on one desktop never push each other off.
    c.clientId =
        QStringLiteral("orvane-plant-%1-%2").arg(QSysInfo::machineHostName()).arg(getpid());
    c.username = settings.user;
    c.password = password;
    if (settings.tls) {
        c.caFile = settings.caFile;
        c.certFile = settings.certFile;
        c.keyFile = settings.keyFile;
    }
    c.keepAliveS = settings.keepAliveS;
    m_session = std::make_unique<MqttSession>(c);
    m_session->SetMaxPayload(PlantTopics::kMaxPayload + 1);
    // Direct: these run on the session's network thread, which reads every message there.
    connect(
        m_session.get(), &MqttSession::messageArrived, this,
        [this](const QString &topic, const QByteArray &payload, int size, bool) {
            OnMessage(topic, payload, size);
        },
        Qt::DirectConnection);
    connect(
        m_session.get(), &MqttSession::connected, this, [this] { OnConnected(); },
        Qt::DirectConnection);
    connect(
        m_session.get(), &MqttSession::failed, this,
        [this](const QString &reason, bool refusal) { OnFailed(reason, refusal); },
        Qt::DirectConnection);
}

PlantFeed::~PlantFeed()
{
    // No signal of the network thread reaches this object once Stop() has returned.
    m_session->Stop();
}

bool PlantFeed::Start(QString *error)
{
    return m_session->Start(error);
}

bool PlantFeed::Publish(const QString &topic, const QByteArray &payload)
{
    return m_session->Publish(topic, payload, false, 1);
}

std::vector<PlantUpdate> PlantFeed::Take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_pending, {});
}

bool PlantFeed::connected() const
{
    std::lock_guard lock(m_mutex);
    return m_connected;
}

void PlantFeed::OnMessage(const QString &topic, const QByteArray &payload, int size)
{
    PlantUpdate update = PlantTopics::Parse(m_root, topic, payload, size);
    if (update.kind == PlantUpdate::Ignored)
        return;
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = m_pending.empty();
        m_pending.push_back(std::move(update));
    }
    if (first)
        QMetaObject::invokeMethod(this, &PlantFeed::updatesReady, Qt::QueuedConnection);
}

void PlantFeed::OnConnected()
{
    {
        std::lock_guard lock(m_mutex);
        m_connected = true;
    }
    m_session->Subscribe(PlantTopics::Subscriptions(m_root), 0);
    QMetaObject::invokeMethod(
        this, [this] { emit connectionChanged(true, QString(), false); }, Qt::QueuedConnection);
}

void PlantFeed::OnFailed(const QString &reason, bool refusal)
{
    {
        std::lock_guard lock(m_mutex);
        m_connected = false;
    }
    QMetaObject::invokeMethod(
        this, [this, reason, refusal] { emit connectionChanged(false, reason, refusal); },
        Qt::QueuedConnection);
}
