#include "dio/PageLayout.h"

#include "platform/DialogUnits.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QLabel>

#include <algorithm>

BitRange TabRange(int count, int tabIndex)
{
    if (tabIndex == 0)
        return {0, std::clamp(count, 0, kPagePoints)};
    return {kPagePoints, std::max(count, kPagePoints)};
}

int LivePoints(int count, int tabIndex)
{
    return tabIndex == 0 ? count : count - kPagePoints;
}

QRect PointRect(const DialogUnits &du, int k, const int rowControlY[4])
{
    const int row = k / 8;
    const int column = k % 8;
    return du.rect(15 + 13 * column, rowControlY[row], 10, 9);
}

void AddRowBarsAndLabels(QWidget *page, const DialogUnits &du, const int rowBarY[4])
{
    for (int r = 0; r < 4; ++r) {
        auto *bar = new QLabel(page);
        const QPixmap image = Resources::Image(IDB_ROW_BAR_0 + r);
        bar->setPixmap(image);
        // A bitmap static shows its image at the image's own size.
        bar->setGeometry(
            QRect(QPoint(du.x(0), du.y(rowBarY[r])), image.deviceIndependentSize().toSize()));
        bar->lower();
    }
    for (int k = 0; k < kPagePoints; ++k) {
        auto *label = new QLabel(QString::number(k), page);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setGeometry(du.rect(15 + 13 * (k % 8), 22 * (k / 8), 10, 8));
    }
}
