// The System IO window and the maintenance dialogs end to end: the real application loads the
// simulated device library, and what the program did is checked through the simulator's
// shared state (the qrxsim tool), its parameter files, its log and the settings file.
#include "ScriptedMessageBoxes.h"
#include "SimBoards.h"
#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "app/VelmarApp.h"
#include "controls/ImageButton.h"
#include "device/SystemInfo.h"
#include "dio/DIoWnd.h"
#include "platform/FolderPicker.h"
#include "platform/Messages.h"
#include "settings/SysCfgDlg.h"
#include "system/LogLevDlg.h"
#include "system/SavePrmDlg.h"
#include "system/SysIoWnd.h"
#include "system/SysRstDlg.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestSysIoSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_log; // the log file the board file names
    QString m_data; // the parameter files' folder

    QString appDir() const { return m_dir.filePath("app"); }

    // A board file with boards 0 and 3 and a fresh state file for this case.
    void useBoards()
    {
        ++m_case;
        m_log = m_dir.filePath(QStringLiteral("case%1.dbg").arg(m_case));
        m_data = m_dir.filePath(QStringLiteral("data%1").arg(m_case));
        QVERIFY(UseSimBoards(m_dir.path(), QStringLiteral("case%1").arg(m_case),
                             "[System]\nLogLevel=3\nLogFile=" + m_log.toLocal8Bit() +
                                 "\nDataDir=" + m_data.toLocal8Bit() +
                                 "\n[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\n"
                                 "[Board1]\nType=174\nCardNo=3\nInputs=32\nOutputs=32\n"));
    }

    // What the tool prints for the arguments; it sees the same boards as this process.
    static QString Tool(const QStringList &arguments)
    {
        QProcess tool;
        tool.start(qEnvironmentVariable("QRXSIM_TOOL"), arguments);
        if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
            return QStringLiteral("failed (%1, exit %2): %3")
                .arg(tool.errorString())
                .arg(tool.exitCode())
                .arg(QString::fromLocal8Bit(tool.readAllStandardError()));
        return QString::fromLocal8Bit(tool.readAllStandardOutput());
    }

    static QString RunLed(int cardNo)
    {
        const QString shown = Tool({"show", QString::number(cardNo)});
        const auto m = QRegularExpression("run led: (\\w+)").match(shown);
        return m.hasMatch() ? m.captured(1) : shown;
    }

    static QString Outputs(int cardNo)
    {
        return Tool({"get", QString::number(cardNo), "out"}).trimmed();
    }

    static QByteArray FileText(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    // Triggers a command whose dialog is modal and runs `step` on the dialog once it is up;
    // a dialog still open afterwards is closed.
    template<typename Dialog>
    static bool RunDialog(CVL_MainFrame *frame, int command, std::function<void(Dialog *)> step)
    {
        bool seen = false;
        QTimer::singleShot(0, frame, [&] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            step(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        frame->commandAction(command)->trigger();
        return seen;
    }

    template<typename View> static View *Open(CVL_MainFrame *frame, int kind)
    {
        SendWindowMessage(frame, UM_OPEN_WINDOW, kind);
        CChildFrame *child = CChildFrame::OpenFrame(kind);
        return child ? qobject_cast<View *>(child->widget()) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(appDir()));
        QVERIFY(QFileInfo(qEnvironmentVariable("QRXSIM_TOOL")).isExecutable());
    }

    void cleanup()
    {
        // Frames closed in a test are deleted later; no event loop runs to do it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetFolderPickerHandler({});
        QFile::remove(QDir(appDir()).filePath("Orvane.ini"));
    }

    void runLedToggledFromTheWindowIsSeenByTheTool()
    {
        useBoards();
        ScriptedMessageBoxes boxes;
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        auto *view = Open<CVL_SysIoWnd>(app.mainFrame(), kSystemIoView);
        QVERIFY(view);
        view->pollTimer()->stop();
        QCOMPARE(RunLed(0), QString("off"));

        QTest::mouseClick(view->ledButton(), Qt::LeftButton);
        QCOMPARE(RunLed(0), QString("on"));
        QCOMPARE(RunLed(3), QString("off"));
        view->OnTimer();
        QVERIFY(view->ledShown() != 0);

        QTest::mouseClick(view->ledButton(), Qt::LeftButton);
        QCOMPARE(RunLed(0), QString("off"));
        view->OnTimer();
        QCOMPARE(view->ledShown(), 0);
    }

    void saveParameterWritesTheBoardsFile()
    {
        useBoards();
        ScriptedMessageBoxes boxes;
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        CVL_MainFrame *frame = app.mainFrame();
        auto *view = Open<CVL_SysIoWnd>(frame, kSystemIoView);
        view->pollTimer()->stop();
        QTest::mouseClick(view->ledButton(), Qt::LeftButton); // Run LED on: saved with the board
        frame->boardModel().SetParamChanged(kDigitalIoClass, 0, true);

        const QString file = QDir(m_data).filePath("card0.prm");
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(RunDialog<CVL_SavePrmDlg>(frame, ID_SAVE_PARAM, [](CVL_SavePrmDlg *d) {
            QCOMPARE(d->cardNoList()->currentText(), QString("0"));
            QTest::mouseClick(d->saveButton(), Qt::LeftButton);
        }));
        const QByteArray saved = FileText(file);
        QVERIFY2(saved.contains("RunLed=1"), saved.constData());
        QVERIFY(!QFileInfo::exists(QDir(m_data).filePath("card3.prm")));
        QCOMPARE(frame->boardModel().record().paramChanged[kDigitalIoClass][0], 0);
        QCOMPARE(boxes.asked.size(), 0);
    }

    void systemResetSwitchesTheOutputsOff()
    {
        useBoards();
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdYes};
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        CVL_MainFrame *frame = app.mainFrame();
        auto *dio = Open<CVL_DIoWnd>(frame, kDigitalIoView);
        QVERIFY(dio);
        dio->timer()->stop();
        dio->OnPattern(CVL_DIoWnd::AllOn);
        QCOMPARE(Outputs(0), QString("0x00000000FFFFFFFF"));
        dio->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(dio->doValueEdit()->text(), QString("0xFFFFFFFF"));

        QVERIFY(RunDialog<CVL_SysRstDlg>(frame, ID_SYS_RESET, [](CVL_SysRstDlg *d) {
            QTest::mouseClick(d->resetButton(), Qt::LeftButton);
        }));
        QCOMPARE(boxes.texts(), QStringList{"Do you want system reset?"});
        QCOMPARE(Outputs(0), QString("0x0000000000000000"));
        dio->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(dio->doValueEdit()->text(), QString("0x00000000"));
    }

    void logLevelFiveLogsToTheChosenFile()
    {
        useBoards();
        ScriptedMessageBoxes boxes;
        const QString folder = m_dir.filePath("chosen");
        QVERIFY(QDir().mkpath(folder));
        SetFolderPickerHandler(
            [folder](QWidget *, const QString &, const QString &) { return folder; });
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        CVL_MainFrame *frame = app.mainFrame();

        QVERIFY(RunDialog<CVL_LogLevDlg>(frame, ID_LOG_LEVEL, [this](CVL_LogLevDlg *d) {
            // The dialog starts from what the library reports.
            QCOMPARE(d->filePathEdit()->text() + ".dbg", m_log);
            QCOMPARE(d->levelList()->currentIndex(), 3);
            QTest::mouseClick(d->browseButton(), Qt::LeftButton);
            d->fileNameEdit()->setText("trace");
            d->levelList()->setCurrentIndex(5);
            QTest::mouseClick(d->okButton(), Qt::LeftButton);
        }));
        const QString chosen = QDir(folder).filePath("trace.dbg");
        QCOMPARE(QByteArray(frame->boardModel().record().logFilePath), chosen.toLocal8Bit());
        QCOMPARE(frame->boardModel().record().logLevel, 5);

        // Input reads are logged at level 5 only.
        auto *dio = Open<CVL_DIoWnd>(frame, kDigitalIoView);
        dio->timer()->stop();
        dio->OnTimer();
        const QByteArray log = FileText(chosen);
        QVERIFY2(log.contains("DXS_devDLogSetLevel(level=5)"), log.constData());
        QVERIFY2(log.contains("DXS_devDiGetBit(card=0, bit=0)"), log.constData());
        QVERIFY(!FileText(m_log).contains("DXS_devDiGetBit"));
        QCOMPARE(frame->boardModel().record().paramChanged[kDigitalIoClass][0], 1);
        frame->close();
        // Card 0 is offered for saving at exit.
        QCOMPARE(boxes.texts().filter("QRX-LMxxxP(0)").size(), 1);
    }

    void environmentSetupChoiceIsUsedByTheNextStart()
    {
        useBoards();
        ScriptedMessageBoxes boxes;
        const QString settings = QDir(appDir()).filePath("Orvane.ini");
        {
            CVelmarApp app(appDir());
            QVERIFY(app.InitInstance());
            QCOMPARE(app.mainFrame()->loadingMode(), 0);
            QVERIFY(RunDialog<CVL_SysCfgDlg>(app.mainFrame(), ID_ENV_SETUP, [](CVL_SysCfgDlg *d) {
                QCOMPARE(d->loadingModeList()->currentText(), QString("0 : Auto"));
                d->loadingModeList()->setCurrentIndex(1);
                QTest::mouseClick(d->okButton(), Qt::LeftButton);
            }));
            QVERIFY(FileText(settings).contains("Controller_Loading_Mode=1"));
            QCOMPARE(app.mainFrame()->loadingMode(), 0); // the running program keeps its mode
            app.mainFrame()->close();
            app.ExitInstance();
        }
        QFile::remove(m_log);
        CVelmarApp next(appDir());
        QVERIFY(next.InitInstance());
        QCOMPARE(next.mainFrame()->loadingMode(), 1);
        const QByteArray log = FileText(m_log);
        QVERIFY2(log.contains("DXS_devSysLoad(mode=1) -> 0"), log.constData());
    }
};

QTEST_MAIN(TestSysIoSim)
#include "tst_sysio_sim.moc"
