#include "settings/SysCfgDlg.h"

#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "controls/ImageButton.h"
#include "device/SystemInfo.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBox.h"
#include "res/ResourceIds.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

CVL_SysCfgDlg::CVL_SysCfgDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("System Environment Setup"));
    // A modal frame with a system menu: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(190, 72));

    auto *group = new QGroupBox(this);
    group->setGeometry(du.rect(7, 4, 176, 36));

    auto *label = new QLabel(QStringLiteral("Controller Loading Mode :"), this);
    label->setGeometry(du.rect(15, 20, 86, 8));

    // An editable list whose typed text is never read: only the list's selection is stored.
    // The field's signals are what let a typed item text (on Enter or when the focus leaves)
    // or a completion select that item, so the field keeps them to itself and completes nothing.
    m_modeList = new QComboBox(this);
    m_modeList->setObjectName(QStringLiteral("LoadingMode"));
    m_modeList->setGeometry(du.rect(106, 17, 68, 13));
    m_modeList->setEditable(true);
    m_modeList->setInsertPolicy(QComboBox::NoInsert);
    m_modeList->setCompleter(nullptr);
    m_modeList->lineEdit()->blockSignals(true);
    m_modeList->addItems({QStringLiteral("0 : Auto"), QStringLiteral("1 : Manual")});

    m_ok = new CImageButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.rect(75, 49, 50, 16));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CVL_SysCfgDlg::OnOK);

    m_cancel = new CImageButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(du.rect(133, 49, 50, 16));
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
}

QString CVL_SysCfgDlg::SettingsPath()
{
    return QString::fromLocal8Bit(g_pSysInfo->settingsPath,
                                  qstrnlen(g_pSysInfo->settingsPath, kPathBytes));
}

void CVL_SysCfgDlg::OnInitDialog()
{
    m_ok->LoadButtonIcons(IDI_OK, 20, 16, 0, 0, 0);
    m_ok->SetFlatLook(false, true);
    m_cancel->LoadButtonIcons(IDI_CANCEL, 20, 16, 0, 0, 0);
    m_cancel->SetFlatLook(false, true);

    const QByteArray text = Settings::ReadLoadingModeText(SettingsPath());
    if (!text.isEmpty())
        loadingMode = Atoi(text);
    // A mode other than 0 or 1 selects nothing.
    m_modeList->setCurrentIndex(loadingMode == 0 || loadingMode == 1 ? loadingMode : -1);
}

void CVL_SysCfgDlg::OnOK()
{
    if (!Settings::WriteLoadingMode(SettingsPath(), m_modeList->currentIndex())) {
        ShowFailure(this, QStringLiteral("Fail! Write Settings File..."));
        return;
    }
    accept();
}
