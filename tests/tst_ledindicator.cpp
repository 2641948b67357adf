#include "WidgetHelpers.h"
#include "controls/LedIndicator.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QAccessible>
#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QtTest>

namespace {

const QColor kFace(236, 233, 216);
const QColor kText(10, 20, 30);
const QColor kLight(255, 255, 250);
const QColor kDark(160, 150, 140);
const QColor kMagenta(255, 0, 255);

QPalette FixedPalette(const QColor &face = kFace)
{
    QPalette pal;
    pal.setColor(QPalette::Button, face);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::Light, kLight);
    pal.setColor(QPalette::Midlight, QColor(227, 227, 227));
    pal.setColor(QPalette::Dark, kDark);
    pal.setColor(QPalette::Shadow, QColor(105, 105, 105));
    return pal;
}

QIcon SolidIcon(const QColor &color, QSize size = QSize(16, 16))
{
    QPixmap pixmap(size);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// 16 x 16: rows 0-2 red, the rest blue; shows which rows of a cut image are drawn.
QIcon BandedIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, 16, 3, Qt::red);
    return QIcon(pixmap);
}

QImage Paint(CLedIndicator &led, QSize size, unsigned itemState = 0)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    led.DrawItem(painter, QRect(QPoint(0, 0), size), itemState);
    return image;
}

int CountColor(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == color;
    return count;
}

} // namespace

class TestLedIndicator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void layout_data();
    void layout();
    void captionPlacement_data();
    void captionPlacement();
    void backgroundIsStateColour();
    void paletteChangeRepaintsInNewColours();
    void imagePosition_data();
    void imagePosition();
    void disabledGreysImageAndEngravesCaption();
    void sharpAtDoubleDensity();
    void enabledCaptionInStateTextColour();
    void setStateIcon_data();
    void setStateIcon();
    void stateCountReducedBelowCurrent();
    void negativeStateCountMeansNone();
    void sameStateDoesNotRepaint();
    void outOfRangeStateRepaintsButKeepsState();
    void revertTimerReturnsToDefault();
    void stateFilterDecides();
    void styleStaysOwnerDrawn();
    void clickChangesNothing();
    void accessibleNameCarriesState();

private:
    QFont m_font;
};

void TestLedIndicator::init()
{
    QApplication::setPalette(FixedPalette());
    m_font = QFont(QStringLiteral("Liberation Sans"));
    m_font.setPixelSize(14);
    m_font.setStyleStrategy(QFont::NoAntialias);
}

void TestLedIndicator::layout_data()
{
    QTest::addColumn<QRect>("item");
    QTest::addColumn<unsigned>("cx");
    QTest::addColumn<unsigned>("cy");
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QRect>("image");
    QTest::addColumn<QRect>("textArea");

    const unsigned left = CLedIndicator::kStyleLeftText;
    QTest::newRow("image left, centred")
        << QRect(0, 0, 60, 24) << 16u << 16u << 0u << QRect(0, 4, 16, 16) << QRect(19, 0, 41, 24);
    QTest::newRow("odd height truncates")
        << QRect(0, 0, 60, 15) << 16u << 16u << 0u << QRect(0, 0, 16, 16) << QRect(19, 0, 41, 15);
    QTest::newRow("taller image cut equally")
        << QRect(0, 0, 60, 10) << 16u << 16u << 0u << QRect(0, -3, 16, 16) << QRect(19, 0, 41, 10);
    QTest::newRow("left text: image right")
        << QRect(0, 0, 60, 24) << 16u << 16u << left << QRect(44, 4, 16, 16) << QRect(0, 0, 41, 24);
    QTest::newRow("gap kept without image")
        << QRect(0, 0, 60, 24) << 0u << 0u << 0u << QRect(0, 12, 0, 0) << QRect(3, 0, 57, 24);
}

void TestLedIndicator::layout()
{
    QFETCH(QRect, item);
    QFETCH(unsigned, cx);
    QFETCH(unsigned, cy);
    QFETCH(unsigned, style);
    const CLedIndicator::Layout layout = CLedIndicator::ComputeLayout(item, cx, cy, style);
    QTEST(layout.image, "image");
    QTEST(layout.textArea, "textArea");
}

void TestLedIndicator::captionPlacement_data()
{
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QRect>("placed");
    QTest::addColumn<unsigned>("format");

    // Area 100 x 31 at (10, 0); measured text 41 x 14 at the area's corner.
    const unsigned base = 0x14;
    QTest::newRow("left") << 0u << QRect(10, 8, 41, 14) << base;
    QTest::newRow("centre") << unsigned(CLedIndicator::kStyleCenter) << QRect(39, 8, 41, 14)
                            << (base | 0x1);
    QTest::newRow("right") << unsigned(CLedIndicator::kStyleRight) << QRect(69, 8, 41, 14)
                           << (base | 0x2);
}

