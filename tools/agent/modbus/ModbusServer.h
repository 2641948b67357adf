#pragma once
// The Modbus TCP server's sockets: it listens on [Modbus] Listen= and Port=, accepts up to
// MaxClients= connections (one beyond is closed at once, logged once) from the clients
// Clients= lets in, and serves each on a thread of its own, so a slow client never holds up
// another. A frame must arrive within a byte timeout once it started; a frame with a wrong
// protocol id or length is dropped and its connection closed. What a frame asks is decided by
// ModbusMap::CheckRequest; reads are answered with modbus_reply from the newest image, writes
// are handed to `carryOut` (the agent's main thread) and answered after they were done.
// The server never touches the device.

#include "ModbusMap.h"

#include <QString>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class ModbusServer
{
public:
    struct Hooks
    {
        // The newest image; called from the connection threads.
        std::function<std::shared_ptr<const ModbusMap::Image>()> image;
        // Carries out a write (blocking; from a connection thread); answers 0 or an exception.
        std::function<uint8_t(const ModbusMap::Verdict &, const QString &client)> carryOut;
        // Every well-formed request (the watchdog's feed); `write` for a write function.
        std::function<void(bool write)> masterRequest;
        // Milliseconds since the last master request, for the status block.
        std::function<int64_t()> msSinceRequest;
        std::function<void(const QString &line)> log;
    };

    static constexpr int kByteTimeoutMs = 500; // between the bytes of one frame
    static constexpr int kIdleTimeoutMs = 120'000; // a connection with no request is closed
    static constexpr int kSendTimeoutMs = 5000; // an answer the client does not take

    ModbusServer(const ModbusConfig &config, Hooks hooks);
    ~ModbusServer(); // Stop()

    // Binds and listens; false with `error` saying what to do (a port below 1024 without the
    // capability, an address in use).
    bool Start(QString *error);
    // Closes the listening socket and every connection, and joins the threads.
    void Stop();
    int connections() const { return m_active.load(); }

private:
    struct Connection
    {
        std::thread thread;
        int fd = -1;
        std::atomic<bool> done{false};
    };
    void AcceptLoop();
    void Accept();
    void Serve(Connection *connection, ClientAccess access, QString peer);
    bool Answer(modbus_t *ctx, const uint8_t *frame, int length, ClientAccess access,
                const QString &peer, modbus_mapping_t *mapping,
                std::shared_ptr<const ModbusMap::Image> *shown);
    void Reap(bool all);
    void LogOnce(std::atomic<bool> &flag, const QString &line);

    ModbusConfig m_config;
    Hooks m_hooks;
    int m_listenFd = -1;
    int m_wakeFd = -1; // eventfd: Stop() wakes the accept loop
    std::thread m_acceptThread;
    std::mutex m_mutex; // m_connections
    std::list<Connection> m_connections;
    std::atomic<int> m_active{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_loggedFull{false};
    std::atomic<bool> m_loggedRefused{false};
    int64_t m_startMs = 0;
};
