#include "platform/Draw.h"
#include "platform/Resources.h"
#include "platform/SysColors.h"
#include "res/ResourceIds.h"

#include <QPainter>
#include <QtTest>

namespace {

QImage Pixels(const QIcon &icon, QSize size, qreal ratio = 1.0)
{
    return icon.pixmap(size, ratio).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool Near(const QColor &a, const QColor &b, int tolerance = 2)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
        qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imageSizes_data();
    void imageSizes();
    void unknownIdsHaveNoImage();
    void ledSquares_data();
    void ledSquares();
    void sharpAtDoubleDensity();
    void requestedSize();
    void filteredAndDisabled();
    void sysColorRoles_data();
    void sysColorRoles();
    void linesExcludeEndPoint();
    void draw3dRectAndFrame();
    void measureWrapsAtWords();
};

void TestResources::imageSizes_data()
{
    QTest::addColumn<QIcon>("icon");
    QTest::addColumn<QSize>("size");

    const QSize led(16, 16), command(20, 16), large(32, 32);
    QTest::newRow("program icon") << Resources::ProgramIcon() << large;
    for (int id : {IDI_LED_ON, IDI_LED_UNAVAILABLE, IDI_LED_OFF, IDI_RUN_LED_OFF, IDI_LED_OUTPUT_ON,
                   IDI_RUN_LED_ON})
        QTest::addRow("LED %d", id) << Resources::Icon(id) << led;
    for (int id : {IDI_EXIT, IDI_SET_PRM, IDI_OK, IDI_CANCEL, IDI_RESET})
        QTest::addRow("command %d", id) << Resources::Icon(id) << command;
    for (int id : {IDI_DIGITAL_IO, IDI_SYSTEM_IO})
        QTest::addRow("window icon %d", id) << Resources::Icon(id) << large;
    for (int id = IDB_ROW_BAR_0; id <= IDB_ROW_BAR_3; ++id)
        QTest::addRow("row bar %d", id) << Resources::Icon(id) << QSize(185, 21);
    for (int index : {TREE_IMAGE_WINDOWS, TREE_IMAGE_VIOLET_GEM, TREE_IMAGE_BLUE_GEM,
                      TREE_IMAGE_BOARD, TREE_IMAGE_CONNECTOR})
        QTest::addRow("tree %d", index) << Resources::TreeIcon(index) << led;
    for (int command : {TOOLBAR_IMAGE_SYSTEM_IO, TOOLBAR_IMAGE_DIGITAL_IO})
        QTest::addRow("tool bar %d", command) << Resources::ToolBarIcon(command) << large;
}

void TestResources::imageSizes()
{
    QFETCH(QIcon, icon);
    QFETCH(QSize, size);
    QVERIFY(!icon.isNull());
    QCOMPARE(Resources::IconSize(icon), size);
    const QImage image = Pixels(icon, size);
    QCOMPARE(image.size(), size);
    // Something is drawn.
    bool ink = false;
    for (int y = 0; y < image.height() && !ink; ++y)
        for (int x = 0; x < image.width() && !ink; ++x)
            ink = qAlpha(image.pixel(x, y)) != 0;
    QVERIFY(ink);
}

void TestResources::unknownIdsHaveNoImage()
{
    QVERIFY(Resources::Icon(9999).isNull());
    QVERIFY(Resources::ImageSize(9999).isEmpty());
    QVERIFY(Resources::Image(9999).isNull());
    QVERIFY(Resources::TreeIcon(1).isNull());
    QVERIFY(Resources::ToolBarIcon(32796).isNull());
    QCOMPARE(Resources::ImageSize(IDI_EXIT), QSize(20, 16));
}

void TestResources::ledSquares_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QColor>("top");
    QTest::addColumn<QColor>("bottom");
    QTest::addColumn<QString>("lamp"); // the channel that rules the lamp's centre

    const QColor grey182(182, 182, 182), grey204(204, 204, 204), white(255, 255, 255);
    QTest::newRow("293 green") << int(IDI_LED_ON) << grey182 << grey204 << "green";
    QTest::newRow("295 flat grey") << int(IDI_LED_UNAVAILABLE) << grey182 << grey204 << "flat";
    QTest::newRow("297 silver") << int(IDI_LED_OFF) << grey182 << grey204 << "silver";
    QTest::newRow("299 red") << int(IDI_LED_OUTPUT_ON) << grey182 << grey204 << "red";
    QTest::newRow("298 silver on white") << int(IDI_RUN_LED_OFF) << white << white << "silver";
    QTest::newRow("300 red on white") << int(IDI_RUN_LED_ON) << white << white << "red";
}

void TestResources::ledSquares()
{
    QFETCH(int, id);
    QFETCH(QColor, top);
    QFETCH(QColor, bottom);
    QFETCH(QString, lamp);
    const QImage image = Pixels(Resources::Icon(id), QSize(16, 16));
    // Opaque squares, shading from the top row to the bottom row.
    QVERIFY(Near(image.pixelColor(0, 0), top));
    QVERIFY(Near(image.pixelColor(15, 0), top));
    QVERIFY(Near(image.pixelColor(0, 15), bottom));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 255);
    const QColor centre = image.pixelColor(8, 9);
    if (lamp == "green")
        QVERIFY(centre.green() > 2 * centre.red() && centre.green() > centre.blue());
    else if (lamp == "red")
        QVERIFY(centre.red() > 2 * centre.green() && centre.red() > centre.blue());
    else if (lamp == "flat")
        QVERIFY(Near(centre, QColor(130, 139, 142), 1) && Near(image.pixelColor(4, 8), centre, 1));
    else
        QVERIFY(Near(QColor(centre.red(), centre.red(), centre.red()), centre, 12) &&
                centre.red() > 190);
}

