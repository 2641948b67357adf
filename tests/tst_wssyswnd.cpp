// The system tree: its build from the card map, its node marks, and the activation of a board
// through each path, with the messages it sends the main frame.
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "WidgetHelpers.h"
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"
#include "model/BoardModel.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"
#include "system/WsSysWnd.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QtTest>

namespace {

QString MessageName(int message)
{
    switch (message) {
    case UM_OPEN_WINDOW:
        return "UM_OPEN_WINDOW";
    case UM_REFRESH_SYSTEM:
        return "UM_REFRESH_SYSTEM";
    case UM_ACTIVE_CARD_CHANGED:
        return "UM_ACTIVE_CARD_CHANGED";
    case UM_CARD_LIST_CHANGED:
        return "UM_CARD_LIST_CHANGED";
    default:
        return QString::number(message);
    }
}

// Records the keys that reach the tree's parent.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override { keys << e->key(); }
};

int ImageOf(const QTreeWidgetItem *item)
{
    const QImage shown = item->icon(0).pixmap(16, 16).toImage();
    for (int index : {0, 4, 5, 7, 11}) {
        if (!shown.isNull() && shown == Resources::TreeIcon(index).pixmap(16, 16).toImage())
            return index;
    }
    return -1;
}

// One line per node: indentation by depth, text, image index, and marks.
void Dump(const QTreeWidgetItem *item, int depth, QStringList &out)
{
    QString line =
        QString(depth * 2, u' ') + item->text(0) + QStringLiteral(" [%1]").arg(ImageOf(item));
    if (item->font(0).bold())
        line += " bold";
    if (item->childCount() && item->isExpanded())
        line += " open";
    out << line;
    for (int i = 0; i < item->childCount(); ++i)
        Dump(item->child(i), depth + 1, out);
}

QStringList Dump(const QTreeWidget &tree)
{
    QStringList out;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        Dump(tree.topLevelItem(i), 0, out);
    return out;
}

// Boards 0 and 3: card numbers that differ from their positions 0 and 1.
QList<FakeBoard> TwoBoards()
{
    return {Board(174, 0, 32, 32, 0x12), Board(2801, 3, 16, 0, 0x7)};
}

} // namespace

class Rig
{
public:
    explicit Rig(const QList<FakeBoard> &boards, std::optional<int32_t> mapCount = {})
    {
        fake.boards = boards;
        fake.mapCount = mapCount;
        fake.reportedBoardCount = mapCount;
        // Each message with its wParam and the active card at the moment it arrived.
        main.format = [this](const WindowMessage &m) {
            return QStringLiteral("%1(%2) active=%3")
                .arg(MessageName(m.type()))
                .arg(m.wParam)
                .arg(model.activeCardNo());
        };
        SetMainWindow(&main);
        LoadModel(model, fake);
        tree.resize(320, 480);
        tree.show();
    }
    ~Rig() { SetMainWindow(nullptr); }

    const SystemInfo &info() const { return model.record(); }
    void build()
    {
        SendWindowMessage(&tree, UM_REFRESH_SYSTEM);
        main.messages.clear();
    }
    QTreeWidgetItem *root() { return tree.topLevelItem(0); }
    QTreeWidgetItem *card(int i) { return root()->child(1 + i); }
    QPoint centre(QTreeWidgetItem *item) { return tree.visualItemRect(item).center(); }
    // A right click as the platform delivers it: the press, then the context menu request.
    void rightClick(const QPoint &pos)
    {
        QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, pos);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, tree.viewport()->mapToGlobal(pos));
        QCoreApplication::sendEvent(tree.viewport(), &menu);
        QVERIFY(menu.isAccepted());
    }
    QStringList boldCards()
    {
        QStringList bold;
        for (int i = 1; i < root()->childCount(); ++i) {
            if (root()->child(i)->font(0).bold())
                bold << root()->child(i)->text(0);
        }
        return bold;
    }

    FakeDevice fake;
    BoardModel model;
    MessageRecorder main;
    CVL_WsSysWnd tree{model};
};