void TestLedIndicator::captionPlacement()
{
    QFETCH(unsigned, style);
    const QRect area(10, 0, 100, 31);
    QTEST(CLedIndicator::PlaceCaption(area, QRect(10, 0, 41, 14), style), "placed");
    QTEST(CLedIndicator::CaptionFormat(style), "format");
}

void TestLedIndicator::backgroundIsStateColour()
{
    CLedIndicator led;
    QCOMPARE(led.GetStateBkColor(0), kFace);
    QCOMPARE(led.GetStateBkColor(7), kFace);
    const QImage image = Paint(led, QSize(20, 12));
    QCOMPARE(CountColor(image, kFace), 20 * 12);
}

void TestLedIndicator::paletteChangeRepaintsInNewColours()
{
    CLedIndicator led;
    led.resize(20, 12);
    const QColor newFace(90, 120, 150);
    led.setPalette(FixedPalette(newFace));
    QCOMPARE(led.GetStateBkColor(0), newFace);
    QCOMPARE(led.GetStateData(1).crBk, newFace);
    QImage image(20, 12, QImage::Format_ARGB32);
    led.render(&image);
    QCOMPARE(image.pixelColor(10, 6), newFace);
}

void TestLedIndicator::imagePosition_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QRect>("expected"); // where the image's pixels must land
    QTest::addColumn<QColor>("topColour"); // colour of the topmost drawn image row

    QTest::newRow("centred vertically")
        << QSize(40, 24) << 0u << QRect(0, 4, 16, 16) << QColor(Qt::red);
    QTest::newRow("same height") << QSize(40, 16) << 0u << QRect(0, 0, 16, 16) << QColor(Qt::red);
    QTest::newRow("cut at top and bottom")
        << QSize(40, 10) << 0u << QRect(0, 0, 16, 10) << QColor(Qt::blue);
    QTest::newRow("left text: right edge")
        << QSize(40, 24) << unsigned(CLedIndicator::kStyleLeftText) << QRect(24, 4, 16, 16)
        << QColor(Qt::red);
}

void TestLedIndicator::imagePosition()
{
    QFETCH(QSize, size);
    QFETCH(unsigned, style);
    QFETCH(QRect, expected);
    QFETCH(QColor, topColour);

    CLedIndicator led;
    led.SetButtonStyle(style);
    QVERIFY(led.SetStateIcon(0, BandedIcon()));
    const QImage image = Paint(led, size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool inside = expected.contains(x, y);
            QCOMPARE(image.pixelColor(x, y) != kFace, inside);
        }
    }
    QCOMPARE(image.pixelColor(expected.left(), expected.top()), topColour);
    QCOMPARE(image.pixelColor(expected.left(), expected.bottom()), QColor(Qt::blue));
}

