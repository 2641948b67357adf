#include "controls/DialogTemplate.h"
#include "controls/ImageButton.h"
#include "controls/TemplateDialog.h"
#include "platform/DialogKeys.h"
#include "platform/DialogUnits.h"
#include "res/ResourceIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

// One row of every kind and style the windows use.
const ControlTemplate kRows[] = {
    {"Plain", ControlKind::Label, "Plain", 4, 4, 40, 8},
    {"Top", ControlKind::Label, "Top", 4, 14, 40, 8, kStyleTop},
    {"Centre", ControlKind::Label, "[msec]", 4, 24, 40, 8, kStyleTop | kStyleCentre},
    {"Named", ControlKind::Label, "Name : ", 4, 34, 40, 8, kStyleBuddyOfNext},
    {"Field", ControlKind::LineEdit, "Name", 50, 34, 60, 13},
    {"Word", ControlKind::LineEdit, "Word", 50, 50, 60, 13, kStyleReadOnly | kStyleRight},
    {"Check", ControlKind::CheckBox, " All Cards", 4, 50, 40, 10},
    {"List", ControlKind::ComboBox, nullptr, 4, 64, 40, 13},
    {"Drop", ControlKind::ComboBox, nullptr, 50, 64, 40, 30, kStyleDropDown},
    {"Typed", ControlKind::ComboBox, nullptr, 100, 64, 40, 13, kStyleEditable},
    {"Default", ControlKind::PushButton, "OK", 4, 100, 50, 16, kStyleDefault},
    {"Quiet", ControlKind::PushButton, "...", 60, 100, 17, 13, kStyleNoAutoDefault},
    {"Image", ControlKind::ImageButton, "Close", 80, 100, 50, 16, kStyleClickOnEnter, IDI_EXIT},
};

class Dialog : public TemplateDialog
{
public:
    explicit Dialog(FrameLook look = FixedFrame)
        : TemplateDialog(QStringLiteral("Template"), QSize(150, 120), nullptr, look)
    {
        Build(kRows);
    }
};

// Records the keys that reach it.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override { keys << e->key(); }
};

} // namespace

