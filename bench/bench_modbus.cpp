// orvane-agent's Modbus server against a minimal libmodbus server that answers the same
// requests from memory (this bench's own, single-threaded, the library's usual loop), on 16
// simulated boards of 64 inputs and 64 outputs, side by side, median of 5 runs:
// 1. request latency p50/p99 of FC 2 of 1,024 inputs and FC 4 of 64 registers (targets: within
//    1.5x the minimal server's);
// 2. throughput (FC 4 of 64 registers, back to back) of one client and of four (>= 0.7x);
// 3. the watchdog: a master writes, then stops; the time until the safe value is on the output,
//    read from the simulator's state as qrxsim get reads it, p50/p99 over 100 trips (target
//    TimeoutMs + one poll interval);
// 4. the agent's loop while four clients each send 1,000 requests/s: the lateness of a 10 ms
//    timer on the agent's main thread (in this process, beside its poll timer), p99 (target
//    <= 2 ms), beside the same without clients.
// Usage: bench_modbus [TRIPS] (default 100); the agent and library beside it are used.

#include "Agent.h"
#include "BoardConfig.h"
#include "ModbusComponent.h"
#include "SharedState.h"
#include "Watchdog.h"

#include <modbus/modbus.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr int kRequests = 2000;
constexpr int kTimeoutMs = 200;
constexpr int kIntervalMs = 10;

double Us(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

double Median(std::vector<double> v)
{
    return Percentile(std::move(v), 0.5);
}

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), size);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

// The minimal server: one thread, select() over the listening socket and every client.
class MinimalServer
{
public:
    explicit MinimalServer(int port)
        : m_port(port)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~MinimalServer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void Run()
    {
        modbus_t *ctx = modbus_new_tcp("127.0.0.1", m_port);
        modbus_mapping_t *map = modbus_mapping_new(1024, 4128, 4354, 4105);
        const int server = modbus_tcp_listen(ctx, 8);
        fd_set all;
        FD_ZERO(&all);
        FD_SET(server, &all);
        int maxFd = server;
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!m_stop) {
            fd_set ready = all;
            timeval tv{0, 100'000};
            if (select(maxFd + 1, &ready, nullptr, nullptr, &tv) <= 0)
                continue;
            for (int fd = 0; fd <= maxFd; ++fd) {
                if (!FD_ISSET(fd, &ready))
                    continue;
                if (fd == server) {
                    const int c = accept(server, nullptr, nullptr);
                    FD_SET(c, &all);
                    maxFd = std::max(maxFd, c);
                    continue;
                }
                modbus_set_socket(ctx, fd);
                const int n = modbus_receive(ctx, query);
                if (n > 0) {
                    modbus_reply(ctx, query, n, map);
                } else if (n < 0) {
                    close(fd);
                    FD_CLR(fd, &all);
                }
            }
        }
        close(server);
        modbus_mapping_free(map);
        modbus_free(ctx);
    }

    int m_port;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

modbus_t *Connect(int port)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    modbus_set_response_timeout(ctx, 5, 0);
    if (modbus_connect(ctx) != 0) {
        modbus_free(ctx);
        return nullptr;
    }
    return ctx;
}

// One request of the bench: FC 2 of 1,024 inputs or FC 4 of 64 registers.
bool Request(modbus_t *ctx, int fc)
{
    static thread_local uint8_t bits[1024];
    static thread_local uint16_t words[64];
    return fc == 2 ? modbus_read_input_bits(ctx, 0, 1024, bits) == 1024
                   : modbus_read_input_registers(ctx, 0, 64, words) == 64;
}

std::vector<double> Latencies(int port, int fc)
{
    std::vector<double> us;
    modbus_t *ctx = Connect(port);
    for (int i = 0; ctx && i < kRequests; ++i) {
        const auto start = Clock::now();
        if (Request(ctx, fc))
            us.push_back(Us(Clock::now() - start));
    }
    if (ctx) {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    return us;
}

// Requests per second of `clients` clients asking back to back for one second.
double Throughput(int port, int clients)
{
    std::atomic<long> done{0};
    std::vector<std::thread> threads;
    const auto end = Clock::now() + std::chrono::seconds(1);
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            modbus_t *ctx = Connect(port);
            while (ctx && Clock::now() < end)
                done += Request(ctx, 4);
            if (ctx) {
                modbus_close(ctx);
                modbus_free(ctx);
            }
        });
    for (auto &t : threads)
        t.join();
    return double(done.load());
}

