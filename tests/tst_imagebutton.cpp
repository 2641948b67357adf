#include "WidgetHelpers.h"
#include "controls/ImageButton.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QIconEngine>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QColor kFace(236, 233, 216);
const QColor kText(10, 20, 30);
const QColor kLight(255, 255, 250); // kColorButtonHighlight
const QColor kMidlight(227, 225, 220); // kColor3dLight
const QColor kDark(160, 150, 140); // kColorButtonShadow
const QColor kShadow(105, 100, 95); // kColor3dDarkShadow
const QColor kBlack(0, 0, 0);
const QColor kIcon(200, 100, 50);

QPalette FixedPalette(const QColor &face = kFace)
{
    QPalette pal;
    pal.setColor(QPalette::Button, face);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::Light, kLight);
    pal.setColor(QPalette::Midlight, kMidlight);
    pal.setColor(QPalette::Dark, kDark);
    pal.setColor(QPalette::Shadow, kShadow);
    return pal;
}

QIcon SolidIcon(const QColor &color, QSize size = QSize(20, 16))
{
    QPixmap pixmap(size);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// A button as every window of the program sets it up: raised look, fixed palette.
struct Button
{
    explicit Button(const QString &text = QString(), QWidget *parent = nullptr)
        : button(text, parent)
    {
        button.setPalette(FixedPalette());
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(13);
        font.setStyleStrategy(QFont::NoAntialias);
        button.setFont(font);
        button.SetFlatLook(false, true);
    }
    CImageButton button;
};

QImage Paint(CImageButton &button, unsigned itemState, QSize size = QSize(80, 24))
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    button.DrawItem(painter, QRect(QPoint(0, 0), size), itemState);
    return image;
}

// The smallest rectangle holding every pixel of the colour.
QRect Extent(const QImage &image, const QColor &color)
{
    QRect extent;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color)
                extent |= QRect(x, y, 1, 1);
    return extent;
}

using Pixels = QList<std::pair<QPoint, QColor>>;

} // namespace

class TestImageButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void placeImage_data();
    void placeImage();
    void placeCaption();
    void derivedPixels_data();
    void derivedPixels();
    void border_data();
    void border();
    void focusRectangleFourPixelsInside();
    void imagePosition_data();
    void imagePosition();
    void pressedPaintEventShiftsImage();
    void disabledGreysImageAndEngravesCaption();
    void captionCentredInRemainingWidth();
    void idleImages();
    void setButtonIcons_data();
    void setButtonIcons();
    void loadButtonIcons();
    void flatLookAndHover();
    void paletteChangeResetsColours();
    void doubleClickIsTwoClicks();
    void clickReachesOwner();
    void disablingMovesFocus();
    void defaultFrameFollowsFocus();
    void accessibleName();
};

void TestImageButton::init()
{
    QApplication::setPalette(FixedPalette());
}

void TestImageButton::placeImage_data()
{
    QTest::addColumn<bool>("hasCaption");
    QTest::addColumn<QRect>("item");
    QTest::addColumn<bool>("shifted");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<int>("captionLeft");

    QTest::newRow("caption: 3 from the left")
        << true << QRect(0, 0, 117, 26) << false << QSize(20, 16) << QPoint(3, 5) << 23;
    QTest::newRow("caption, pressed")
        << true << QRect(0, 0, 117, 26) << true << QSize(20, 16) << QPoint(4, 6) << 23;
    QTest::newRow("no caption: centred")
        << false << QRect(0, 0, 30, 24) << false << QSize(16, 16) << QPoint(7, 4) << 0;
    QTest::newRow("larger image: negative")
        << false << QRect(0, 0, 15, 15) << false << QSize(16, 16) << QPoint(0, 0) << 0;
    QTest::newRow("much larger image")
        << false << QRect(0, 0, 10, 10) << false << QSize(16, 16) << QPoint(-3, -3) << 0;
    QTest::newRow("offset item") << false << QRect(5, 7, 30, 24) << true << QSize(16, 16)
                                 << QPoint(13, 12) << 5;
}

void TestImageButton::placeImage()
{
    QFETCH(bool, hasCaption);
    QFETCH(QRect, item);
    QFETCH(bool, shifted);
    QFETCH(QSize, image);
    QRect caption = item;
    QTEST(CImageButton::PlaceImage(hasCaption, item, caption, shifted, image), "topLeft");
    QTEST(caption.left(), "captionLeft");
    QCOMPARE(caption.right(), item.right());
}

