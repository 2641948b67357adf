// Renders every image at 100 % and 200 % and both controls in each of their looks into one
// picture. With ORVANE_CONTACT_SHEET set, the picture is written to that path.

#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QApplication>
#include <QPainter>
#include <QtTest>

#include <functional>

namespace {

QPalette ClassicPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(240, 240, 240));
    pal.setColor(QPalette::ButtonText, QColor(0, 0, 0));
    pal.setColor(QPalette::Light, QColor(255, 255, 255));
    pal.setColor(QPalette::Midlight, QColor(227, 227, 227));
    pal.setColor(QPalette::Dark, QColor(160, 160, 160));
    pal.setColor(QPalette::Shadow, QColor(105, 105, 105));
    pal.setColor(QPalette::Window, QColor(240, 240, 240));
    return pal;
}

struct SheetImage
{
    QString name;
    QIcon icon;
};

QList<SheetImage> AllImages()
{
    QList<SheetImage> images;
    images << SheetImage{QStringLiteral("128 program"), Resources::ProgramIcon()};
    const std::pair<int, const char *> tree[] = {
        {0, "windows"}, {4, "violet gem"}, {5, "blue gem"}, {7, "board"}, {11, "connector"}};
    for (const auto &[index, name] : tree)
        images << SheetImage{QStringLiteral("133/%1 %2").arg(index).arg(QLatin1String(name)),
                             Resources::TreeIcon(index)};
    const std::pair<int, const char *> ids[] = {{IDI_LED_ON, "LED on"},
                                                {IDI_LED_UNAVAILABLE, "unavailable"},
                                                {IDI_LED_OFF, "LED off"},
                                                {IDI_RUN_LED_OFF, "Run off"},
                                                {IDI_LED_OUTPUT_ON, "out on"},
                                                {IDI_RUN_LED_ON, "Run on"},
                                                {IDI_DIGITAL_IO, "Digital IO"},
                                                {IDI_SYSTEM_IO, "System IO"},
                                                {IDI_EXIT, "exit"},
                                                {IDI_SET_PRM, "set prm"},
                                                {IDI_OK, "ok"},
                                                {IDI_CANCEL, "cancel"},
                                                {IDI_RESET, "reset"},
                                                {IDB_ROW_BAR_0, "row 0"},
                                                {IDB_ROW_BAR_1, "row 1"},
                                                {IDB_ROW_BAR_2, "row 2"},
                                                {IDB_ROW_BAR_3, "row 3"}};
    for (const auto &[id, name] : ids)
        images << SheetImage{QStringLiteral("%1 %2").arg(id).arg(QLatin1String(name)),
                             Resources::Icon(id)};
    images << SheetImage{QStringLiteral("327 System IO"),
                         Resources::ToolBarIcon(TOOLBAR_IMAGE_SYSTEM_IO)};
    images << SheetImage{QStringLiteral("327 Digital IO"),
                         Resources::ToolBarIcon(TOOLBAR_IMAGE_DIGITAL_IO)};
    return images;
}

// Paints at the given scale into an image whose pixels can be placed 1:1 on the sheet.
QImage Render(QSize logical, qreal scale, const QColor &background,
              const std::function<void(QPainter &)> &paint)
{
    QImage image(logical * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    image.setDevicePixelRatio(1.0);
    return image;
}

bool HasInk(const QImage &image, const QColor &background)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != background)
                return true;
    return false;
}

} // namespace

class TestContactSheet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyImageAndLookRenders();

private:
    QFont m_font;
};

void TestContactSheet::initTestCase()
{
    m_font = QFont(QStringLiteral("Liberation Sans"));
    m_font.setPointSize(8);
    QApplication::setFont(m_font);
}