class TestDialogTemplate : public QObject
{
    Q_OBJECT

private slots:
    void rowsSetTheControlsUp_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        const int leftCentre = int(Qt::AlignLeft | Qt::AlignVCenter);
        QTest::newRow("label") << "Plain" << QByteArray("alignment") << QVariant(leftCentre);
        QTest::newRow("label at the top")
            << "Top" << QByteArray("alignment") << QVariant(int(Qt::AlignLeft | Qt::AlignTop));
        QTest::newRow("label centred") << "Centre" << QByteArray("alignment")
                                       << QVariant(int(Qt::AlignHCenter | Qt::AlignTop));
        QTest::newRow("field read by its text")
            << "Field" << QByteArray("accessibleName") << QVariant("Name");
        QTest::newRow("field writable") << "Field" << QByteArray("readOnly") << QVariant(false);
        QTest::newRow("field empty") << "Field" << QByteArray("text") << QVariant(QString());
        QTest::newRow("read-only field") << "Word" << QByteArray("readOnly") << QVariant(true);
        QTest::newRow("field on the right")
            << "Word" << QByteArray("alignment") << QVariant(int(Qt::AlignRight));
        QTest::newRow("check box text") << "Check" << QByteArray("text") << QVariant(" All Cards");
        QTest::newRow("check box read without the space")
            << "Check" << QByteArray("accessibleName") << QVariant("All Cards");
        QTest::newRow("list") << "List" << QByteArray("editable") << QVariant(false);
        QTest::newRow("drop-down list") << "Drop" << QByteArray("maxVisibleItems") << QVariant(16);
        QTest::newRow("editable list") << "Typed" << QByteArray("editable") << QVariant(true);
        QTest::newRow("default button") << "Default" << QByteArray("default") << QVariant(true);
        QTest::newRow("button") << "Image" << QByteArray("default") << QVariant(false);
        QTest::newRow("never default") << "Quiet" << QByteArray("autoDefault") << QVariant(false);
        QTest::newRow("in a dialog a button may be default")
            << "Default" << QByteArray("autoDefault") << QVariant(true);
        QTest::newRow("image button caption") << "Image" << QByteArray("text") << QVariant("Close");
    }

    void rowsSetTheControlsUp()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        Dialog dialog;
        QWidget *control = dialog.findChild<QWidget *>(id);
        QVERIFY(control);
        QVariant actual = control->property(property.constData());
        if (value.typeId() == QMetaType::Int)
            actual = QVariant(actual.toInt()); // alignments are flags
        QCOMPARE(actual, value);
    }

    // The controls are the dialog's children in the order of the rows, which is also the order
    // the Tab key follows; each lies where its dialog units put it.
    void controlsFollowTheRows()
    {
        Dialog dialog;
        const QList<QWidget *> children =
            dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        QCOMPARE(children.size(), qsizetype(std::size(kRows)));
        const DialogUnits du(dialog.font());
        for (size_t i = 0; i < std::size(kRows); ++i) {
            const ControlTemplate &row = kRows[i];
            QCOMPARE(children[qsizetype(i)]->objectName(), QString::fromLatin1(row.id));
            QRect expected = du.rect(row.x, row.y, row.width, row.height);
            // A drop-down list's template height includes the dropped list.
            if (row.style & kStyleDropDown)
                expected.setHeight(children[qsizetype(i)]->sizeHint().height());
            QCOMPARE(children[qsizetype(i)]->geometry(), expected);
        }
        QVERIFY(dialog.findChild<QComboBox *>("Drop")->height() < du.y(30));
    }

    void labelNamesTheNextControl()
    {
        Dialog dialog;
        const TemplateControls controls(&dialog);
        QCOMPARE(controls.get<QLabel>("Named")->buddy(), controls.get<QLineEdit>("Field"));
        QCOMPARE(controls.get<QLabel>("Plain")->buddy(), nullptr);
        QCOMPARE(controls.get<QLabel>("Centre")->buddy(), nullptr);
        // A control of another kind under that id is not found.
        QCOMPARE(controls.get<QLineEdit>("Named"), nullptr);
    }

    void imageButtonIsRaisedWithItsImage()
    {
        Dialog dialog;
        auto *image = dialog.findChild<CImageButton *>("Image");
        QVERIFY(image);
        QVERIFY(!image->GetFlatLook());
        QVERIFY(!image->GetActiveImage().isNull());
        QCOMPARE(image->GetActiveImageSize(), QSize(20, 16));
        // A plain push button row makes no image button.
        QVERIFY(!qobject_cast<CImageButton *>(dialog.findChild<QPushButton *>("Default")));
    }

    void enterClicksAButtonThatAsksForIt()
    {
        Dialog dialog;
        auto *image = dialog.findChild<CImageButton *>("Image");
        QSignalSpy clicks(image, &QPushButton::clicked);
        QTest::keyClick(image, Qt::Key_Return);
        QCOMPARE(clicks.size(), 1);
    }

    void dialogHasFixedSizeAndFrame_data()
    {
        QTest::addColumn<bool>("fixedFrame");
        QTest::newRow("fixed frame") << true;
        QTest::newRow("plain frame") << false;
    }

    void dialogHasFixedSizeAndFrame()
    {
        QFETCH(bool, fixedFrame);
        Dialog dialog(fixedFrame ? TemplateDialog::FixedFrame : TemplateDialog::PlainFrame);
        QCOMPARE(dialog.windowTitle(), QString("Template"));
        QCOMPARE(dialog.font(), TemplateFont());
        const QSize size = DialogUnits(TemplateFont()).size(150, 120);
        QCOMPARE(dialog.minimumSize(), size);
        QCOMPARE(dialog.maximumSize(), size);
        const Qt::WindowFlags flags = dialog.windowFlags();
        QCOMPARE(flags.testFlag(Qt::CustomizeWindowHint), fixedFrame);
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    }

    void enterAndEscapeStopAtTheWidget_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("passedOn");
        QTest::newRow("Return") << int(Qt::Key_Return) << false;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << false;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
        QTest::newRow("Space") << int(Qt::Key_Space) << true;
        QTest::newRow("A") << int(Qt::Key_A) << true;
    }

    // The widget ignores the keys it does not use, so they reach its parent; the filter keeps
    // Enter and Escape from going there, and lets the others through.
    void enterAndEscapeStopAtTheWidget()
    {
        QFETCH(int, key);
        QFETCH(bool, passedOn);
        KeyRecorder parent;
        auto *form = new QWidget(&parent);
        IgnoreEnterAndEscape(form);
        QTest::keyClick(form, Qt::Key(key));
        QCOMPARE(parent.keys.contains(key), passedOn);
    }
};

QTEST_MAIN(TestDialogTemplate)
#include "tst_dialogtemplate.moc"
