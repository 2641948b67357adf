// Ending on SIGTERM, SIGHUP and SIGINT: the signal reaches the program through its event loop,
// and the real program, started on the simulated library, ends in order: no question, the tool
// bar layout stored, the device system unloaded (the simulator's level-5 log shows the call),
// exit status 0.
#include "SimBoards.h"
#include "process/EndSignals.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// The signals the process catches, from /proc/<pid>/status.
quint64 CaughtSignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    return 0;
}

quint64 Bit(int signal)
{
    return quint64(1) << (signal - 1);
}

} // namespace

class TestEndSignals : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        // The program started below stores its layout in the test's own folder.
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    // Started under nohup, a hang-up must not end the program.
    void anIgnoredSignalStaysIgnored()
    {
        std::signal(SIGHUP, SIG_IGN);
        QList<int> received;
        {
            EndSignals catcher([&](int s) { received << s; });
            raise(SIGHUP);
            QTest::qWait(50);
            QCOMPARE(received, QList<int>());
        }
        struct sigaction now;
        QCOMPARE(sigaction(SIGHUP, nullptr, &now), 0);
        QVERIFY(now.sa_handler == SIG_IGN);
        std::signal(SIGHUP, SIG_DFL);
    }

    void programEndsInOrder_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void programEndsInOrder()
    {
        QFETCH(int, signal);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        // A copy of the program of its own, so that its settings file lands in the test's folder.
        const QString appDir = m_dir.filePath(name);
        QVERIFY(QDir().mkpath(appDir));
        const QString program = QDir(appDir).filePath(QStringLiteral("orvane"));
        QVERIFY(
            QFile::copy(QDir(QCoreApplication::applicationDirPath()).filePath("orvane"), program));
        const QString log = m_dir.filePath(name + QStringLiteral(".dbg"));
        QVERIFY(UseSimBoards(m_dir.path(), name,
                             "[System]\nLogLevel=5\nLogFile=" + log.toLocal8Bit() +
                                 "\n[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\n"));
        const QString layoutFile = m_dir.filePath(QStringLiteral("config/Orvane/Orvane.conf"));
        QFile::remove(layoutFile);

        QProcess orvane;
        orvane.setProcessChannelMode(QProcess::ForwardedChannels);
        // Signals ignored by whoever started the test (a background job ignores SIGINT) would
        // stay ignored in the program.
        orvane.setChildProcessModifier([] {
            for (int s : {SIGTERM, SIGHUP, SIGINT})
                std::signal(s, SIG_DFL);
        });
        orvane.start(program, {});
        QVERIFY(orvane.waitForStarted());
        const quint64 ours = Bit(SIGTERM) | Bit(SIGHUP) | Bit(SIGINT);
        QTRY_VERIFY_WITH_TIMEOUT((CaughtSignals(orvane.processId()) & ours) == ours, 30000);
        QCOMPARE(kill(pid_t(orvane.processId()), signal), 0);
        QVERIFY(orvane.waitForFinished(30000));
        QCOMPARE(orvane.exitStatus(), QProcess::NormalExit);
        QCOMPARE(orvane.exitCode(), 0);

        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
        QVERIFY2(lines.last().contains(" DXS_devSysUnload() -> 0"), lines.last().constData());
        QSettings layout(layoutFile, QSettings::IniFormat);
        QVERIFY(!layout.value(QStringLiteral("NormalLayout")).toByteArray().isEmpty());
        QVERIFY(layout.contains(QStringLiteral("CommandBars/MainArea")));
    }
};

QTEST_GUILESS_MAIN(TestEndSignals)
#include "tst_endsignals.moc"