void TestContactSheet::everyImageAndLookRenders()
{
    const QColor paper(255, 255, 255);
    const QColor ink(40, 40, 40);
    QImage sheet(1300, 1600, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(paper);
    QPainter sheetPainter(&sheet);
    QFont labelFont(QStringLiteral("Liberation Sans"));
    labelFont.setPixelSize(12);
    sheetPainter.setFont(labelFont);
    sheetPainter.setPen(ink);

    auto heading = [&](int y, const QString &text) {
        QFont bold = labelFont;
        bold.setBold(true);
        bold.setPixelSize(14);
        sheetPainter.setFont(bold);
        sheetPainter.drawText(10, y, text);
        sheetPainter.setFont(labelFont);
    };

    // Images: name, 100 %, 200 %; three to a row, the wide row bars one to a row.
    heading(20, QStringLiteral("Images at 100 % and 200 %"));
    int y = 34, rowHeight = 0, column = 0;
    const int columnWidth = 420;
    const QList<SheetImage> images = AllImages();
    auto place = [&](const SheetImage &entry, int columns) {
        const QSize size = Resources::IconSize(entry.icon);
        const QImage normal = Render(size, 1.0, paper, [&](QPainter &p) {
            p.drawPixmap(QPoint(0, 0), entry.icon.pixmap(size, 1.0));
        });
        const QImage doubled = Render(size, 2.0, paper, [&](QPainter &p) {
            p.drawPixmap(QRect(QPoint(0, 0), size), entry.icon.pixmap(size, 2.0));
        });
        QVERIFY2(HasInk(normal, paper), qPrintable(entry.name));
        QCOMPARE(doubled.size(), size * 2);
        const int left = 10 + column * columnWidth;
        sheetPainter.drawText(QRect(left, y, 110, 20), Qt::AlignVCenter, entry.name);
        sheetPainter.drawImage(left + 115, y, normal);
        sheetPainter.drawImage(left + 115 + normal.width() + 12, y, doubled);
        rowHeight = std::max(rowHeight, std::max(doubled.height(), 20));
        if (++column == columns) {
            column = 0;
            y += rowHeight + 8;
            rowHeight = 0;
        }
    };
    for (const SheetImage &entry : images) {
        QVERIFY2(!entry.icon.isNull(), qPrintable(entry.name));
        QVERIFY2(!Resources::IconSize(entry.icon).isEmpty(), qPrintable(entry.name));
        if (Resources::IconSize(entry.icon).width() <= 64)
            place(entry, 3);
    }
    if (column != 0) {
        column = 0;
        y += rowHeight + 8;
        rowHeight = 0;
    }
    for (const SheetImage &entry : images) {
        if (Resources::IconSize(entry.icon).width() > 64)
            place(entry, 1);
    }
    y += 24;

    // Controls in each look, at 100 % and 200 %.
    const QPalette classic = ClassicPalette();
    CImageButton dialogButton(QStringLiteral("Close"));
    dialogButton.setPalette(classic);
    dialogButton.setFont(m_font);
    QCOMPARE(dialogButton.LoadButtonIcons(IDI_EXIT, 20, 16, 0, 0, 0), 0);
    dialogButton.SetFlatLook(false, true);
    CImageButton okButton(QStringLiteral("OK"));
    okButton.setPalette(classic);
    okButton.setFont(m_font);
    QCOMPARE(okButton.LoadButtonIcons(IDI_OK, 20, 16, 0, 0, 0), 0);
    okButton.SetFlatLook(false, true);
    CImageButton outputButton;
    outputButton.setPalette(classic);
    QCOMPARE(outputButton.LoadButtonIcons(IDI_LED_OUTPUT_ON, 0), 0);
    outputButton.SetFlatLook(false, true);
    CLedIndicator led;
    led.setPalette(classic);
    QVERIFY(led.SetStateIcon(0, IDI_LED_OFF, 0, 0));
    QVERIFY(led.SetStateIcon(1, IDI_LED_ON, 0, 0));

    struct Look
    {
        QString name;
        unsigned state;
        bool isDefault;
    };
    const Look looks[] = {
        {QStringLiteral("normal"), 0, false},
        {QStringLiteral("pressed"), CImageButton::kItemSelected, false},
        {QStringLiteral("focused"), CImageButton::kItemFocus, false},
        {QStringLiteral("default"), 0, true},
        {QStringLiteral("disabled"), CImageButton::kItemDisabled, false},
    };
    const QColor face = classic.color(QPalette::Button);
    for (qreal scale : {1.0, 2.0}) {
        heading(y, QStringLiteral("Controls at %1 %").arg(int(scale * 100)));
        y += 10;
        int lookX = 10;
        int tallest = 0;
        for (const Look &look : looks) {
            sheetPainter.drawText(lookX, y + 12, look.name);
            int lookY = y + 18;
            int widest = 0;
            for (CImageButton *button : {&dialogButton, &okButton, &outputButton}) {
                button->setDefault(look.isDefault);
                const QSize size = button == &outputButton ? QSize(15, 15) : QSize(117, 26);
                const QImage shot = Render(size, scale, face, [&](QPainter &p) {
                    p.setFont(m_font);
                    button->DrawItem(p, QRect(QPoint(0, 0), size), look.state);
                });
                QVERIFY(HasInk(shot, face));
                sheetPainter.drawImage(lookX, lookY, shot);
                lookY += shot.height() + 6;
                widest = std::max(widest, shot.width());
            }
            // The LED: state 0 and state 1 side by side (only the disabled bit matters).
            const unsigned ledState =
                look.state & CImageButton::kItemDisabled ? CLedIndicator::kItemDisabled : 0u;
            int ledX = lookX;
            for (unsigned state : {0u, 1u}) {
                led.SetCurrentState(state);
                const QImage shot = Render(QSize(15, 15), scale, face, [&](QPainter &p) {
                    led.DrawItem(p, QRect(0, 0, 15, 15), ledState);
                });
                QVERIFY(HasInk(shot, face));
                sheetPainter.drawImage(ledX, lookY, shot);
                ledX += shot.width() + 6;
            }
            lookY += int(15 * scale) + 6;
            tallest = std::max(tallest, lookY - y);
            lookX += widest + 24;
        }
        y += tallest + 24;
    }
    sheetPainter.end();

    const QByteArray path = qgetenv("ORVANE_CONTACT_SHEET");
    if (!path.isEmpty())
        QVERIFY(sheet.copy(0, 0, sheet.width(), std::min(y, sheet.height()))
                    .save(QString::fromLocal8Bit(path)));
}

QTEST_MAIN(TestContactSheet)
#include "tst_contactsheet.moc"