struct Figures
{
    std::vector<double> p50[2], p99[2], rate[2];
};

void Compare(int agentPort, int minimalPort)
{
    Figures agent, minimal;
    for (int run = 0; run < kRuns; ++run) {
        for (auto [port, f] : {std::pair{agentPort, &agent}, std::pair{minimalPort, &minimal}}) {
            for (int k = 0; k < 2; ++k) {
                const std::vector<double> us = Latencies(port, k == 0 ? 2 : 4);
                f->p50[k].push_back(Percentile(us, 0.5));
                f->p99[k].push_back(Percentile(us, 0.99));
                f->rate[k].push_back(Throughput(port, k == 0 ? 1 : 4));
            }
        }
    }
    const char *names[2] = {"FC 2 of 1,024 inputs", "FC 4 of 64 registers"};
    std::printf("%-34s %12s %12s %8s\n", "median of 5 runs", "agent", "minimal", "ratio");
    for (int k = 0; k < 2; ++k) {
        std::printf("%-34s %9.0f us %9.0f us %7.2fx (target <= 1.5x)\n",
                    (QByteArray(names[k]) + " p50").constData(), Median(agent.p50[k]),
                    Median(minimal.p50[k]), Median(agent.p50[k]) / Median(minimal.p50[k]));
        std::printf("%-34s %9.0f us %9.0f us %7.2fx (target <= 1.5x)\n",
                    (QByteArray(names[k]) + " p99").constData(), Median(agent.p99[k]),
                    Median(minimal.p99[k]), Median(agent.p99[k]) / Median(minimal.p99[k]));
    }
    for (int k = 0; k < 2; ++k)
        std::printf("%-34s %10.0f/s %10.0f/s %7.2fx (target >= 0.7x)\n",
                    k == 0 ? "throughput, 1 client" : "throughput, 4 clients",
                    Median(agent.rate[k]), Median(minimal.rate[k]),
                    Median(agent.rate[k]) / Median(minimal.rate[k]));
}