void TestImageButton::placeCaption()
{
    const QRect area(23, 0, 94, 26);
    QCOMPARE(CImageButton::PlaceCaption(area, QRect(23, 0, 30, 15)), QRect(55, 5, 30, 15));
    // Wider than the area: centred at a negative offset, cut equally.
    QCOMPARE(CImageButton::PlaceCaption(QRect(0, 0, 20, 10), QRect(0, 0, 25, 15)),
             QRect(-2, -2, 25, 15));
}

void TestImageButton::derivedPixels_data()
{
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<QRgb>("grey");
    QTest::addColumn<QRgb>("darker");

    QTest::newRow("colour") << qRgb(200, 100, 50) << qRgb(124, 124, 124) << qRgb(150, 75, 37);
    QTest::newRow("black stays black") << qRgb(0, 0, 0) << qRgb(0, 0, 0) << qRgb(0, 0, 0);
    QTest::newRow("white") << qRgb(255, 255, 255) << qRgb(255, 255, 255) << qRgb(191, 191, 191);
    QTest::newRow("alpha kept") << qRgba(10, 20, 30, 128) << qRgba(18, 18, 18, 128)
                                << qRgba(7, 15, 22, 128);
}

void TestImageButton::derivedPixels()
{
    QFETCH(QRgb, pixel);
    QTEST(CImageButton::GreyPixel(pixel), "grey");
    QTEST(CImageButton::DarkerPixel(pixel), "darker");
}

void TestImageButton::border_data()
{
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<unsigned>("state");
    QTest::addColumn<Pixels>("pixels");

    // 80 x 24 item. A default button: black frame, then the four lines inside it
    // (frame l 1, t 1, r 79, b 23).
    QTest::newRow("default") << true << 0u
                             << Pixels{
                                    {{0, 0}, kBlack},     {{79, 23}, kBlack},  {{40, 0}, kBlack},
                                    {{0, 12}, kBlack},    {{1, 1}, kLight},    {{40, 1}, kLight},
                                    {{1, 12}, kLight},    {{2, 2}, kMidlight}, {{40, 2}, kMidlight},
                                    {{2, 12}, kMidlight}, {{1, 22}, kShadow},  {{40, 22}, kShadow},
                                    {{78, 1}, kShadow},   {{78, 22}, kShadow}, {{2, 21}, kDark},
                                    {{40, 21}, kDark},    {{77, 2}, kDark},    {{77, 21}, kDark},
                                    {{76, 2}, kMidlight}, {{40, 12}, kFace}};
    // Not default, not focused: no black frame; the lines use the whole item.
    QTest::newRow("plain") << false << 0u
                           << Pixels{{{0, 0}, kLight},    {{78, 0}, kLight},  {{0, 22}, kLight},
                                     {{1, 1}, kMidlight}, {{0, 23}, kShadow}, {{79, 0}, kShadow},
                                     {{79, 23}, kShadow}, {{1, 22}, kDark},   {{78, 1}, kDark},
                                     {{40, 12}, kFace}};
    // Pressed: a one-pixel shadow frame instead of the lines.
    QTest::newRow("pressed") << false << unsigned(CImageButton::kItemSelected)
                             << Pixels{{{0, 0}, kDark},   {{79, 0}, kDark}, {{0, 23}, kDark},
                                       {{79, 23}, kDark}, {{1, 1}, kFace},  {{78, 22}, kFace},
                                       {{40, 12}, kFace}};
    QTest::newRow("pressed default")
        << true << unsigned(CImageButton::kItemSelected)
        << Pixels{{{0, 0}, kBlack}, {{1, 1}, kDark}, {{78, 22}, kDark}, {{2, 2}, kFace}};
}

void TestImageButton::border()
{
    QFETCH(bool, isDefault);
    QFETCH(unsigned, state);
    QFETCH(Pixels, pixels);
    Button b;
    b.button.setDefault(isDefault);
    const QImage image = Paint(b.button, state);
    for (const auto &[point, color] : pixels)
        QVERIFY2(image.pixelColor(point) == color,
                 qPrintable(QStringLiteral("(%1, %2) is %3, expected %4")
                                .arg(point.x())
                                .arg(point.y())
                                .arg(image.pixelColor(point).name(), color.name())));
}

