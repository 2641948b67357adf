#pragma once
// The Modbus TCP server's settings: the [Modbus] section of the agent's INI file. Keys are
// matched without case; every value is checked, and anything else is an error naming the file
// and the line. The outputs WritablePoints= names are checked once the boards are known.

#include "AgentConfig.h"
#include "MqttConfig.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

enum class UnitMode : uint8_t { Any, PerBoard };
enum class ClientAccess : uint8_t { Refused, Read, Write };

// An address or network (IPv4 or IPv6, 16 bytes; IPv4 as ::ffff:a.b.c.d) and its access.
struct ClientRule
{
    std::array<uint8_t, 16> address{};
    int prefixBits = 128;
    ClientAccess access = ClientAccess::Read;

    bool operator==(const ClientRule &) const = default;
};

struct ModbusConfig
{
    QString listen = QStringLiteral("127.0.0.1");
    int port = 502;
    int maxClients = 8;
    bool allowWrite = false;
    QString writableText; // WritablePoints= as written, checked with the boards
    std::set<std::pair<int32_t, int>> writable; // (card, output point)
    std::vector<ClientRule> clients; // empty: every client, with write access
    UnitMode unitMode = UnitMode::Any;

    // What a client at `address` (16 bytes, IPv4 mapped) may do.
    ClientAccess AccessOf(const std::array<uint8_t, 16> &address) const;
    bool operator==(const ModbusConfig &) const = default;
};

// Parses the section's entries (keys without case). False with `error` ("FILE:LINE: [Modbus]
// ...", one line per problem). `boards` null: WritablePoints= is kept as text, unchecked.
bool ParseModbusConfig(const QList<ConfigEntry> &entries, const QString &file,
                       const std::vector<PlantBoard> *boards, ModbusConfig *config, QString *error);

// Hands each entry of a section to `apply` (key in lower case, value trimmed), which answers
// what is wrong with it or nothing; a key given twice is an error too. False with `error`
// ("FILE:LINE: [Section] Key=: problem", one line per problem).
bool ApplySection(const QList<ConfigEntry> &entries, const QString &file, const QString &section,
                  const std::function<QString(const QString &key, const QString &value)> &apply,
                  QString *error);

// "192.168.1.7", "::1", "10.0.0.0/8" into 16 bytes and a prefix length.
bool ParseAddress(const QString &text, std::array<uint8_t, 16> *address, int *prefixBits);
