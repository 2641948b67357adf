#include "ModbusServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

int64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

// Reads exactly `n` bytes: the first within `firstMs`, each next within `byteMs`. False on a
// timeout, the peer's close or an error.
bool ReadExact(int fd, uint8_t *buffer, int n, int firstMs, int byteMs)
{
    int have = 0;
    while (have < n) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, have == 0 ? firstMs : byteMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = recv(fd, buffer + have, size_t(n - have), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        have += int(got);
    }
    return true;
}

// The peer's address as 16 bytes (IPv4 mapped) and as text.
std::array<uint8_t, 16> PeerAddress(const sockaddr_storage &peer, QString *text)
{
    std::array<uint8_t, 16> address{};
    char buffer[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&peer);
        address[10] = address[11] = 0xFF;
        std::memcpy(address.data() + 12, &v4->sin_addr, 4);
        inet_ntop(AF_INET, &v4->sin_addr, buffer, sizeof buffer);
    } else {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&peer);
        std::memcpy(address.data(), &v6->sin6_addr, 16);
        inet_ntop(AF_INET6, &v6->sin6_addr, buffer, sizeof buffer);
    }
    *text = QString::fromLatin1(buffer);
    return address;
}

} // namespace

ModbusServer::ModbusServer(const ModbusConfig &config, Hooks hooks)
    : m_config(config)
    , m_hooks(std::move(hooks))
{
}

ModbusServer::~ModbusServer()
{
    Stop();
}

bool ModbusServer::Start(QString *error)
{
    std::array<uint8_t, 16> ignored{};
    int bits = 0;
    ParseAddress(m_config.listen, &ignored, &bits);
    const bool v6 = m_config.listen.contains(u':');
    sockaddr_storage address{};
    socklen_t length = 0;
    if (v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(uint16_t(m_config.port));
        inet_pton(AF_INET6, m_config.listen.toLatin1().constData(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(uint16_t(m_config.port));
        inet_pton(AF_INET, m_config.listen.toLatin1().constData(), &a->sin_addr);
        length = sizeof *a;
    }
    const QString where = QStringLiteral("%1 port %2").arg(m_config.listen).arg(m_config.port);
    m_listenFd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (m_listenFd >= 0)
        setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        listen(m_listenFd, 128) != 0) {
        const int e = errno;
        *error = QStringLiteral("cannot listen on %1: %2")
                     .arg(where, QString::fromLocal8Bit(strerror(e)));
        if (e == EACCES && m_config.port < 1024)
            *error += QStringLiteral(
                "; a port below 1024 needs the capability CAP_NET_BIND_SERVICE (the packaged "
                "service has it: run the agent with \"systemctl start orvane-agent\"), or set "
                "Port= in [Modbus] to 1024 or above");
        else if (e == EADDRINUSE)
            *error += QStringLiteral("; another program (or another agent) listens there");
        if (m_listenFd >= 0)
            close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_startMs = NowMs();
    m_stopping = false;
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void ModbusServer::Stop()
{
    if (m_listenFd < 0)
        return;
    m_stopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    Reap(true);
    close(m_listenFd);
    close(m_wakeFd);
    m_listenFd = m_wakeFd = -1;
}

void ModbusServer::AcceptLoop()
{
    while (!m_stopping) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, 1000) < 0 && errno != EINTR)
            break;
        Reap(false);
        if (!m_stopping && (fds[0].revents & POLLIN))
            Accept();
    }
}

void ModbusServer::LogOnce(std::atomic<bool> &flag, const QString &line)
{
    if (!flag.exchange(true) && m_hooks.log)
        m_hooks.log(line);
}

