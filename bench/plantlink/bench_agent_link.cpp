// orvane-agent's plant link end to end: the real agent (10 ms poll) on 16 simulated boards of
// 64 inputs and 64 outputs, a real Mosquitto on 127.0.0.1 and a subscriber.
// 1. An input changed through the simulator's shared state, as qrxsim does, until the
//    subscriber holds its new value: p50 and p99 (targets 10 ms and 20 ms, the poll included).
// 2. The broker restarted (it keeps no retained message): from the agent's "online" until the
//    subscriber holds all 2048 states again (target under 1 s), and from the broker's start
//    (the agent's back-off included).
// 3. A set message with an id for an output until its /set/result answer reaches the client:
//    p50 and p99 (targets 15 ms and 30 ms, the poll included).
// 4. Board 15 taken out of Boards= and SIGHUP: until every retained state of its 128 points is
//    emptied and the new inventory is in (target under 1 s).
// Usage: bench_agent_link [CHANGES] (default 500); the agent and library beside it are used.

#include "BoardConfig.h"
#include "SharedState.h"
#include "TestBroker.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBoards = 16;
constexpr const char *kPrefix = "bench/agent";

struct Message
{
    std::string topic;
    std::string payload;
    bool retained = false;
    Clock::time_point at;
};

// A subscriber to everything under the prefix, keeping each message with its arrival time.
class Watcher
{
public:
    explicit Watcher(int port)
    {
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(m_mosq, TestBroker::kUser, TestBroker::kPassword);
        mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
                auto *w = static_cast<Watcher *>(self);
                std::lock_guard lock(w->m_mutex);
                w->m_messages.push_back({m->topic,
                                         std::string(static_cast<const char *>(m->payload),
                                                     size_t(std::max(m->payloadlen, 0))),
                                         m->retain, Clock::now()});
            });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
        mosquitto_subscribe(m_mosq, nullptr, (std::string(kPrefix) + "/#").c_str(), 1);
        mosquitto_loop_start(m_mosq);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Watcher()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    std::vector<Message> since(size_t first)
    {
        std::lock_guard lock(m_mutex);
        return {m_messages.begin() + std::min(first, m_messages.size()), m_messages.end()};
    }
    void Publish(const std::string &topic, const std::string &payload)
    {
        mosquitto_publish(m_mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1,
                          false);
    }
    size_t size()
    {
        std::lock_guard lock(m_mutex);
        return m_messages.size();
    }

private:
    mosquitto *m_mosq = nullptr;
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

