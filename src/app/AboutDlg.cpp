#include "app/AboutDlg.h"

#include "platform/DialogUnits.h"
#include "device/LoadedLibrary.h"
#include "platform/Resources.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Orvane"));
    setFont(TemplateFont());
    const DialogUnits du(font());
    const bool simulated = LoadedLibrary().simulated;
    // With the simulated library two lines say which library is loaded, and that it is that one.
    setFixedSize(du.size(235, simulated ? 83 : 55));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setAccessibleName(QStringLiteral("Orvane"));
    icon->setPixmap(Resources::ProgramIcon().pixmap(32, 32));
    icon->setGeometry(QRect(du.x(11), du.y(17), 32, 32));

    auto *version = new QLabel(QStringLiteral("Orvane Version V14.0.0.0000"), this);
    version->setGeometry(du.rect(40, 10, 119, 8));

    if (simulated) {
        auto *library = new QLabel(QStringLiteral("Device library: %1")
                                       .arg(QDir::toNativeSeparators(LoadedLibrary().path)),
                                   this);
        library->setObjectName(QStringLiteral("DeviceLibrary"));
        library->setWordWrap(true);
        library->setTextInteractionFlags(Qt::TextSelectableByMouse);
        library->setGeometry(du.rect(7, 44, 221, 24));
        auto *kind = new QLabel(QStringLiteral("Simulated boards: no hardware is driven"), this);
        kind->setObjectName(QStringLiteral("SimulatedLibrary"));
        kind->setGeometry(du.rect(7, 70, 221, 8));
    }

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.rect(178, 7, 50, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