// A master writes output 0 of card 0 (arming the watchdog) and stops; the time until the
// simulator's state holds the safe value (0). The trip is cleared by register 4353.
void Trips(int port, SharedState &state, int trips)
{
    std::vector<double> ms;
    modbus_t *ctx = Connect(port);
    for (int i = 0; ctx && i < trips; ++i) {
        if (modbus_write_bit(ctx, 0, 1) != 1)
            break;
        const auto last = Clock::now();
        while (Atomic(state.slot(0).outputs).load() & 1) {
            if (Clock::now() - last > std::chrono::seconds(5))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ms.push_back(Us(Clock::now() - last) / 1000);
        modbus_write_register(ctx, 4353, 1);
    }
    if (ctx) {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    std::printf("safe value on the output after the master stopped (%zu trips, TimeoutMs=%d, "
                "poll %d ms): p50 %.1f ms, p99 %.1f ms (target <= %d ms)\n",
                ms.size(), kTimeoutMs, kIntervalMs, Percentile(ms, 0.5), Percentile(ms, 0.99),
                kTimeoutMs + kIntervalMs);
}

QString WriteIni(const QTemporaryDir &dir, const QString &name, int port)
{
    QFile file(dir.filePath(name));
    const QString text =
        QStringLiteral("[Recorder]\nIntervalMs=%1\n[Modbus]\nPort=%2\nAllowWrite=1\n"
                       "WritablePoints=0:out:*\n[Watchdog]\nTimeoutMs=%3\nTrigger=writes\n"
                       "SafeOutputs=0:out:0=off\nStateFile=%4\nSocket=%5\n")
            .arg(kIntervalMs)
            .arg(port)
            .arg(kTimeoutMs)
            .arg(dir.filePath(name + ".wd"), dir.filePath(name + ".sock"));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return {};
    return file.fileName();
}

// Each tick's lateness: how much longer than one interval it came after the tick before it
// (the timer keeps its schedule, so a late tick is followed by a short interval, not counted).
std::vector<double> LateMs(const std::vector<Clock::time_point> &ticks)
{
    std::vector<double> late;
    for (size_t i = 1; i < ticks.size(); ++i)
        late.push_back(std::max(0.0, Us(ticks[i] - ticks[i - 1]) / 1000 - kIntervalMs));
    return late;
}

// The agent in this process with a 10 ms probe timer beside its poll: its lateness for 5 s
// without clients, then for 5 s with four clients at 1,000 requests/s each.
void Lateness(const QTemporaryDir &dir)
{
    const int port = FreePort();
    AgentOptions options;
    options.config = WriteIni(dir, "inprocess.ini", port);
    options.database = dir.filePath("inprocess.db");
    Agent agent(options, QCoreApplication::applicationDirPath());
    auto watchdog = std::make_unique<Watchdog>();
    agent.AddComponent(std::make_unique<ModbusComponent>(watchdog.get()));
    agent.AddComponent(std::move(watchdog));
    if (agent.Start() >= 0)
        return void(std::printf("lateness: the agent did not start\n"));
    std::vector<Clock::time_point> ticks[2];
    std::atomic<int> phase{0};
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (phase < 2)
            ticks[phase].push_back(Clock::now());
    });
    probe.start(kIntervalMs);
    std::thread driver([&] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        phase = 1;
        std::vector<std::thread> clients;
        for (int c = 0; c < 4; ++c)
            clients.emplace_back([&] {
                modbus_t *ctx = Connect(port);
                auto next = Clock::now();
                for (int i = 0; ctx && i < 5000; ++i) {
                    next += std::chrono::milliseconds(1);
                    Request(ctx, 2);
                    std::this_thread::sleep_until(next);
                }
                if (ctx)
                    modbus_free(ctx);
            });
        for (auto &t : clients)
            t.join();
        phase = 2;
        QMetaObject::invokeMethod(&agent, [&] { agent.Stop(); });
    });
    QCoreApplication::exec();
    driver.join();
    const std::vector<double> loaded = LateMs(ticks[1]), idle = LateMs(ticks[0]);
    std::printf("lateness of a 10 ms timer on the agent's loop: p99 %.2f ms (max %.2f) with four "
                "clients at 1,000 requests/s each (target <= 2 ms), p99 %.2f ms (max %.2f) "
                "without\n",
                Percentile(loaded, 0.99), Percentile(loaded, 1), Percentile(idle, 0.99),
                Percentile(idle, 1));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int trips = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    QTemporaryDir dir;
    QByteArray boards;
    for (int b = 0; b < 16; ++b)
        boards += QStringLiteral("[Board%1]\nType=2803\nCardNo=%1\nInputs=64\nOutputs=64\n")
                      .arg(b)
                      .toLatin1();
    QFile boardFile(dir.filePath("boards.ini"));
    if (!boardFile.open(QIODevice::WriteOnly) || boardFile.write(boards) != boards.size())
        return 1;
    boardFile.close();
    qputenv("QRXSIM_CONFIG", boardFile.fileName().toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    BoardConfig config;
    SharedState state;
    std::string error;
    if (BoardConfig::Locate({}, &config, &error) != 0 ||
        !state.Open(dir.filePath("state").toStdString(), config, false, &error)) {
        std::fprintf(stderr, "bench_modbus: %s\n", error.c_str());
        return 1;
    }
    const int agentPort = FreePort();
    QProcess agent;
    agent.setStandardErrorFile(dir.filePath("agent.log"));
    agent.start(QDir(app.applicationDirPath()).filePath("orvane-agent"),
                {"--config", WriteIni(dir, "agent.ini", agentPort), "--database",
                 dir.filePath("history.db")});
    modbus_t *probe = nullptr;
    for (int i = 0; i < 200 && !probe; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        probe = Connect(agentPort);
    }
    if (!probe) {
        std::fprintf(stderr, "bench_modbus: the agent did not listen\n");
        return 1;
    }
    modbus_free(probe);
    {
        const int minimalPort = FreePort();
        MinimalServer minimal(minimalPort);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Compare(agentPort, minimalPort);
    }
    Trips(agentPort, state, trips);
    agent.terminate();
    agent.waitForFinished(10000);
    Lateness(dir);
    return 0;
}
