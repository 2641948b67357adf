#pragma once
// The retained topics an agent leaves on the broker, made up for the Plant window's tests and
// benchmark: status, inventory, board availability and every point's state, without an agent.

#include <QByteArray>
#include <QString>

#include <vector>

struct FakeAgent
{
    QString prefix; // orvane/pc1
    QString host;
    int boards = 1; // cards 0 .. boards - 1 (card 5 alone when `card5` is set)
    bool card5 = false;
    int inputs = 64;
    int outputs = 64;
    std::vector<int> writable; // outputs of every board the network may switch
    bool simulated = true;
};

struct TopicMessage
{
    QString topic;
    QByteArray payload;
};

// The cards of an agent.
std::vector<int> FakeCards(const FakeAgent &agent);
// {"version": ..., "host": ..., "boards": [...]} with a name for every output ("Lamp 3") and
// input 0 named "Door sensor".
QByteArray FakeInventory(const FakeAgent &agent);
// status online, the inventory, each board online, every point "0".
std::vector<TopicMessage> FakeAgentTopics(const FakeAgent &agent);

// A settings file `Orvane.ini` in `dir` whose [PlantBroker] section names the test broker on
// 127.0.0.1:`port` with the test user; answers its path (empty when it cannot be written).
QString WriteBrokerSettings(const QString &dir, int port);