void TestImageButton::focusRectangleFourPixelsInside()
{
    Button b;
    const QImage image = Paint(b.button, CImageButton::kItemFocus);
    QCOMPARE(image.pixelColor(0, 0), kBlack);
    // Dotted: the corner and every other pixel.
    QCOMPARE(image.pixelColor(4, 4), kText);
    QCOMPARE(image.pixelColor(5, 4), kFace);
    QCOMPARE(image.pixelColor(6, 4), kText);
    QCOMPARE(image.pixelColor(4, 6), kText);
    QCOMPARE(image.pixelColor(3, 3), kFace);
    QCOMPARE(Extent(image, kText), QRect(4, 4, 72, 16));

    // No focus rectangle without focus.
    QVERIFY(Extent(Paint(b.button, 0), kText).isNull());
}

void TestImageButton::imagePosition_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<unsigned>("state");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("caption") << QStringLiteral("Close") << 0u << QRect(3, 4, 20, 16);
    QTest::newRow("caption, pressed")
        << QStringLiteral("Close") << unsigned(CImageButton::kItemSelected) << QRect(4, 5, 20, 16);
    QTest::newRow("no caption") << QString() << 0u << QRect(30, 4, 20, 16);
    QTest::newRow("no caption, pressed")
        << QString() << unsigned(CImageButton::kItemSelected) << QRect(31, 5, 20, 16);
}

void TestImageButton::imagePosition()
{
    QFETCH(QString, caption);
    QFETCH(unsigned, state);
    QFETCH(QRect, expected);
    Button b(caption);
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon)), 0);
    QCOMPARE(Extent(Paint(b.button, state), kIcon), expected);
}

void TestImageButton::pressedPaintEventShiftsImage()
{
    Button b;
    b.button.resize(80, 24);
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon)), 0);
    QImage image(80, 24, QImage::Format_ARGB32);
    b.button.render(&image);
    QCOMPARE(Extent(image, kIcon), QRect(30, 4, 20, 16));
    QCOMPARE(image.pixelColor(0, 0), kLight);
    b.button.setDown(true);
    b.button.render(&image);
    QCOMPARE(Extent(image, kIcon), QRect(31, 5, 20, 16));
    QCOMPARE(image.pixelColor(0, 0), kDark);
    b.button.setDown(false);
    b.button.render(&image);
    QCOMPARE(Extent(image, kIcon), QRect(30, 4, 20, 16));
}

void TestImageButton::disabledGreysImageAndEngravesCaption()
{
    Button b(QStringLiteral("Close"));
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon)), 0);
    const QImage image = Paint(b.button, CImageButton::kItemDisabled);
    const QColor grey = image.pixelColor(12, 12);
    QVERIFY(grey != kIcon);
    QCOMPARE(grey.red(), grey.green());
    QCOMPARE(grey.green(), grey.blue());
    QVERIFY(Extent(image, kIcon).isNull());

    // Caption: highlight one pixel down-right of the shadow copy; no text colour.
    const QRect area(26, 3, 50, 18);
    QCOMPARE(Extent(image, kText), QRect());
    const QRect highlight = Extent(image.copy(area), kLight);
    const QRect shadow = Extent(image.copy(area), kDark);
    QVERIFY(!highlight.isNull());
    QVERIFY(!shadow.isNull());
    QCOMPARE(highlight.bottomRight(), shadow.bottomRight() + QPoint(1, 1));
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const QColor c = image.copy(area).pixelColor(x, y);
            QVERIFY(c == kFace || c == kLight || c == kDark);
        }
}

void TestImageButton::captionCentredInRemainingWidth()
{
    Button b(QStringLiteral("OK"));
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon)), 0);
    const QImage normal = Paint(b.button, 0, QSize(117, 26));
    const QRect text = Extent(normal, kText);
    // The caption area starts after the image and its margin: 3 + 20 + 3.
    const int areaLeft = 26, areaRight = 117;
    QVERIFY(text.left() > areaLeft);
    QVERIFY(qAbs(text.left() + text.right() + 1 - (areaLeft + areaRight)) <= 6);
    QVERIFY(qAbs(text.center().y() - 13) <= 2);
    const QRect pressed =
        Extent(Paint(b.button, CImageButton::kItemSelected, QSize(117, 26)), kText);
    QCOMPARE(pressed, text.translated(1, 1));

    // Too long for one line: wraps at the word boundary, both lines inside the button.
    Button wrap(QStringLiteral("Save Parameter"));
    const QRect wrapped = Extent(Paint(wrap.button, 0, QSize(70, 40)), kText);
    QVERIFY(wrapped.height() > QFontMetrics(wrap.button.font()).height());
    QVERIFY(wrapped.left() >= 0 && wrapped.right() < 70);
}

