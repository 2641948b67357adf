#include "Output.h"

#include <QJsonDocument>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

void Output::Result(const QString &text, const QJsonObject &object)
{
    Result(text, m_json ? QJsonDocument(object).toJson(QJsonDocument::Compact) : QByteArray());
}

void Output::Result(const QString &text, const QByteArray &jsonLine)
{
    const QByteArray line = m_json ? jsonLine : text.toLocal8Bit();
    if (line.isEmpty())
        return;
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
}

bool Output::Flush()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    // The stream's error stays set after the failed write, so a later flush fails without
    // telling why again: a reader once gone stays gone.
    m_error = m_error ? m_error : errno;
    m_gone = m_gone || errno == EPIPE;
    return false;
}

int Output::Finish(bool readerMayGo)
{
    if (Flush() || (m_gone && readerMayGo))
        return 0;
    Message(QStringLiteral("cannot write the output: %1").arg(strerror(m_error)));
    return 1;
}

void Output::Message(const QString &message)
{
    for (const QString &line : message.split(u'\n'))
        std::fprintf(stderr, "qrxio: %s\n", qPrintable(line));
}