void ModbusServer::Accept()
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(m_listenFd, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    QString text;
    const ClientAccess access = m_config.AccessOf(PeerAddress(peer, &text));
    if (access == ClientAccess::Refused) {
        LogOnce(m_loggedRefused,
                QStringLiteral("modbus: refused a client at %1, not in Clients= (logged once)")
                    .arg(text));
        close(fd);
        return;
    }
    if (m_active.load() >= m_config.maxClients) {
        LogOnce(m_loggedFull,
                QStringLiteral("modbus: refused a client at %1: MaxClients=%2 are connected "
                               "(logged once)")
                    .arg(text)
                    .arg(m_config.maxClients));
        close(fd);
        return;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A client that stops reading its answers is closed, not waited for.
    const timeval sendTimeout{kSendTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    ++m_active;
    std::lock_guard lock(m_mutex);
    Connection &c = m_connections.emplace_back();
    c.fd = fd;
    c.thread = std::thread([this, &c, access, text] { Serve(&c, access, text); });
}

// Joins the threads that ended (all of them, after shutting their sockets, when `all`).
void ModbusServer::Reap(bool all)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (all)
            shutdown(it->fd, SHUT_RDWR);
        if (!all && !it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        close(it->fd);
        it = m_connections.erase(it);
    }
}

void ModbusServer::Serve(Connection *connection, ClientAccess access, QString peer)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", 502); // only its framing: the socket is ours
    modbus_mapping_t *mapping = ModbusMap::NewMapping();
    std::shared_ptr<const ModbusMap::Image> shown;
    if (ctx && mapping) {
        modbus_set_socket(ctx, connection->fd);
        uint8_t frame[ModbusMap::kHeaderBytes + MODBUS_MAX_PDU_LENGTH];
        while (!m_stopping) {
            if (!ReadExact(connection->fd, frame, ModbusMap::kHeaderBytes, kIdleTimeoutMs,
                           kByteTimeoutMs))
                break;
            const int rest = ModbusMap::RestLength(frame);
            if (rest < 0 ||
                !ReadExact(connection->fd, frame + ModbusMap::kHeaderBytes, rest, kByteTimeoutMs,
                           kByteTimeoutMs))
                break;
            if (!Answer(ctx, frame, ModbusMap::kHeaderBytes + rest, access, peer, mapping, &shown))
                break;
        }
        shutdown(connection->fd, SHUT_RDWR);
    }
    if (mapping)
        modbus_mapping_free(mapping);
    if (ctx)
        modbus_free(ctx); // the socket is closed by Reap
    --m_active;
    connection->done = true;
}

bool ModbusServer::Answer(modbus_t *ctx, const uint8_t *frame, int length, ClientAccess access,
                          const QString &peer, modbus_mapping_t *mapping,
                          std::shared_ptr<const ModbusMap::Image> *shown)
{
    const std::shared_ptr<const ModbusMap::Image> image = m_hooks.image();
    ModbusMap::Access a;
    a.allowWrite = m_config.allowWrite;
    a.client = access;
    a.tripped = image->watchdogState == 2;
    a.unitMode = m_config.unitMode;
    const ModbusMap::Verdict v = ModbusMap::CheckRequest(frame, length, *image, a);
    ModbusMap::LiveStatus live;
    live.msSinceRequest = m_hooks.msSinceRequest ? m_hooks.msSinceRequest() : 65535;
    live.connections = m_active.load();
    live.uptimeS = uint32_t((NowMs() - m_startMs) / 1000);
    if (m_hooks.masterRequest)
        m_hooks.masterRequest(v.isWrite);
    int sent = 0;
    if (v.action == ModbusMap::Action::Read) {
        if (*shown != image)
            ModbusMap::FillMapping(*image, mapping);
        *shown = image;
        ModbusMap::FillLiveStatus(live, mapping);
        uint8_t request[ModbusMap::kHeaderBytes + MODBUS_MAX_PDU_LENGTH];
        std::memcpy(request, frame, size_t(length));
        request[ModbusMap::kHeaderBytes + 1] = uint8_t(v.flatAddress >> 8);
        request[ModbusMap::kHeaderBytes + 2] = uint8_t(v.flatAddress);
        sent = modbus_reply(ctx, request, length, mapping);
    } else {
        const uint8_t exception =
            v.action == ModbusMap::Action::Exception ? v.exception : m_hooks.carryOut(v, peer);
        if (exception) {
            sent = modbus_reply_exception(ctx, frame, exception);
        } else {
            const std::array<uint8_t, 12> reply = ModbusMap::WriteReply(frame);
            sent = int(send(modbus_get_socket(ctx), reply.data(), reply.size(), MSG_NOSIGNAL));
        }
    }
    return sent > 0;
}
