#include "AboutDlg.h"

#include "DialogUnits.h"
#include "Resources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Orvane"));
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(235, 55));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setAccessibleName(QStringLiteral("Orvane"));
    icon->setPixmap(Resources::ProgramIcon().pixmap(32, 32));
    icon->setGeometry(QRect(du.x(11), du.y(17), 32, 32));

    auto *version = new QLabel(QStringLiteral("Orvane Version V14.0.0.0000"), this);
    version->setGeometry(du.rect(40, 10, 119, 8));

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.rect(178, 7, 50, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
