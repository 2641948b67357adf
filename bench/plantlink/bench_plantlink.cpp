// The plant link's figures against a real Mosquitto broker on 127.0.0.1: the latency from a
// change handed to PublishChange to a subscriber (p50/p99), and the time from Start() until a
// subscriber holds the full state of 16 boards x 128 points (with and without discovery).
// The agent's poll interval (up to 10 ms) comes on top of the latency measured here.

#include "FakePlant.h"
#include "TestBroker.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A subscriber that counts messages and keeps the arrival time of the last one.
struct Counter
{
    std::atomic<int> count{0};
    std::atomic<int64_t> lastNs{0};
    mosquitto *mosq = nullptr;

    Counter(int port, const char *topic)
    {
        mosq = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(mosq, TestBroker::kUser, TestBroker::kPassword);
        mosquitto_message_callback_set(mosq,
                                       [](mosquitto *, void *self, const mosquitto_message *) {
                                           auto *c = static_cast<Counter *>(self);
                                           c->lastNs = Clock::now().time_since_epoch().count();
                                           ++c->count;
                                       });
        mosquitto_connect(mosq, "127.0.0.1", port, 30);
        mosquitto_subscribe(mosq, nullptr, topic, 1);
        mosquitto_loop_start(mosq);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Counter()
    {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }
};

std::vector<PlantBoard> SixteenBoards()
{
    std::vector<PlantBoard> boards;
    for (int card = 0; card < 16; ++card)
        boards.push_back({card, QStringLiteral("QRX-LN64DIO"), ~0ull, ~0ull});
    return boards;
}

std::vector<PointState> States(const std::vector<PlantBoard> &boards)
{
    std::vector<PointState> states;
    for (const PlantBoard &b : boards)
        for (PointDir dir : {PointDir::In, PointDir::Out})
            for (int bit = 0; bit < 64; ++bit)
                states.push_back({b.cardNo, dir, bit, bool(bit & 1), {}});
    return states;
}

MqttConfig Config(const TestBroker &broker, const QString &prefix, const QString &extra)
{
    const QString pw = WritePrivateFile(broker.dir(), "bench-pw", TestBroker::kPassword);
    const QString text = QStringLiteral("Host=127.0.0.1\nPort=%1\nUsername=%2\nPasswordFile=%3\n"
                                        "TopicPrefix=%4\nClientId=bench\n%5")
                             .arg(broker.port())
                             .arg(TestBroker::kUser, pw, prefix, extra);
    return *ParseMqttConfig("bench.ini", 1, IniLines(text), SixteenBoards(), "bench").config;
}

double Ms(int64_t ns)
{
    return double(ns) / 1e6;
}

void Latency(const TestBroker &broker)
{
    const auto boards = SixteenBoards();
    PlantLink link(
        Config(broker, "bench/lat", {}), boards, [&] { return States(boards); }, 10);
    link.Start(nullptr);
    if (!QTest::qWaitFor([&] { return link.isConnected(); }, 5000))
        std::fprintf(stderr, "bench_plantlink: the link did not connect\n");
    Counter sub(broker.port(), "bench/lat/card3/in/+");
    std::vector<int64_t> ns;
    for (int i = 0; i < 2000; ++i) {
        const int before = sub.count;
        const int64_t t0 = Clock::now().time_since_epoch().count();
        link.PublishChange(i, 3, PointDir::In, i % 64, i / 64 % 2 == 0, {});
        while (sub.count == before)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        ns.push_back(sub.lastNs - t0);
    }
    std::sort(ns.begin(), ns.end());
    std::printf(
        "PublishChange -> subscriber, 2000 changes: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
        Ms(ns[ns.size() / 2]), Ms(ns[ns.size() * 99 / 100]), Ms(ns.back()));
}

void FullState(const TestBroker &broker, bool discovery, int run)
{
    const auto boards = SixteenBoards();
    const QString prefix = QStringLiteral("bench/full%1%2").arg(run).arg(discovery ? "d" : "");
    const MqttConfig config = Config(broker, prefix,
                                     discovery ? "Discovery=homeassistant\nAllowWrite=1\n"
                                                 "WritablePoints=0:out:* 1:out:*"
                                               : "");
    Counter sub(broker.port(), qPrintable(prefix + "/+/+/+"));
    PlantLink link(
        config, boards, [&] { return States(boards); }, 10);
    const int64_t t0 = Clock::now().time_since_epoch().count();
    link.Start(nullptr);
    if (!QTest::qWaitFor([&] { return sub.count >= 2048; }, 20000))
        std::fprintf(stderr, "bench_plantlink: the full state did not arrive\n");
    std::printf("full state of 16 x 128 points after a connect%s (run %d): %.1f ms (%d states)\n",
                discovery ? ", discovery on" : "", run, Ms(sub.lastNs - t0), int(sub.count));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    TestBroker broker(dir.filePath("broker"));
    QString error;
    if (!broker.Start(&error)) {
        std::fprintf(stderr, "bench_plantlink: %s\n", qPrintable(error));
        return 1;
    }
    Latency(broker);
    for (int run = 1; run <= 3; ++run)
        FullState(broker, false, run);
    for (int run = 1; run <= 3; ++run)
        FullState(broker, true, run);
    return 0;
}