void TestLedIndicator::disabledGreysImageAndEngravesCaption()
{
    CLedIndicator led;
    led.setFont(m_font);
    led.setText(QStringLiteral("IN"));
    QVERIFY(led.SetStateIcon(0, SolidIcon(QColor(0, 160, 40))));
    const QImage enabled = Paint(led, QSize(60, 24));
    const QImage disabled = Paint(led, QSize(60, 24), CLedIndicator::kItemDisabled);

    const QColor normalPixel = enabled.pixelColor(8, 12);
    const QColor greyPixel = disabled.pixelColor(8, 12);
    QCOMPARE(normalPixel, QColor(0, 160, 40));
    QVERIFY(greyPixel != normalPixel);
    QCOMPARE(greyPixel.red(), greyPixel.green());
    QCOMPARE(greyPixel.green(), greyPixel.blue());

    // The caption: shadow colour on top, highlight one pixel down-right, no text colour.
    QRect ink;
    for (int y = 0; y < 24; ++y) {
        for (int x = 19; x < 60; ++x) {
            const QColor c = disabled.pixelColor(x, y);
            QVERIFY2(c == kFace || c == kLight || c == kDark, qPrintable(c.name()));
            if (c != kFace)
                ink |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(CountColor(disabled, kDark) > 0);
    QVERIFY(CountColor(disabled, kLight) > 0);
    QCOMPARE(CountColor(disabled, kText), 0);
    // The highlight copy is the one that reaches furthest right and down.
    bool highlightAtBottomRight = false;
    for (int x = ink.left(); x <= ink.right(); ++x)
        highlightAtBottomRight |= disabled.pixelColor(x, ink.bottom()) == kLight;
    QVERIFY(highlightAtBottomRight);
    for (int x = ink.left(); x <= ink.right(); ++x)
        QVERIFY(disabled.pixelColor(x, ink.top()) != kLight);
}

void TestLedIndicator::sharpAtDoubleDensity()
{
    // At 200 % the image is rendered for the density, not a 16 x 16 picture blown up.
    CLedIndicator led;
    QVERIFY(led.SetStateIcon(0, IDI_LED_ON, 0, 0));
    QImage image(QSize(16, 16) * 2, QImage::Format_ARGB32);
    image.setDevicePixelRatio(2.0);
    QPainter painter(&image);
    led.DrawItem(painter, QRect(0, 0, 16, 16), 0);
    painter.end();
    const QImage expected =
        Resources::Image(IDI_LED_ON, {}, 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(expected.size(), QSize(32, 32));
    image.setDevicePixelRatio(1.0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            QCOMPARE(image.pixel(x, y), expected.pixel(x, y));
}

void TestLedIndicator::enabledCaptionInStateTextColour()
{
    CLedIndicator led;
    led.setFont(m_font);
    led.setText(QStringLiteral("IN"));
    const QImage image = Paint(led, QSize(60, 24));
    QVERIFY(CountColor(image, kText) > 0);
    QCOMPARE(CountColor(image, kLight), 0);
    // Caption left-aligned after the 3-pixel gap (no image: the gap stays).
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 3; ++x)
            QCOMPARE(image.pixelColor(x, y), kFace);
}

void TestLedIndicator::setStateIcon_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QIcon>("image");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QSize>("stored");

    QTest::newRow("valid") << 1 << SolidIcon(Qt::red, QSize(16, 12)) << true << QSize(16, 12);
    QTest::newRow("index at count") << 2 << SolidIcon(Qt::red) << false << QSize();
    QTest::newRow("null clears") << 1 << QIcon() << true << QSize(0, 0);
    QTest::newRow("size unreadable") << 1 << QIcon(new SizelessEngine) << false << QSize(0, 0);
}

void TestLedIndicator::setStateIcon()
{
    QFETCH(int, state);
    QFETCH(QIcon, image);
    QFETCH(QSize, stored);

    CLedIndicator led;
    QVERIFY(led.SetStateIcon(1, SolidIcon(Qt::green)));
    QTEST(led.SetStateIcon(unsigned(state), image), "result");
    if (unsigned(state) < led.GetStateCount()) {
        const LedData data = led.GetStateData(unsigned(state));
        QCOMPARE(QSize(int(data.cx), int(data.cy)), stored);
        QCOMPARE(data.hIcon.isNull(), stored.isEmpty());
    } else {
        // Nothing else was touched.
        QCOMPARE(led.GetStateData(1).cx, 16u);
    }
}

void TestLedIndicator::stateCountReducedBelowCurrent()
{
    CLedIndicator led;
    led.SetStateCount(3, false);
    QVERIFY(led.SetStateIcon(2, 293, 0, 0));
    QCOMPARE(led.GetStateData(2).cx, 16u);
    led.SetCurrentState(2);
    QVERIFY(Paint(led, QSize(20, 16)).pixelColor(8, 8) != kFace);

    led.SetStateCount(2, true);
    QCOMPARE(led.GetCurrentState(), 2u);
    QCOMPARE(led.GetStateBkColor(2), kFace);
    const QImage image = Paint(led, QSize(20, 16));
    QCOMPARE(CountColor(image, kFace), 20 * 16);

    // Resource ids: a failed load leaves the state without an image; out of range loads nothing.
    QVERIFY(led.SetStateIcon(0, 9999, 0, 0));
    QVERIFY(led.GetStateData(0).hIcon.isNull());
    QVERIFY(!led.SetStateIcon(2, 293, 0, 0));
    QVERIFY(led.SetStateIcon(1, IDI_LED_OFF, 8, 8));
    QCOMPARE(led.GetStateData(1).cx, 8u);
}

void TestLedIndicator::negativeStateCountMeansNone()
{
    CLedIndicator led;
    led.SetStateCount(-5, false);
    QCOMPARE(led.GetStateCount(), 0u);
    QVERIFY(!led.SetStateIcon(0, SolidIcon(Qt::red)));
    QCOMPARE(CountColor(Paint(led, QSize(10, 10)), kFace), 100);
}

void TestLedIndicator::sameStateDoesNotRepaint()
{
    CLedIndicator led;
    led.resize(20, 16);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    PaintCounter counter;
    led.installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.count = 0;

    led.SetCurrentState(0);
    QCoreApplication::processEvents();
    QCOMPARE(counter.count, 0);

    led.SetCurrentState(1);
    QCoreApplication::processEvents();
    QCOMPARE(counter.count, 1);
    led.SetCurrentState(1);
    QCoreApplication::processEvents();
    QCOMPARE(counter.count, 1);
}

void TestLedIndicator::outOfRangeStateRepaintsButKeepsState()
{
    CLedIndicator led;
    led.resize(20, 16);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    PaintCounter counter;
    led.installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.count = 0;

    led.SetCurrentState(5);
    QCoreApplication::processEvents();
    QCOMPARE(led.GetCurrentState(), 0u);
    QCOMPARE(counter.count, 1);

    // With the revert timer on and a non-default state shown, it restarts the timer.
    led.SetRevertTimer(1, 60000, 1);
    led.SetCurrentState(7);
    QVERIFY(led.IsRevertTimerRunning());
}

void TestLedIndicator::revertTimerReturnsToDefault()
{
    CLedIndicator led;
    led.SetRevertTimer(1, 20, 0);
    led.SetCurrentState(1);
    QVERIFY(led.IsRevertTimerRunning());
    QTRY_COMPARE_WITH_TIMEOUT(led.GetCurrentState(), 0u, 10000);
    QVERIFY(!led.IsRevertTimerRunning());

    // Selecting the default state by hand stops a running timer.
    led.SetRevertTimer(1, 60000, 0);
    led.SetCurrentState(1);
    QVERIFY(led.IsRevertTimerRunning());
    led.SetCurrentState(0);
    QVERIFY(!led.IsRevertTimerRunning());

    // Id 0: the feature is off.
    led.SetRevertTimer(0, 20, 0);
    led.SetCurrentState(1);
    QVERIFY(!led.IsRevertTimerRunning());
}

void TestLedIndicator::stateFilterDecides()
{
    CLedIndicator led;
    QList<QList<unsigned>> asked;
    led.SetStateFilter([&](unsigned requested, unsigned current, bool flag) {
        asked.append({requested, current, unsigned(flag)});
        return requested == 1 ? current : requested;
    });
    led.SetCurrentState(1, true);
    QCOMPARE(led.GetCurrentState(), 0u);
    QCOMPARE(asked.value(0), (QList<unsigned>{1, 0, 1}));
    led.SetStateCount(3, false);
    led.SetCurrentState(2);
    QCOMPARE(led.GetCurrentState(), 2u);
}

void TestLedIndicator::styleStaysOwnerDrawn()
{
    CLedIndicator led;
    led.SetButtonStyle(CLedIndicator::kStylePush | CLedIndicator::kStyleLeftText);
    QCOMPARE(led.GetButtonStyle() & CLedIndicator::kStyleTypeMask,
             unsigned(CLedIndicator::kStyleOwnerDraw));
    QVERIFY(led.GetButtonStyle() & CLedIndicator::kStyleLeftText);
    QVERIFY(led.SetStateIcon(0, SolidIcon(kMagenta)));
    const QImage image = Paint(led, QSize(40, 16));
    QCOMPARE(image.pixelColor(39, 8), kMagenta);
    QCOMPARE(image.pixelColor(0, 8), kFace);
}

void TestLedIndicator::clickChangesNothing()
{
    CLedIndicator led;
    led.resize(20, 16);
    QVERIFY(led.SetStateIcon(0, IDI_LED_OFF, 0, 0));
    QVERIFY(led.SetStateIcon(1, IDI_LED_ON, 0, 0));
    QImage before(20, 16, QImage::Format_ARGB32);
    led.render(&before);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    QTest::mousePress(&led, Qt::LeftButton);
    QImage pressed(20, 16, QImage::Format_ARGB32);
    led.render(&pressed);
    QTest::mouseRelease(&led, Qt::LeftButton);
    QCOMPARE(led.GetCurrentState(), 0u);
    QCOMPARE(pressed, before);
    QVERIFY(!led.hasFocus());
}

void TestLedIndicator::accessibleNameCarriesState()
{
    CLedIndicator led;
    led.SetAccessibleLabel(QStringLiteral("Input 5"));
    QCOMPARE(led.accessibleName(), QStringLiteral("Input 5: off"));
    led.SetCurrentState(1);
    QCOMPARE(led.accessibleName(), QStringLiteral("Input 5: on"));
    QCOMPARE(led.accessibleDescription(), QStringLiteral("on"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&led);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Input 5: on"));

    led.SetAccessibleLabel(QStringLiteral("Input 40"),
                           {QStringLiteral("not present"), QStringLiteral("not present")});
    QCOMPARE(led.accessibleName(), QStringLiteral("Input 40: not present"));
    QCOMPARE(CLedIndicator::AccessibleText(QStringLiteral("X"), {}, 4), QStringLiteral("X: 4"));
}

QTEST_MAIN(TestLedIndicator)
#include "tst_ledindicator.moc"