class TestWsSysWnd : public QObject
{
    Q_OBJECT

private slots:
    void buildCallsAndLayout()
    {
        Rig rig({Board(174, 0, 32, 32, 0x12), Board(2801, 3, 16, 0, 0x7),
                 Board(999, 5, 8, 8, 0x105), Board(174, 2, 32, 8, 0x51)});
        rig.fake.boards[0].mapiVersion = 10203;
        // What the table held before: the model has no setter for it, so through the record.
        CopyAnsi(rig.info().boardTable->boardName[2], kPathBytes, "kept");
        rig.info().boardTable->diCount[2] = 77;
        SendWindowMessage(&rig.tree, UM_REFRESH_SYSTEM);

        const QStringList calls{
            "DXS_devConGetMApiVersion(0)", "DXS_devGnGetDioNum(0)",     "DXS_devConGetFwVersion(0)",
            "DXS_devGnGetDioNum(3)",       "DXS_devConGetFwVersion(3)", "DXS_devGnGetDioNum(5)",
            "DXS_devConGetFwVersion(5)",   "DXS_devGnGetDioNum(2)",     "DXS_devConGetFwVersion(2)",
        };
        QCOMPARE(rig.fake.calls, calls);

        // The board of unknown type 999 gets no node at all.
        const QStringList layout{
            "QRX-LxxxDIO [0] bold open",
            "  Dll Ver. : 1.2.3.3 [5]",
            "  0 : QRX-LM32DIO [7] bold open",
            "    DO : 32 [11]",
            "    D I : 32 [11]",
            "    Firmware Ver. : 1.2 [4]",
            "  3 : QRX-LN16DI [7] open",
            "    DO :  0 [11]",
            "    D I : 16 [11]",
            "    Firmware Ver. : 7.7 [4]",
            "  2 : QRX-LM 8DIO [7] open",
            "    DO :  8 [11]",
            "    D I : 32 [11]",
            "    Firmware Ver. : 0.0 [4]",
        };
        QCOMPARE(Dump(rig.tree), layout);
        QCOMPARE(rig.main.messages, QStringList{"UM_REFRESH_SYSTEM(0) active=0"});

        const SystemInfo &info = rig.info();
        QCOMPARE(info.activeCardNo, 0);
        QCOMPARE(info.activeCardType, kDigitalIoClass);
        QCOMPARE(info.previousCardType, kDigitalIoClass);
        QCOMPARE(QByteArray(info.boardTable->boardName[1]), "QRX-LN16DI");
        QCOMPARE(info.boardTable->diCount[1], 16);
        QCOMPARE(info.boardTable->doCount[1], 0);
        QCOMPARE(QByteArray(info.boardTable->boardName[2]), "kept");
        QCOMPARE(info.boardTable->diCount[2], 77);
        QCOMPARE(QByteArray(info.boardTable->boardName[3]), "QRX-LM 8DIO");

        QCOMPARE(rig.tree.rootItem, rig.root());
        QCOMPARE(QByteArray(rig.tree.cardLabels[0]), "0 : QRX-LM32DIO");
        QCOMPARE(QByteArray(rig.tree.cardLabels[1]), "3 : QRX-LN16DI");
        QCOMPARE(QByteArray(rig.tree.cardLabels[2]), "");
        QCOMPARE(rig.tree.cardItems[0], rig.card(0));
        QCOMPARE(rig.tree.cardItems[1], rig.card(1));
        QCOMPARE(rig.tree.cardItems[2], nullptr);
        QCOMPARE(rig.tree.cardItems[3], rig.card(2));
    }