void TestResources::sharpAtDoubleDensity()
{
    const QPixmap pixmap = Resources::Image(IDI_OK, {}, 2.0);
    QCOMPARE(pixmap.size(), QSize(40, 32));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(20, 16));
    const QPixmap normal = Resources::Image(IDI_OK, {}, 1.0);
    QCOMPARE(normal.size(), QSize(20, 16));
}

void TestResources::requestedSize()
{
    const QIcon icon = Resources::Icon(IDI_EXIT, QSize(40, 32));
    QCOMPARE(Resources::IconSize(icon), QSize(40, 32));
    QCOMPARE(Resources::Image(IDI_EXIT, QSize(40, 32), 1.0).size(), QSize(40, 32));
    QCOMPARE(Resources::Image(IDB_ROW_BAR_2, {}, 1.0).size(), QSize(185, 21));
}

void TestResources::filteredAndDisabled()
{
    QPixmap source(4, 4);
    source.fill(QColor(200, 100, 50));
    const QIcon filtered = Resources::FilteredIcon(
        QIcon(source), [](QRgb p) { return qRgba(qBlue(p), qGreen(p), qRed(p), qAlpha(p)); });
    QCOMPARE(Resources::IconSize(filtered), QSize(4, 4));
    QCOMPARE(Pixels(filtered, QSize(4, 4)).pixelColor(1, 1), QColor(50, 100, 200));
    QVERIFY(Resources::FilteredIcon(QIcon(), [](QRgb p) { return p; }).isNull());

    const QImage grey = Draw::GreyedImage(source.toImage());
    const QColor g = grey.pixelColor(0, 0);
    QCOMPARE(g.red(), g.green());
    QCOMPARE(g.green(), g.blue());
    QVERIFY(g.red() > qGray(qRgb(200, 100, 50)));
    const QImage disabled =
        Resources::Icon(IDI_OK).pixmap(QSize(20, 16), 1.0, QIcon::Disabled).toImage();
    const QColor d = disabled.pixelColor(10, 8);
    QCOMPARE(d.red(), d.blue());
}

void TestResources::sysColorRoles_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("role");
    QTest::newRow("face") << int(kColorButtonFace) << int(QPalette::Button);
    QTest::newRow("text") << int(kColorButtonText) << int(QPalette::ButtonText);
    QTest::newRow("highlight") << int(kColorButtonHighlight) << int(QPalette::Light);
    QTest::newRow("3d light") << int(kColor3dLight) << int(QPalette::Midlight);
    QTest::newRow("shadow") << int(kColorButtonShadow) << int(QPalette::Dark);
    QTest::newRow("dark shadow") << int(kColor3dDarkShadow) << int(QPalette::Shadow);
}

void TestResources::sysColorRoles()
{
    QFETCH(int, index);
    QFETCH(int, role);
    QCOMPARE(int(SysColorRole(index)), role);
    QPalette palette;
    palette.setColor(QPalette::ColorRole(role), QColor(1, 2, 3));
    QCOMPARE(SystemColor(palette, index), QColor(1, 2, 3));
}

void TestResources::linesExcludeEndPoint()
{
    QImage image(10, 10, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Draw::Polyline(painter, {{1, 8}, {1, 1}, {8, 1}}, Qt::black);
    Draw::Line(painter, QPoint(2, 2), QPoint(6, 6), Qt::red);
    painter.end();
    QCOMPARE(image.pixelColor(1, 8), QColor(Qt::black)); // start drawn
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(7, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(8, 1), QColor(Qt::white)); // end excluded
    QCOMPARE(image.pixelColor(1, 9), QColor(Qt::white));
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(image.pixelColor(6, 6), QColor(Qt::white));
}

void TestResources::draw3dRectAndFrame()
{
    QImage image(10, 8, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Draw::Draw3dRect(painter, QRect(0, 0, 10, 8), Qt::blue, Qt::red);
    Draw::FrameRect(painter, QRect(2, 2, 6, 4), Qt::green);
    painter.end();
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(8, 0), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(9, 0), QColor(Qt::red));
    QCOMPARE(image.pixelColor(0, 7), QColor(Qt::red));
    QCOMPARE(image.pixelColor(0, 6), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::green));
    QCOMPARE(image.pixelColor(7, 5), QColor(Qt::green));
    QCOMPARE(image.pixelColor(3, 3), QColor(Qt::white));
}

void TestResources::measureWrapsAtWords()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString text = QStringLiteral("Save Parameter");
    const QRect one = Draw::MeasureText(metrics, text, QRect(5, 7, 500, 10), Draw::kTextWordBreak);
    QCOMPARE(one.topLeft(), QPoint(5, 7));
    QCOMPARE(one.height(), metrics.height());
    const QRect two = Draw::MeasureText(metrics, text, QRect(5, 7, one.width() - 5, 10),
                                        Draw::kTextWordBreak | Draw::kTextCenter);
    QCOMPARE(two.topLeft(), QPoint(5, 7));
    QVERIFY(two.height() >= 2 * metrics.height() - 1);
    QVERIFY(two.width() < one.width());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