// Waits up to `seconds` until `done` holds.
template<typename Check> bool WaitUntil(Check done, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

// The states (card<N>/in|out/<P> topics) among `messages`, and when the last of them came.
size_t States(const std::vector<Message> &messages, Clock::time_point *last)
{
    size_t n = 0;
    for (const Message &m : messages)
        if (m.topic.find("/card") != std::string::npos) {
            ++n;
            *last = m.at;
        }
    return n;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Toggles input bits of board 0 and times each until the subscriber has its state topic.
void Latency(SharedState &state, Watcher &watcher, int changes)
{
    std::vector<double> ms;
    uint64_t word = 0;
    int lost = 0;
    for (int i = 0; i < changes; ++i) {
        const int bit = i % 64;
        word ^= uint64_t(1) << bit;
        const std::string topic = std::string(kPrefix) + "/card0/in/" + std::to_string(bit);
        const std::string value = (word >> bit & 1) ? "1" : "0";
        const size_t first = watcher.size();
        const auto t0 = Clock::now();
        Atomic(state.slot(0).held).store(word);
        Clock::time_point at;
        const bool seen = WaitUntil(
            [&] {
                for (const Message &m : watcher.since(first))
                    if (m.topic == topic && m.payload == value)
                        return at = m.at, true;
                return false;
            },
            2.0);
        seen ? ms.push_back(Ms(at - t0)) : void(++lost);
        // The next change at a random moment of the poll interval.
        std::this_thread::sleep_for(
            std::chrono::microseconds(QRandomGenerator::global()->bounded(10000)));
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return void(std::printf("no change reached the subscriber\n"));
    std::printf("input change (shared state) -> agent (10 ms poll) -> Mosquitto -> subscriber, "
                "%zu changes: p50 %.2f ms, p99 %.2f ms, max %.2f ms (targets 10 and 20 ms)%s\n",
                ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(),
                lost ? qPrintable(QStringLiteral("; %1 LOST").arg(lost)) : "");
}

// Sends set messages with an id to the outputs of board 0 and times each answer.
void SetResults(Watcher &watcher, int requests)
{
    std::vector<double> ms;
    int lost = 0;
    for (int i = 0; i < requests; ++i) {
        const std::string out = std::string(kPrefix) + "/card0/out/" + std::to_string(i % 64);
        const std::string id = "\"id\":\"r" + std::to_string(i) + "\"";
        const size_t first = watcher.size();
        const auto t0 = Clock::now();
        watcher.Publish(out + "/set",
                        "{\"value\": " + std::to_string(i / 64 % 2 ? 0 : 1) + ", " + id + "}");
        Clock::time_point at;
        const bool seen = WaitUntil(
            [&] {
                for (const Message &m : watcher.since(first))
                    if (m.topic == out + "/set/result" && m.payload.find(id) != std::string::npos)
                        return at = m.at, true;
                return false;
            },
            2.0);
        seen ? ms.push_back(Ms(at - t0)) : void(++lost);
        std::this_thread::sleep_for(
            std::chrono::microseconds(QRandomGenerator::global()->bounded(10000)));
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return void(std::printf("no set message was answered\n"));
    std::printf("set message -> agent (write, read back) -> set/result, %zu requests: p50 %.2f ms, "
                "p99 %.2f ms, max %.2f ms (targets 15 and 30 ms)%s\n",
                ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(),
                lost ? qPrintable(QStringLiteral("; %1 LOST").arg(lost)) : "");
}

// Takes board 15 out of the recorded set and times the clearing of its states.
void RemoveBoard(QProcess &agent, const QString &ini, Watcher &watcher)
{
    QFile file(ini);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray text = file.readAll();
    file.close();
    text.replace("[Mqtt]", "[Recorder]\nBoards=0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\n[Mqtt]");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return;
    file.close();
    const size_t first = watcher.size();
    const auto t0 = Clock::now();
    ::kill(pid_t(agent.processId()), SIGHUP);
    const std::string card = std::string(kPrefix) + "/card15/";
    Clock::time_point last;
    const bool done = WaitUntil(
        [&] {
            std::set<std::string> cleared;
            bool info = false;
            for (const Message &m : watcher.since(first)) {
                if (m.topic.rfind(card, 0) == 0 && m.payload.empty() &&
                    m.topic.find("/status") == std::string::npos)
                    cleared.insert(m.topic), last = std::max(last, m.at);
                if (m.topic == std::string(kPrefix) + "/info" &&
                    m.payload.find("\"card\":15") == std::string::npos)
                    info = true, last = std::max(last, m.at);
            }
            return cleared.size() == 128 && info;
        },
        10.0);
    if (!done)
        return void(std::printf("board 15 removed: its states were not all cleared\n"));
    std::printf("board 15 removed (SIGHUP): 128 states emptied and the inventory published in "
                "%.1f ms (target < 1000 ms)\n",
                Ms(last - t0));
}

// Restarts the broker and times the agent's full state to a fresh subscriber.
void Reconnect(TestBroker &broker)
{
    broker.Stop();
    QString error;
    const auto started = Clock::now();
    if (!broker.Start(&error))
        return void(std::fprintf(stderr, "bench_agent_link: %s\n", qPrintable(error)));
    Watcher watcher(broker.port());
    Clock::time_point last;
    const bool all = WaitUntil([&] { return States(watcher.since(0), &last) >= 2048; }, 60.0);
    const std::vector<Message> messages = watcher.since(0);
    const auto online = std::find_if(messages.begin(), messages.end(), [](const Message &m) {
        return m.topic == std::string(kPrefix) + "/status" && m.payload == "online";
    });
    if (!all || online == messages.end() || online->retained)
        return void(std::printf("after a reconnect: %zu of 2048 states%s\n",
                                States(messages, &last),
                                online == messages.end() ? ", no \"online\"" : ""));
    std::printf("after a reconnect: 16 x 128 states %.1f ms after \"online\" (target < 1000 ms); "
                "%.0f ms after the broker started (the agent's back-off included)\n",
                Ms(last - online->at), Ms(last - started));
}

QString WriteFiles(const QTemporaryDir &dir, const TestBroker &broker)
{
    QByteArray boards;
    for (int b = 0; b < kBoards; ++b)
        boards += QStringLiteral("[Board%1]\nType=2803\nCardNo=%1\nInputs=64\nOutputs=64\n")
                      .arg(b)
                      .toLatin1();
    QFile config(dir.filePath("boards.ini"));
    if (!config.open(QIODevice::WriteOnly) || config.write(boards) != boards.size())
        return {};
    qputenv("QRXSIM_CONFIG", config.fileName().toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    const QString pw = WritePrivateFile(dir.path(), "pw", TestBroker::kPassword);
    const QString ini = QStringLiteral("[Mqtt]\nHost=127.0.0.1\nPort=%1\nUsername=%2\n"
                                       "PasswordFile=%3\nTopicPrefix=%4\nClientId=bench-agent\n"
                                       "AllowWrite=1\nWritablePoints=0:out:*\n")
                            .arg(broker.port())
                            .arg(TestBroker::kUser, pw, QString::fromLatin1(kPrefix));
    return WritePrivateFile(dir.path(), "agent.ini", ini.toUtf8());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int changes = argc > 1 ? std::max(10, atoi(argv[1])) : 500;
    QTemporaryDir dir;
    TestBroker broker(dir.filePath("broker"));
    QString error;
    const QString ini = broker.Start(&error) ? WriteFiles(dir, broker) : QString();
    BoardConfig boards;
    std::string stateError;
    SharedState state;
    if (ini.isEmpty() || BoardConfig::Locate({}, &boards, &stateError) != 0 ||
        !state.Open(dir.filePath("state").toStdString(), boards, false, &stateError)) {
        std::fprintf(stderr, "bench_agent_link: %s%s\n", qPrintable(error), stateError.c_str());
        return 1;
    }
    QProcess agent;
    agent.setStandardErrorFile(dir.filePath("agent.log"));
    agent.start(QDir(app.applicationDirPath()).filePath("orvane-agent"),
                {"--config", ini, "--database", dir.filePath("history.db")});
    {
        Watcher watcher(broker.port());
        Clock::time_point last;
        if (!WaitUntil([&] { return States(watcher.since(0), &last) >= 2048; }, 30.0)) {
            std::fprintf(stderr, "bench_agent_link: the agent did not publish its boards\n");
            return 1;
        }
        Latency(state, watcher, changes);
        SetResults(watcher, std::min(changes, 300));
    }
    Reconnect(broker);
    {
        Watcher watcher(broker.port());
        RemoveBoard(agent, ini, watcher);
    }
    agent.terminate();
    agent.waitForFinished(10000);
    return 0;
}
