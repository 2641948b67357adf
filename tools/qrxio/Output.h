#pragma once
// What qrxio prints: results on stdout, as text or as one JSON object per line, and messages on
// stderr as "qrxio: message".

#include <QJsonObject>
#include <QString>

class Output
{
public:
    explicit Output(bool json)
        : m_json(json)
    {
    }

    bool json() const { return m_json; }

    // One result: `text` as a line (nothing when empty) or `object` as a JSON line.
    void Result(const QString &text, const QJsonObject &object);
    // The same with the JSON line already written.
    void Result(const QString &text, const QByteArray &jsonLine);
    // Hands what was printed to the reader. False when it could not be written; gone() then
    // tells whether the reader has closed its end.
    bool Flush();
    bool gone() const { return m_gone; }
    // Flushes; on failure prints why and answers kExitRefused (1), unless the reader has gone
    // and `readerMayGo`.
    int Finish(bool readerMayGo);

    // Prints every line of `message` with the "qrxio: " prefix.
    static void Message(const QString &message);

private:
    bool m_json;
    bool m_gone = false;
    int m_error = 0; // errno of the first failed flush
};
