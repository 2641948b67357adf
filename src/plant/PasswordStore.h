#pragma once
// The broker's password in the desktop's secret store (through QtKeychain, which reaches it
// through libsecret at run time). Every call is asynchronous and answers once, within 5 s: a
// store that does not answer by then counts as none. Nothing is ever written in clear: without
// a store the caller asks for the password each time and keeps it in memory only.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace PasswordStore {

// The service name the passwords are kept under.
inline constexpr char kService[] = "Orvane Plant Broker";
inline constexpr int kTimeoutMs = 5000;

// The password, or none with `error` saying why (no store, no entry, no answer in time).
using ReadDone = std::function<void(std::optional<QByteArray> password, const QString &error)>;
using WriteDone = std::function<void(bool ok, const QString &error)>;

// `context` ends the call early: once it is gone, `done` is never called.
void Read(const QString &key, QObject *context, ReadDone done);
void Write(const QString &key, const QByteArray &password, QObject *context, WriteDone done);
void Remove(const QString &key, QObject *context, WriteDone done);

} // namespace PasswordStore
