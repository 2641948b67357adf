// The maintenance dialogs with the recording fake device, scripted message boxes and a
// recording main window: Save Parameter, System Reset, Log Level Setup (with the path
// splitting), System Environment Setup, and how the main frame's commands open them.
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "ScriptedMessageBoxes.h"
#include "WidgetHelpers.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "app/Views.h"
#include "controls/ImageButton.h"
#include "device/SystemInfo.h"
#include "dio/DIoWnd.h"
#include "model/BoardModel.h"
#include "platform/FolderPicker.h"
#include "platform/Messages.h"
#include "platform/SplitPath.h"
#include "settings/SysCfgDlg.h"
#include "system/LogLevDlg.h"
#include "system/SavePrmDlg.h"
#include "system/SysRstDlg.h"
#include "system/WsSysWnd.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstring>

namespace {

QStringList Items(const QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

} // namespace

class TestMaintDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<BoardModel> m_model;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    MessageRecorder m_main;
    QStringList m_pickerCalls;

    // The device and the model with the given boards (card numbers, in card-map order).
    void boards(const QList<int> &cardNos, int activeNo, int activeType = kDigitalIoClass)
    {
        m_fake->boards.clear();
        for (int no : cardNos)
            m_fake->boards << Board(174, no, 32, 32);
        LoadModel(*m_model, *m_fake, activeNo, activeType);
    }

    int32_t flag(int cardNo, int cardClass = kDigitalIoClass) const
    {
        return m_model->record().paramChanged[cardClass][cardNo];
    }
    void setFlag(int cardNo, int cardClass = kDigitalIoClass)
    {
        m_model->SetParamChanged(cardClass, cardNo, true);
    }

    QString settingsFile() const { return m_dir.filePath(QStringLiteral("Orvane.ini")); }

    void writeSettings(const QByteArray &text)
    {
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
    }

    void init()
    {
        m_model = std::make_unique<BoardModel>();
        m_fake = std::make_unique<FakeDevice>();
        m_boxes = std::make_unique<ScriptedMessageBoxes>();
        SetMainWindow(&m_main);
        m_main.messages.clear();
        m_pickerCalls.clear();
        QFile::remove(settingsFile());
        m_model->SetSettingsPath(settingsFile());
    }

    void cleanup()
    {
        SetFolderPickerHandler({});
        SetMainWindow(nullptr);
        m_boxes.reset();
        m_fake.reset();
        m_model.reset();
    }

    // ---- Save Parameter and System Reset: the lists ----