    // Unwritten out-values read as zero.
    void buildWithFailingCalls()
    {
        Rig rig({Board(174, 0, 32, 32)});
        rig.fake.failing = {"DXS_devGnGetDioNum", "DXS_devConGetFwVersion",
                            "DXS_devConGetMApiVersion"};
        rig.build();
        QCOMPARE(Dump(rig.tree),
                 (QStringList{"QRX-LxxxDIO [0] bold open", "  Dll Ver. : 0...0 [5]",
                              "  0 : QRX-LM 0DIO [7] bold open", "    DO :  0 [11]",
                              "    D I :  0 [11]", "    Firmware Ver. : 0.0 [4]"}));
    }

    void emptyMap()
    {
        Rig rig({});
        rig.model.SetActiveCardType(7);
        SendWindowMessage(&rig.tree, UM_REFRESH_SYSTEM);
        QCOMPARE(rig.fake.calls, QStringList{"DXS_devConGetMApiVersion(0)"});
        QCOMPARE(Dump(rig.tree), (QStringList{"QRX-LxxxDIO [0]", "  Dll Ver. : 0...0 [5]"}));
        QVERIFY(!rig.root()->isExpanded());
        QCOMPARE(rig.info().activeCardType, 7);
        QCOMPARE(rig.main.messages, QStringList{"UM_REFRESH_SYSTEM(0) active=0"});
    }

    void moreThanSixteenBoardsBounded()
    {
        QList<FakeBoard> boards;
        for (int i = 0; i < kMaxBoards; ++i)
            boards << Board(174, i, 32, 32);
        Rig rig(boards, 40);
        rig.build();
        QCOMPARE(rig.fake.callsOf("DXS_devGnGetDioNum").size(), kMaxBoards);
        QCOMPARE(rig.root()->childCount(), 1 + kMaxBoards);
        // Activation and the context menu's label scan stay within the 16 positions too.
        SendWindowMessage(&rig.tree, UM_SELECT_CARD, 15);
        QCOMPARE(rig.info().activeCardNo, 15);
        QCOMPARE(rig.boldCards(), QStringList{"15 : QRX-LM32DIO"});
    }

