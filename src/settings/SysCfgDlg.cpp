#include "settings/SysCfgDlg.h"

#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "controls/ImageButton.h"
#include "model/BoardModel.h"
#include "platform/MessageBox.h"
#include "res/ResourceIds.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

const ControlTemplate kTemplate[] = {
    {nullptr, ControlKind::GroupBox, nullptr, 7, 4, 176, 36},
    {nullptr, ControlKind::Label, "Controller Loading Mode :", 15, 20, 86, 8},
    {"LoadingMode", ControlKind::ComboBox, nullptr, 106, 17, 68, 13, kStyleEditable},
    {"OK", ControlKind::ImageButton, "OK", 75, 49, 50, 16, kStyleDefault, IDI_OK},
    {"Cancel", ControlKind::ImageButton, "Cancel", 133, 49, 50, 16, 0, IDI_CANCEL},
};

} // namespace

CVL_SysCfgDlg::CVL_SysCfgDlg(const BoardModel &model, QWidget *parent)
    : TemplateDialog(QStringLiteral("System Environment Setup"), QSize(190, 72), parent)
    , m_model(model)
{
    const TemplateControls controls = Build(kTemplate);
    m_modeList = controls.get<QComboBox>("LoadingMode");
    m_ok = controls.get<CImageButton>("OK");
    m_cancel = controls.get<CImageButton>("Cancel");

    connect(m_ok, &QPushButton::clicked, this, &CVL_SysCfgDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
}

QString CVL_SysCfgDlg::SettingsPath() const
{
    return m_model.settingsPath();
}

void CVL_SysCfgDlg::OnInitDialog()
{
    // An editable list whose typed text is never read: only the list's selection is stored.
    // The field's signals are what let a typed item text (on Enter or when the focus leaves)
    // or a completion select that item, so the field keeps them to itself and completes nothing.
    m_modeList->setInsertPolicy(QComboBox::NoInsert);
    m_modeList->setCompleter(nullptr);
    m_modeList->lineEdit()->blockSignals(true);
    m_modeList->addItems({QStringLiteral("0 : Auto"), QStringLiteral("1 : Manual")});

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
