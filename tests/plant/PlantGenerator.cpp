#include "PlantGenerator.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::vector<int> FakeCards(const FakeAgent &agent)
{
    if (agent.card5)
        return {5};
    std::vector<int> cards;
    for (int c = 0; c < agent.boards; ++c)
        cards.push_back(c);
    return cards;
}

QByteArray FakeInventory(const FakeAgent &agent)
{
    QJsonArray boards;
    for (int card : FakeCards(agent)) {
        QJsonObject out;
        for (int p = 0; p < agent.outputs; ++p)
            out.insert(QString::number(p), QStringLiteral("Lamp %1").arg(p));
        QJsonArray writable;
        for (int p : agent.writable)
            writable.append(p);
        boards.append(QJsonObject{
            {"card", card},
            {"type", "1"},
            {"name", "QRX-LN64DIO"},
            {"firmware", "2.1"},
            {"inputs", agent.inputs},
            {"outputs", agent.outputs},
            {"writable", writable},
            {"names", QJsonObject{{"in", QJsonObject{{"0", "Door sensor"}}}, {"out", out}}}});
    }
    const QJsonObject info{
        {"version", "14.0.0"},
        {"host", agent.host},
        {"simulated", agent.simulated},
        {"interval_ms", 100},
        {"library", QJsonObject{{"path", "/usr/lib/orvane/lib.so"}, {"version", "1"}}},
        {"boards", boards}};
    return QJsonDocument(info).toJson(QJsonDocument::Compact);
}

std::vector<TopicMessage> FakeAgentTopics(const FakeAgent &agent)
{
    std::vector<TopicMessage> topics{{agent.prefix + "/status", "online"},
                                     {agent.prefix + "/info", FakeInventory(agent)}};
    for (int card : FakeCards(agent)) {
        const QString board = QStringLiteral("%1/card%2").arg(agent.prefix).arg(card);
        topics.push_back({board + "/status", "online"});
        for (int p = 0; p < agent.inputs; ++p)
            topics.push_back({QStringLiteral("%1/in/%2").arg(board).arg(p), "0"});
        for (int p = 0; p < agent.outputs; ++p)
            topics.push_back({QStringLiteral("%1/out/%2").arg(board).arg(p), "0"});
    }
    return topics;
}

QString WriteBrokerSettings(const QString &dir, int port)
{
    QFile file(QDir(dir).filePath(QStringLiteral("Orvane.ini")));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("[PlantBroker]\nHost=127.0.0.1\nPort=" + QByteArray::number(port) +
                   "\nUser=orvane\nTopicRoot=orvane/+\n") < 0)
        return {};
    return file.fileName();
}