void TestImageButton::idleImages()
{
    Button b;
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon), CImageButton::IDLE_GREY), 0);
    QCOMPARE(Paint(b.button, 0).pixelColor(40, 12), QColor(124, 124, 124));
    QCOMPARE(Paint(b.button, CImageButton::kItemSelected).pixelColor(40, 12), kIcon);

    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon), CImageButton::IDLE_DARKER), 0);
    QCOMPARE(Paint(b.button, 0).pixelColor(40, 12), QColor(150, 75, 37));

    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon), SolidIcon(Qt::blue)), 0);
    QCOMPARE(Paint(b.button, 0).pixelColor(40, 12), QColor(Qt::blue));
    QCOMPARE(Paint(b.button, CImageButton::kItemSelected).pixelColor(41, 13), kIcon);

    // Only the active image: shown in every state.
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(kIcon)), 0);
    QCOMPARE(Paint(b.button, 0).pixelColor(40, 12), kIcon);
}

void TestImageButton::setButtonIcons_data()
{
    QTest::addColumn<QIcon>("active");
    QTest::addColumn<QIcon>("idle");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("hasImage");

    const QIcon good = SolidIcon(kIcon);
    const QIcon bad(new SizelessEngine);
    QTest::newRow("active") << good << QIcon() << 0 << true;
    QTest::newRow("active and idle") << good << SolidIcon(Qt::blue) << 0 << true;
    QTest::newRow("null active") << QIcon() << good << 0 << false;
    QTest::newRow("bad active") << bad << QIcon() << 1 << false;
    QTest::newRow("bad idle") << good << bad << 1 << false;
}

void TestImageButton::setButtonIcons()
{
    QFETCH(QIcon, active);
    QFETCH(QIcon, idle);
    Button b;
    QCOMPARE(b.button.SetButtonIcons(SolidIcon(Qt::green)), 0);
    QTEST(b.button.SetButtonIcons(active, idle), "result");
    QTEST(!b.button.GetActiveImage().isNull(), "hasImage");
    if (b.button.GetActiveImage().isNull()) {
        // The old images are gone as well: nothing but the button is painted.
        QVERIFY(b.button.GetIdleImage().isNull());
        QVERIFY(Extent(Paint(b.button, 0), QColor(Qt::green)).isNull());
    }
}

void TestImageButton::loadButtonIcons()
{
    Button b(QStringLiteral("Close"));
    QCOMPARE(b.button.LoadButtonIcons(IDI_EXIT, 20, 16, 0, 0, 0), 0);
    QCOMPARE(b.button.GetActiveImageSize(), QSize(20, 16));
    QVERIFY(b.button.GetIdleImage().isNull());

    QCOMPARE(b.button.LoadButtonIcons(IDI_LED_OFF, 0), 0);
    QCOMPARE(b.button.GetActiveImageSize(), QSize(16, 16));

    QCOMPARE(b.button.LoadButtonIcons(IDI_LED_OUTPUT_ON, 0, 0, IDI_LED_OFF, 0, 0), 0);
    QVERIFY(!b.button.GetIdleImage().isNull());

    QCOMPARE(b.button.LoadButtonIcons(IDI_OK, 40, 32, CImageButton::IDLE_GREY, 0, 0), 0);
    QCOMPARE(b.button.GetActiveImageSize(), QSize(40, 32));
    QVERIFY(!b.button.GetIdleImage().isNull());

    // A missing resource: no image, and still success.
    QCOMPARE(b.button.LoadButtonIcons(9999, 20, 16, 0, 0, 0), 0);
    QVERIFY(b.button.GetActiveImage().isNull());
}

void TestImageButton::flatLookAndHover()
{
    CImageButton button;
    button.setPalette(FixedPalette());
    QVERIFY(button.GetFlatLook());
    QCOMPARE(Paint(button, 0).pixelColor(0, 0), kFace);
    QCOMPARE(Paint(button, CImageButton::kItemFocus).pixelColor(0, 0), kFace);
    QVERIFY(Extent(Paint(button, CImageButton::kItemFocus), kText).isNull());

    button.resize(80, 24);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    QVERIFY(button.IsHover());
    const QImage hovered = Paint(button, 0);
    QCOMPARE(hovered.pixelColor(0, 0), kLight);
    QCOMPARE(hovered.pixelColor(79, 23), kDark);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    QVERIFY(!button.IsHover());

    // Raised buttons never hover.
    button.SetFlatLook(false, true);
    QApplication::sendEvent(&button, &enter);
    QVERIFY(!button.IsHover());
}

