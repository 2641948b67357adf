#include "app/AboutDlg.h"

#include "device/LoadedLibrary.h"
#include "platform/DialogUnits.h"
#include "platform/Resources.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace {

const ControlTemplate kVersion[] = {
    {nullptr, ControlKind::Label, "Orvane Version V14.0.0.0000", 40, 10, 119, 8},
};
// With the simulated library two lines say which library is loaded, and that it is that one.
const ControlTemplate kSimulated[] = {
    {"DeviceLibrary", ControlKind::Label, "Device library: %1", 7, 44, 221, 24},
    {"SimulatedLibrary", ControlKind::Label, "Simulated boards: no hardware is driven", 7, 70, 221,
     8},
};
const ControlTemplate kButtons[] = {
    {"OK", ControlKind::PushButton, "OK", 178, 7, 50, 16, kStyleDefault},
};

} // namespace

CAboutDlg::CAboutDlg(QWidget *parent)
    : TemplateDialog(QStringLiteral("About Orvane"),
                     QSize(235, LoadedLibrary().simulated ? 83 : 55), parent, PlainFrame)
{
    AddProgramIcon();
    Build(kVersion);
    if (LoadedLibrary().simulated) {
        auto *library = Build(kSimulated).get<QLabel>("DeviceLibrary");
        library->setText(library->text().arg(QDir::toNativeSeparators(LoadedLibrary().path)));
        library->setWordWrap(true);
        library->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    connect(Build(kButtons).get<QPushButton>("OK"), &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::AddProgramIcon()
{
    const DialogUnits du(font());
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setAccessibleName(QStringLiteral("Orvane"));
    icon->setPixmap(Resources::ProgramIcon().pixmap(32, 32));
    icon->setGeometry(QRect(du.x(11), du.y(17), 32, 32));
}