    void activationByCardNumber_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<QStringList>("sent");
        const QStringList both{"UM_ACTIVE_CARD_CHANGED(0) active=3",
                               "UM_CARD_LIST_CHANGED(0) active=3"};
        QTest::newRow("selector") << int(UM_SELECT_CARD) << both;
        QTest::newRow("monitoring window") << int(UM_VIEW_SELECT_CARD) << both;
        QTest::newRow("wheel") << int(UM_WHEEL_SELECT_CARD)
                               << QStringList{"UM_CARD_LIST_CHANGED(0) active=3"};
    }
    void activationByCardNumber()
    {
        QFETCH(int, message);
        QFETCH(QStringList, sent);
        Rig rig(TwoBoards());
        rig.build();
        rig.tree.setCurrentItem(rig.root());

        SendWindowMessage(&rig.tree, message, 3);
        QCOMPARE(rig.info().activeCardNo, 3);
        QCOMPARE(rig.boldCards(), QStringList{"3 : QRX-LN16DI"});
        QVERIFY(rig.root()->font(0).bold());
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(1));
        QVERIFY(!rig.card(1)->isSelected());
        // The selection stays where the user put it, apart from the drop-highlight.
        QCOMPARE(rig.tree.currentItem(), rig.root());
        QCOMPARE(rig.main.messages, sent);

        rig.main.messages.clear();
        SendWindowMessage(&rig.tree, message, 0);
        QCOMPARE(rig.info().activeCardNo, 0);
        QCOMPARE(rig.boldCards(), QStringList{"0 : QRX-LM32DIO"});
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(0));
        QCOMPARE(rig.main.messages.size(), sent.size());
    }

    void absentCardNumberChangesNothing()
    {
        Rig rig(TwoBoards());
        rig.build();
        SendWindowMessage(&rig.tree, UM_SELECT_CARD, 3);
        rig.main.messages.clear();

        rig.tree.ActivateCard(7);
        QCOMPARE(rig.info().activeCardNo, 3);
        QCOMPARE(rig.boldCards(), QStringList{"3 : QRX-LN16DI"});
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(1));
        QVERIFY(rig.main.messages.isEmpty());

        // The selector's request still answers, so that the frame returns to the active board.
        SendWindowMessage(&rig.tree, UM_SELECT_CARD, 7);
        QCOMPARE(rig.info().activeCardNo, 3);
        QCOMPARE(rig.main.messages,
                 (QStringList{"UM_ACTIVE_CARD_CHANGED(0) active=3",
                              "UM_CARD_LIST_CHANGED(0) active=3"}));
    }

    void activeCardNotInMap()
    {
        Rig rig(TwoBoards());
        rig.build();
        rig.model.SetActiveCard(42);
        SendWindowMessage(&rig.tree, UM_WHEEL_SELECT_CARD, 3);
        QCOMPARE(rig.info().activeCardNo, 3);
        QCOMPARE(rig.boldCards(), (QStringList{"0 : QRX-LM32DIO", "3 : QRX-LN16DI"}));
    }

    void activatingABoardWithoutNodeClearsTheHighlight_data()
    {
        QTest::addColumn<int>("message");
        QTest::newRow("selector") << int(UM_SELECT_CARD);
        QTest::newRow("monitoring window") << int(UM_VIEW_SELECT_CARD);
        QTest::newRow("wheel") << int(UM_WHEEL_SELECT_CARD);
    }
    void activatingABoardWithoutNodeClearsTheHighlight()
    {
        QFETCH(int, message);
        // Card 5 has a type code the catalogue does not know: it is in the map but has no node.
        Rig rig({Board(174, 0, 32, 32, 0x12), Board(999, 5, 32, 32, 0x1)});
        rig.build();
        SendWindowMessage(&rig.tree, message, 0);
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(0));

        SendWindowMessage(&rig.tree, message, 5);
        QCOMPARE(rig.info().activeCardNo, 5);
        QCOMPARE(rig.tree.dropHighlightItem(), nullptr);
        QCOMPARE(rig.card(0)->background(0).style(), Qt::NoBrush);
        QVERIFY(rig.boldCards().isEmpty());
    }

    void branchesAreDottedLines()
    {
        Rig rig(TwoBoards());
        rig.build();
        const QImage image = rig.tree.viewport()->grab().toImage();
        const QColor paper = image.pixelColor(image.width() - 2, image.height() - 2);
        auto ink = [&](int x, int y) {
            return image.pixelColor(x, y) != paper;
        };
        // The line from the first board's node down to the second board's node runs past the
        // rows of the first board's own nodes: one pixel on, one off, all the way.
        const int top = rig.tree.visualItemRect(rig.card(0)->child(0)).top();
        const int bottom = rig.tree.visualItemRect(rig.card(0)->child(2)).bottom();
        int dottedColumns = 0;
        for (int x = 0; x < rig.tree.visualItemRect(rig.card(0)).left(); ++x) {
            bool dotted = true;
            for (int y = top; y < bottom && dotted; ++y)
                dotted = ink(x, y) != ink(x, y + 1);
            dottedColumns += dotted;
        }
        QCOMPARE(dottedColumns, 1);
    }

    void contextMenu_data()
    {
        QTest::addColumn<QString>("node"); // path of child indexes from the root
        QTest::addColumn<bool>("menu");
        QTest::newRow("root") << "" << false;
        QTest::newRow("library version") << "0" << false;
        QTest::newRow("active card node") << "1" << true;
        QTest::newRow("other card node") << "2" << true;
        QTest::newRow("output count") << "2/0" << false;
        QTest::newRow("input count") << "2/1" << false;
        QTest::newRow("firmware") << "1/2" << false;
    }
    void contextMenu()
    {
        QFETCH(QString, node);
        QFETCH(bool, menu);
        Rig rig(TwoBoards());
        rig.build();
        QStringList shown;
        rig.tree.trackPopupMenu = [&](QMenu &m, const QPoint &) {
            for (QAction *a : m.actions())
                shown
                    << QStringLiteral("%1/%2/%3").arg(m.title(), a->text()).arg(a->data().toInt());
            return m.actions().value(0);
        };
        QTreeWidgetItem *item = rig.root();
        for (const QString &step : node.split(u'/', Qt::SkipEmptyParts))
            item = item->child(step.toInt());

        rig.rightClick(rig.centre(item));

        // The right click selects the node in every case.
        QCOMPARE(rig.tree.currentItem(), item);
        QCOMPARE(rig.tree.caretItem, item);
        QCOMPARE(QString::fromLatin1(rig.tree.selectedLabel), item->text(0));
        if (!menu) {
            QVERIFY(shown.isEmpty());
            QVERIFY(rig.main.messages.isEmpty());
            QCOMPARE(rig.info().activeCardNo, 0);
            return;
        }
        QCOMPARE(shown, QStringList{"System/Set Active Controller/32793"});
        const int32_t cardNo = item == rig.card(1) ? 3 : 0;
        QCOMPARE(rig.info().activeCardNo, cardNo);
        QCOMPARE(rig.boldCards(), QStringList{item->text(0)});
        QCOMPARE(rig.tree.dropHighlightItem(), item);
        QVERIFY(!item->isSelected());
        QCOMPARE(rig.main.messages,
                 QStringList{QStringLiteral("UM_ACTIVE_CARD_CHANGED(0) active=%1").arg(cardNo)});
    }

    void contextMenuDismissed()
    {
        Rig rig(TwoBoards());
        rig.build();
        int shown = 0;
        rig.tree.trackPopupMenu = [&](QMenu &, const QPoint &) -> QAction * {
            ++shown;
            return nullptr;
        };
        rig.rightClick(rig.centre(rig.card(1)));
        QCOMPARE(shown, 1);
        QCOMPARE(rig.info().activeCardNo, 0);
        QVERIFY(rig.main.messages.isEmpty());
    }

    void noContextMenuOnEmptySpaceOrKey()
    {
        Rig rig(TwoBoards());
        rig.build();
        int shown = 0;
        rig.tree.trackPopupMenu = [&](QMenu &, const QPoint &) -> QAction * {
            ++shown;
            return nullptr;
        };
        rig.tree.setCurrentItem(rig.card(1));
        const QPoint below(10, rig.tree.viewport()->height() - 5);
        QVERIFY(!rig.tree.itemAt(below));
        rig.rightClick(below);
        QCOMPARE(rig.tree.currentItem(), rig.card(1));

        // The context-menu key, even with a card node selected and under the mouse.
        const QPoint at = rig.centre(rig.card(1));
        QContextMenuEvent key(QContextMenuEvent::Keyboard, at,
                              rig.tree.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(rig.tree.viewport(), &key);
        QVERIFY(key.isAccepted());
        QCOMPARE(shown, 0);
        QVERIFY(rig.main.messages.isEmpty());
    }

    void doubleClick_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("opens");
        QTest::newRow("outputs of active 0") << 0 << "1/0" << true;
        QTest::newRow("inputs of active 0") << 0 << "1/1" << true;
        QTest::newRow("firmware of active") << 0 << "1/2" << false;
        QTest::newRow("active card node") << 0 << "1" << false;
        QTest::newRow("outputs of other board") << 0 << "2/0" << false;
        QTest::newRow("inputs of active 3") << 3 << "2/1" << true;
        QTest::newRow("outputs of 0 while 3 active") << 3 << "1/0" << false;
        QTest::newRow("library version") << 0 << "0" << false;
    }
    void doubleClick()
    {
        QFETCH(int, active);
        QFETCH(QString, node);
        QFETCH(bool, opens);
        Rig rig(TwoBoards());
        rig.build();
        SendWindowMessage(&rig.tree, UM_SELECT_CARD, active);
        rig.main.messages.clear();
        QTreeWidgetItem *item = rig.root();
        for (const QString &step : node.split(u'/'))
            item = item->child(step.toInt());

        QTest::mouseDClick(rig.tree.viewport(), Qt::LeftButton, {}, rig.centre(item));
        QCOMPARE(rig.tree.currentItem(), item);
        QCOMPARE(rig.main.messages,
                 opens ? QStringList{QStringLiteral("UM_OPEN_WINDOW(101) active=%1").arg(active)}
                       : QStringList());
    }

    void doubleClickNeedsDigitalIoClass()
    {
        Rig rig(TwoBoards());
        rig.build();
        rig.model.SetActiveCardType(0);
        QTest::mouseDClick(rig.tree.viewport(), Qt::LeftButton, {},
                           rig.centre(rig.card(0)->child(0)));
        QVERIFY(rig.main.messages.isEmpty());
    }

    void clickAndSelectionDropHighlight()
    {
        Rig rig(TwoBoards());
        rig.build();
        QTest::mouseClick(rig.tree.viewport(), Qt::LeftButton, {},
                          rig.centre(rig.card(1)->child(2)));
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(1)->child(2));
        QCOMPARE(QByteArray(rig.tree.selectedLabel), "Firmware Ver. : 7.7");

        rig.tree.setCurrentItem(rig.card(0));
        QCOMPARE(rig.tree.dropHighlightItem(), rig.card(0));
        // One node at a time carries the highlight.
        QCOMPARE(rig.card(1)->child(2)->background(0).style(), Qt::NoBrush);
        QVERIFY(rig.card(0)->background(0).style() != Qt::NoBrush);
    }

    void setActiveControllerWithUnknownLabel()
    {
        Rig rig(TwoBoards());
        rig.build();
        rig.tree.setCurrentItem(rig.card(0)->child(0));
        SendWindowMessage(&rig.tree, UM_ACTIVE_CARD_CHANGED);
        QCOMPARE(rig.info().activeCardNo, 0);
        QVERIFY(rig.boldCards().isEmpty());
        QVERIFY(rig.main.messages.isEmpty());
    }

    void rebuildMakesFirstBoardActive()
    {
        Rig rig(TwoBoards());
        rig.build();
        SendWindowMessage(&rig.tree, UM_SELECT_CARD, 3);
        rig.tree.setCurrentItem(rig.card(1)->child(0));
        rig.fake.takeCalls();

        SendWindowMessage(&rig.tree, UM_REFRESH_SYSTEM);
        QCOMPARE(rig.fake.calls.value(0), "DXS_devConGetMApiVersion(0)");
        QCOMPARE(rig.info().activeCardNo, 0);
        QCOMPARE(rig.boldCards(), QStringList{"0 : QRX-LM32DIO"});
        QCOMPARE(rig.root()->childCount(), 3);
        QCOMPARE(rig.tree.cardItems[1], rig.card(1));
        // A wheel step after the rebuild reaches the new nodes only.
        SendWindowMessage(&rig.tree, UM_WHEEL_SELECT_CARD, 3);
        QCOMPARE(rig.boldCards(), QStringList{"3 : QRX-LN16DI"});
    }

    void enterAndEscapeDoNothing()
    {
        Rig rig(TwoBoards());
        KeyRecorder parent;
        rig.tree.setParent(&parent);
        parent.show();
        rig.build();
        rig.tree.setCurrentItem(rig.card(0)->child(0));
        rig.main.messages.clear();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(&rig.tree, key);
        QVERIFY(parent.keys.isEmpty());
        QVERIFY(rig.main.messages.isEmpty());
        QCOMPARE(rig.tree.currentItem(), rig.card(0)->child(0));
        rig.tree.setParent(nullptr);
    }
};

QTEST_MAIN(TestWsSysWnd)
#include "tst_wssyswnd.moc"