    void boardLists_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<int>("activeNo");
        QTest::addColumn<int>("activeType");
        QTest::addColumn<int>("typeIndex");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("cardIndex");
        QTest::addColumn<bool>("cardListEnabled");
        for (bool reset : {false, true}) {
            const char *dlg = reset ? "reset" : "save";
            QTest::addRow("%s: one board", dlg)
                << reset << QList<int>{4} << 4 << 3 << 0 << QStringList{"4"} << 0 << false;
            QTest::addRow("%s: preset to the active board", dlg)
                << reset << QList<int>{7, 3, 12} << 3 << 3 << 0 << QStringList{"7", "3", "12"} << 1
                << true;
            QTest::addRow("%s: active card not in the map", dlg)
                << reset << QList<int>{7, 3} << 9 << 3 << 0 << QStringList{"7", "3"} << -1 << true;
            QTest::addRow("%s: no board", dlg)
                << reset << QList<int>{} << 0 << 0 << -1 << QStringList{} << -1 << true;
        }
        // Save lists the boards only while the digital I/O class is active; Reset always.
        QTest::newRow("save: other class active")
            << false << QList<int>{7, 3} << 3 << 0 << -1 << QStringList{} << -1 << true;
        QTest::newRow("reset: other class active")
            << true << QList<int>{7, 3} << 3 << 0 << -1 << QStringList{"7", "3"} << 1 << true;
    }

    void boardLists()
    {
        QFETCH(bool, reset);
        QFETCH(QList<int>, cards);
        QFETCH(int, activeNo);
        QFETCH(int, activeType);
        QFETCH(int, typeIndex);
        QFETCH(QStringList, entries);
        QFETCH(int, cardIndex);
        QFETCH(bool, cardListEnabled);
        boards(cards, activeNo, activeType);
        std::unique_ptr<QDialog> dialog;
        QComboBox *typeList;
        QComboBox *cardList;
        if (reset) {
            auto *d = new CVL_SysRstDlg(*m_model, activeNo);
            dialog.reset(d);
            typeList = d->cardTypeList();
            cardList = d->cardNoList();
            QCOMPARE(d->windowTitle(), QString("System Reset"));
            QCOMPARE(d->resetButton()->text(), QString("Reset"));
            QCOMPARE(d->closeButton()->text(), QString("Close"));
            QVERIFY(d->resetButton()->isDefault());
        } else {
            auto *d = new CVL_SavePrmDlg(*m_model, activeNo);
            dialog.reset(d);
            typeList = d->cardTypeList();
            cardList = d->cardNoList();
            QCOMPARE(d->windowTitle(), QString("Save Parameter"));
            QCOMPARE(d->saveButton()->text(), QString("Save"));
            QCOMPARE(d->closeButton()->text(), QString("Close"));
            QVERIFY(d->saveButton()->isDefault());
            QCOMPARE(d->allCardsCheck()->text(), QString(" All Cards"));
        }
        QCOMPARE(Items(typeList), cards.isEmpty() ? QStringList() : QStringList{"QRX-LxxxDIO"});
        QVERIFY(!typeList->isEnabled());
        QCOMPARE(typeList->currentIndex(), typeIndex);
        QCOMPARE(Items(cardList), entries);
        QCOMPARE(cardList->currentIndex(), cardIndex);
        QCOMPARE(cardList->isEnabled(), cardListEnabled);
        QCOMPARE(m_fake->calls, QStringList());
    }

    // ---- Save Parameter ----

    void savingOneBoardAsksNothingAndClearsItsFlag()
    {
        boards({7, 3, 12}, 3);
        setFlag(3);
        setFlag(7);
        setFlag(1); // position 1: must stay
        CVL_SavePrmDlg dialog(*m_model, 3);
        dialog.show();
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConParamSave(3)"});
        QCOMPARE(m_boxes->asked.size(), 0);
        QCOMPARE(flag(3), 0);
        QCOMPARE(flag(7), 1);
        QCOMPARE(flag(1), 1);
        QVERIFY(dialog.isVisible());

        // The dialog stays open and saves again, another board this time.
        dialog.cardNoList()->setCurrentIndex(2);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConParamSave(12)"});
        QCOMPARE(dialog.cardNo, 12);
        QCOMPARE(m_model->record().activeCardNo, 3);
        QCOMPARE(m_main.messages, QStringList());
    }

    void savingAllBoardsAsksOnce_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("yes") << int(kIdYes)
                             << QStringList{"DXS_devConParamSave(12)", "DXS_devConParamSave(0)",
                                            "DXS_devConParamSave(3)"};
        QTest::newRow("no") << int(kIdNo) << QStringList{};
    }

    void savingAllBoardsAsksOnce()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, calls);
        boards({12, 0, 3}, 0);
        for (int card : {12, 0, 3, 5})
            setFlag(card);
        setFlag(3, 2); // another class's row
        m_boxes->answers = {answer};
        CVL_SavePrmDlg dialog(*m_model, 0);
        dialog.show();
        QTest::mouseClick(dialog.allCardsCheck(), Qt::LeftButton);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);

        QCOMPARE(
            m_boxes->texts(),
            QStringList{"Are you sure you want to save the parameter files of all the cards?"});
        QCOMPARE(m_boxes->asked[0].buttons, MessageBoxRequest::YesNo);
        QCOMPARE(m_boxes->asked[0].icon, MessageBoxRequest::Question);
        QCOMPARE(m_fake->takeCalls(), calls);
        const int cleared = answer == kIdYes ? 0 : 1;
        QCOMPARE(flag(12), cleared);
        QCOMPARE(flag(0), cleared);
        QCOMPARE(flag(3), cleared);
        QCOMPARE(flag(5), 1);
        QCOMPARE(flag(3, 2), 1);
        QVERIFY(dialog.isVisible());
    }

    // A save the library refuses is reported for that board, which keeps its flag; an all-cards
    // save goes on with the next board.
    void refusedSaveIsReportedAndKeepsTheFlag_data()
    {
        QTest::addColumn<bool>("allCards");
        QTest::addColumn<QList<int>>("refused"); // card numbers whose save answers -2022
        QTest::addColumn<QStringList>("details"); // the informative text of each failure
        QTest::newRow("one board")
            << false << QList<int>{3} << QStringList{"Card No. 3 (status -2022)"};
        QTest::newRow("all boards, the first refused")
            << true << QList<int>{12} << QStringList{"Card No. 12 (status -2022)"};
        QTest::newRow("all boards, two refused")
            << true << QList<int>{0, 3}
            << QStringList{"Card No. 0 (status -2022)", "Card No. 3 (status -2022)"};
    }

    void refusedSaveIsReportedAndKeepsTheFlag()
    {
        QFETCH(bool, allCards);
        QFETCH(QList<int>, refused);
        QFETCH(QStringList, details);
        boards({12, 0, 3}, 3);
        for (int card : {12, 0, 3})
            setFlag(card);
        m_fake->failStatus = -2022;
        for (int card : refused)
            m_fake->failingCalls << QStringLiteral("DXS_devConParamSave(%1)").arg(card);
        m_boxes->answers = {kIdYes};
        CVL_SavePrmDlg dialog(*m_model, 3);
        dialog.show();
        if (allCards)
            QTest::mouseClick(dialog.allCardsCheck(), Qt::LeftButton);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);

        const QList<int> saved = allCards ? QList<int>{12, 0, 3} : QList<int>{3};
        QStringList calls;
        for (int card : saved)
            calls << QStringLiteral("DXS_devConParamSave(%1)").arg(card);
        QCOMPARE(m_fake->takeCalls(), calls);
        QStringList failures;
        for (const MessageBoxRequest &box : m_boxes->asked) {
            if (box.buttons != MessageBoxRequest::Ok)
                continue;
            QCOMPARE(box.text, QString("Fail! Save Parameter File..."));
            failures << box.informative;
        }
        QCOMPARE(failures, details);
        for (int card : {12, 0, 3})
            QCOMPARE(flag(card), int(refused.contains(card) || !saved.contains(card)));
        QVERIFY(dialog.isVisible());
    }

    void allCardsSwitchesTheLists_data()
    {
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<bool>("enabledAfterUncheck");
        QTest::newRow("one board") << QList<int>{0} << false;
        QTest::newRow("several boards") << QList<int>{0, 1} << true;
    }

    void allCardsSwitchesTheLists()
    {
        QFETCH(QList<int>, cards);
        QFETCH(bool, enabledAfterUncheck);
        boards(cards, 0);
        CVL_SavePrmDlg dialog(*m_model, 0);
        dialog.show();
        QTest::mouseClick(dialog.allCardsCheck(), Qt::LeftButton);
        QVERIFY(dialog.allCardsCheck()->isChecked());
        QVERIFY(!dialog.cardTypeList()->isEnabled());
        QVERIFY(!dialog.cardNoList()->isEnabled());
        QTest::mouseClick(dialog.allCardsCheck(), Qt::LeftButton);
        QVERIFY(!dialog.cardTypeList()->isEnabled());
        QCOMPARE(dialog.cardNoList()->isEnabled(), enabledAfterUncheck);
    }

    void savingACardNumberOutsideTheFlagsClearsNothing()
    {
        boards({40, 2}, 40);
        setFlag(2);
        CVL_SavePrmDlg dialog(*m_model, 40);
        QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConParamSave(40)"});
        QCOMPARE(flag(2), 1);
        for (int cls = 0; cls < kCardClasses; ++cls)
            for (int card = 0; card < kMaxBoards; ++card)
                QCOMPARE(flag(card, cls), card == 2 && cls == 3 ? 1 : 0);
    }

    // ---- System Reset ----

    void resetNoResetsNothingAndSendsNothing()
    {
        boards({0, 3}, 0);
        m_boxes->answers = {kIdNo};
        CVL_SysRstDlg dialog(*m_model, 0);
        QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
        QCOMPARE(m_boxes->texts(), QStringList{"Do you want system reset?"});
        QCOMPARE(m_boxes->asked[0].buttons, MessageBoxRequest::YesNo);
        QCOMPARE(m_boxes->asked[0].icon, MessageBoxRequest::Question);
        QCOMPARE(m_fake->calls, QStringList());
        QCOMPARE(m_main.messages, QStringList());
    }

    void resetYesResetsTheChosenBoard()
    {
        boards({0, 3}, 0);
        m_boxes->answers = {kIdYes, kIdYes};
        CVL_SysRstDlg dialog(*m_model, 0);
        dialog.show();
        dialog.cardNoList()->setCurrentIndex(1);
        QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConInit(3)"});
        QCOMPARE(m_main.messages, QStringList{QString("%1(101)").arg(int(UM_VIEW_FOCUSED))});
        QCOMPARE(m_model->record().activeCardNo, 0); // the choice does not change the active board
        QVERIFY(dialog.isVisible());

        // A second Reset asks again.
        QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
        QCOMPARE(m_boxes->asked.size(), 2);
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConInit(3)"});
    }

    void resetWithOtherClassSendsWithoutResetting()
    {
        // Card Type has an entry but the active class is not it: nothing is chosen there.
        boards({0, 3}, 0, 0);
        m_boxes->answers = {kIdYes};
        CVL_SysRstDlg dialog(*m_model, 0);
        QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
        QCOMPARE(m_boxes->asked.size(), 0);
        QCOMPARE(m_fake->calls, QStringList());
        QCOMPARE(m_main.messages, QStringList());
    }

    // ---- Save and Reset with nothing chosen ----

    void nothingChosenDoesNothing_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<int>("activeNo");
        for (bool reset : {false, true}) {
            const char *dlg = reset ? "reset" : "save";
            QTest::addRow("%s: no board", dlg) << reset << QList<int>{} << 0;
            QTest::addRow("%s: active card not in the map", dlg) << reset << QList<int>{1, 2} << 9;
        }
    }

    void nothingChosenDoesNothing()
    {
        QFETCH(bool, reset);
        QFETCH(QList<int>, cards);
        QFETCH(int, activeNo);
        boards(cards, activeNo, cards.isEmpty() ? 0 : kDigitalIoClass);
        setFlag(0);
        m_boxes->defaultAnswer = kIdYes;
        if (reset) {
            CVL_SysRstDlg dialog(*m_model, activeNo);
            QTest::mouseClick(dialog.resetButton(), Qt::LeftButton);
        } else {
            CVL_SavePrmDlg dialog(*m_model, activeNo);
            QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
        }
        QCOMPARE(m_boxes->asked.size(), 0);
        QCOMPARE(m_fake->calls, QStringList());
        QCOMPARE(m_main.messages, QStringList());
        QCOMPARE(flag(0), 1);
    }

    // ---- Log Level Setup ----

    void splitPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("parts"); // drive, dir, fname, ext
        QTest::newRow("drive root")
            << "C:\\Default.dbg" << QStringList{"C:", "\\", "Default", ".dbg"};
        QTest::newRow("unix folder")
            << "/var/log/qrx.dbg" << QStringList{"", "/var/log/", "qrx", ".dbg"};
        QTest::newRow("mixed separators")
            << "C:/logs\\run/a.b.dbg" << QStringList{"C:", "/logs\\run/", "a.b", ".dbg"};
        QTest::newRow("dot in a folder only")
            << "D:\\v1.2\\trace" << QStringList{"D:", "\\v1.2\\", "trace", ""};
        QTest::newRow("name only") << "trace" << QStringList{"", "", "trace", ""};
        QTest::newRow("leading dot") << "/home/.dbg" << QStringList{"", "/home/", "", ".dbg"};
        QTest::newRow("drive only") << "C:" << QStringList{"C:", "", "", ""};
        QTest::newRow("relative with drive") << "C:x.dbg" << QStringList{"C:", "", "x", ".dbg"};
        QTest::newRow("root") << "/" << QStringList{"", "/", "", ""};
        QTest::newRow("empty") << "" << QStringList{"", "", "", ""};
        QTest::newRow("259-character name fits")
            << QString(259, 'n') << QStringList{"", "", QString(259, 'n'), ""};
        QTest::newRow("a part too long empties all")
            << "C:\\" + QString(260, 'n') << QStringList{"", "", "", ""};
    }

    void splitPath()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, parts);
        const SplitPathParts p = SplitPath(path);
        QCOMPARE(QStringList({p.drive, p.dir, p.fname, p.ext}), parts);
    }

    void logLevelShowsTheLibrarySettings_data()
    {
        QTest::addColumn<QByteArray>("libraryPath");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shownPath");
        QTest::addColumn<int>("selected");
        QTest::newRow("drive root") << QByteArray("C:\\Default.dbg") << 3 << "Default"
                                    << "C:\\Default" << 3;
        QTest::newRow("unix folder") << QByteArray("/var/log/qrx.dbg") << 0 << "qrx"
                                     << "/var/log/qrx" << 0;
        QTest::newRow("level 5") << QByteArray("/tmp/a.b.dbg") << 5 << "a.b"
                                 << "/tmp/a.b" << 5;
        QTest::newRow("level above 5") << QByteArray("x.dbg") << 6 << "x"
                                       << "x" << -1;
        QTest::newRow("negative level") << QByteArray("x.dbg") << -1 << "x"
                                        << "x" << -1;
    }

    void logLevelShowsTheLibrarySettings()
    {
        QFETCH(QByteArray, libraryPath);
        QFETCH(int, level);
        QFETCH(QString, name);
        QFETCH(QString, shownPath);
        QFETCH(int, selected);
        m_fake->logFile = libraryPath;
        m_fake->logLevel = level;
        CVL_LogLevDlg dialog(*m_model);
        QCOMPARE(m_fake->calls, QStringList({"DXS_devDLogGetLevel()", "DXS_devDLogGetFile()"}));
        QCOMPARE(dialog.windowTitle(), QString("Log Level Setup"));
        QCOMPARE(Items(dialog.levelList()), CVL_LogLevDlg::LevelTexts());
        QCOMPARE(dialog.levelList()->currentIndex(), selected);
        QCOMPARE(dialog.fileNameEdit()->text(), name);
        QCOMPARE(dialog.filePathEdit()->text(), shownPath);
        QVERIFY(dialog.filePathEdit()->isReadOnly());
        QCOMPARE(dialog.okButton()->text(), QString("OK"));
        QCOMPARE(dialog.cancelButton()->text(), QString("Cancel"));
        QCOMPARE(dialog.browseButton()->text(), QString("..."));
    }

    void levelTexts()
    {
        QCOMPARE(CVL_LogLevDlg::LevelTexts(),
                 QStringList({"0 : No Use", "1 : Level 1(Only Errors)",
                              "2 : Level 2(Only Command Functions)",
                              "3 : Level 3(All Functions except for Input and DI)",
                              "4 : Level 4(All Functions except for DI)",
                              "5 : Level 5(All Functions)"}));
    }

    void unterminatedLibraryPathIsCut()
    {
        m_fake->logFileUnterminated = true;
        CVL_LogLevDlg dialog(*m_model);
        QCOMPARE(dialog.fileNameEdit()->text(), QString(259, 'x'));
    }

    void okAppliesFileThenLevel_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("a name with a dot") << "trace.txt" << 2 << QByteArray("C:\\trace.txt.dbg");
        QTest::newRow("empty name") << "" << 5 << QByteArray("C:\\.dbg");
        QTest::newRow("no level chosen") << "run" << -1 << QByteArray("C:\\run.dbg");
    }

    void okAppliesFileThenLevel()
    {
        QFETCH(QString, typed);
        QFETCH(int, level);
        QFETCH(QByteArray, file);
        m_model->SetActiveCardType(kDigitalIoClass);
        m_fake->logFile = "C:\\Default.dbg";
        m_fake->logLevel = 1;
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        m_fake->takeCalls();
        dialog.fileNameEdit()->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(dialog.fileNameEdit(), Qt::Key_Delete);
        else
            QTest::keyClicks(dialog.fileNameEdit(), typed);
        dialog.levelList()->setCurrentIndex(level);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);

        QCOMPARE(m_fake->takeCalls(),
                 QStringList({"DXS_devDLogSetFile(" + QString::fromLocal8Bit(file) + ")",
                              QString("DXS_devDLogSetLevel(%1)").arg(level)}));
        QCOMPARE(QByteArray(m_model->record().logFilePath), file);
        QCOMPARE(m_model->record().logLevel, level);
        QCOMPARE(m_main.messages, QStringList{QString("%1(0)").arg(int(UM_PARAM_CHANGED))});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    void okUnchangedStillMarksCardZero()
    {
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return); // OK is the default button
        QCOMPARE(m_fake->callsOf("DXS_devDLogSetFile"),
                 QStringList{"DXS_devDLogSetFile(C:\\qrx.dbg)"});
        QCOMPARE(m_main.messages, QStringList{QString("%1(0)").arg(int(UM_PARAM_CHANGED))});
    }

    void typingShowsTheNewPath()
    {
        m_fake->logFile = "C:\\Default.dbg";
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        dialog.fileNameEdit()->clear();
        QTest::keyClicks(dialog.fileNameEdit(), "abc");
        QCOMPARE(dialog.filePathEdit()->text(), QString("C:\\abc"));
        QCOMPARE(dialog.filePathEdit()->cursorPosition(), 6);
        QCOMPARE(dialog.logFileName, QString("abc"));
    }

    void pickingAFolder_data()
    {
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("shownPath");
        const QString sep = QDir::separator();
        QTest::newRow("a folder") << "/tmp/logs"
                                  << "/tmp/logs" + sep + "Default";
        QTest::newRow("the root doubles the separator") << "/"
                                                        << "/" + sep + "Default";
        QTest::newRow("cancelled") << ""
                                   << "C:\\Default";
    }

    void pickingAFolder()
    {
        QFETCH(QString, picked);
        QFETCH(QString, shownPath);
        m_fake->logFile = "C:\\Default.dbg";
        SetFolderPickerHandler(
            [this, picked](QWidget *, const QString &title, const QString &start) {
                m_pickerCalls << title + "|" + start;
                return picked;
            });
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
        QCOMPARE(m_pickerCalls, QStringList{"Select Folder|C:\\"});
        QCOMPARE(dialog.filePathEdit()->text(), shownPath);
        QVERIFY(dialog.isVisible()); // "..." is no default button
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(m_fake->callsOf("DXS_devDLogSetFile"),
                 QStringList{"DXS_devDLogSetFile(" + shownPath + ".dbg)"});
    }

    void cancelChangesNothing()
    {
        m_model->SetLogSettings(4, "C:\\Default.dbg");
        SetFolderPickerHandler(
            [](QWidget *, const QString &, const QString &) { return QStringLiteral("/tmp"); });
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        m_fake->takeCalls();
        QTest::keyClicks(dialog.fileNameEdit(), "zz");
        QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
        dialog.levelList()->setCurrentIndex(1);
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(m_fake->calls, QStringList());
        QCOMPARE(QByteArray(m_model->record().logFilePath), QByteArray("C:\\Default.dbg"));
        QCOMPARE(m_model->record().logLevel, 4);
        QCOMPARE(m_main.messages, QStringList());
    }

    void overlongPathIsRefused_data()
    {
        QTest::addColumn<int>("bytes"); // folder + name + ".dbg"
        QTest::addColumn<bool>("applied");
        QTest::newRow("259 bytes fit") << 259 << true;
        QTest::newRow("260 bytes do not") << 260 << false;
        QTest::newRow("far too long") << 400 << false;
    }

    void overlongPathIsRefused()
    {
        QFETCH(int, bytes);
        QFETCH(bool, applied);
        const QString folder = "/" + QString(100, 'f') + "/";
        m_fake->logFile = (folder + "x.dbg").toLocal8Bit();
        CVL_LogLevDlg dialog(*m_model);
        dialog.show();
        m_fake->takeCalls();
        dialog.fileNameEdit()->setText(QString(bytes - int(folder.size()) - 4, 'n'));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        if (applied) {
            QCOMPARE(m_boxes->asked.size(), 0);
            QCOMPARE(int(std::strlen(m_model->record().logFilePath)), bytes);
            QCOMPARE(m_fake->calls.size(), 2);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            return;
        }
        QCOMPARE(m_boxes->texts(), QStringList{"Log file path is too long!"});
        QCOMPARE(m_boxes->asked[0].buttons, MessageBoxRequest::Ok);
        QCOMPARE(m_fake->calls, QStringList());
        QCOMPARE(QByteArray(m_model->record().logFilePath), QByteArray());
        QCOMPARE(m_main.messages, QStringList());
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.filePathEdit()->text().endsWith(".dbg"));
    }

    // ---- System Environment Setup ----

    void environmentSetupOpens_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file at all
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no file") << QByteArray() << 1 << "1 : Manual";
        QTest::newRow("no key") << QByteArray("[System]\nOther=0\n") << 1 << "1 : Manual";
        QTest::newRow("empty value")
            << QByteArray("[System]\nController_Loading_Mode=\n") << 1 << "1 : Manual";
        QTest::newRow("0") << QByteArray("[System]\nController_Loading_Mode=0\n") << 0
                           << "0 : Auto";
        QTest::newRow("1") << QByteArray("[system]\ncontroller_loading_mode = 1\n") << 1
                           << "1 : Manual";
        QTest::newRow("1abc") << QByteArray("[System]\nController_Loading_Mode=1abc\n") << 1
                              << "1 : Manual";
        QTest::newRow("abc") << QByteArray("[System]\nController_Loading_Mode=abc\n") << 0
                             << "0 : Auto";
        QTest::newRow("hand-edited 5")
            << QByteArray("[System]\nController_Loading_Mode=5\n") << -1 << "";
    }

    void environmentSetupOpens()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, selected);
        QFETCH(QString, shown);
        if (!file.isEmpty())
            writeSettings(file);
        CVL_SysCfgDlg dialog(*m_model);
        QCOMPARE(dialog.windowTitle(), QString("System Environment Setup"));
        QCOMPARE(Items(dialog.loadingModeList()), QStringList({"0 : Auto", "1 : Manual"}));
        QVERIFY(dialog.loadingModeList()->isEditable());
        QCOMPARE(dialog.loadingModeList()->currentIndex(), selected);
        QCOMPARE(dialog.loadingModeList()->currentText(), shown);
        QCOMPARE(dialog.okButton()->text(), QString("OK"));
        QCOMPARE(dialog.cancelButton()->text(), QString("Cancel"));
    }

    void environmentSetupOkStoresTheSelection_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("choose"); // -2: leave as opened
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("choose Auto") << QByteArray("1") << 0 << QByteArray("0");
        QTest::newRow("choose Manual") << QByteArray("0") << 1 << QByteArray("1");
        QTest::newRow("hand-edited 5 writes -1") << QByteArray("5") << -2 << QByteArray("-1");
    }

    void environmentSetupOkStoresTheSelection()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, choose);
        QFETCH(QByteArray, written);
        writeSettings("; kept\n[System]\nController_Loading_Mode=" + stored + "\n");
        CVL_SysCfgDlg dialog(*m_model);
        dialog.show();
        if (choose != -2)
            dialog.loadingModeList()->setCurrentIndex(choose);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(FileText(settingsFile()),
                 "; kept\n[System]\nController_Loading_Mode=" + written + "\n");
        QCOMPARE(m_boxes->asked.size(), 0);
    }

    void typedTextIsNeitherInsertedNorStored()
    {
        writeSettings("[System]\nController_Loading_Mode=0\n");
        CVL_SysCfgDlg dialog(*m_model);
        dialog.show();
        QComboBox *list = dialog.loadingModeList();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), "7 : Other");
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        QCOMPARE(list->count(), 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(FileText(settingsFile()), QByteArray("[System]\nController_Loading_Mode=0\n"));
    }

    void environmentSetupStoresTheListSelectionNotTheTypedText_data()
    {
        QTest::addColumn<QList<int>>("keys"); // pressed in the list before the text is typed
        QTest::addColumn<QString>("typed"); // replaces the field's text
        QTest::addColumn<bool>("enter"); // OK by Enter in the field, else by a click on OK
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("an item's text, Enter")
            << QList<int>() << "0 : Auto" << true << QByteArray("1");
        QTest::newRow("an item's text, OK clicked")
            << QList<int>() << "0 : Auto" << false << QByteArray("1");
        QTest::newRow("in other case, Enter")
            << QList<int>() << "0 : auto" << true << QByteArray("1");
        QTest::newRow("completed from its start, Enter")
            << QList<int>() << "0" << true << QByteArray("1");
        QTest::newRow("chosen with Up, then typed over, Enter")
            << QList<int>{Qt::Key_Up} << "1 : Manual" << true << QByteArray("0");
        QTest::newRow("chosen with Up, Enter")
            << QList<int>{Qt::Key_Up} << QString() << true << QByteArray("0");
    }

    // Keys reach the list as the keyboard sends them: to the widget that has the focus.
    void environmentSetupStoresTheListSelectionNotTheTypedText()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        QFETCH(QByteArray, written);
        writeSettings("[System]\nController_Loading_Mode=1\n");
        CVL_SysCfgDlg dialog(*m_model);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QComboBox *list = dialog.loadingModeList();
        list->setFocus();
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus == list || focus == list->lineEdit());
        for (int key : keys)
            QTest::keyClick(focus, Qt::Key(key));
        if (!typed.isEmpty()) {
            list->lineEdit()->selectAll();
            QTest::keyClicks(focus, typed);
        }
        QVERIFY(list->isEditable());
        if (enter)
            QTest::keyClick(focus, Qt::Key_Return);
        else
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(FileText(settingsFile()), "[System]\nController_Loading_Mode=" + written + "\n");
    }

    void environmentSetupCancelLeavesTheFile()
    {
        writeSettings("[System]\nController_Loading_Mode=1\n");
        CVL_SysCfgDlg dialog(*m_model);
        dialog.show();
        dialog.loadingModeList()->setCurrentIndex(0);
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(FileText(settingsFile()), QByteArray("[System]\nController_Loading_Mode=1\n"));
    }

    void environmentSetupReportsAFailedWrite()
    {
        const QString unwritable = m_dir.filePath("missing-folder/Orvane.ini");
        m_model->SetSettingsPath(unwritable);
        CVL_SysCfgDlg dialog(*m_model);
        dialog.show();
        dialog.loadingModeList()->setCurrentIndex(0);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QCOMPARE(m_boxes->texts(), QStringList{"Fail! Write Settings File..."});
        QCOMPARE(m_boxes->asked[0].buttons, MessageBoxRequest::Ok);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
        QVERIFY(!QFileInfo::exists(unwritable));
    }

    // ---- Screen readers ----

    void screenReaderNames_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("id"); // the control's object name
        QTest::addColumn<QString>("name"); // empty: the control's value names it
        QTest::addColumn<QString>("label"); // the label beside it, whose buddy it is
        QTest::newRow("Log Level Setup: file name") << "log"
                                                    << "LogFileName"
                                                    << "Log File Name"
                                                    << "Log File Name : ";
        QTest::newRow("Log Level Setup: file path") << "log"
                                                    << "LogFilePath"
                                                    << "Log File Path"
                                                    << "Log File Path : ";
        QTest::newRow("Log Level Setup: level list")
            << "log"
            << "LogLevel" << QString() << "Select Log Level : ";
        QTest::newRow("Save Parameter: All Cards, without its leading space")
            << "save"
            << "AllCards"
            << "All Cards" << QString();
        QTest::newRow("About: the program icon") << "about"
                                                 << "ProgramIcon"
                                                 << "Orvane" << QString();
        QTest::newRow("the board tree") << "tree"
                                        << "SystemTree"
                                        << "Boards" << QString();
    }

    void screenReaderNames()
    {
        QFETCH(QString, window);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, label);
        std::unique_ptr<QWidget> top;
        if (window == "log")
            top = std::make_unique<CVL_LogLevDlg>(*m_model);
        else if (window == "save")
            top = std::make_unique<CVL_SavePrmDlg>(*m_model, 0);
        else if (window == "about")
            top = std::make_unique<CAboutDlg>();
        else
            top = std::make_unique<CVL_WsSysWnd>(*m_model);
        QWidget *widget = top->objectName() == id ? top.get() : top->findChild<QWidget *>(id);
        QVERIFY(widget);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(iface);
        if (!name.isEmpty())
            QCOMPARE(iface->text(QAccessible::Name), name);
        if (!label.isEmpty()) {
            QLabel *beside = nullptr;
            for (QLabel *l : top->findChildren<QLabel *>())
                if (l->text() == label)
                    beside = l;
            QVERIFY(beside);
            QCOMPARE(beside->buddy(), widget);
        }
    }

    // ---- The main frame's commands ----

    void commandsOpenTheDialogs_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("presetCard"); // the Card No. list's text; empty: none
        QTest::newRow("Save Parameter") << int(ID_SAVE_PARAM) << "Save Parameter"
                                        << "3";
        QTest::newRow("System Reset") << int(ID_SYS_RESET) << "System Reset"
                                      << "3";
        QTest::newRow("Environment Setup") << int(ID_ENV_SETUP) << "System Environment Setup"
                                           << "";
        QTest::newRow("Log Level") << int(ID_LOG_LEVEL) << "Log Level Setup"
                                   << "";
    }

    void commandsOpenTheDialogs()
    {
        QFETCH(int, command);
        QFETCH(QString, title);
        QFETCH(QString, presetCard);
        for (int no : {0, 3}) {
            FakeBoard b;
            b.cardNo = no;
            m_fake->boards << b;
        }
        auto frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(frame->OnCreate(), 0);
        frame->show();
        SendWindowMessage(frame->systemTree(), UM_SELECT_CARD, 3);
        QCOMPARE(frame->boardModel().activeCardNo(), 3);

        QAction *action = frame->commandAction(command);
        QVERIFY(action->isEnabled());
        QString seenTitle;
        QString seenCard = "(none)";
        QTimer::singleShot(0, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            seenTitle = modal->windowTitle();
            if (auto *d = qobject_cast<CVL_SavePrmDlg *>(modal))
                seenCard = d->cardNoList()->currentText();
            else if (auto *d = qobject_cast<CVL_SysRstDlg *>(modal))
                seenCard = d->cardNoList()->currentText();
            else
                seenCard.clear();
            static_cast<QDialog *>(modal)->reject();
        });
        action->trigger();
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenCard, presetCard);
        frame.reset();
    }

    void resetRebuildsTheOpenDigitalIoWindow()
    {
        for (int no : {0, 3}) {
            FakeBoard b;
            b.cardNo = no;
            m_fake->boards << b;
        }
        m_fake->board(3)->out = 0x21;
        auto frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(frame->OnCreate(), 0);
        frame->show();
        SendWindowMessage(frame->systemTree(), UM_SELECT_CARD, 3);
        SendWindowMessage(frame.get(), UM_OPEN_WINDOW, kDigitalIoView);
        auto *dio = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
        QVERIFY(dio);
        dio->timer()->stop();
        dio->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(dio->doValueEdit()->text(), QString("0x00000021"));

        m_boxes->answers = {kIdYes};
        m_fake->takeCalls();
        QTimer::singleShot(0, this, [] {
            if (auto *d = qobject_cast<CVL_SysRstDlg *>(QApplication::activeModalWidget())) {
                QTest::mouseClick(d->resetButton(), Qt::LeftButton);
                d->reject();
            }
        });
        frame->commandAction(ID_SYS_RESET)->trigger();
        const QStringList calls = m_fake->takeCalls();
        QVERIFY2(calls.size() > 1, qPrintable(calls.join(' ')));
        QCOMPARE(calls[0], QString("DXS_devConInit(3)"));
        // The window set itself up again for its board: it read the filter afresh.
        QVERIFY2(calls.contains("DXS_devDiGetFilterEnable(3, 0)"), qPrintable(calls.join(' ')));
        dio->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(dio->doValueEdit()->text(), QString("0x00000000"));
        frame.reset();
    }
};

QTEST_MAIN(TestMaintDialogs)
#include "tst_maintdialogs.moc"
