// The status bar's CAP, NUM and SCRL panes follow the lock keys. CTest runs this test twice: on
// a private virtual X server (ORVANE_PRIVATE_X_SERVER=1), where xdotool presses the locks, and
// offscreen, where the state cannot be told and the panes stay dimmed. The locks are never
// pressed on any other display.
#include "FakeDevice.h"
#include "app/MainFrame.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestLockPanes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<CVL_MainFrame> m_frame;

    QLabel *pane(const QString &name) const
    {
        return m_frame->statusBar()->findChild<QLabel *>(name);
    }

    static bool press(const QString &key)
    {
        return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key}) == 0;
    }

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_fake = std::make_unique<FakeDevice>();
        m_fake->boards << FakeBoard();
        m_frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(m_frame->OnCreate(), 0);
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    void cleanup()
    {
        m_frame.reset();
        m_fake.reset();
    }

    void paneFollowsItsLock_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");
        // A virtual server may name no Scroll Lock indicator, so SCRL is left out here.
        QTest::newRow("CAP") << QStringLiteral("CAP") << QStringLiteral("Caps_Lock");
        QTest::newRow("NUM") << QStringLiteral("NUM") << QStringLiteral("Num_Lock");
    }

    void paneFollowsItsLock()
    {
        QFETCH(QString, name);
        QFETCH(QString, key);
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            qgetenv("ORVANE_PRIVATE_X_SERVER") != "1")
            QSKIP("needs a private X server, whose locks may be pressed");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("needs xdotool");
        const QStringList names{QStringLiteral("CAP"), QStringLiteral("NUM"),
                                QStringLiteral("SCRL")};
        for (const QString &n : names)
            QVERIFY2(!pane(n)->isEnabled(), qPrintable(n));

        QVERIFY(press(key));
        QTRY_VERIFY(pane(name)->isEnabled());
        for (const QString &n : names)
            QCOMPARE(pane(n)->isEnabled(), n == name);

        QVERIFY(press(key));
        QTRY_VERIFY(!pane(name)->isEnabled());
    }

    void panesDimmedWhereTheStateIsUnknown()
    {
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QSKIP("the X server tells the locks' state");
        for (const char *name : {"CAP", "NUM", "SCRL"})
            QVERIFY2(!pane(QLatin1String(name))->isEnabled(), name);
    }
};

QTEST_MAIN(TestLockPanes)
#include "tst_lockpanes.moc"