void TestImageButton::paletteChangeResetsColours()
{
    Button b(QStringLiteral("OK"));
    const QColor face(90, 120, 150);
    b.button.setPalette(FixedPalette(face));
    for (auto situation : {CImageButton::ACTIVE, CImageButton::IDLE, CImageButton::FOCUSED}) {
        QCOMPARE(b.button.GetBackgroundColor(situation), face);
        QCOMPARE(b.button.GetTextColor(situation), kText);
    }
    b.button.resize(80, 24);
    QImage image(80, 24, QImage::Format_ARGB32);
    b.button.render(&image);
    QCOMPARE(image.pixelColor(10, 12), face);
}

void TestImageButton::doubleClickIsTwoClicks()
{
    CImageButton button;
    button.resize(40, 20);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    const QPointF at(10, 10);
    const QPointF global = button.mapToGlobal(at);
    auto send = [&](QEvent::Type type) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&button, &event);
    };
    // As this toolkit delivers a double click: the second press comes with a double-click event.
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonDblClick);
    send(QEvent::MouseButtonRelease);
    QCOMPARE(clicks.count(), 2);

    // The same when the second press arrives only as a double-click event.
    clicks.clear();
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
    send(QEvent::MouseButtonDblClick);
    send(QEvent::MouseButtonRelease);
    QCOMPARE(clicks.count(), 2);
}

void TestImageButton::clickReachesOwner()
{
    QWidget owner;
    auto *button = new CImageButton(QStringLiteral("Close"), &owner);
    button->resize(80, 24);
    int received = 0;
    QObject::connect(button, &QAbstractButton::clicked, &owner, [&] { ++received; });
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(received, 1);
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(received, 2);
}

void TestImageButton::disablingMovesFocus()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    auto *a = new CImageButton(QStringLiteral("A"), &window);
    auto *b = new CImageButton(QStringLiteral("B"), &window);
    auto *c = new CImageButton(QStringLiteral("C"), &window);
    for (QWidget *w : {static_cast<QWidget *>(edit), static_cast<QWidget *>(a),
                       static_cast<QWidget *>(b), static_cast<QWidget *>(c)})
        layout->addWidget(w);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    a->setFocus();
    QCOMPARE(QApplication::focusWidget(), a);
    a->setEnabled(false);
    QCOMPARE(QApplication::focusWidget(), b);

    // A button without the focus leaves it where the user is typing.
    edit->setFocus();
    QCOMPARE(QApplication::focusWidget(), edit);
    b->setEnabled(false);
    QCOMPARE(QApplication::focusWidget(), edit);

    // The next tab item wraps around to the start of the parent's items.
    c->setFocus();
    c->setEnabled(false);
    QCOMPARE(QApplication::focusWidget(), edit);

    // No other item can take the focus: the parent takes it.
    QWidget lonely;
    auto *only = new CImageButton(QStringLiteral("Only"), &lonely);
    lonely.show();
    QApplication::setActiveWindow(&lonely);
    QVERIFY(QTest::qWaitForWindowActive(&lonely));
    only->setFocus();
    only->setEnabled(false);
    QCOMPARE(QApplication::focusWidget(), &lonely);
}

void TestImageButton::defaultFrameFollowsFocus()
{
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    auto *ok = new CImageButton(QStringLiteral("OK"), &dialog);
    auto *cancel = new CImageButton(QStringLiteral("Cancel"), &dialog);
    for (CImageButton *button : {ok, cancel}) {
        button->setPalette(FixedPalette());
        button->SetFlatLook(false, true);
        button->setFixedSize(80, 24);
        layout->addWidget(button);
    }
    ok->setDefault(true);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    auto frameOf = [](CImageButton *button) {
        QImage image(80, 24, QImage::Format_ARGB32);
        button->render(&image);
        return image.pixelColor(0, 0);
    };
    ok->setFocus();
    QCOMPARE(frameOf(ok), kBlack);
    QCOMPARE(frameOf(cancel), kLight);

    cancel->setFocus();
    QVERIFY(cancel->isDefault());
    QVERIFY(!ok->isDefault());
    QCOMPARE(frameOf(cancel), kBlack);
    QCOMPARE(frameOf(ok), kLight);
}

void TestImageButton::accessibleName()
{
    CImageButton button;
    button.SetAccessibleLabel(QStringLiteral("Output 5"), QStringLiteral("on"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&button);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Output 5: on"));
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("on"));
    button.SetAccessibleLabel(QStringLiteral("Output 5"), QStringLiteral("off"));
    QCOMPARE(button.accessibleName(), QStringLiteral("Output 5: off"));
}

QTEST_MAIN(TestImageButton)
#include "tst_imagebutton.moc"
